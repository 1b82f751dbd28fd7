#include "serial/ExtraPorts.h"

#include "serial/BluetoothPorts.h"

#include <algorithm>
#include <cstdlib>

namespace orvexa {

namespace {

constexpr std::string_view kDevPrefix = "/dev/";
constexpr char kListSeparator = ':';

bool listed(const std::vector<PortInfo>& ports, const std::string& path) {
    return std::any_of(ports.begin(), ports.end(), [&path](const PortInfo& p) { return p.path == path; });
}

} // namespace

PortInfo namedPort(const std::string& path) {
    if (const std::string address = addressOfBluetoothPort(path); !address.empty()) {
        return bluetoothPort(address);
    }
    std::string name = path;
    if (name.rfind(kDevPrefix, 0) == 0 && name.size() > kDevPrefix.size()) {
        name.erase(0, kDevPrefix.size());
    } else {
        const std::size_t slash = name.find_last_of("/\\");
        if (slash != std::string::npos && slash + 1 < name.size()) {
            name.erase(0, slash + 1);
        }
    }
    if (name.size() > 1 && name.back() == ':') {
        name.pop_back();
    }
    return PortInfo{path, name, "named"};
}

std::vector<PortInfo> parseExtraPorts(std::string_view list) {
    std::vector<PortInfo> ports;
    while (!list.empty()) {
        const std::size_t end = std::min(list.find(kListSeparator), list.size());
        const std::string path(list.substr(0, end));
        if (!path.empty() && !listed(ports, path)) {
            ports.push_back(namedPort(path));
        }
        list.remove_prefix(std::min(end + 1, list.size()));
    }
    return ports;
}

std::vector<PortInfo> extraPortsFromEnvironment() {
    const char* value = std::getenv(kExtraPortsVariable);
    return value ? parseExtraPorts(value) : std::vector<PortInfo>{};
}

void appendExtraPorts(std::vector<PortInfo>& ports, const std::vector<PortInfo>& extra) {
    for (const PortInfo& port : extra) {
        if (!listed(ports, port.path)) {
            ports.push_back(port);
        }
    }
}

} // namespace orvexa
