// What Ctrl-C and SIGTERM do to a run of orvexa-cli. Before Step 3 writes, nothing is lost by stopping: the
// process ends at once. While it writes, stopping leaves a scanner without working firmware, so the first
// Ctrl-C only says so and the transfer goes on; a second Ctrl-C, or SIGTERM (someone means it), asks
// Step 3 to stop after the frame or chunk under way, and the run ends with Outcome::Interrupted.
//
// A lost terminal (SIGHUP: the window closed, the SSH session dropped) is no request to stop. Before the
// first write it ends the run as Ctrl-C does there; while a scanner is written, every transfer under way
// goes on to its end with its closing frame, and the run ends with its own exit code.
//
// The OS edge (posix/ or win32/ *Interrupts.cpp) calls respond() from a signal handler or a console control
// thread: it touches only lock-free atomics, and its texts are constants to be written as they stand.
#pragma once

#include "steps/StepContext.h"

#include <atomic>
#include <span>

namespace orvexa {

// After a run stopped mid-transfer: what the scanner is left with, and the way back.
inline constexpr const char* kStoppedMidTransferLines[] = {
    "Stopped mid-transfer: the scanner may be in its bootloader, without firmware.",
    "To recover, run the same command again: Steps 2 and 3 take the bootloader path.",
};

class InterruptResponse {
public:
    // Ctrl-C; SIGTERM (Windows: Ctrl-Break, console closed); SIGHUP
    enum class Signal { Interrupt, Terminate, HangUp };
    enum class Action { ExitNow, Warn, Stop, AlreadyStopping, GoOn };

    explicit InterruptResponse(Interruption& interruption) : sessions_(&interruption, 1) {}
    // A fleet: Ctrl-C weighs whether any session writes, and a stop reaches every one.
    explicit InterruptResponse(std::span<Interruption> sessions) : sessions_(sessions) {}

    Action respond(Signal signal) noexcept;
    bool writing() const noexcept;
    // What the user reads on standard error for an action, from its first character to its last.
    static const char* textFor(Action action) noexcept;
    // What the OS edge writes for an action: textFor's, except where the front end shows the state in a
    // display of its own (the fleet's live table, which a stray line would tear) and the run goes on.
    const char* textToWrite(Action action) const noexcept {
        return quiet_ && action != Action::ExitNow ? "" : ownTextFor(action);
    }
    void setQuiet(bool quiet) { quiet_ = quiet; }
    // A front end whose first Ctrl-C means something else than a warning (the station: watch no more).
    void setWarnText(const char* text) { warnText_ = text; }
    bool warned() const noexcept { return warned_.load(); }
    bool hungUp() const noexcept { return hungUp_.load(); }
    // A station watches for new ports until the first Ctrl-C, or until its terminal is gone.
    bool watchEnded() const noexcept { return warned() || hungUp(); }
    // The exit code of a process that ends at once for a signal: 128 plus the signal's number.
    static int exitCodeFor(Signal signal) noexcept;
    // The text of the last action taken, for that display; empty before any interrupt.
    const char* lastText() const noexcept {
        const int last = lastAction_.load();
        if (last < 0) {
            return "";
        }
        return ownTextFor(static_cast<Action>(last));
    }

private:
    const char* ownTextFor(Action action) const noexcept {
        return action == Action::Warn && warnText_ != nullptr ? warnText_ : textFor(action);
    }
    Action decide(Signal signal) noexcept;

    static_assert(std::atomic<bool>::is_always_lock_free);
    static_assert(std::atomic<int>::is_always_lock_free);
    std::span<Interruption> sessions_;
    std::atomic<bool> warned_{false};
    std::atomic<bool> hungUp_{false};
    std::atomic<int> lastAction_{-1};
    bool quiet_ = false; // set before the handlers are installed, as is warnText_
    const char* warnText_ = nullptr;
};

// How the OS routes the interrupts to a response, for the life of this object; the defaults return after.
class InterruptHandlers {
public:
    explicit InterruptHandlers(InterruptResponse& response);
    ~InterruptHandlers();
    InterruptHandlers(const InterruptHandlers&) = delete;
    InterruptHandlers& operator=(const InterruptHandlers&) = delete;
};

} // namespace orvexa
