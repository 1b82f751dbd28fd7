#include "app/UpgradeDialog.h"

#include "steps/Steps.h"
#include "ui/Controls.h"

namespace orvexa {

namespace {

// The version the About box names, as the program's version record gives it ("3, 26, 0, 0").
constexpr const char* kProgramVersion = "3.26";
constexpr unsigned kSysCommandMask = 0xFFF0;

} // namespace

UpgradeDialog::UpgradeDialog(AppContext& app) : app_(app) {}

void UpgradeDialog::initDialog() {
    DialogWindow& window = app_.window();
    for (int id : {control::kExit, control::kAbout, control::kStep1, control::kPortResult, control::kStatus,
                   control::kSilentMode}) {
        window.enableControl(id, true);
    }
    for (int id : {control::kStep2, control::kStep3, control::kDownloadFont}) {
        window.enableControl(id, false);
    }
    window.setControlText(control::kPortResult, "");
    window.setControlText(control::kStatus, "");
    window.setChecked(control::kSilentMode, false);
    window.setChecked(control::kDownloadFont, false);
    // The start-up font rule: offered when the carried firmware holds it; Step 2 revises the choice from
    // what the scanner reports.
    if (app_.package().offersFontOption()) {
        window.enableControl(control::kDownloadFont, true);
    }
}

std::string UpgradeDialog::caption() const {
    return app_.package().caption();
}

void UpgradeDialog::onButton(int controlId) {
    switch (controlId) {
    case control::kAbout:
        about();
        break;
    case control::kStep1:
        step1();
        break;
    case control::kStep2:
        step2();
        break;
    case control::kStep3:
        step3();
        break;
    default:
        break;
    }
}

bool UpgradeDialog::onKey(char key) {
    switch (key) {
    case '1':
        step1();
        return true;
    case '2':
        step2();
        return true;
    case '3':
        step3();
        return true;
    default:
        return false;
    }
}

bool UpgradeDialog::onSystemCommand(unsigned command) {
    if ((command & kSysCommandMask) != kSysCommandAbout) {
        return false;
    }
    about();
    return true;
}

void UpgradeDialog::step1() {
    portSelection(app_.steps());
}

void UpgradeDialog::step2() {
    verifyDevice(app_.steps());
}

void UpgradeDialog::step3() {
    firmwareDownload(app_.steps());
}

void UpgradeDialog::about() {
    app_.window().showAbout(aboutCaption(), aboutLines());
}

std::string UpgradeDialog::aboutCaption() {
    return "About Orvexa";
}

std::vector<std::string> UpgradeDialog::aboutLines() const {
    return {"Tevanor RDQ F/W upgrade program",
            std::string("Version ") + kProgramVersion + ", carrying firmware " + app_.package().identity()};
}

} // namespace orvexa
