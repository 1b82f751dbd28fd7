#include "steps/ClassicDownload.h"

#include "device/CommandLink.h"
#include "firmware/BlockFrame.h"
#include "fonts/FlashWriter.h"
#include "serial/Deadline.h"
#include "steps/LanguageDownload.h"
#include "ui/Controls.h"

#include <cstring>

namespace orvexa {

namespace {

using namespace classic;

constexpr std::uint32_t kCommandPauseMs = CommandLink::kCommandPauseMs;

constexpr char kInBootloaderPrefix[] = "Bootloader";
constexpr std::size_t kInBootloaderPrefixLength = 10;
constexpr std::int32_t kBlockSize = BlockFrame::kDataSize;

const char kCantUpgrade[] = "This firmware can't be upgraded!!!\nPlease use a new firmware after A5";
const char kRemoveBootloader[] = "Do you want to remove bootloader?";
const char kRemoveBootloaderCaption[] = "Remove bootloader?";
const char kDowngradeBootloader[] = "Do you want to downgrade bootloader?";
const char kDowngradeBootloaderCaption[] = "Downgrade bootloader?";
const char kNoFontsInBootloader[] =
    "Font can't be downloaded in the bootloader!!!\nPlease download font after firmware is recovered";
const char kReady[] = "Did you close all other applications?\r\nIs RDQ properly connected?";
const char kReadyCaption[] = "Are you READY?";
const char kFinalWarning[] =
    "This process is not reversable and\r\nmay damage the hardware permanently\r\nwhen "
    "improperly executed or\r\nthe process is interrupted.\r\n\r\nThis is your final "
    "chance to cancel.\r\nDo you wish to continue?";
const char kFinalWarningCaption[] = "FINAL WARNING";
const char kSuccess[] =
    "Firmware updated sucessfully!!!\r\n\nPlease make sure to set factory default after restart RDQ";
const char kFailure[] =
    "Error was detected while upgrading Firmware!!\r\nPlease reset RDQ and update Firmware again.";
// Additions: the original ended silently here.
const char kNoDownloadModeLine[] = "RDQ did not enter download mode..";
const char kStoppedAnsweringLine[] = "RDQ stopped answering during the download..";

class ClassicDownload {
public:
    explicit ClassicDownload(StepContext& ctx)
        : ctx_(ctx), window_(ctx.window), device_(ctx.records.deviceInfo), package_(ctx.package),
          link_(ctx.channel, ctx.clock, ctx.records.deviceInfo) {}

    void run();

private:
    enum class Transfer { Complete, ScannerSilent };

    bool choosePath();
    bool imageBootloaderIsOlder() const;
    bool fonts();
    bool confirm();
    bool startSequence();
    bool waitForX(int reads);
    Transfer transfer();
    bool readReply(std::uint8_t& reply);
    void finish();
    void stopForSilence();

    void send(char letter, std::uint32_t pauseMs);
    bool ask(const char* text, const char* caption, unsigned type) {
        return window_.messageBox(text, caption, type) == kIdYes;
    }
    void addStatusLine(const std::string& line) {
        window_.setControlText(control::kStatus, window_.controlText(control::kStatus) + "\r\n" + line);
    }
    void end(Outcome outcome) { ctx_.outcome = outcome; }

    StepContext& ctx_;
    DialogWindow& window_;
    DeviceInfo& device_;
    FirmwarePackage& package_;
    CommandLink link_;

    bool hasBootloader_ = false;
    bool inBootloader_ = false;
    std::int32_t offset_ = 0;
    std::int32_t blockNumber_ = 0;
    int retriesLeft_ = kRetries;
    bool errorFlag_ = false;
    bool itemsNotAcknowledged_ = false;
};

void ClassicDownload::run() {
    hasBootloader_ = link_.queryBootloader();
    inBootloader_ =
        std::memcmp(device_.firmwareText.data(), kInBootloaderPrefix, kInBootloaderPrefixLength) == 0;
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
    errorFlag_ = false;
    retriesLeft_ = kRetries;
    if (!confirm()) {
        return;
    }

    window_.progressSetStep(1);
    window_.progressSetRange(0, static_cast<std::uint16_t>(package_.imageSize() / kBlockSize + 1));
    window_.beginWaitCursor();
    if (!startSequence()) {
        window_.endWaitCursor();
        addStatusLine(kNoDownloadModeLine);
        end(Outcome::NoDownloadMode);
        return;
    }
    window_.restoreWaitCursor();
    send('H', kCommandPauseMs);
    send('H', 0);
    if (transfer() == Transfer::ScannerSilent) {
        stopForSilence();
        return;
    }
    finish();
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
    }
    itemsNotAcknowledged_ = !downloadLanguagesAndFonts(ctx_, link_).empty();
    return true;
}

bool ClassicDownload::confirm() {
    if (window_.isChecked(control::kSilentMode)) {
        return true;
    }
    if (!ask(kReady, kReadyCaption, box::kWarningQuestion) ||
        !ask(kFinalWarning, kFinalWarningCaption, box::kWarningQuestion)) {
        end(Outcome::Cancelled);
        return false;
    }
    return true;
}

bool ClassicDownload::startSequence() {
    link_.pingDevice();
    send('I', kCommandPauseMs);
    send('E', kCommandPauseMs);
    send('I', kCommandPauseMs);
    send(device_.itAccepted ? 'T' : 'u', 0);
    if (waitForX(kStartReads)) {
        return true;
    }
    link_.pingDevice();
    send('I', kCommandPauseMs);
    send('U', 0);
    return waitForX(kFallbackReads);
}

bool ClassicDownload::waitForX(int reads) {
    for (int i = 0; i < reads; ++i) {
        std::uint8_t byte = 0;
        if (ctx_.channel.read(&byte, 1) == 1 && byte == kAccepted) {
            return true;
        }
        ctx_.clock.sleepMs(kStartPollPauseMs);
    }
    return false;
}

// Resends once the count is spent: the count is shared by all blocks and only "X" restores it, so a
// spent count passes every further refused block over at once. The run already ends in the error
// message then, and a scanner that refuses everything costs one frame per block, not eleven.
ClassicDownload::Transfer ClassicDownload::transfer() {
    const std::int32_t imageSize = package_.imageSize();
    while (offset_ < imageSize) {
        const BlockFrame frame =
            BlockFrame::data(static_cast<std::uint16_t>(blockNumber_), package_.image(), imageSize, offset_);
        ctx_.channel.write(frame.bytes(), frame.size());
        std::uint8_t reply = 0;
        if (!readReply(reply)) {
            return Transfer::ScannerSilent;
        }
        if (reply == kCrcError || reply == kOverrun) {
            if (retriesLeft_ > 0) {
                --retriesLeft_;
                continue;
            }
            errorFlag_ = true;
        } else if (reply == kAccepted) {
            retriesLeft_ = kRetries;
        }
        // Any other letter is taken as acceptance, with the count as it was.
        offset_ += kBlockSize;
        ++blockNumber_;
        window_.progressStepIt();
    }
    return Transfer::Complete;
}

bool ClassicDownload::readReply(std::uint8_t& reply) {
    Deadline deadline(ctx_.clock);
    deadline.start(kFrameReplyLimitMs);
    do {
        if (ctx_.channel.read(&reply, 1) == 1) {
            return true;
        }
        if (!ctx_.channel.isOpen()) {
            return false; // the line is gone: no reply can come
        }
    } while (!deadline.expired());
    return false;
}

void ClassicDownload::finish() {
    ctx_.clock.sleepMs(kClosingPauseMs);
    const BlockFrame closing = BlockFrame::closing(static_cast<std::uint16_t>(blockNumber_));
    ctx_.channel.write(closing.bytes(), closing.size());
    ctx_.channel.close();
    if (errorFlag_) {
        window_.messageBox(kFailure, "", box::kError);
        end(Outcome::TransferError);
    } else {
        window_.messageBox(kSuccess, "", box::kOk);
        end(itemsNotAcknowledged_ ? Outcome::ItemsNotAcknowledged : Outcome::Written);
    }
    window_.endWaitCursor();
}

// The scanner stopped answering in the middle of the image. The closing frame would have it finish on a
// partial image, so it is not sent; the channel is closed as after any transfer, and the user is told.
void ClassicDownload::stopForSilence() {
    ctx_.channel.close();
    addStatusLine(kStoppedAnsweringLine);
    window_.messageBox(kFailure, "", box::kError);
    end(Outcome::TransferError);
    window_.endWaitCursor();
}

void ClassicDownload::send(char letter, std::uint32_t pauseMs) {
    const auto byte = static_cast<std::uint8_t>(letter);
    ctx_.channel.write(&byte, 1);
    if (pauseMs > 0) {
        ctx_.clock.sleepMs(pauseMs);
    }
}

} // namespace

void classicDownload(StepContext& ctx) {
    ClassicDownload(ctx).run();
}

} // namespace orvexa
