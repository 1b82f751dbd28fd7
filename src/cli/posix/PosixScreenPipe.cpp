#include "cli/ScreenPipe.h"

#include <cerrno>
#include <csignal>
#include <ctime>

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace orvexa::screen {

bool makePipe(Pipe& pipe) {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) {
        return false;
    }
    pipe.read = ends[0];
    pipe.write = ends[1];
    return true;
}

int duplicate(int fd) {
    return ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
}

bool redirect(int from, int onto) {
    int result;
    do {
        result = ::dup2(from, onto);
    } while (result < 0 && errno == EINTR);
    return result == onto;
}

void closeDescriptor(int fd) {
    if (fd >= 0) {
        ::close(fd);
    }
}

long readSome(int fd, char* buffer, std::size_t size) {
    for (;;) {
        const ssize_t got = ::read(fd, buffer, size);
        if (got >= 0 || errno != EINTR) {
            return got;
        }
    }
}

bool writeAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t put = ::write(fd, data, size);
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put < 0 && errno == EAGAIN) {
            // A stream left non-blocking by whoever shares it: wait for room, as a blocking write would.
            pollfd room{fd, POLLOUT, 0};
            ::poll(&room, 1, -1);
            continue;
        }
        if (put <= 0) {
            return false;
        }
        data += put;
        size -= static_cast<std::size_t>(put);
    }
    return true;
}

bool isTerminalDescriptor(int fd) {
    return ::isatty(fd) == 1;
}

int terminalColumnsOf(int fd) {
    winsize size{};
    if (::ioctl(fd, TIOCGWINSZ, &size) != 0) {
        return 0;
    }
    return size.ws_col;
}

void ignoreBrokenPipes() {
    ::signal(SIGPIPE, SIG_IGN);
}

void keepSignalsAway() {
    sigset_t all;
    sigfillset(&all);
    ::pthread_sigmask(SIG_BLOCK, &all, nullptr);
}

bool readable(int fd) noexcept {
    pollfd waiting{fd, POLLIN, 0};
    return ::poll(&waiting, 1, 0) > 0 && (waiting.revents & POLLIN) != 0;
}

void napMs(int ms) noexcept {
    timespec nap{0, static_cast<long>(ms) * 1000000L};
    while (::nanosleep(&nap, &nap) != 0 && errno == EINTR) {
    }
}

} // namespace orvexa::screen
