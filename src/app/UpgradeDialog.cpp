#include "app/UpgradeDialog.h"

#include "app/SupportBundle.h"
#include "serial/ExtraPorts.h"
#include "steps/Steps.h"
#include "ui/Controls.h"

#include <algorithm>
#include <filesystem>

namespace orvexa {

namespace {

// The version the About box names, as the program's version record gives it ("3, 26, 0, 0").
constexpr const char* kProgramVersion = "3.26";
constexpr unsigned kSysCommandMask = 0xFFF0;
// The program's name in the bundle: the same dialog on every toolkit.
constexpr const char* kProgramName = "orvexa";

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
    // The start-up font rule: offered when the carried firmware holds it (with a catalogue, when any of
    // its packages does); Step 2 revises the choice from what the scanner reports.
    if (offersFontOption()) {
        window.enableControl(control::kDownloadFont, true);
    }
}

bool UpgradeDialog::offersFontOption() const {
    const FirmwareCatalogue* catalogue = app_.catalogue();
    if (catalogue == nullptr) {
        return app_.package().offersFontOption();
    }
    return std::any_of(
        catalogue->entries().begin(), catalogue->entries().end(),
        [](const FirmwareCatalogue::Entry& entry) { return entry.package.offersFontOption(); });
}

// With a catalogue the caption names it until Step 2 has chosen a package for the scanner.
std::string UpgradeDialog::caption() const {
    const FirmwareCatalogue* catalogue = app_.catalogue();
    if (catalogue != nullptr && !app_.records().chosenPackage) {
        return "RDQ firmware catalogue (" + std::to_string(catalogue->entries().size()) + " packages)";
    }
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
    switch (command & kSysCommandMask) {
    case kSysCommandAbout:
        about();
        return true;
    case kSysCommandSupportBundle:
        saveSupportBundle();
        return true;
    case kSysCommandOpenFirmware:
        openFirmware();
        return true;
    default:
        return false;
    }
}

void UpgradeDialog::step1() {
    app_.runMemory().beginRun();
    portSelection(app_.steps());
}

void UpgradeDialog::step2() {
    app_.runMemory().continueRun();
    verifyDevice(app_.steps());
}

void UpgradeDialog::step3() {
    app_.runMemory().continueRun();
    firmwareDownload(app_.steps());
}

void UpgradeDialog::saveSupportBundle() {
    RunMemory::BoxRecordPause pause(app_.runMemory());
    DialogWindow& window = app_.window();
    const std::optional<std::string> path = window.askSaveFileName(kSupportBundleDefaultName);
    if (!path) {
        return;
    }
    const MachineFacts machine = examineThisMachine(app_.steps().discovery, extraPortsFromEnvironment());
    const std::optional<std::string> failure = writeSupportBundle(
        *path, supportBundleText(kProgramName, machine, app_.package(), &app_.runMemory()));
    if (failure) {
        window.messageBox("The support bundle was not written:\r\n" + *failure, "", box::kError);
    } else {
        window.messageBox("Support bundle written to\r\n" + *path, "", box::kOk);
    }
}

void UpgradeDialog::openFirmware() {
    const std::optional<std::string> chosen = app_.window().askFirmwareFileName();
    if (!chosen) {
        return;
    }
    // A file dialog picks files, and a catalogue is a folder: its SHA256SUMS names it.
    const std::filesystem::path path(*chosen);
    if (path.filename() == kSumsFileName) {
        openFirmware(path.has_parent_path() ? path.parent_path().string() : std::string("."));
    } else {
        openFirmware(*chosen);
    }
}

FirmwareOpening UpgradeDialog::openFirmware(const std::string& path) {
    // Its box is no part of a run: a refused file says nothing of the scanner.
    RunMemory::BoxRecordPause pause(app_.runMemory());
    DialogWindow& window = app_.window();
    CatalogueLoad loaded = FirmwareCatalogue::load(path);
    FirmwareOpening opening{{}, std::move(loaded.notes)};
    if (!loaded.catalogue) {
        opening.refusal = loaded.fault->file + " " + loaded.fault->reason;
        window.messageBox("The firmware was not opened:\r\n" + opening.refusal, "", box::kError);
        return opening;
    }
    adopt(std::make_unique<FirmwareCatalogue>(std::move(*loaded.catalogue)));
    return opening;
}

void UpgradeDialog::useCarriedCatalogue() {
    if (std::optional<FirmwareCatalogue> carried = FirmwareCatalogue::carried()) {
        adopt(std::make_unique<FirmwareCatalogue>(std::move(*carried)));
    }
}

void UpgradeDialog::adopt(std::unique_ptr<FirmwareCatalogue> catalogue) {
    DialogWindow& window = app_.window();
    // The context takes the new catalogue before the old one goes.
    app_.useCatalogue(*catalogue);
    catalogue_ = std::move(catalogue);
    // What Step 2 verified (and chose) was judged against the firmware before: Step 3 must not write this
    // one without a Step 2 of its own.
    app_.records().verifiedOnOpenPort = false;
    app_.records().chosenPackage.reset();
    window.enableControl(control::kStep3, false);
    const bool fonts = offersFontOption();
    window.enableControl(control::kDownloadFont, fonts);
    if (!fonts) {
        window.setChecked(control::kDownloadFont, false);
    }
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
