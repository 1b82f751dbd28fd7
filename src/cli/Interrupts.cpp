#include "cli/Interrupts.h"

namespace orvexa {

InterruptResponse::Action InterruptResponse::respond(Signal signal) noexcept {
    if (!interruption_.writing.load()) {
        return Action::ExitNow;
    }
    if (interruption_.stopRequested.load()) {
        return Action::AlreadyStopping;
    }
    if (signal == Signal::Interrupt && !warned_.exchange(true)) {
        return Action::Warn;
    }
    interruption_.stopRequested.store(true);
    return Action::Stop;
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
        return "";
    }
    return "";
}

} // namespace orvexa
