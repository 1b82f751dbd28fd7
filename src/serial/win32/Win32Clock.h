// The Windows tick counter and Sleep as the tool's Clock: GetTickCount wraps at 2^32 ms exactly as
// Deadline expects.
#pragma once

#include "serial/Clock.h"

namespace orvexa {

class Win32Clock : public Clock {
public:
    std::uint32_t tickMs() override;
    void sleepMs(std::uint32_t ms) override;
};

} // namespace orvexa
