// The few descriptor calls the screen relay needs, one file per OS (posix/, win32/).
#pragma once

#include <cstddef>

namespace orvexa::screen {

struct Pipe {
    int read = -1;
    int write = -1;
};

// Both ends kept from programs the process starts.
bool makePipe(Pipe& pipe);
// A second descriptor of the same stream, kept from programs the process starts; -1 on failure.
int duplicate(int fd);
// Makes `onto` a descriptor of what `from` is.
bool redirect(int from, int onto);
void closeDescriptor(int fd);
// What came, retrying an interrupted read; 0 or less at the end of the pipe or on failure.
long readSome(int fd, char* buffer, std::size_t size);
// False once the stream refuses what is written (its reader went away, its terminal hung up).
bool writeAll(int fd, const char* data, std::size_t size);
bool isTerminalDescriptor(int fd);
// 0 when it is no terminal or the OS does not say.
int terminalColumnsOf(int fd);
// A reader that went away is an error on that stream (EPIPE), never the end of the process.
void ignoreBrokenPipes();
// Called first in each relay thread: the program's signals go to its own threads, whose handlers may
// wait for the relay.
void keepSignalsAway();
// Both async-signal-safe: whether anything waits unread in a pipe, and a short nap.
bool readable(int fd) noexcept;
void napMs(int ms) noexcept;

} // namespace orvexa::screen
