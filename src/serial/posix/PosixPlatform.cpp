#include "serial/Platform.h"

#include "serial/posix/LinuxDoctor.h"
#include "serial/posix/LinuxPortDiscovery.h"
#include "serial/posix/PosixSerialChannel.h"

#include <cstdlib>
#include <fstream>
#include <string_view>

#include <sys/utsname.h>
#include <unistd.h>

namespace orvexa {

std::unique_ptr<Clock> makeSystemClock() {
    return std::make_unique<SteadyClock>();
}

std::unique_ptr<SerialChannel> makeSerialChannel() {
    return std::make_unique<PosixSerialChannel>();
}

std::unique_ptr<PortDiscovery> makePortDiscovery(std::vector<PortInfo> extraPorts) {
    return std::make_unique<LinuxPortDiscovery>("/sys", "/dev", std::move(extraPorts));
}

bool isTerminal(std::FILE* stream) {
    return ::isatty(::fileno(stream)) == 1;
}

std::string userSettingsFolder() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config != nullptr && config[0] == '/') { // a relative one is to be ignored
        return std::string(config) + "/orvexa";
    }
    const char* home = std::getenv("HOME");
    return home != nullptr && home[0] != '\0' ? std::string(home) + "/.config/orvexa" : std::string();
}

std::vector<Finding> examineMachine(const std::vector<PortInfo>& extraPorts) {
    return LinuxDoctor("/", currentLogin(), extraPorts).examine();
}

std::string operatingSystemName() {
    std::string name;
    std::ifstream release("/etc/os-release");
    constexpr std::string_view kPrettyName = "PRETTY_NAME=";
    for (std::string line; name.empty() && std::getline(release, line);) {
        if (line.rfind(kPrettyName, 0) == 0) {
            name = line.substr(kPrettyName.size());
            if (name.size() >= 2 && name.front() == '"' && name.back() == '"') {
                name = name.substr(1, name.size() - 2);
            }
        }
    }
    struct utsname kernel {};
    if (::uname(&kernel) == 0) {
        name += (name.empty() ? "" : ", ") + std::string(kernel.sysname) + " " + kernel.release + " " +
                kernel.machine;
    }
    return name.empty() ? "Linux" : name;
}

} // namespace orvexa
