#include "cli/ProgressMeter.h"

#include <algorithm>

namespace orvexa {

namespace {
// The rate is shown once steps have come for this long: the first steps' times still vary (the first
// time-left estimate used to read 11:13 for a run of 20 s).
constexpr std::uint32_t kEstimateAfterMs = 1000;
} // namespace

// New units begin a new count: the bar's position, which a range left as it was, starts again at 0, so
// that the firmware's bytes after the pages and fonts are counted from none.
void ProgressMeter::setUnits(const std::string& name, std::int64_t bytesPerStep) {
    unitsName_ = name;
    bytesPerStep_ = bytesPerStep;
    position_ = 0;
}

void ProgressMeter::setRange(std::uint16_t lower, std::uint16_t upper) {
    lower_ = lower;
    upper_ = upper;
    stepsSinceRange_ = 0;
}

void ProgressMeter::stepIt() {
    // A Windows progress bar wraps to its lower bound when a step passes the upper one.
    position_ += step_;
    if (position_ > upper_) {
        position_ = lower_ + (position_ - upper_) - 1;
    }
    if (stepsSinceRange_++ == 0) {
        firstStepTickMs_ = clock_.tickMs();
    }
}

ProgressReading ProgressMeter::reading() const {
    ProgressReading r;
    r.span = std::max(upper_ - lower_, 1);
    r.done = std::clamp(position_ - lower_, 0, r.span);
    r.firmware = unitsName_.empty() || unitsName_ == kFirmwareUnits;
    r.item = unitsName_.empty() ? kFirmwareUnits : unitsName_;
    if (r.firmware) {
        r.bytesTotal = imageBytes_;
        r.bytesDone = imageBytes_ * r.done / r.span;
    }
    const std::int64_t stepBytes =
        bytesPerStep_ > 0 && !unitsName_.empty() ? bytesPerStep_ : imageBytes_ * step_ / r.span;
    const std::uint32_t elapsedMs = clock_.tickMs() - firstStepTickMs_;
    const int timedSteps = stepsSinceRange_ - 1; // the first step starts the clock
    if (elapsedMs >= kEstimateAfterMs && timedSteps > 0 && stepBytes > 0) {
        const double msPerStep = static_cast<double>(elapsedMs) / timedSteps;
        r.bytesPerSecond = static_cast<double>(stepBytes) * 1000.0 / msPerStep;
        r.secondsLeft = static_cast<long>((r.span - r.done) * msPerStep / 1000.0);
    }
    return r;
}

} // namespace orvexa
