#include "steps/PortMemory.h"

#include <algorithm>

namespace orvexa {

std::string stableNameOf(const PortInfo& port) {
    return port.stableName.empty() ? port.path : port.stableName;
}

std::vector<PortInfo> probeOrder(std::vector<PortInfo> ports, const std::string& remembered) {
    if (remembered.empty()) {
        return ports;
    }
    const auto found = std::find_if(ports.begin(), ports.end(), [&remembered](const PortInfo& port) {
        return stableNameOf(port) == remembered || port.path == remembered;
    });
    std::rotate(ports.begin(), found, found == ports.end() ? found : std::next(found));
    return ports;
}

} // namespace orvexa
