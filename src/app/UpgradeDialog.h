// The main dialog's logic without a toolkit: the state of every control at start, the buttons, the keys
// "1", "2" and "3", the About box. A front end draws the controls and forwards its events here; the steps
// change the controls through the DialogWindow as they run.
//
// Enabling across the workflow (the steps apply the later rules themselves):
//   start            Step 1, About, Exit, Silent mode, both edits enabled; Step 2, Step 3 disabled;
//                    Download Font enabled when the carried firmware offers fonts, else disabled
//   Step 1 runs      Step 3 disabled (unless No): no scanner on the port it opens is verified yet
//   after Step 1     Step 2 enabled, the port result edit disabled (unless No, or the open failed)
//   Step 2 runs      Step 3 disabled; enabled again only when this run verifies the scanner
//   after Step 2 ok  Step 3 enabled, the status edit disabled, Download Font by the scanner's capability
// No step disables its own button, so each may be run again. The key "3" still runs Step 3 with its button
// disabled, and Step 3 then refuses at once: it writes only after a verification on the port open now.
#pragma once

#include "app/AppContext.h"

#include <memory>
#include <string>
#include <vector>

namespace orvexa {

// The system-menu entry that opens the About box.
inline constexpr unsigned kSysCommandAbout = 16;
inline constexpr const char* kAboutMenuText = "&About Orvexa...";
// The entry beside it that saves a support bundle (an addition); system-menu numbers keep their low four
// bits clear.
inline constexpr unsigned kSysCommandSupportBundle = 32;
inline constexpr const char* kSupportBundleMenuText = "Save support &bundle...";
// The entry after it that opens a firmware catalogue or image (an addition).
inline constexpr unsigned kSysCommandOpenFirmware = 48;
inline constexpr const char* kOpenFirmwareMenuText = "Open &firmware...";

// What opening a firmware came to.
struct FirmwareOpening {
    std::string refusal;            // "FILE REASON" when refused; empty when it is the session's firmware now
    std::vector<std::string> notes; // files of the folder that SHA256SUMS does not list, left out
};

class UpgradeDialog {
public:
    explicit UpgradeDialog(AppContext& app);

    // The dialog's start: every control in its initial state, then the start-up font rule.
    void initDialog();
    // "RDQ200 3.07 A7UG" for the carried "M307_200_A7UG"; with a catalogue, the catalogue until Step 2
    // has chosen. A front end asks again after each step.
    std::string caption() const;

    // A click on a button (by control id); Exit is the front end's own business.
    void onButton(int controlId);
    // A key pressed on the dialog: "1", "2" and "3" run their step whether or not its button is enabled.
    // True when a step ran; the front end then goes on with its default handling of the key as well.
    bool onKey(char key);
    // A system-menu command: the About entry (its low four bits are the system's own) opens the About
    // box, the support bundle entry saves one, the firmware entry opens a firmware. True when handled here;
    // everything else gets the default handling.
    bool onSystemCommand(unsigned command);

    void step1();
    void step2();
    void step3();
    void about();
    // Asks the window where to save, writes the bundle there (the last run as RunMemory holds it) and
    // says in a box that it was written, or why not.
    void saveSupportBundle();
    // "Open firmware...": asks the window for an image or a catalogue's SHA256SUMS (which stands for its
    // folder), then opens it as below.
    void openFirmware();
    // The catalogue at `path` (a folder, or one image with its SHA256SUMS beside it), checked whole,
    // becomes the session's firmware: Step 3 waits for a Step 2 that verifies the scanner against it, and
    // the start-up font rule is taken again. A fault is said in an error box with the file and why, and
    // the session keeps its firmware. Nothing reaches a port either way.
    FirmwareOpening openFirmware(const std::string& path);
    // A program built with a catalogue inside starts on it, as on one opened (nothing when it has none).
    void useCarriedCatalogue();

    // The About box: its caption and two lines.
    static std::string aboutCaption();
    std::vector<std::string> aboutLines() const;

private:
    bool offersFontOption() const;
    void adopt(std::unique_ptr<FirmwareCatalogue> catalogue);

    AppContext& app_;
    // The opened catalogue, which the context points to; the context outlives the dialog but asks nothing
    // of it once the dialog is gone.
    std::unique_ptr<FirmwareCatalogue> catalogue_;
};

} // namespace orvexa
