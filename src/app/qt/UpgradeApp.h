// The application: the machine's clock, serial ports and port discovery (with the extra ports of
// ORVEXA_EXTRA_PORTS, which is how the GUI is pointed at rdq-sim), one session of the main dialog run
// modally for the life of the process, and the exit code a step asked for (0 otherwise).
#pragma once

namespace orvexa {

class UpgradeApp {
public:
    // Call with a QApplication in place.
    int run();
};

} // namespace orvexa
