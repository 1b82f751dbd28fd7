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

#include "serial/Clock.h"
#include "ui/DialogWindow.h"

#include <cstdio>
#include <functional>
#include <map>
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
    void progressSetStep(int step) override { progressStep_ = step; }
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
    // Prints a line of the CLI's own (not a dialog text), keeping the progress bar's line intact.
    void note(const std::string& line);

private:
    struct Control {
        std::string text;
        bool enabled = true;
        bool checked = false;
    };

    int answerQuestion();
    void printText(const std::string& text);
    void printStatusChange(const std::string& before, const std::string& after);
    void drawProgress();
    std::string progressLine(int done, int span, int width) const;
    void clearProgressLine();
    void endProgressLine();

    std::FILE* out_;
    std::FILE* err_;
    std::FILE* in_;
    Clock& clock_;
    Settings settings_;
    std::map<int, Control> controls_;
    std::optional<int> exitRequest_;

    int progressStep_ = 10; // a Windows progress bar's default step
    int progressLower_ = 0;
    int progressUpper_ = 100;
    int progressPosition_ = 0;
    int stepsSinceRange_ = 0;
    std::uint32_t firstStepTickMs_ = 0; // the rate is measured from here: before it the scanner got ready
    int lastDecile_ = -1;
    bool barOnScreen_ = false;
    std::size_t lineOnScreen_ = 0; // the length of the line drawn last, to be blanked by a shorter one
    std::string unitsName_;        // what the steps of the range stand for; empty: the firmware
    std::int64_t bytesPerStep_ = 0;
};

// The lines of a dialog text: CR LF, a lone LF or a lone CR each end a line.
std::vector<std::string> splitLines(const std::string& text);

} // namespace orvexa
