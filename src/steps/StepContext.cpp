#include "steps/StepContext.h"

namespace orvexa {

const char* outcomeName(Outcome outcome) {
    switch (outcome) {
    case Outcome::None:
        return "none";
    case Outcome::PortOpened:
        return "port opened";
    case Outcome::Verified:
        return "verified";
    case Outcome::Written:
        return "written";
    case Outcome::PortNotFound:
        return "port not found";
    case Outcome::PortOpenFailed:
        return "port open failed";
    case Outcome::NotVerified:
        return "not verified";
    case Outcome::Refused:
        return "refused";
    case Outcome::NoDownloadMode:
        return "no download mode";
    case Outcome::TransferError:
        return "transfer error";
    case Outcome::ItemsNotAcknowledged:
        return "items not acknowledged";
    case Outcome::Cancelled:
        return "cancelled";
    case Outcome::Interrupted:
        return "interrupted";
    }
    return "none";
}

} // namespace orvexa
