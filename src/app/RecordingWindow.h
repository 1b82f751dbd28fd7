// The dialog as the steps see it, passing every call on to the front end's own window and telling the
// run memory what the user saw: each message box with its answer, and the status text. Every front end
// gets the same record this way, whatever it draws.
#pragma once

#include "app/RunMemory.h"
#include "ui/DialogWindow.h"

namespace orvexa {

class RecordingWindow : public DialogWindow {
public:
    RecordingWindow(DialogWindow& inner, RunMemory& memory) : inner_(inner), memory_(memory) {}

    void setControlText(int controlId, const std::string& text) override;
    std::string controlText(int controlId) const override { return inner_.controlText(controlId); }
    void enableControl(int controlId, bool enable) override { inner_.enableControl(controlId, enable); }
    bool isControlEnabled(int controlId) const override { return inner_.isControlEnabled(controlId); }
    bool isChecked(int controlId) const override { return inner_.isChecked(controlId); }
    void setChecked(int controlId, bool checked) override { inner_.setChecked(controlId, checked); }
    int messageBox(const std::string& text, const std::string& caption, unsigned type) override;
    void progressSetStep(int step) override { inner_.progressSetStep(step); }
    void progressSetRange(std::uint16_t lower, std::uint16_t upper) override {
        inner_.progressSetRange(lower, upper);
    }
    void progressStepIt() override { inner_.progressStepIt(); }
    void progressSetUnits(const std::string& name, std::int64_t bytesPerStep) override {
        inner_.progressSetUnits(name, bytesPerStep);
    }
    void repaint() override { inner_.repaint(); }
    void beginWaitCursor() override { inner_.beginWaitCursor(); }
    void restoreWaitCursor() override { inner_.restoreWaitCursor(); }
    void endWaitCursor() override { inner_.endWaitCursor(); }
    void exitProcess(int exitCode) override { inner_.exitProcess(exitCode); }
    std::optional<std::size_t> runPortDialog(const std::vector<PortInfo>& ports) override {
        return inner_.runPortDialog(ports);
    }
    void showAbout(const std::string& caption, const std::vector<std::string>& lines) override {
        inner_.showAbout(caption, lines);
    }
    std::optional<std::string> askSaveFileName(const std::string& suggestedName) override {
        return inner_.askSaveFileName(suggestedName);
    }
    std::optional<std::string> askFirmwareFileName() override { return inner_.askFirmwareFileName(); }

private:
    DialogWindow& inner_;
    RunMemory& memory_;
};

} // namespace orvexa
