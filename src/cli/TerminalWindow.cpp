#include "cli/TerminalWindow.h"

#include "cli/ScreenRelay.h"
#include "ui/Controls.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace orvexa {

namespace {

constexpr int kBarWidth = 30;
constexpr int kMinBarWidth = 10; // narrower says nothing the percentage does not
constexpr int kDefaultColumns = 80;
constexpr std::size_t kAnswerLineSize = 64;

} // namespace

const char* boxKindName(unsigned type) {
    return box::kindName(type);
}

std::string kilobytes(std::int64_t bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f kB", static_cast<double>(bytes) / 1000.0);
    return text;
}

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
    : out_(out), err_(err), in_(in), settings_(std::move(settings)), meter_(clock, settings_.imageBytes) {}

void TerminalWindow::setControlText(int controlId, const std::string& text) {
    const std::string before = controls_.setText(controlId, text);
    if (controlId == control::kStatus) {
        printStatusChange(before, text);
    } else if (controlId == control::kPortResult && text != before && !text.empty()) {
        printText(text);
    }
}

std::string TerminalWindow::controlText(int controlId) const {
    return controls_.text(controlId);
}

void TerminalWindow::enableControl(int controlId, bool enable) {
    controls_.enable(controlId, enable);
}

bool TerminalWindow::isControlEnabled(int controlId) const {
    return controls_.isEnabled(controlId);
}

bool TerminalWindow::isChecked(int controlId) const {
    return controls_.isChecked(controlId);
}

void TerminalWindow::setChecked(int controlId, bool checked) {
    controls_.setChecked(controlId, checked);
}

int TerminalWindow::messageBox(const std::string& text, const std::string& caption, unsigned type) {
    endProgressLine();
    std::fprintf(out_, "[%s]%s%s\n", boxKindName(type), caption.empty() ? "" : " ", caption.c_str());
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
    // A status line under way (the pages and fonts name each item as it goes) takes the bar's place, and
    // the next step draws the bar again below it: one live bar, not a stale one left behind every line.
    clearProgressLine();
    for (std::size_t i = same; i < now.size(); ++i) {
        std::fprintf(out_, "%s\n", now[i].c_str());
    }
    std::fflush(out_);
}

void TerminalWindow::note(const std::string& line) {
    printText(line);
}

void TerminalWindow::progressSetUnits(const std::string& name, std::int64_t bytesPerStep) {
    meter_.setUnits(name, bytesPerStep);
}

void TerminalWindow::progressSetRange(std::uint16_t lower, std::uint16_t upper) {
    meter_.setRange(lower, upper);
    lastDecile_ = -1;
}

void TerminalWindow::progressStepIt() {
    meter_.stepIt();
    drawProgress();
}

void TerminalWindow::drawProgress() {
    const ProgressReading reading = meter_.reading();
    // Behind a paused or slow screen the bar waits for the next step; a full bar is drawn all the same.
    if (reading.done != reading.span && ScreenRelay::behind(err_)) {
        return;
    }
    if (!settings_.liveProgress) {
        const int decile = reading.percent() / kPercentPerPlainLine;
        if (decile != lastDecile_) {
            lastDecile_ = decile;
            const std::string& units = meter_.unitsName();
            std::fprintf(err_, "progress: %s%s%d%%\n", units.c_str(), units.empty() ? "" : " ",
                         decile * kPercentPerPlainLine);
            std::fflush(err_);
        }
        return;
    }
    const int columns = settings_.columns ? settings_.columns() : 0;
    // The last column stays free: a terminal that wraps on it would start a new line each step.
    const std::string line =
        progressLine(reading, meter_.unitsName(), (columns > 0 ? columns : kDefaultColumns) - 1);
    const std::size_t blank = lineOnScreen_ > line.size() ? lineOnScreen_ - line.size() : 0;
    std::fputs(("\r" + line + std::string(blank, ' ')).c_str(), err_);
    lineOnScreen_ = line.size();
    barOnScreen_ = true;
    if (reading.done == reading.span) {
        endProgressLine();
    }
    std::fflush(err_);
}

// "firmware [####......] 49%  87.2 kB / 174.6 kB  12.8 kB/s  0:06 left" or "pages and fonts [#...] 13%
// 12/91  45.2 kB/s  0:31 left", fitted into width: the bar narrows, then goes, then the parts at the end.
std::string progressLine(const ProgressReading& reading, const std::string& unitsName, int width) {
    std::vector<std::string> parts = progressParts(reading);
    const std::string head = unitsName.empty() ? "" : unitsName + " ";
    auto joined = [&parts] {
        std::string text;
        for (const std::string& part : parts) {
            text += (text.empty() ? "" : "  ") + part;
        }
        return text;
    };
    std::string text = joined();
    const int barRoom = width - static_cast<int>(head.size() + text.size()) - 3; // "[", "] "
    if (barRoom >= kMinBarWidth) {
        const int cells = std::min(barRoom, kBarWidth);
        std::string bar(static_cast<std::size_t>(cells), '.');
        std::fill_n(bar.begin(), reading.done * cells / reading.span, '#');
        return head + "[" + bar + "] " + text;
    }
    while (parts.size() > 1 && static_cast<int>(head.size() + text.size()) > width) {
        parts.pop_back();
        text = joined();
    }
    return (head + text).substr(0, static_cast<std::size_t>(std::max(width, 0)));
}

std::vector<std::string> progressParts(const ProgressReading& reading) {
    std::vector<std::string> parts = {std::to_string(reading.percent()) + "%"};
    if (reading.firmware && reading.bytesTotal > 0) {
        parts.push_back(kilobytes(reading.bytesDone) + " / " + kilobytes(reading.bytesTotal));
    } else if (!reading.firmware) {
        parts.push_back(std::to_string(reading.done) + "/" + std::to_string(reading.span));
    }
    if (reading.bytesPerSecond && reading.secondsLeft) {
        char left[32];
        std::snprintf(left, sizeof left, "%ld:%02ld left", *reading.secondsLeft / 60,
                      *reading.secondsLeft % 60);
        parts.push_back(kilobytes(static_cast<std::int64_t>(*reading.bytesPerSecond)) + "/s");
        parts.push_back(left);
    }
    return parts;
}

void TerminalWindow::clearProgressLine() {
    if (barOnScreen_) {
        std::string blanks(lineOnScreen_, ' ');
        blanks.insert(blanks.begin(), '\r');
        blanks.push_back('\r');
        std::fputs(blanks.c_str(), err_);
        std::fflush(err_);
        barOnScreen_ = false;
        lineOnScreen_ = 0;
    }
}

void TerminalWindow::endProgressLine() {
    if (barOnScreen_) {
        std::fputc('\n', err_);
        std::fflush(err_);
        barOnScreen_ = false;
        lineOnScreen_ = 0;
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
