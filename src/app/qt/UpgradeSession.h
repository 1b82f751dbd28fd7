// One run of the desktop tool, wired: the main dialog, its DialogWindow, the application context and the
// dialog's logic. The program builds one over the machine's ports and clock; the tests build one over
// simulated ports on the virtual clock and click the same widgets a user does. The caption follows the
// session's firmware: it is set again after every step and command.
#pragma once

#include "MainDialog.h"
#include "QtDialogWindow.h"
#include "app/AppContext.h"
#include "app/UpgradeDialog.h"

#include <memory>

namespace orvexa {

class UpgradeSession {
public:
    UpgradeSession(Clock& clock, PortDiscovery& discovery, std::unique_ptr<SerialChannel> mainChannel,
                   ChannelFactory makeProbeChannel, FirmwarePackage package = FirmwarePackage::carried());
    UpgradeSession(const UpgradeSession&) = delete;
    UpgradeSession& operator=(const UpgradeSession&) = delete;

    MainDialog& dialog() { return *dialog_; }
    QtDialogWindow& window() { return *window_; }
    AppContext& app() { return *app_; }
    UpgradeDialog& logic() { return *logic_; }

    // A firmware named on the command line: as "Open firmware..." opens one (UpgradeDialog::openFirmware),
    // with the caption following.
    FirmwareOpening openFirmware(const std::string& path);
    // No firmware named: the catalogue the program carries, if it was built with one.
    void useCarriedCatalogue();

private:
    void showCaption();

    std::unique_ptr<MainDialog> dialog_;
    std::unique_ptr<QtDialogWindow> window_;
    std::unique_ptr<AppContext> app_;
    std::unique_ptr<UpgradeDialog> logic_;
};

} // namespace orvexa
