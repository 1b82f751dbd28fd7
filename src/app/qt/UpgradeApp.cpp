#include "UpgradeApp.h"

#include "AboutDialog.h"
#include "MainDialog.h"
#include "QtDialogWindow.h"
#include "ui/Controls.h"

namespace orvexa {

UpgradeApp::UpgradeApp() : package_(FirmwarePackage::carried()) {}

void UpgradeApp::showAbout(MainDialog& dialog, const FirmwarePackage& package) {
    AboutDialog about(package.identity(), &dialog);
    about.exec();
}

int UpgradeApp::run() {
    MainDialog dialog(QString::fromStdString(package_.caption()));
    QtDialogWindow window(dialog);
    dialog.onCommand = [this, &dialog](int commandId) {
        if (commandId == control::kAbout || commandId == MainDialog::kAboutCommand) {
            showAbout(dialog, package_);
        }
    };
    dialog.exec();
    return window.requestedExit().value_or(0);
}

} // namespace orvexa
