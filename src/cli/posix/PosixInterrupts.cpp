// The POSIX side of the CLI's interrupts. The handler does only what is safe in a signal handler: atomics,
// write(2), poll(2), nanosleep(2) and _exit(2). SA_RESTART keeps a question's read going; the serial
// channel's poll() retries on EINTR by itself.
#include "cli/Interrupts.h"
#include "cli/ScreenRelay.h"
#include "serial/Platform.h"

#include <cerrno>
#include <csignal>
#include <cstring>

#include <unistd.h>

namespace orvexa {

namespace {

constexpr int kHandledSignals[] = {SIGINT, SIGTERM, SIGHUP};

InterruptResponse* installedResponse = nullptr;

InterruptResponse::Signal signalOf(int signal) {
    switch (signal) {
    case SIGTERM:
        return InterruptResponse::Signal::Terminate;
    case SIGHUP:
        return InterruptResponse::Signal::HangUp;
    default:
        return InterruptResponse::Signal::Interrupt;
    }
}

[[noreturn]] void exitNow(InterruptResponse::Signal signal) {
    releasePortsForExit(); // the OS closes the port, but its exclusive mode would stay
    ScreenRelay::drainBeforeExit();
    _exit(InterruptResponse::exitCodeFor(signal));
}

extern "C" void onInterruptSignal(int signal) {
    const int savedErrno = errno;
    if (installedResponse == nullptr) {
        exitNow(signalOf(signal));
    }
    const InterruptResponse::Action action = installedResponse->respond(signalOf(signal));
    const char* text = installedResponse->textToWrite(action);
    // Standard error is the screen relay's pipe, which never keeps this write waiting.
    const ssize_t written = ::write(STDERR_FILENO, text, std::strlen(text));
    (void)written; // nothing better to do in a handler when standard error is gone
    if (action == InterruptResponse::Action::ExitNow) {
        exitNow(signalOf(signal));
    }
    errno = savedErrno;
}

void setHandler(void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    for (const int signal : kHandledSignals) {
        sigaddset(&action.sa_mask, signal); // one response at a time
    }
    action.sa_flags = SA_RESTART;
    for (const int signal : kHandledSignals) {
        sigaction(signal, &action, nullptr);
    }
}

} // namespace

InterruptHandlers::InterruptHandlers(InterruptResponse& response) {
    installedResponse = &response;
    setHandler(onInterruptSignal);
}

InterruptHandlers::~InterruptHandlers() {
    setHandler(SIG_DFL);
    installedResponse = nullptr;
}

} // namespace orvexa
