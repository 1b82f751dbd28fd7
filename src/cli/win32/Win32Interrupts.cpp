// The Windows side of the CLI's interrupts. Console control events arrive on a thread
// of their own: Ctrl-C is the interrupt; Ctrl-Break, closing the console, logoff and shutdown are the
// terminations. After a close event Windows ends the process once the handler returns (within seconds),
// so the handler waits, bounded, for Step 3 to stop after the frame under way, and says how to recover.
#include "app/ExitCodes.h"
#include "cli/Interrupts.h"
#include "cli/ScreenRelay.h"

#include <cstring>

#include <windows.h>

namespace orvexa {

namespace {

constexpr int kCloseWaitSteps = 40;
constexpr DWORD kCloseWaitStepMs = 100; // 4 s in all, inside the time Windows gives a closing console

InterruptResponse* installedResponse = nullptr;

void writeError(const char* text) {
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), text, static_cast<DWORD>(std::strlen(text)), &written, nullptr);
}

BOOL WINAPI onConsoleEvent(DWORD event) {
    if (installedResponse == nullptr) {
        return FALSE;
    }
    const InterruptResponse::Action action = installedResponse->respond(
        event == CTRL_C_EVENT ? InterruptResponse::Signal::Interrupt : InterruptResponse::Signal::Terminate);
    const char* text = installedResponse->textToWrite(action);
    writeError(text);
    if (action == InterruptResponse::Action::ExitNow) {
        ScreenRelay::drainBeforeExit();
        ExitProcess(static_cast<UINT>(exitcode::kInterrupted));
    }
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) {
        for (int i = 0; i < kCloseWaitSteps && installedResponse->writing(); ++i) {
            Sleep(kCloseWaitStepMs);
        }
        // The run's own closing lines may not come before Windows ends the process.
        for (const char* line : kStoppedMidTransferLines) {
            writeError(line);
            writeError("\n");
        }
        ScreenRelay::drainBeforeExit();
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

} // namespace orvexa
