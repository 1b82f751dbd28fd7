#include "cli/ScannerResult.h"

namespace orvexa {

const char* verdictName(ScannerResult::Verdict verdict) {
    switch (verdict) {
    case ScannerResult::Verdict::NoScanner:
        return "no scanner";
    case ScannerResult::Verdict::Skipped:
        return "skipped";
    case ScannerResult::Verdict::Verified:
        return "verified";
    case ScannerResult::Verdict::AlreadyCurrent:
        return "already current";
    case ScannerResult::Verdict::Written:
        return "written";
    case ScannerResult::Verdict::Failed:
        return "failed";
    }
    return "failed";
}

} // namespace orvexa
