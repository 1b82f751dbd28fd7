// The screen never holds up the wire. For the life of a ScreenRelay (main's), what orvexa-cli writes on
// its standard output and standard error goes into a pipe of its own, which a thread of the relay empties
// into memory as soon as anything lands in it; a second thread passes it on to the real stream at the pace
// its reader takes it. So a terminal paused with Ctrl-S, a pipe that nobody reads, a reader that went away
// (EPIPE) or a terminal that hung up (EIO) can make the screen fall behind or go dark, but the thread that
// drives a transfer never waits for it, and a signal handler's text never blocks either.
//
// What the screen cannot take is bounded: past kBacklogLimit bytes waiting, whole lines are dropped and
// counted. Progress is left out earlier, as soon as a screenful waits (behind()): the next step draws it
// anew, while status lines and message texts are kept.
#pragma once

#include <cstddef>
#include <cstdio>

namespace orvexa {

class ScreenRelay {
public:
    static constexpr std::size_t kBehindBytes = 4096;
    static constexpr std::size_t kBacklogLimit = 16 * 1024 * 1024;
    // How long a process that ends from a signal handler gives its last lines to reach the screen.
    static constexpr int kExitDrainMs = 500;

    // Takes over standard output and standard error; when the OS will not give the pipes, the streams
    // stay as they are.
    ScreenRelay();
    // Flushes stdio, gives the streams their real descriptors back, and waits until what is left has been
    // written or its stream is gone (no scanner is open any more by then).
    ~ScreenRelay();
    ScreenRelay(const ScreenRelay&) = delete;
    ScreenRelay& operator=(const ScreenRelay&) = delete;

    // True while more than kBehindBytes wait to be written to the real stream behind `stream`. False for
    // a stream that no relay serves (a test's temporary file).
    static bool behind(std::FILE* stream);
    // Whether the real stream behind `stream` is a terminal, and its columns (0: no terminal, or the OS
    // does not say).
    static bool isTerminal(std::FILE* stream);
    static int columns(std::FILE* stream);
    // Whether writing to the real stream failed (its reader went away); false for a stream no relay serves.
    static bool gone(std::FILE* stream);
    // For a signal handler about to end the process: waits at most kExitDrainMs for what was written so
    // far to reach the screen. Async-signal-safe.
    static void drainBeforeExit() noexcept;
};

// The columns of the terminal behind a stream (the real one, where the relay serves it); 0 when it is no
// terminal or the OS does not say.
int terminalColumns(std::FILE* stream);

} // namespace orvexa
