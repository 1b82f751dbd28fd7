// The main dialog of one scanner session that no terminal shows line by line: a fleet worker's, or a
// single run that reports JSON events. It keeps the controls, answers every question without asking
// (Yes with --yes, otherwise the box's default, No) and tells an observer what a user would have seen:
// the port result, the status text, each message box with its answer, and the progress.
#pragma once

#include "cli/ControlTable.h"
#include "cli/ProgressMeter.h"
#include "ui/DialogWindow.h"

#include <optional>
#include <string>

namespace orvexa {

struct BoxShown {
    std::string kind; // "error", "question", "warning" or "info"
    std::string caption;
    std::string text;                // exactly as the dialog has it, CR LF included
    std::optional<bool> answeredYes; // for a question
};

class SessionObserver {
public:
    virtual ~SessionObserver() = default;
    virtual void portResult(const std::string& text) = 0;
    virtual void statusChanged(const std::string& text) = 0;
    virtual void boxShown(const BoxShown& box) = 0;
    // Each step of the bar; an observer that reports less often picks its own steps.
    virtual void progressed(const ProgressReading& reading) = 0;
};

// Passes everything on to an observer chosen after the window is made: the observers that read the
// session's records come after the session, and the session after its window.
class ForwardingObserver : public SessionObserver {
public:
    SessionObserver* to = nullptr;
    void portResult(const std::string& text) override { to->portResult(text); }
    void statusChanged(const std::string& text) override { to->statusChanged(text); }
    void boxShown(const BoxShown& box) override { to->boxShown(box); }
    void progressed(const ProgressReading& reading) override { to->progressed(reading); }
};

class SessionWindow : public DialogWindow {
public:
    SessionWindow(Clock& clock, std::int64_t imageBytes, bool answerYes, SessionObserver& observer)
        : meter_(clock, imageBytes), answerYes_(answerYes), observer_(observer) {}

    void setControlText(int controlId, const std::string& text) override;
    std::string controlText(int controlId) const override { return controls_.text(controlId); }
    void enableControl(int controlId, bool enable) override { controls_.enable(controlId, enable); }
    bool isControlEnabled(int controlId) const override { return controls_.isEnabled(controlId); }
    bool isChecked(int controlId) const override { return controls_.isChecked(controlId); }
    void setChecked(int controlId, bool checked) override { controls_.setChecked(controlId, checked); }
    int messageBox(const std::string& text, const std::string& caption, unsigned type) override;
    void progressSetStep(int step) override { meter_.setStep(step); }
    void progressSetRange(std::uint16_t lower, std::uint16_t upper) override {
        meter_.setRange(lower, upper);
    }
    void progressStepIt() override;
    void progressSetUnits(const std::string& name, std::int64_t bytesPerStep) override {
        meter_.setUnits(name, bytesPerStep);
    }
    void repaint() override {}
    void beginWaitCursor() override {}
    void restoreWaitCursor() override {}
    void endWaitCursor() override {}
    void exitProcess(int exitCode) override { exitRequest_ = exitCode; }
    // Nobody is there to choose a port by hand.
    std::optional<std::size_t> runPortDialog(const std::vector<PortInfo>&) override { return std::nullopt; }

    std::optional<int> exitRequest() const { return exitRequest_; }
    void setImageBytes(std::int64_t imageBytes) { meter_.setImageBytes(imageBytes); }
    // Why a session failed, in one line: the first line of the last box that was no question, else the
    // last line of the status text.
    std::string why() const;

private:
    ControlTable controls_;
    ProgressMeter meter_;
    bool answerYes_;
    SessionObserver& observer_;
    std::optional<int> exitRequest_;
    std::string lastStatement_; // the last box that was no question
};

} // namespace orvexa
