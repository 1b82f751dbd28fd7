// The C runtime's descriptors on Windows. A pipe made with _pipe is binary, so the relay passes on the
// bytes the program wrote, line ends included, as they are; _dup2 onto 1 and 2 also moves the process's
// standard handles, so the console handler's WriteFile lands in the relay too.
#include "cli/ScreenPipe.h"

#include <cerrno>
#include <fcntl.h>
#include <io.h>
#include <windows.h>

namespace orvexa::screen {

namespace {

constexpr unsigned kPipeBytes = 64 * 1024;

} // namespace

bool makePipe(Pipe& pipe) {
    int ends[2];
    if (_pipe(ends, kPipeBytes, _O_BINARY | _O_NOINHERIT) != 0) {
        return false;
    }
    pipe.read = ends[0];
    pipe.write = ends[1];
    return true;
}

int duplicate(int fd) {
    return _dup(fd);
}

bool redirect(int from, int onto) {
    return _dup2(from, onto) == 0;
}

void closeDescriptor(int fd) {
    if (fd >= 0) {
        _close(fd);
    }
}

long readSome(int fd, char* buffer, std::size_t size) {
    return _read(fd, buffer, static_cast<unsigned>(size));
}

bool writeAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const int put = _write(fd, data, static_cast<unsigned>(size));
        if (put <= 0) {
            return false;
        }
        data += put;
        size -= static_cast<std::size_t>(put);
    }
    return true;
}

bool isTerminalDescriptor(int fd) {
    return _isatty(fd) != 0;
}

int terminalColumnsOf(int fd) {
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (handle == INVALID_HANDLE_VALUE || !GetConsoleScreenBufferInfo(handle, &info)) {
        return 0;
    }
    return info.srWindow.Right - info.srWindow.Left + 1;
}

// Windows raises no signal for a closed pipe: the write fails, and the relay takes the stream for gone.
void ignoreBrokenPipes() {}

// Console events arrive on a thread of their own; there are no signals to keep away.
void keepSignalsAway() {}

bool readable(int fd) noexcept {
    DWORD waiting = 0;
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
    return PeekNamedPipe(handle, nullptr, 0, nullptr, &waiting, nullptr) && waiting > 0;
}

void napMs(int ms) noexcept {
    Sleep(static_cast<DWORD>(ms));
}

} // namespace orvexa::screen
