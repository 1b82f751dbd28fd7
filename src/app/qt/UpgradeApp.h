// The application: the machine's clock, serial ports and port discovery (with the extra ports of
// ORVEXA_EXTRA_PORTS, which is how the GUI is pointed at rdq-sim), one session of the main dialog run
// modally for the life of the process, and the exit code a step asked for (0 otherwise). With --firmware
// PATH the session starts on that catalogue or image, checked whole before Step 1 can open a port; one
// that is refused ends the program with exit code 2, as orvexa-cli does.
#pragma once

#include <string>
#include <vector>

namespace orvexa {

class UpgradeSession;

class UpgradeApp {
public:
    // The arguments after the program's name, as QApplication left them (Qt's own options taken out).
    explicit UpgradeApp(std::vector<std::string> arguments) : arguments_(std::move(arguments)) {}

    // Call with a QApplication in place.
    int run();
    // The command line's firmware into a session that has run no step: 0 to go on, else the exit code
    // once the refusal (the file and why) has been said in an error box and on standard error.
    int start(UpgradeSession& session) const;

private:
    std::vector<std::string> arguments_;
};

} // namespace orvexa
