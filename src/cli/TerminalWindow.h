// The main dialog on a terminal, for orvexa-cli. Message boxes are printed with their kind and their exact
// text (CR LF becomes a line break); the port result and the status text are printed when they change;
// questions are answered Yes by --yes, asked on the terminal when standard input is one, and otherwise get
// the box's default answer, No; the progress bar is drawn on standard error (on a terminal one live line
// that fits its width: what the steps stand for, a bar, the firmware's bytes or the count of pages and
// fonts, and once the rate is known the throughput and time left; a plain line every ten percent otherwise).
//
// A request to end the process is recorded, not carried out: the run returns, and orvexa-cli decides the
// exit code.
#pragma once

#include "cli/ControlTable.h"
#include "cli/ProgressMeter.h"
#include "serial/Clock.h"
#include "ui/DialogWindow.h"

#include <cstdio>
#include <functional>
#include <optional>

namespace orvexa {

class TerminalWindow : public DialogWindow {
public:
    struct Settings {
        bool answerYes = false;      // --yes
        bool askOnTerminal = false;  // standard input is a terminal
        bool liveProgress = false;   // standard error is a terminal
        bool echoAnswers = false;    // standard output is not the terminal the answer was typed on
        std::int64_t imageBytes = 0; // what a full firmware bar stands for
        // The terminal's width now (it may change while a run goes on); 0 or none: 80 columns.
        std::function<int()> columns = {};
    };

    TerminalWindow(std::FILE* out, std::FILE* err, std::FILE* in, Clock& clock, Settings settings);

    void setControlText(int controlId, const std::string& text) override;
    std::string controlText(int controlId) const override;
    void enableControl(int controlId, bool enable) override;
    bool isControlEnabled(int controlId) const override;
    bool isChecked(int controlId) const override;
    void setChecked(int controlId, bool checked) override;
    int messageBox(const std::string& text, const std::string& caption, unsigned type) override;
    void progressSetStep(int step) override { meter_.setStep(step); }
    void progressSetRange(std::uint16_t lower, std::uint16_t upper) override;
    void progressStepIt() override;
    void progressSetUnits(const std::string& name, std::int64_t bytesPerStep) override;
    void repaint() override {}
    void beginWaitCursor() override {}
    void restoreWaitCursor() override {}
    void endWaitCursor() override {}
    void exitProcess(int exitCode) override;
    std::optional<std::size_t> runPortDialog(const std::vector<PortInfo>& ports) override;
    void showAbout(const std::string& caption, const std::vector<std::string>& lines) override;

    std::optional<int> exitRequest() const { return exitRequest_; }
    void setImageBytes(std::int64_t imageBytes) { meter_.setImageBytes(imageBytes); }
    // Prints a line of the CLI's own (not a dialog text), keeping the progress bar's line intact.
    void note(const std::string& line);

private:
    int answerQuestion();
    void printText(const std::string& text);
    void printStatusChange(const std::string& before, const std::string& after);
    void drawProgress();
    void clearProgressLine();
    void endProgressLine();

    std::FILE* out_;
    std::FILE* err_;
    std::FILE* in_;
    Settings settings_;
    ControlTable controls_;
    std::optional<int> exitRequest_;
    ProgressMeter meter_;
    int lastDecile_ = -1;
    bool barOnScreen_ = false;
    std::size_t lineOnScreen_ = 0; // the length of the line drawn last, to be blanked by a shorter one
};

// The lines of a dialog text: CR LF, a lone LF or a lone CR each end a line.
std::vector<std::string> splitLines(const std::string& text);
// A message box's kind by its type's icon: "error", "question", "warning" or "info".
const char* boxKindName(unsigned type);
// "87.2 kB"
std::string kilobytes(std::int64_t bytes);
// The parts of a progress line after the bar: "49%", "87.2 kB / 174.6 kB" or "12/91", and once known the
// rate and the time left.
std::vector<std::string> progressParts(const ProgressReading& reading);
// The whole line, fitted into width: the bar narrows, then goes, then the parts at the end.
std::string progressLine(const ProgressReading& reading, const std::string& unitsName, int width);

} // namespace orvexa
