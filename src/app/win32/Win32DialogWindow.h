// The main dialog (resource 103) as the steps see it: controls by identifier, message boxes with their
// Windows types, the progress bar's own messages, the wait cursor, and the two modal dialogs it opens
// (the port dialog 141 and the About box 100). Every call runs on the one user-interface thread.
#pragma once

#include "ui/DialogWindow.h"

#include <windows.h>

namespace orvexa {

class Win32DialogWindow : public DialogWindow {
public:
    explicit Win32DialogWindow(HINSTANCE instance) : instance_(instance) {}

    // The dialog's window, once it exists; until then the calls address no window.
    void attach(HWND dialog) { dialog_ = dialog; }
    HWND handle() const { return dialog_; }

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

    // The title of a message box that names none: the application's.
    static constexpr const char* kAppTitle = "Orvexa";

private:
    HWND control(int controlId) const { return GetDlgItem(dialog_, controlId); }

    HINSTANCE instance_;
    HWND dialog_ = nullptr;
    int waitCursorDepth_ = 0;
};

} // namespace orvexa
