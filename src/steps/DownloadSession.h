// What one Step 3 shares between its classic and framed paths: telling a front end when the scanner is
// about to be changed, the front end's request to stop, a line that is gone, and the ways a transfer ends.
//
//   created (pages and fonts asked?) -> startWriting (front end told once; interruption->writing set)
//     -> endTransfer (final box) | endWithError (line, error box) | endStopped (line, no box)
//   destroyed: interruption->writing cleared, however the step ended
//
// Every ending closes the channel: the scanner is either done, gone, or left mid-transfer, and each of
// those needs a new Step 1.
#pragma once

#include "steps/StepContext.h"
#include "steps/StepTexts.h"

#include <string>
#include <vector>

namespace orvexa {

// Additions: status lines that stay on the dialog once the final box is closed.
inline constexpr const char* kFirmwareFailedLine = "Firmware download failed..";
inline constexpr const char* kStoppedLine = "Stopped before the firmware was complete..";
inline constexpr const char* kPagesAndFontsNotWrittenLine = "Pages and fonts were not written..";

class DownloadSession {
public:
    explicit DownloadSession(StepContext& ctx);
    ~DownloadSession();
    DownloadSession(const DownloadSession&) = delete;
    DownloadSession& operator=(const DownloadSession&) = delete;

    // "Download Font" was checked when the step began, or Step 2 took it off for a scanner that takes no
    // fonts: either way the user asked for the pages and fonts.
    bool pagesAndFontsAsked() const { return pagesAndFontsAsked_; }
    // The language run went through every item (acknowledged or not).
    void markPagesAndFontsWritten() { pagesAndFontsWritten_ = true; }
    // Just before the first byte that changes the scanner: the front end is told once, and from here on
    // an interruption leaves the scanner half-written.
    void startWriting();
    bool stopRequested() const;
    bool lineLost() const;

    // The transfer ran to its end. `unacknowledged` holds the status lines of the items the scanner did
    // not take; pages and fonts asked for and never written add one more. With the error flag the error
    // message is shown; otherwise the success message, which carries the warning icon and those lines
    // when there are any.
    void endTransfer(bool errorFlag, std::vector<std::string> unacknowledged);
    // The transfer cannot go on (or cannot begin): the line says why, and the error message follows.
    void endWithError(const std::string& line, Outcome outcome = Outcome::TransferError);
    // The front end asked to stop: nothing more is sent (no closing frame), and no box is shown.
    void endStopped();

private:
    void addStatusLine(const std::string& line);

    StepContext& ctx_;
    bool pagesAndFontsAsked_ = false;
    bool pagesAndFontsWritten_ = false;
    bool writing_ = false;
};

} // namespace orvexa
