// A clock for tests: time moves only when someone sleeps or a simulated channel waits, so the longest
// protocol time limit costs nothing and every run is the same. Time is kept in microseconds so that the
// line model can charge the 87 us a byte takes at 115200 baud; the tick the tool sees is milliseconds.
#pragma once

#include "serial/Clock.h"

#include <cstdint>

namespace orvexa {

class VirtualClock : public Clock {
public:
    // The tick may start anywhere, for example just before the 32-bit wrap.
    explicit VirtualClock(std::uint32_t startTickMs = 0) : startTickMs_(startTickMs) {}

    std::uint32_t tickMs() override { return startTickMs_ + static_cast<std::uint32_t>(nowUs_ / 1000); }
    void sleepMs(std::uint32_t ms) override { nowUs_ += static_cast<std::uint64_t>(ms) * 1000; }

    // Microseconds since the clock was made.
    std::uint64_t nowUs() const { return nowUs_; }
    void advanceUs(std::uint64_t us) { nowUs_ += us; }
    void advanceToUs(std::uint64_t us) {
        if (us > nowUs_) {
            nowUs_ = us;
        }
    }

private:
    std::uint32_t startTickMs_;
    std::uint64_t nowUs_ = 0;
};

} // namespace orvexa
