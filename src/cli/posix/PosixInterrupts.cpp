// The POSIX side of the CLI's interrupts and terminal width. The handler does only what is safe in a
// signal handler: atomics, write(2) and _exit(2). SA_RESTART keeps a question's read going; the serial
// channel's poll() retries on EINTR by itself.
#include "app/ExitCodes.h"
#include "cli/Interrupts.h"
#include "serial/Platform.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

#include <sys/ioctl.h>
#include <unistd.h>

namespace orvexa {

namespace {

InterruptResponse* installedResponse = nullptr;

extern "C" void onInterruptSignal(int signal) {
    const int savedErrno = errno;
    if (installedResponse == nullptr) {
        releasePortsForExit();
        _exit(exitcode::kInterrupted);
    }
    const InterruptResponse::Action action = installedResponse->respond(
        signal == SIGTERM ? InterruptResponse::Signal::Terminate : InterruptResponse::Signal::Interrupt);
    const char* text = installedResponse->textToWrite(action);
    const ssize_t written = ::write(STDERR_FILENO, text, std::strlen(text));
    (void)written; // nothing better to do in a handler when standard error is gone
    if (action == InterruptResponse::Action::ExitNow) {
        releasePortsForExit(); // the OS closes the port, but its exclusive mode would stay
        _exit(exitcode::kInterrupted);
    }
    errno = savedErrno;
}

void setHandler(void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
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

int terminalColumns(std::FILE* stream) {
    winsize size{};
    if (ioctl(fileno(stream), TIOCGWINSZ, &size) != 0) {
        return 0;
    }
    return size.ws_col;
}

} // namespace orvexa
