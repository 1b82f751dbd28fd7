// What the dialog's progress bar stands for at each step, for front ends that show more than a bar: the
// item under way (the firmware, or the pages and fonts), the steps and bytes done of the range, and once
// enough steps have come, the rate and the time left. The terminal's bar, the fleet's rows and the JSON
// progress events all read it here, so that they agree.
#pragma once

#include "serial/Clock.h"

#include <cstdint>
#include <optional>
#include <string>

namespace orvexa {

// Where no line is redrawn in place (a log, a pipe), progress is a plain line every tenth.
inline constexpr int kPercentPerPlainLine = 10;

struct ProgressReading {
    std::string item;     // "firmware", or what the steps stand for ("pages and fonts")
    bool firmware = true; // counted in bytes of the image; otherwise by count of items
    int done = 0;         // steps of the range done, and the range's span
    int span = 1;
    std::int64_t bytesDone = 0; // of the firmware; 0 for a count of items
    std::int64_t bytesTotal = 0;
    std::optional<double> bytesPerSecond; // known once steps came for a while
    std::optional<long> secondsLeft;

    int percent() const { return done * 100 / span; }
};

class ProgressMeter {
public:
    // The name the steps give the firmware's range; a range with no name is the firmware too.
    static constexpr const char* kFirmwareUnits = "firmware";

    ProgressMeter(Clock& clock, std::int64_t imageBytes) : clock_(clock), imageBytes_(imageBytes) {}
    // A session that chose its package from a catalogue learns the image's size only before Step 3.
    void setImageBytes(std::int64_t imageBytes) { imageBytes_ = imageBytes; }

    void setStep(int step) { step_ = step; }
    void setRange(std::uint16_t lower, std::uint16_t upper);
    void setUnits(const std::string& name, std::int64_t bytesPerStep);
    void stepIt();

    const std::string& unitsName() const { return unitsName_; }
    int stepsSinceRange() const { return stepsSinceRange_; }
    ProgressReading reading() const;

private:
    Clock& clock_;
    std::int64_t imageBytes_;
    int step_ = 10; // a Windows progress bar's default step
    int lower_ = 0;
    int upper_ = 100;
    int position_ = 0;
    int stepsSinceRange_ = 0;
    std::uint32_t firstStepTickMs_ = 0; // the rate is measured from here: before it the scanner got ready
    std::string unitsName_;             // what the steps of the range stand for; empty: the firmware
    std::int64_t bytesPerStep_ = 0;
};

} // namespace orvexa
