#include "serial/Platform.h"

#include "serial/ExtraPorts.h"
#include "serial/win32/Win32PortDiscovery.h"
#include "serial/win32/Win32SerialChannel.h"

#include <io.h>

namespace orvexa {

namespace {

// The setup API's ports, then the ports the user named.
class Win32DiscoveryWithExtras : public PortDiscovery {
public:
    explicit Win32DiscoveryWithExtras(std::vector<PortInfo> extraPorts)
        : extraPorts_(std::move(extraPorts)) {}
    std::vector<PortInfo> discoverPorts() override {
        std::vector<PortInfo> ports = system_.discoverPorts();
        appendExtraPorts(ports, extraPorts_);
        return ports;
    }

private:
    Win32PortDiscovery system_;
    std::vector<PortInfo> extraPorts_;
};

} // namespace

std::unique_ptr<SerialChannel> makeSerialChannel() {
    return std::make_unique<Win32SerialChannel>();
}

std::unique_ptr<PortDiscovery> makePortDiscovery(std::vector<PortInfo> extraPorts) {
    return std::make_unique<Win32DiscoveryWithExtras>(std::move(extraPorts));
}

bool isTerminal(std::FILE* stream) {
    return _isatty(_fileno(stream)) != 0;
}

} // namespace orvexa
