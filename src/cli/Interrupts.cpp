#include "cli/Interrupts.h"

#include "app/ExitCodes.h"

namespace orvexa {

bool InterruptResponse::writing() const noexcept {
    for (const Interruption& session : sessions_) {
        if (session.writing.load()) {
            return true;
        }
    }
    return false;
}

InterruptResponse::Action InterruptResponse::respond(Signal signal) noexcept {
    const Action action = decide(signal);
    if (action != Action::AlreadyStopping && action != Action::GoOn) {
        lastAction_.store(static_cast<int>(action));
    }
    return action;
}

InterruptResponse::Action InterruptResponse::decide(Signal signal) noexcept {
    if (!writing()) {
        return Action::ExitNow;
    }
    if (signal == Signal::HangUp) {
        hungUp_.store(true);
        return Action::GoOn;
    }
    for (const Interruption& session : sessions_) {
        if (session.stopRequested.load()) {
            return Action::AlreadyStopping;
        }
    }
    if (signal == Signal::Interrupt && !warned_.exchange(true)) {
        return Action::Warn;
    }
    for (Interruption& session : sessions_) {
        session.stopRequested.store(true);
    }
    return Action::Stop;
}

int InterruptResponse::exitCodeFor(Signal signal) noexcept {
    return signal == Signal::HangUp ? exitcode::kHungUp : exitcode::kInterrupted;
}

const char* InterruptResponse::textFor(Action action) noexcept {
    switch (action) {
    case Action::ExitNow:
        return "\nStopped.\n";
    case Action::Warn:
        return "\nStopping now would leave the scanner in its bootloader without firmware.\n"
               "The transfer goes on. Press Ctrl-C again to stop after the frame under way.\n";
    case Action::Stop:
        return "\nStopping after the frame under way...\n";
    case Action::AlreadyStopping:
    case Action::GoOn:
        return "";
    }
    return "";
}

} // namespace orvexa
