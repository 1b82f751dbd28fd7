#include "serial/win32/Win32PortDiscovery.h"

namespace orvexa {

std::vector<PortInfo> Win32PortDiscovery::discoverPorts() {
    walk_.discoverPorts();
    return windowsPorts(walk_.sortedPorts());
}

} // namespace orvexa
