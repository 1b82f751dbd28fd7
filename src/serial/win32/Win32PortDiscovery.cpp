#include "serial/win32/Win32PortDiscovery.h"

#include "serial/ExtraPorts.h"

namespace orvexa {

std::vector<PortInfo> Win32PortDiscovery::discoverPorts() {
    walk_.discoverPorts();
    std::vector<PortInfo> ports = windowsPorts(walk_);
    appendExtraPorts(ports, extraPorts_);
    return ports;
}

std::string Win32PortDiscovery::accessHint(const PortInfo& port, ChannelError error) const {
    if (error == ChannelError::Busy) {
        return port.displayName + " is held by another program: close it and try again.";
    }
    if (error == ChannelError::NotSerialPort) {
        return port.path + " is not a COM port: nothing was written to it.";
    }
    return {};
}

} // namespace orvexa
