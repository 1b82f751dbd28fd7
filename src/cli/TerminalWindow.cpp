#include "cli/TerminalWindow.h"

#include "ui/Controls.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace orvexa {

namespace {

constexpr int kBarWidth = 30;
constexpr int kPercentPerPlainLine = 10;
constexpr std::size_t kAnswerLineSize = 64;

const char* kindOf(unsigned type) {
    switch (type & box::kIconMask) {
    case box::kIconHand:
        return "error";
    case box::kIconQuestion:
        return "question";
    case box::kIconExclamation:
        return "warning";
    default:
        return "info";
    }
}

std::string kilobytes(std::int64_t bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f kB", static_cast<double>(bytes) / 1000.0);
    return text;
}

} // namespace

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::string line;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' || text[i] == '\n') {
            lines.push_back(line);
            line.clear();
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
                ++i;
            }
        } else {
            line += text[i];
        }
    }
    if (!line.empty()) {
        lines.push_back(line);
    }
    return lines;
}

TerminalWindow::TerminalWindow(std::FILE* out, std::FILE* err, std::FILE* in, Clock& clock, Settings settings)
    : out_(out), err_(err), in_(in), clock_(clock), settings_(settings) {}

void TerminalWindow::setControlText(int controlId, const std::string& text) {
    Control& target = controls_[controlId];
    const std::string before = target.text;
    target.text = text;
    if (controlId == control::kStatus) {
        printStatusChange(before, text);
    } else if (controlId == control::kPortResult && text != before && !text.empty()) {
        printText(text);
    }
}

std::string TerminalWindow::controlText(int controlId) const {
    const auto it = controls_.find(controlId);
    return it == controls_.end() ? std::string() : it->second.text;
}

void TerminalWindow::enableControl(int controlId, bool enable) {
    controls_[controlId].enabled = enable;
}

bool TerminalWindow::isControlEnabled(int controlId) const {
    const auto it = controls_.find(controlId);
    return it != controls_.end() && it->second.enabled;
}

bool TerminalWindow::isChecked(int controlId) const {
    const auto it = controls_.find(controlId);
    return it != controls_.end() && it->second.checked;
}

void TerminalWindow::setChecked(int controlId, bool checked) {
    controls_[controlId].checked = checked;
}

int TerminalWindow::messageBox(const std::string& text, const std::string& caption, unsigned type) {
    endProgressLine();
    std::fprintf(out_, "[%s]%s%s\n", kindOf(type), caption.empty() ? "" : " ", caption.c_str());
    printText(text);
    if (!box::isQuestion(type)) {
        return kIdOk;
    }
    return answerQuestion();
}

int TerminalWindow::answerQuestion() {
    if (settings_.answerYes) {
        std::fputs("-> Yes (--yes)\n", out_);
        std::fflush(out_);
        return kIdYes;
    }
    if (!settings_.askOnTerminal) {
        std::fputs("-> No (standard input is not a terminal; --yes answers Yes)\n", out_);
        std::fflush(out_);
        return kIdNo;
    }
    std::fputs("Yes or No? [y/N] ", out_);
    std::fflush(out_);
    char line[kAnswerLineSize] = {};
    int answer = kIdNo; // end of input, or anything but yes: the default button
    if (std::fgets(line, sizeof line, in_) != nullptr) {
        std::string typed(line, std::strcspn(line, "\r\n"));
        std::transform(typed.begin(), typed.end(), typed.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        answer = typed == "y" || typed == "yes" ? kIdYes : kIdNo;
    }
    if (settings_.echoAnswers) {
        std::fputs(answer == kIdYes ? "\n-> Yes\n" : "\n-> No\n", out_);
    }
    std::fflush(out_);
    return answer;
}

void TerminalWindow::printText(const std::string& text) {
    endProgressLine();
    for (const std::string& line : splitLines(text)) {
        std::fprintf(out_, "%s\n", line.c_str());
    }
    std::fflush(out_);
}

// The status box is rewritten whole, but mostly grows or has its last line replaced (the font run shows
// the verification text and one progress line): print only the lines that differ from what was shown.
void TerminalWindow::printStatusChange(const std::string& before, const std::string& after) {
    const std::vector<std::string> old = splitLines(before);
    const std::vector<std::string> now = splitLines(after);
    std::size_t same = 0;
    while (same < old.size() && same < now.size() && old[same] == now[same]) {
        ++same;
    }
    if (same == now.size()) {
        return;
    }
    endProgressLine();
    for (std::size_t i = same; i < now.size(); ++i) {
        std::fprintf(out_, "%s\n", now[i].c_str());
    }
    std::fflush(out_);
}

void TerminalWindow::note(const std::string& line) {
    printText(line);
}

void TerminalWindow::progressSetRange(std::uint16_t lower, std::uint16_t upper) {
    progressLower_ = lower;
    progressUpper_ = upper;
    stepsSinceRange_ = 0;
    rangeSetTickMs_ = clock_.tickMs();
    lastDecile_ = -1;
}

void TerminalWindow::progressStepIt() {
    // A Windows progress bar wraps to its lower bound when a step passes the upper one.
    progressPosition_ += progressStep_;
    if (progressPosition_ > progressUpper_) {
        progressPosition_ = progressLower_ + (progressPosition_ - progressUpper_) - 1;
    }
    ++stepsSinceRange_;
    drawProgress();
}

void TerminalWindow::drawProgress() {
    const int span = std::max(progressUpper_ - progressLower_, 1);
    const int done = std::clamp(progressPosition_ - progressLower_, 0, span);
    const int percent = done * 100 / span;
    if (!settings_.liveProgress) {
        const int decile = percent / kPercentPerPlainLine;
        if (decile != lastDecile_) {
            lastDecile_ = decile;
            std::fprintf(err_, "progress: %d%%\n", decile * kPercentPerPlainLine);
            std::fflush(err_);
        }
        return;
    }
    std::string bar(kBarWidth, '.');
    std::fill_n(bar.begin(), done * kBarWidth / span, '#');
    std::string line = "\r[" + bar + "] " + std::to_string(percent) + "%";
    if (settings_.imageBytes > 0) {
        const std::int64_t bytes = settings_.imageBytes * done / span;
        line += "  " + kilobytes(bytes) + " / " + kilobytes(settings_.imageBytes);
        const std::uint32_t elapsedMs = clock_.tickMs() - rangeSetTickMs_;
        const std::int64_t stepBytes = settings_.imageBytes * progressStep_ / span;
        const std::int64_t movedBytes = stepBytes * stepsSinceRange_;
        if (elapsedMs > 0 && movedBytes > 0) {
            const double bytesPerSecond = static_cast<double>(movedBytes) * 1000.0 / elapsedMs;
            const auto secondsLeft = static_cast<long>(
                static_cast<double>(std::max<std::int64_t>(settings_.imageBytes - bytes, 0)) /
                bytesPerSecond);
            char rate[64];
            std::snprintf(rate, sizeof rate, "  %s/s  %ld:%02ld left",
                          kilobytes(static_cast<std::int64_t>(bytesPerSecond)).c_str(), secondsLeft / 60,
                          secondsLeft % 60);
            line += rate;
        }
    }
    std::fputs((line + "   ").c_str(), err_);
    barOnScreen_ = true;
    if (done == span) {
        endProgressLine();
    }
    std::fflush(err_);
}

void TerminalWindow::endProgressLine() {
    if (barOnScreen_) {
        std::fputc('\n', err_);
        std::fflush(err_);
        barOnScreen_ = false;
    }
}

void TerminalWindow::exitProcess(int exitCode) {
    exitRequest_ = exitCode;
}

// The CLI never waits for a manual choice: the caller reports the ports that were tried.
std::optional<std::size_t> TerminalWindow::runPortDialog(const std::vector<PortInfo>&) {
    return std::nullopt;
}

void TerminalWindow::showAbout(const std::string& caption, const std::vector<std::string>& lines) {
    endProgressLine();
    std::fprintf(out_, "[about] %s\n", caption.c_str());
    for (const std::string& line : lines) {
        std::fprintf(out_, "%s\n", line.c_str());
    }
    std::fflush(out_);
}

} // namespace orvexa
