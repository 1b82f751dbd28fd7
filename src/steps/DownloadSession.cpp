#include "steps/DownloadSession.h"

#include "device/LineReader.h"
#include "steps/StepTexts.h"
#include "ui/Controls.h"

#include <utility>

namespace orvexa {

namespace {
// The success message when something asked for was not written: the same text, but not the plain
// information box, so that the user looks twice.
constexpr unsigned kSuccessWithShortfalls = box::kOk | box::kIconExclamation;
} // namespace

DownloadSession::DownloadSession(StepContext& ctx) : ctx_(ctx) {
    // Step 2's word holds for this Step 3 only.
    const bool declined = std::exchange(ctx.records.fontsDeclined, false);
    pagesAndFontsAsked_ = declined || ctx.window.isChecked(control::kDownloadFont);
}

DownloadSession::~DownloadSession() {
    if (ctx_.interruption != nullptr) {
        ctx_.interruption->writing = false;
    }
}

void DownloadSession::startWriting() {
    if (writing_) {
        return;
    }
    writing_ = true;
    if (ctx_.beforeWriting) {
        ctx_.beforeWriting();
    }
    if (ctx_.interruption != nullptr) {
        ctx_.interruption->writing = true;
    }
}

bool DownloadSession::stopRequested() const {
    return ctx_.interruption != nullptr && ctx_.interruption->stopRequested;
}

bool DownloadSession::lineLost() const {
    return line::gone(ctx_.channel);
}

void DownloadSession::endTransfer(bool errorFlag, std::vector<std::string> shortfalls) {
    ctx_.channel.close();
    if (pagesAndFontsAsked_ && !pagesAndFontsWritten_) {
        addStatusLine(kPagesAndFontsNotWrittenLine);
        shortfalls.emplace_back(kPagesAndFontsNotWrittenLine);
    }
    if (errorFlag) {
        addStatusLine(kFirmwareFailedLine);
        ctx_.window.messageBox(kFirmwareErrorText, "", box::kError);
        ctx_.outcome = Outcome::TransferError;
        return;
    }
    if (shortfalls.empty()) {
        ctx_.window.messageBox(kFirmwareUpdatedText, "", box::kOk);
        ctx_.outcome = Outcome::Written;
        return;
    }
    std::string text = std::string(kFirmwareUpdatedText) + "\r\n";
    for (const std::string& shortfall : shortfalls) {
        text += "\r\n" + shortfall;
    }
    ctx_.window.messageBox(text, "", kSuccessWithShortfalls);
    ctx_.outcome = Outcome::ItemsNotAcknowledged;
}

void DownloadSession::endWithError(const std::string& line, Outcome outcome) {
    ctx_.channel.close();
    addStatusLine(line);
    ctx_.window.messageBox(kFirmwareErrorText, "", box::kError);
    ctx_.outcome = outcome;
}

void DownloadSession::endStopped() {
    ctx_.channel.close();
    addStatusLine(kStoppedLine);
    ctx_.outcome = Outcome::Interrupted;
}

void DownloadSession::addStatusLine(const std::string& line) {
    orvexa::addStatusLine(ctx_.window, line);
}

} // namespace orvexa
