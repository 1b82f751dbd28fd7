// The application: builds the main dialog, runs it modally for the life of the process, and returns the
// exit code a step asked for (0 otherwise).
#pragma once

#include "firmware/FirmwarePackage.h"

namespace orvexa {

class MainDialog;

class UpgradeApp {
public:
    UpgradeApp();

    // Call with a QApplication in place.
    int run();

    // Opens the About box over the dialog.
    static void showAbout(MainDialog& dialog, const FirmwarePackage& package);

private:
    FirmwarePackage package_;
};

} // namespace orvexa
