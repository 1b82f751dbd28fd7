// orvexa.exe: the main dialog on plain Win32 and the common controls. The dialog runs modeless under a
// message loop of our own, so that the keys "1", "2" and "3" can be seen before the dialog manager
// handles them, whichever control has the focus.
#include "app/AppContext.h"
#include "app/ExitCodes.h"
#include "app/FilePortMemory.h"
#include "app/FirmwareArgument.h"
#include "app/UpgradeDialog.h"
#include "app/win32/Win32DialogWindow.h"
#include "app/win32/resource.h"
#include "serial/ExtraPorts.h"
#include "serial/Platform.h"

#include <windows.h>

#include <commctrl.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace orvexa;

constexpr WPARAM kLargeIcon = ICON_BIG;
constexpr WPARAM kSmallIcon = ICON_SMALL;
constexpr UINT kMenuTextLength = 256;

struct MainDialog {
    UpgradeDialog* logic = nullptr;
    HICON icon = nullptr;
};

// The About entry, and beside it the support bundle's and the firmware's (additions; their texts are the
// shared ones).
void addToSystemMenu(HWND dialog, HINSTANCE instance) {
    const HMENU systemMenu = GetSystemMenu(dialog, FALSE);
    if (systemMenu == nullptr) {
        return;
    }
    char text[kMenuTextLength] = {};
    if (LoadStringA(instance, IDS_ABOUTBOX, text, sizeof text) > 0 && text[0] != '\0') {
        AppendMenuA(systemMenu, MF_SEPARATOR, 0, nullptr);
        AppendMenuA(systemMenu, MF_STRING, IDM_ABOUTBOX, text);
    }
    AppendMenuA(systemMenu, MF_STRING, IDM_SUPPORTBUNDLE, kSupportBundleMenuText);
    AppendMenuA(systemMenu, MF_STRING, IDM_OPENFIRMWARE, kOpenFirmwareMenuText);
}

// The caption follows the session's firmware: with a catalogue, it names the package Step 2 chose.
void showCaption(HWND dialog, const UpgradeDialog& logic) {
    SetWindowTextA(dialog, logic.caption().c_str());
}

// The command line as the C runtime split it, in the ANSI code page as every other text of this front
// end: the paths go to std::filesystem as the file dialogs' do.
std::vector<std::string> commandLineArguments() {
    std::vector<std::string> arguments;
    for (int i = 1; i < __argc; ++i) {
        arguments.emplace_back(__argv[i]);
    }
    return arguments;
}

// --firmware PATH into the session before the dialog shows: 0 to go on, else the exit code once the
// refusal has been said in an error box.
int startFirmware(UpgradeDialog& logic, DialogWindow& window) {
    const FirmwareArgument firmware = firmwareArgument(commandLineArguments());
    if (!firmware.error.empty()) {
        window.messageBox(firmware.error, "", box::kError);
        return exitcode::kUsage;
    }
    if (!firmware.path) {
        logic.useCarriedCatalogue();
    } else if (!logic.openFirmware(*firmware.path).refusal.empty()) {
        return exitcode::kUsage;
    }
    return 0;
}

// Minimised, the dialog shows its icon centred in what is left of the client area.
void paintMinimisedIcon(HWND dialog, HICON icon) {
    PAINTSTRUCT paint;
    const HDC dc = BeginPaint(dialog, &paint);
    SendMessageA(dialog, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    const int iconWidth = GetSystemMetrics(SM_CXICON);
    const int iconHeight = GetSystemMetrics(SM_CYICON);
    RECT client;
    GetClientRect(dialog, &client);
    const int x = (client.right - client.left - iconWidth + 1) / 2;
    const int y = (client.bottom - client.top - iconHeight + 1) / 2;
    DrawIcon(dc, x, y, icon);
    EndPaint(dialog, &paint);
}

INT_PTR CALLBACK mainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* main = reinterpret_cast<MainDialog*>(GetWindowLongPtrA(dialog, DWLP_USER));
    switch (message) {
    case WM_INITDIALOG:
        SetWindowLongPtrA(dialog, DWLP_USER, lParam);
        return TRUE;
    case WM_SYSCOMMAND:
        if (main != nullptr && main->logic->onSystemCommand(static_cast<unsigned>(wParam))) {
            showCaption(dialog, *main->logic);
            return TRUE;
        }
        return FALSE;
    case WM_PAINT:
        if (main != nullptr && IsIconic(dialog)) {
            paintMinimisedIcon(dialog, main->icon);
            return TRUE;
        }
        return FALSE;
    case WM_QUERYDRAGICON:
        return main != nullptr ? reinterpret_cast<INT_PTR>(main->icon) : 0;
    case WM_COMMAND:
        if (HIWORD(wParam) == BN_CLICKED && main != nullptr) {
            if (LOWORD(wParam) == IDCANCEL) {
                DestroyWindow(dialog);
                return TRUE;
            }
            main->logic->onButton(LOWORD(wParam));
            if (IsWindow(dialog)) {
                showCaption(dialog, *main->logic);
            }
            return TRUE;
        }
        return FALSE;
    case WM_CLOSE:
        DestroyWindow(dialog);
        return TRUE;
    case WM_DESTROY:
        PostQuitMessage(0);
        return TRUE;
    default:
        return FALSE;
    }
}

bool isStepKey(const MSG& message, HWND dialog) {
    if (message.message != WM_KEYDOWN || (message.hwnd != dialog && !IsChild(dialog, message.hwnd))) {
        return false;
    }
    return message.wParam == '1' || message.wParam == '2' || message.wParam == '3';
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);

    Win32DialogWindow window(instance);
    const std::unique_ptr<Clock> clock = makeSystemClock();
    const std::unique_ptr<PortDiscovery> discovery = makePortDiscovery(extraPortsFromEnvironment());
    AppContext app(window, *clock, *discovery, makeSerialChannel(), [] { return makeSerialChannel(); });
    app.rememberPortsWith(std::make_unique<FilePortMemory>(userSettingsFolder()));
    UpgradeDialog logic(app);

    MainDialog main{&logic, LoadIconA(instance, MAKEINTRESOURCEA(IDI_ORVEXA))};
    const HWND dialog = CreateDialogParamA(instance, MAKEINTRESOURCEA(IDD_UPGRADE), nullptr, mainDialogProc,
                                           reinterpret_cast<LPARAM>(&main));
    if (dialog == nullptr) {
        return 1;
    }
    window.attach(dialog);
    addToSystemMenu(dialog, instance);
    SendMessageA(dialog, WM_SETICON, kLargeIcon, reinterpret_cast<LPARAM>(main.icon));
    SendMessageA(dialog, WM_SETICON, kSmallIcon, reinterpret_cast<LPARAM>(main.icon));
    logic.initDialog();
    // A catalogue with a fault is refused before the dialog shows, so before any port is opened.
    if (const int refused = startFirmware(logic, window); refused != 0) {
        DestroyWindow(dialog);
        return refused;
    }
    showCaption(dialog, logic);
    ShowWindow(dialog, showCommand);

    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        if (isStepKey(message, dialog)) {
            logic.onKey(static_cast<char>(message.wParam));
            if (!IsWindow(dialog)) {
                break;
            }
            showCaption(dialog, logic);
        }
        if (!IsDialogMessageA(dialog, &message)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
    return 0;
}
