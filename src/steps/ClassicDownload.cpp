#include "steps/ClassicDownload.h"

#include "device/CommandLink.h"
#include "firmware/BlockFrame.h"
#include "firmware/ClassicLink.h"
#include "fonts/FlashWriter.h"
#include "steps/DownloadSession.h"
#include "steps/LanguageDownload.h"
#include "steps/StepTexts.h"
#include "ui/Controls.h"

#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace orvexa {

namespace {

using namespace classic;

constexpr std::int32_t kBlockSize = BlockFrame::kDataSize;

const char kCantUpgrade[] = "This firmware can't be upgraded!!!\nPlease use a new firmware after A5";
const char kRemoveBootloader[] = "Do you want to remove bootloader?";
const char kRemoveBootloaderCaption[] = "Remove bootloader?";
const char kDowngradeBootloader[] = "Do you want to downgrade bootloader?";
const char kDowngradeBootloaderCaption[] = "Downgrade bootloader?";
const char kNoFontsInBootloader[] =
    "Font can't be downloaded in the bootloader!!!\nPlease download font after firmware is recovered";
const char kReadyCaption[] = "Are you READY?";
const char kFinalWarning[] =
    "This process is not reversable and\r\nmay damage the hardware permanently\r\nwhen "
    "improperly executed or\r\nthe process is interrupted.\r\n\r\nThis is your final "
    "chance to cancel.\r\nDo you wish to continue?";
const char kFinalWarningCaption[] = "FINAL WARNING";
// Additions: the original ended silently here.
const char kNoDownloadModeLine[] = "RDQ did not enter download mode..";
const char kStoppedAnsweringLine[] = "RDQ stopped answering during the download..";

// What one step of the progress bar stands for during the transfer.
constexpr char kProgressUnits[] = "firmware";

class ClassicDownload {
public:
    explicit ClassicDownload(StepContext& ctx)
        : ctx_(ctx), window_(ctx.window), device_(ctx.records.deviceInfo), package_(ctx.package),
          link_(ctx.channel, ctx.clock, ctx.records.deviceInfo), classic_(link_), session_(ctx) {}

    void run();

private:
    using Start = ClassicLink::Start;
    using Reply = ClassicLink::Reply;
    enum class Transfer { Complete, ScannerSilent, LineLost, Stopped };

    bool choosePath();
    bool imageBootloaderIsOlder() const;
    bool fonts();
    bool confirm();
    Start startSequence();
    Transfer transfer();
    void finish();
    void endWithoutDownloadMode();

    bool ask(const char* text, const char* caption, unsigned type) {
        return window_.messageBox(text, caption, type) == kIdYes;
    }
    void end(Outcome outcome) { ctx_.outcome = outcome; }

    StepContext& ctx_;
    DialogWindow& window_;
    DeviceInfo& device_;
    FirmwarePackage& package_;
    CommandLink link_;
    ClassicLink classic_;
    DownloadSession session_;

    bool hasBootloader_ = false;
    bool inBootloader_ = false;
    std::int32_t offset_ = 0;
    std::int32_t blockNumber_ = 0;
    int retriesLeft_ = kRetries;
    bool errorFlag_ = false;
    std::vector<std::string> unacknowledged_; // status lines of the items the scanner did not take
};

void ClassicDownload::run() {
    hasBootloader_ = link_.queryBootloader();
    if (session_.lineLost()) {
        endWithoutDownloadMode();
        return;
    }
    inBootloader_ = runsBootloader(device_);
    offset_ = 0;
    blockNumber_ = 0;
    if (!choosePath()) {
        return;
    }
    if (inBootloader_ && window_.isChecked(control::kDownloadFont)) {
        window_.setChecked(control::kDownloadFont, false);
        window_.messageBox(kNoFontsInBootloader, "", box::kOk);
    }
    if (!fonts()) {
        return;
    }
    // A stop asked for during the last chunk: the pages and fonts are in, the firmware is not begun.
    if (session_.stopRequested()) {
        session_.endStopped();
        return;
    }
    errorFlag_ = false;
    retriesLeft_ = kRetries;
    if (!confirm()) {
        return;
    }

    window_.progressSetUnits(kProgressUnits, kBlockSize);
    window_.progressSetStep(1);
    window_.progressSetRange(0, static_cast<std::uint16_t>(package_.imageSize() / kBlockSize + 1));
    window_.beginWaitCursor();
    if (startSequence() != Start::Ready) {
        window_.endWaitCursor();
        endWithoutDownloadMode();
        return;
    }
    window_.restoreWaitCursor();
    classic_.beginFrames();
    switch (transfer()) {
    case Transfer::Complete:
        finish();
        break;
    // The closing frame would have the scanner finish on a partial image, so it is not sent.
    case Transfer::ScannerSilent:
        session_.endWithError(kStoppedAnsweringLine);
        break;
    case Transfer::LineLost:
        session_.endWithError(kDisconnectedLine);
        break;
    case Transfer::Stopped:
        session_.endStopped();
        break;
    }
    window_.endWaitCursor();
}

// The path table: from where the image is written, and whether the user must agree first.
bool ClassicDownload::choosePath() {
    const bool hasHeader = package_.hasImageHeader();
    if (hasHeader) {
        package_.patchImageHeader();
    }
    if (!hasBootloader_) {
        return true; // from offset 0, with or without the header
    }
    if (hasHeader && inBootloader_) {
        // The bootloader area is the scanner's own while it runs from it: start after it.
        offset_ = kBootloaderAreaSize;
        blockNumber_ = kBootloaderAreaSize / kBlockSize;
        return true;
    }
    if (hasHeader) {
        if (imageBootloaderIsOlder() &&
            !ask(kDowngradeBootloader, kDowngradeBootloaderCaption, box::kQuestion)) {
            end(Outcome::Cancelled);
            return false;
        }
        return true;
    }
    if (inBootloader_) {
        window_.messageBox(kCantUpgrade, "", box::kOk);
        end(Outcome::Refused);
        return false;
    }
    if (!ask(kRemoveBootloader, kRemoveBootloaderCaption, box::kQuestion)) {
        end(Outcome::Cancelled);
        return false;
    }
    return true;
}

// The image's bootloader version against the digits after the scanner's "v", by unsigned character
// code, up to the first difference or a zero character.
bool ClassicDownload::imageBootloaderIsOlder() const {
    const std::array<char, 2> image = package_.bootloaderVersion();
    for (std::size_t i = 0; i < image.size(); ++i) {
        const unsigned char ours = static_cast<unsigned char>(image[i]);
        const unsigned char theirs = charAt(device_.bootloaderText, i + 1);
        if (ours != theirs) {
            return ours < theirs;
        }
        if (ours == 0) {
            return false;
        }
    }
    return false;
}

bool ClassicDownload::fonts() {
    const bool model18 = package_.isModel18();
    if (!(package_.isVersion3() || model18) || !window_.isChecked(control::kDownloadFont)) {
        return true;
    }
    if (auto problem = languageDownloadProblem(ctx_)) {
        window_.messageBox(*problem, "", box::kError);
        end(Outcome::Refused);
        return false;
    }
    if (!model18) {
        queryFlashType(link_);
        if (session_.lineLost()) {
            endWithoutDownloadMode();
            return false;
        }
    }
    session_.startWriting();
    LanguageRun run = downloadLanguagesAndFonts(ctx_, link_, session_);
    switch (run.end) {
    case LanguageRun::End::Complete:
        session_.markPagesAndFontsWritten();
        unacknowledged_ = std::move(run.failed);
        return true;
    case LanguageRun::End::Stopped:
        session_.endStopped();
        return false;
    case LanguageRun::End::LineLost:
        session_.endWithError(kDisconnectedLine);
        return false;
    }
    return false;
}

bool ClassicDownload::confirm() {
    if (window_.isChecked(control::kSilentMode)) {
        return true;
    }
    if (!ask(kReadyText, kReadyCaption, box::kWarningQuestion) ||
        !ask(kFinalWarning, kFinalWarningCaption, box::kWarningQuestion)) {
        end(Outcome::Cancelled);
        return false;
    }
    return true;
}

// The ping only wakes the scanner; the letters after it are the first that change it, unless pages and
// fonts were written before.
ClassicDownload::Start ClassicDownload::startSequence() {
    if (!classic_.wake()) {
        return Start::LineLost;
    }
    session_.startWriting();
    return classic_.enterDownloadMode(device_.itAccepted);
}

// Resends once the count is spent: the count is shared by all blocks and only "X" restores it, so a
// spent count passes every further refused block over at once. The run already ends in the error
// message then, and a scanner that refuses everything costs one frame per block, not eleven.
ClassicDownload::Transfer ClassicDownload::transfer() {
    const std::int32_t imageSize = package_.imageSize();
    while (offset_ < imageSize) {
        // Between two frames: the scanner has answered the last one and waits for the next.
        if (session_.stopRequested()) {
            return Transfer::Stopped;
        }
        const BlockFrame frame =
            BlockFrame::data(static_cast<std::uint16_t>(blockNumber_), package_.image(), imageSize, offset_);
        std::uint8_t reply = 0;
        switch (classic_.sendFrame(frame, reply)) {
        case Reply::Arrived:
            break;
        case Reply::Silent:
            return Transfer::ScannerSilent;
        case Reply::LineLost:
            return Transfer::LineLost;
        }
        if (reply == kCrcError || reply == kOverrun) {
            if (retriesLeft_ > 0) {
                --retriesLeft_;
                continue;
            }
            errorFlag_ = true;
        } else if (reply == kAccepted) {
            retriesLeft_ = kRetries;
        } else {
            // A letter the protocol does not define: the transfer moves on as it always did, but nothing
            // says the scanner stored the block, so the run must not end in the success message.
            errorFlag_ = true;
        }
        offset_ += kBlockSize;
        ++blockNumber_;
        window_.progressStepIt();
    }
    return Transfer::Complete;
}

void ClassicDownload::finish() {
    classic_.sendClosingFrame(static_cast<std::uint16_t>(blockNumber_));
    session_.endTransfer(errorFlag_, unacknowledged_);
}

// No "X" came (or the line went before one could): nothing of the firmware was sent, and the scanner
// still runs what it ran. A port that is gone is closed; a live one stays open for another try.
void ClassicDownload::endWithoutDownloadMode() {
    addStatusLine(window_, kNoDownloadModeLine);
    if (session_.lineLost()) {
        ctx_.channel.close();
        addStatusLine(window_, kDisconnectedLine);
    }
    end(Outcome::NoDownloadMode);
}

} // namespace

void classicDownload(StepContext& ctx) {
    ClassicDownload(ctx).run();
}

} // namespace orvexa
