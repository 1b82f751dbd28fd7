// The DialogWindow of the Qt front end: the steps' control changes, message boxes, progress, repaints
// and wait cursor, carried out on the MainDialog.
//
// The steps block the user-interface thread, as they always did. So that the user still sees what
// happens, every control change is painted to the screen at once, the progress bar is painted on every
// step, and the dialog's own repaint also lets the window system's non-input events through (exposure,
// resizing). Input is held back until the step ends, as a blocked Windows dialog holds it.
#pragma once

#include "serial/PortDiscovery.h"
#include "ui/DialogWindow.h"

#include <QString>

#include <functional>

namespace orvexa {

class MainDialog;

class QtDialogWindow : public DialogWindow {
public:
    explicit QtDialogWindow(MainDialog& dialog);

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
    void repaint() override;
    void beginWaitCursor() override;
    void restoreWaitCursor() override;
    void endWaitCursor() override;
    void exitProcess(int exitCode) override;
    std::optional<std::size_t> runPortDialog(const std::vector<PortInfo>& ports) override;
    void showAbout(const std::string& caption, const std::vector<std::string>& lines) override;
    std::optional<std::string> askSaveFileName(const std::string& suggestedName) override;
    std::optional<std::string> askFirmwareFileName() override;

    // The progress bar as the Windows control keeps it: the position may lie outside the range.
    int progressPosition() const { return position_; }
    int progressUpper() const { return upper_; }
    int waitCursorDepth() const { return waitDepth_; }
    // The exit code asked for by a step, if any; the application returns it once the dialog has ended.
    std::optional<int> requestedExit() const { return exitCode_; }

    // Tests replace how the process ends, so that a test run is not ended with it.
    std::function<void(int exitCode)> onExitProcess;
    // Tests replace the save-file dialog: the path chosen for the suggested name, empty for Cancel.
    std::function<QString(const QString& suggestedName)> chooseSaveFile;
    // Tests replace the open-file dialog of "Open firmware...": the path chosen, empty for Cancel.
    std::function<QString()> chooseFirmwareFile;

    // The title of a box whose caption is empty: the application's name.
    static QString defaultTitle();
    // Windows line breaks ("\r\n", and a lone "\r") to Qt's.
    static QString fromWindowsText(const std::string& text);

private:
    void showProgress();

    MainDialog& dialog_;
    int step_ = 10; // the Windows progress bar's own step until set
    int lower_ = 0;
    int upper_ = 100;
    int position_ = 0;
    int waitDepth_ = 0;
    std::optional<int> exitCode_;
};

} // namespace orvexa
