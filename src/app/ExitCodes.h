// How a run ended, as the exit code a script reads. One mapping for every front end that reports one.
#pragma once

#include "steps/StepContext.h"

namespace orvexa {

namespace exitcode {
inline constexpr int kDone = 0;          // the firmware was written, or (stopping after Step 2) verified
inline constexpr int kNotDone = 1;       // not found, not verified, refused, no download mode
inline constexpr int kUsage = 2;         // bad usage
inline constexpr int kTransferError = 3; // the transfer failed, or pages or fonts were not all acknowledged
inline constexpr int kCancelled = 4;     // a question was answered No
inline constexpr int kHungUp = 129;      // the terminal hung up before anything was written (128 + SIGHUP)
inline constexpr int kInterrupted = 130; // stopped by Ctrl-C or SIGTERM (128 + SIGINT, as shells report it)
} // namespace exitcode

// The exit code for the last step's outcome. Verified is success only for a run that meant to stop after
// Step 2; a run that stopped with nothing concluded (only a port opened, no step run) did not do what was
// asked.
constexpr int exitCodeFor(Outcome outcome, bool stopAfterVerification) {
    switch (outcome) {
    case Outcome::Written:
        return exitcode::kDone;
    case Outcome::Verified:
        return stopAfterVerification ? exitcode::kDone : exitcode::kNotDone;
    case Outcome::TransferError:
    case Outcome::ItemsNotAcknowledged:
        return exitcode::kTransferError;
    case Outcome::Cancelled:
        return exitcode::kCancelled;
    case Outcome::Interrupted:
        return exitcode::kInterrupted;
    case Outcome::None:
    case Outcome::PortOpened:
    case Outcome::PortNotFound:
    case Outcome::PortOpenFailed:
    case Outcome::NotVerified:
    case Outcome::Refused:
    case Outcome::NoDownloadMode:
        return exitcode::kNotDone;
    }
    return exitcode::kNotDone;
}

} // namespace orvexa
