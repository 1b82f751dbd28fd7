// The Windows side of the CLI's interrupts and terminal width. Console control events arrive on a thread
// of their own: Ctrl-C is the interrupt; Ctrl-Break, closing the console, logoff and shutdown are the
// terminations. After a close event Windows ends the process once the handler returns (within seconds),
// so the handler waits, bounded, for Step 3 to stop after the frame under way.
#include "app/ExitCodes.h"
#include "cli/Interrupts.h"

#include <cstdio>
#include <cstring>

#include <io.h>
#include <windows.h>

namespace orvexa {

namespace {

constexpr int kCloseWaitSteps = 40;
constexpr DWORD kCloseWaitStepMs = 100; // 4 s in all, inside the time Windows gives a closing console

InterruptResponse* installedResponse = nullptr;

BOOL WINAPI onConsoleEvent(DWORD event) {
    if (installedResponse == nullptr) {
        return FALSE;
    }
    const InterruptResponse::Action action = installedResponse->respond(
        event == CTRL_C_EVENT ? InterruptResponse::Signal::Interrupt : InterruptResponse::Signal::Terminate);
    const char* text = installedResponse->textToWrite(action);
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), text, static_cast<DWORD>(std::strlen(text)), &written, nullptr);
    if (action == InterruptResponse::Action::ExitNow) {
        ExitProcess(static_cast<UINT>(exitcode::kInterrupted));
    }
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) {
        for (int i = 0; i < kCloseWaitSteps && installedResponse->writing(); ++i) {
            Sleep(kCloseWaitStepMs);
        }
    }
    return TRUE;
}

} // namespace

InterruptHandlers::InterruptHandlers(InterruptResponse& response) {
    installedResponse = &response;
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

InterruptHandlers::~InterruptHandlers() {
    SetConsoleCtrlHandler(onConsoleEvent, FALSE);
    installedResponse = nullptr;
}

int terminalColumns(std::FILE* stream) {
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (handle == INVALID_HANDLE_VALUE || !GetConsoleScreenBufferInfo(handle, &info)) {
        return 0;
    }
    return info.srWindow.Right - info.srWindow.Left + 1;
}

} // namespace orvexa
