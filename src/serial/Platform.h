// The few things a front end needs from the OS edge, so that the front ends themselves include no OS
// header: this machine's serial channel and port discovery, and whether a stream is a terminal.
#pragma once

#include "serial/Clock.h"
#include "serial/PortDiscovery.h"
#include "serial/SerialChannel.h"

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace orvexa {

// The clock of the desktop dialog: the system's own millisecond tick (on Windows the tick counter, which
// wraps at 2^32 ms as Deadline expects), and its sleep.
std::unique_ptr<Clock> makeSystemClock();
std::unique_ptr<SerialChannel> makeSerialChannel();
// The ports present, followed by the extra ports given (those of ORVEXA_EXTRA_PORTS, say).
std::unique_ptr<PortDiscovery> makePortDiscovery(std::vector<PortInfo> extraPorts);
bool isTerminal(std::FILE* stream);
// The folder of the user's own settings for this program: $XDG_CONFIG_HOME/orvexa (by default
// ~/.config/orvexa) on Linux, the application-data folder's Orvexa on Windows; empty when the OS names none.
std::string userSettingsFolder();
// The OS and its version, as support wants to read it: "Debian GNU/Linux 12 (bookworm), Linux 6.1.0 x86_64".
std::string operatingSystemName();
// For a process about to end at once (Ctrl-C): undoes what the OS would keep of our open ports after the
// exit. Safe in a signal handler.
void releasePortsForExit() noexcept;

} // namespace orvexa
