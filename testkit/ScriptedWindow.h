// A DialogWindow for tests, fuzzers and benchmarks: it keeps the state of every control, records every
// call in order, and answers questions from a script. A question that the script does not answer gets
// the box's default button, No, and is recorded as unscripted so that a test can insist on a full script.
#pragma once

#include "ui/Controls.h"
#include "ui/DialogWindow.h"

#include <deque>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace orvexa {

struct ShownBox {
    std::string text;
    std::string caption;
    unsigned type = 0;
    int answer = 0;
    bool scripted = true;
};

class ScriptedWindow : public DialogWindow {
public:
    // The main dialog's controls in their state at start (before the start-up font rule).
    ScriptedWindow();

    // Answers for the questions to come, in order (kIdYes or kIdNo).
    void answer(std::initializer_list<int> answers);
    // The user ticks Download Font, which Step 2 enables for a scanner that takes fonts.
    void askForFonts() {
        enableControl(control::kDownloadFont, true);
        setChecked(control::kDownloadFont, true);
    }
    // The port dialog's choice when no port answered: an index, or Cancel (nothing).
    void choosePort(std::optional<std::size_t> index) { portChoice_ = index; }

    void setControlText(int controlId, const std::string& text) override;
    std::string controlText(int controlId) const override;
    void enableControl(int controlId, bool enable) override;
    bool isControlEnabled(int controlId) const override;
    bool isChecked(int controlId) const override;
    void setChecked(int controlId, bool checked) override;
    int messageBox(const std::string& text, const std::string& caption, unsigned type) override;
    void progressSetStep(int step) override;
    void progressSetRange(std::uint16_t lower, std::uint16_t upper) override;
    void progressStepIt() override;
    void progressSetUnits(const std::string& name, std::int64_t bytesPerStep) override;
    void repaint() override { ++repaints; }
    void beginWaitCursor() override {
        log.push_back("beginWaitCursor");
        ++waitCursorDepth;
    }
    void restoreWaitCursor() override { log.push_back("restoreWaitCursor"); }
    void endWaitCursor() override {
        log.push_back("endWaitCursor");
        --waitCursorDepth;
    }
    void exitProcess(int exitCode) override;
    std::optional<std::size_t> runPortDialog(const std::vector<PortInfo>& ports) override;
    // The save-file dialog's choice: saveAs, or Cancel when it holds nothing.
    std::optional<std::string> askSaveFileName(const std::string& suggestedName) override {
        log.push_back("askSaveFileName " + suggestedName);
        return saveAs;
    }

    // What the user saw.
    std::vector<ShownBox> boxes;
    std::vector<std::string> log;           // every call, in order, as a short line
    std::vector<std::string> statusHistory; // every text set into control 1023
    int progressStep = 0;
    std::uint16_t progressLower = 0;
    std::uint16_t progressUpper = 100;
    int progressPosition = 0;
    int progressRangeSets = 0;
    std::vector<std::string> progressUnits; // "name bytesPerStep" of every progressSetUnits, in order
    int repaints = 0;
    int waitCursorDepth = 0;
    std::optional<int> exitCode;
    std::vector<PortInfo> portDialogOffered;
    int portDialogRuns = 0;
    std::optional<std::string> saveAs;

    bool sawBox(const std::string& text) const;
    std::size_t unscriptedQuestions() const;

private:
    struct Control {
        std::string text;
        bool enabled = true;
        bool checked = false;
    };
    Control& control(int controlId) { return controls_[controlId]; }

    std::map<int, Control> controls_;
    std::deque<int> answers_;
    std::optional<std::size_t> portChoice_;
};

} // namespace orvexa
