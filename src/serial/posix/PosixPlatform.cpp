// The POSIX parts of this machine's platform; what is Linux's own (its ports, its channel) is in
// linux/LinuxPlatform.cpp.
#include "serial/Platform.h"

#include <cstdlib>

#include <unistd.h>

namespace orvexa {

std::unique_ptr<Clock> makeSystemClock() {
    return std::make_unique<SteadyClock>();
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

} // namespace orvexa
