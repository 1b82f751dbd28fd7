// Time as a dependency. Every pause and every time limit of the tool goes through a Clock: production
// uses the steady clock of the machine, tests use a virtual clock whose sleep only moves a number, so a
// 20-second silence of a scanner costs microseconds and is deterministic.
#pragma once

#include <cstdint>

namespace orvexa {

class Clock {
public:
    virtual ~Clock() = default;

    // A millisecond tick counter that wraps at 2^32, like the system tick of the original platform.
    virtual std::uint32_t tickMs() = 0;
    virtual void sleepMs(std::uint32_t ms) = 0;
};

// The machine's monotonic clock; the tick starts near zero when the object is made.
class SteadyClock : public Clock {
public:
    SteadyClock();
    std::uint32_t tickMs() override;
    void sleepMs(std::uint32_t ms) override;

private:
    std::int64_t originNs_;
};

} // namespace orvexa
