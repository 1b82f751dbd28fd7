// The serial ports of a simulated machine: each named port ("/dev/ttyUSB0", "COM3", ...) has a scanner on
// it or is silent, and may be denied to the user or held by another program. Opens are exclusive, as
// with real ports, so that a probe channel and the main channel of the tool compete for them the way
// they do on a desk. SimulatedChannel::open looks ports up here.
#pragma once

#include "SimulatedScanner.h"

#include "serial/PortDiscovery.h"
#include "serial/SerialChannel.h"

#include <memory>
#include <string>
#include <vector>

namespace orvexa {

class SimulatedPortHub {
public:
    // A port with a scanner on it; the scanner lives as long as the hub.
    SimulatedScanner& attachScanner(const std::string& port, ScannerPersonality personality = {},
                                    ScannerFaults faults = {});
    // A port that is present but where nothing answers.
    void addSilentPort(const std::string& port);
    // The user may not open it.
    void denyAccess(const std::string& port);
    // Another program holds it (or lets it go again).
    void holdElsewhere(const std::string& port, bool held = true);
    // The port disappears from the machine, as an unplugged adapter does.
    void removePort(const std::string& port);

    // The scanner on a port, or nullptr for a missing or silent one.
    SimulatedScanner* scanner(const std::string& port);
    // The ports present, in the order they were added.
    std::vector<std::string> portNames() const;
    // One of our channels has it open.
    bool isHeld(const std::string& port) const;

    // For SimulatedChannel: takes the port for an owner, or says why not.
    ChannelError claim(const std::string& port, const void* owner, SimulatedScanner*& scanner);
    void release(const std::string& port, const void* owner);

private:
    struct Port {
        std::string name;
        std::unique_ptr<SimulatedScanner> scanner;
        bool accessDenied = false;
        bool heldElsewhere = false;
        const void* holder = nullptr;
    };
    Port* find(const std::string& port);
    const Port* find(const std::string& port) const;
    Port& findOrAdd(const std::string& port);

    std::vector<Port> ports_;
};

// Port discovery on the simulated machine: the hub's ports in the order they were added (add them in
// ascending order, as a real discovery lists them). The name shown is the path's last part: "ttyUSB0"
// for "/dev/ttyUSB0", "COM10" for "\\.\COM10", "COM5" for "COM5:".
class SimulatedPortDiscovery : public PortDiscovery {
public:
    explicit SimulatedPortDiscovery(const SimulatedPortHub& hub) : hub_(hub) {}
    std::vector<PortInfo> discoverPorts() override;

private:
    const SimulatedPortHub& hub_;
};

} // namespace orvexa
