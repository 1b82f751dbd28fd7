#include "SimulatedPortHub.h"

#include <algorithm>

namespace orvexa {

SimulatedPortHub::Port* SimulatedPortHub::find(const std::string& port) {
    auto it = std::find_if(ports_.begin(), ports_.end(), [&](const Port& p) { return p.name == port; });
    return it == ports_.end() ? nullptr : &*it;
}

const SimulatedPortHub::Port* SimulatedPortHub::find(const std::string& port) const {
    auto it = std::find_if(ports_.begin(), ports_.end(), [&](const Port& p) { return p.name == port; });
    return it == ports_.end() ? nullptr : &*it;
}

SimulatedPortHub::Port& SimulatedPortHub::findOrAdd(const std::string& port) {
    if (Port* existing = find(port)) {
        return *existing;
    }
    ports_.push_back(Port{port, nullptr});
    return ports_.back();
}

SimulatedScanner& SimulatedPortHub::attachScanner(const std::string& port, ScannerPersonality personality,
                                                  ScannerFaults faults) {
    Port& p = findOrAdd(port);
    p.scanner = std::make_unique<SimulatedScanner>(std::move(personality), std::move(faults));
    return *p.scanner;
}

void SimulatedPortHub::addSilentPort(const std::string& port) {
    findOrAdd(port).scanner.reset();
}

void SimulatedPortHub::denyAccess(const std::string& port) {
    findOrAdd(port).accessDenied = true;
}

void SimulatedPortHub::holdElsewhere(const std::string& port, bool held) {
    findOrAdd(port).heldElsewhere = held;
}

void SimulatedPortHub::removePort(const std::string& port) {
    ports_.erase(std::remove_if(ports_.begin(), ports_.end(), [&](const Port& p) { return p.name == port; }),
                 ports_.end());
}

SimulatedScanner* SimulatedPortHub::scanner(const std::string& port) {
    Port* p = find(port);
    return p ? p->scanner.get() : nullptr;
}

std::vector<std::string> SimulatedPortHub::portNames() const {
    std::vector<std::string> names;
    for (const Port& p : ports_) {
        names.push_back(p.name);
    }
    return names;
}

bool SimulatedPortHub::isHeld(const std::string& port) const {
    const Port* p = find(port);
    return p && p->holder != nullptr;
}

ChannelError SimulatedPortHub::claim(const std::string& port, const void* owner, SimulatedScanner*& scanner) {
    scanner = nullptr;
    Port* p = find(port);
    // A scanner that hung up took its port with it, as a pseudo-terminal or an unplugged adapter does.
    if (!p || (p->scanner && p->scanner->vanished())) {
        return ChannelError::NoSuchPort;
    }
    if (p->accessDenied) {
        return ChannelError::PermissionDenied;
    }
    if (p->heldElsewhere || (p->holder && p->holder != owner)) {
        return ChannelError::Busy;
    }
    p->holder = owner;
    scanner = p->scanner.get();
    return ChannelError::None;
}

void SimulatedPortHub::release(const std::string& port, const void* owner) {
    Port* p = find(port);
    if (p && p->holder == owner) {
        p->holder = nullptr;
    }
}

std::vector<PortInfo> SimulatedPortDiscovery::discoverPorts() {
    std::vector<PortInfo> ports;
    for (const std::string& path : hub_.portNames()) {
        const std::size_t slash = path.find_last_of("/\\");
        std::string shown = slash == std::string::npos ? path : path.substr(slash + 1);
        if (!shown.empty() && shown.back() == ':') {
            shown.pop_back();
        }
        ports.push_back({path, shown, "simulated"});
    }
    return ports;
}

} // namespace orvexa
