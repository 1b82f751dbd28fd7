#include "app/win32/Win32DialogWindow.h"

#include "app/win32/resource.h"

#include <commctrl.h>
#include <commdlg.h>

#include <cstdlib>

namespace orvexa {

namespace {

struct PortDialogState {
    const std::vector<PortInfo>* ports;
    std::optional<std::size_t> chosen;
};

// The port dialog appears only when no port answered the probe: it offers the ports found for a choice
// by hand, and OK stays disabled until one is picked.
INT_PTR CALLBACK portDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* state = reinterpret_cast<PortDialogState*>(GetWindowLongPtrA(dialog, DWLP_USER));
    switch (message) {
    case WM_INITDIALOG: {
        SetWindowLongPtrA(dialog, DWLP_USER, lParam);
        state = reinterpret_cast<PortDialogState*>(lParam);
        const HWND combo = GetDlgItem(dialog, IDC_PORT_COMBO);
        for (const PortInfo& port : *state->ports) {
            SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(port.displayName.c_str()));
        }
        return TRUE;
    }
    case WM_COMMAND:
        if (LOWORD(wParam) == IDC_PORT_COMBO && HIWORD(wParam) == CBN_SELCHANGE) {
            EnableWindow(GetDlgItem(dialog, IDOK), TRUE);
            return TRUE;
        }
        if (LOWORD(wParam) == IDOK) {
            const LRESULT index = SendDlgItemMessageA(dialog, IDC_PORT_COMBO, CB_GETCURSEL, 0, 0);
            if (index != CB_ERR && static_cast<std::size_t>(index) < state->ports->size()) {
                state->chosen = static_cast<std::size_t>(index);
            }
            EndDialog(dialog, IDOK);
            return TRUE;
        }
        if (LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, IDCANCEL);
            return TRUE;
        }
        break;
    default:
        break;
    }
    return FALSE;
}

INT_PTR CALLBACK aboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG: {
        const auto* lines = reinterpret_cast<const std::vector<std::string>*>(lParam);
        if (lines->size() > 1) {
            SetDlgItemTextA(dialog, IDC_ABOUT_VERSION, (*lines)[1].c_str());
        }
        return TRUE;
    }
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, LOWORD(wParam));
            return TRUE;
        }
        break;
    default:
        break;
    }
    return FALSE;
}

} // namespace

void Win32DialogWindow::setControlText(int controlId, const std::string& text) {
    SetDlgItemTextA(dialog_, controlId, text.c_str());
    // The steps block this thread; draw the text now rather than at the next pass of the message loop.
    UpdateWindow(control(controlId));
}

std::string Win32DialogWindow::controlText(int controlId) const {
    const HWND item = control(controlId);
    std::string text(static_cast<std::size_t>(GetWindowTextLengthA(item)) + 1, '\0');
    text.resize(static_cast<std::size_t>(GetWindowTextA(item, text.data(), static_cast<int>(text.size()))));
    return text;
}

void Win32DialogWindow::enableControl(int controlId, bool enable) {
    EnableWindow(control(controlId), enable ? TRUE : FALSE);
}

bool Win32DialogWindow::isControlEnabled(int controlId) const {
    return IsWindowEnabled(control(controlId)) != FALSE;
}

bool Win32DialogWindow::isChecked(int controlId) const {
    return IsDlgButtonChecked(dialog_, controlId) == BST_CHECKED;
}

void Win32DialogWindow::setChecked(int controlId, bool checked) {
    CheckDlgButton(dialog_, controlId, checked ? BST_CHECKED : BST_UNCHECKED);
}

int Win32DialogWindow::messageBox(const std::string& text, const std::string& caption, unsigned type) {
    return MessageBoxA(dialog_, text.c_str(), caption.empty() ? kAppTitle : caption.c_str(), type);
}

void Win32DialogWindow::progressSetStep(int step) {
    SendMessageA(control(control::kProgress), PBM_SETSTEP, static_cast<WPARAM>(step), 0);
}

void Win32DialogWindow::progressSetUnits(const std::string&, std::int64_t) {
    SendMessageA(control(control::kProgress), PBM_SETPOS, 0, 0);
}

void Win32DialogWindow::progressSetRange(std::uint16_t lower, std::uint16_t upper) {
    SendMessageA(control(control::kProgress), PBM_SETRANGE, 0, MAKELPARAM(lower, upper));
}

void Win32DialogWindow::progressStepIt() {
    const HWND bar = control(control::kProgress);
    SendMessageA(bar, PBM_STEPIT, 0, 0);
    UpdateWindow(bar);
}

void Win32DialogWindow::repaint() {
    InvalidateRect(dialog_, nullptr, TRUE);
    UpdateWindow(dialog_);
}

// The wait cursor as the framework keeps it: nested begins, a restore after a message box has shown the
// arrow, and the arrow back when the last one ends.
void Win32DialogWindow::beginWaitCursor() {
    ++waitCursorDepth_;
    SetCursor(LoadCursor(nullptr, IDC_WAIT));
}

void Win32DialogWindow::restoreWaitCursor() {
    if (waitCursorDepth_ > 0) {
        SetCursor(LoadCursor(nullptr, IDC_WAIT));
    }
}

void Win32DialogWindow::endWaitCursor() {
    if (waitCursorDepth_ > 0) {
        --waitCursorDepth_;
    }
    if (waitCursorDepth_ == 0) {
        SetCursor(LoadCursor(nullptr, IDC_ARROW));
    }
}

void Win32DialogWindow::exitProcess(int exitCode) {
    std::exit(exitCode);
}

std::optional<std::size_t> Win32DialogWindow::runPortDialog(const std::vector<PortInfo>& ports) {
    PortDialogState state{&ports, std::nullopt};
    const INT_PTR result = DialogBoxParamA(instance_, MAKEINTRESOURCEA(IDD_PORTSELECT), dialog_,
                                           portDialogProc, reinterpret_cast<LPARAM>(&state));
    return result == IDOK ? state.chosen : std::nullopt;
}

void Win32DialogWindow::showAbout(const std::string&, const std::vector<std::string>& lines) {
    DialogBoxParamA(instance_, MAKEINTRESOURCEA(IDD_ABOUTBOX), dialog_, aboutDialogProc,
                    reinterpret_cast<LPARAM>(&lines));
}

namespace {

// What the save-file and the open-file dialog share: their owner, filter, path buffer (MAX_PATH) and title.
OPENFILENAMEA fileDialog(HWND owner, const char* filter, char* path, const char* title) {
    OPENFILENAMEA dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = filter;
    dialog.lpstrFile = path;
    dialog.nMaxFile = MAX_PATH;
    dialog.lpstrTitle = title;
    return dialog;
}

} // namespace

// The system's save-file dialog, in the ANSI code page as every other text of this front end: the
// bundle's path goes to std::filesystem as the command line's paths do.
std::optional<std::string> Win32DialogWindow::askSaveFileName(const std::string& suggestedName) {
    char path[MAX_PATH] = {};
    suggestedName.copy(path, sizeof path - 1);
    static const char kFilter[] = "JSON files (*.json)\0*.json\0All files (*.*)\0*.*\0";
    OPENFILENAMEA dialog = fileDialog(dialog_, kFilter, path, "Save support bundle");
    dialog.lpstrDefExt = "json";
    // The user is asked before a file is replaced; the working folder stays where it was.
    dialog.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR | OFN_HIDEREADONLY;
    if (!GetSaveFileNameA(&dialog)) {
        return std::nullopt; // cancelled, or the dialog could not be shown
    }
    return std::string(path);
}

// The system's open-file dialog, in the ANSI code page as the save-file dialog.
std::optional<std::string> Win32DialogWindow::askFirmwareFileName() {
    char path[MAX_PATH] = {};
    static const char kFilter[] =
        "Firmware images and catalogues (*.bin; SHA256SUMS)\0*.bin;SHA256SUMS\0All files (*.*)\0*.*\0";
    OPENFILENAMEA dialog = fileDialog(dialog_, kFilter, path, "Open firmware");
    dialog.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR | OFN_HIDEREADONLY;
    if (!GetOpenFileNameA(&dialog)) {
        return std::nullopt; // cancelled, or the dialog could not be shown
    }
    return std::string(path);
}

} // namespace orvexa
