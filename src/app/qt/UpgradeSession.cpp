#include "UpgradeSession.h"

#include "app/FilePortMemory.h"
#include "serial/Platform.h"

namespace orvexa {

UpgradeSession::UpgradeSession(Clock& clock, PortDiscovery& discovery,
                               std::unique_ptr<SerialChannel> mainChannel, ChannelFactory makeProbeChannel,
                               FirmwarePackage package)
    : dialog_(std::make_unique<MainDialog>(QString::fromStdString(package.caption()))),
      window_(std::make_unique<QtDialogWindow>(*dialog_)),
      app_(std::make_unique<AppContext>(*window_, clock, discovery, std::move(mainChannel),
                                        std::move(makeProbeChannel), std::move(package))),
      logic_(std::make_unique<UpgradeDialog>(*app_)) {
    dialog_->onCommand = [this](int commandId) {
        if (commandId == MainDialog::kAboutCommand || commandId == MainDialog::kSupportBundleCommand ||
            commandId == MainDialog::kOpenFirmwareCommand) {
            logic_->onSystemCommand(static_cast<unsigned>(commandId));
        } else {
            logic_->onButton(commandId);
        }
        showCaption();
    };
    dialog_->onKey = [this](int virtualKey) {
        logic_->onKey(static_cast<char>(virtualKey));
        showCaption();
    };
    app_->rememberPortsWith(std::make_unique<FilePortMemory>(userSettingsFolder()));
    logic_->initDialog();
}

FirmwareOpening UpgradeSession::openFirmware(const std::string& path) {
    FirmwareOpening opening = logic_->openFirmware(path);
    showCaption();
    return opening;
}

void UpgradeSession::useCarriedCatalogue() {
    logic_->useCarriedCatalogue();
    showCaption();
}

void UpgradeSession::showCaption() {
    dialog_->setWindowTitle(QString::fromStdString(logic_->caption()));
}

} // namespace orvexa
