// A time limit in milliseconds on a Clock's 32-bit tick. The arithmetic is modulo 2^32 on purpose: the
// tick wraps about every 49.7 days, and a limit that spans the wrap must still expire on time.
#pragma once

#include "serial/Clock.h"

#include <cstdint>

namespace orvexa {

class Deadline {
public:
    explicit Deadline(Clock& clock) : clock_(clock) {}
    virtual ~Deadline() = default;

    // Arms (or re-arms) the limit; always true.
    bool start(std::uint32_t ms);
    // True once at least the started duration has passed since start.
    bool expired() const;

private:
    Clock& clock_;
    std::uint32_t startTick_ = 0;
    std::uint32_t endTick_ = 0;
};

} // namespace orvexa
