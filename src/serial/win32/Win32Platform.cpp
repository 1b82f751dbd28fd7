#include "serial/Platform.h"

#include "serial/win32/Win32Clock.h"
#include "serial/win32/Win32PortDiscovery.h"
#include "serial/win32/Win32SerialChannel.h"

#include <cstdlib>

#include <io.h>

namespace orvexa {

std::unique_ptr<Clock> makeSystemClock() {
    return std::make_unique<Win32Clock>();
}

std::unique_ptr<SerialChannel> makeSerialChannel() {
    return std::make_unique<Win32SerialChannel>();
}

std::unique_ptr<PortDiscovery> makePortDiscovery(std::vector<PortInfo> extraPorts) {
    return std::make_unique<Win32PortDiscovery>(std::move(extraPorts));
}

bool isTerminal(std::FILE* stream) {
    return _isatty(_fileno(stream)) != 0;
}

std::string userSettingsFolder() {
    const char* appData = std::getenv("APPDATA");
    return appData != nullptr && appData[0] != '\0' ? std::string(appData) + "\\Orvexa" : std::string();
}

std::vector<Finding> examineMachine(const std::vector<PortInfo>& extraPorts) {
    (void)extraPorts;
    return {};
}

std::string operatingSystemName() {
    return "Windows";
}

// Windows closes every handle of an ending process, and a COM port keeps nothing of ours after that.
void releasePortsForExit() noexcept {}

} // namespace orvexa
