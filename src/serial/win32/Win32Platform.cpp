#include "serial/Platform.h"

#include "serial/win32/Win32Clock.h"
#include "serial/win32/Win32PortDiscovery.h"
#include "serial/win32/Win32SerialChannel.h"

#include <cstdint>
#include <cstdlib>

#include <io.h>
#include <windows.h>

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

// GetVersionEx tells a program without a compatibility manifest that it runs on Windows 8; the kernel's
// own RtlGetVersion tells the truth. It is looked up, not linked, as the SDK declares it for drivers only.
std::string operatingSystemName() {
    using RtlGetVersionFunction = LONG(WINAPI*)(OSVERSIONINFOW*);
    const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    const auto address =
        ntdll == nullptr ? 0 : reinterpret_cast<std::uintptr_t>(GetProcAddress(ntdll, "RtlGetVersion"));
    if (address == 0) {
        return "Windows";
    }
    OSVERSIONINFOW version{};
    version.dwOSVersionInfoSize = sizeof version;
    if (reinterpret_cast<RtlGetVersionFunction>(address)(&version) != 0) {
        return "Windows";
    }
    return "Windows " + std::to_string(version.dwMajorVersion) + "." +
           std::to_string(version.dwMinorVersion) + " build " + std::to_string(version.dwBuildNumber);
}

// Windows closes every handle of an ending process, and a COM port keeps nothing of ours after that.
void releasePortsForExit() noexcept {}

} // namespace orvexa
