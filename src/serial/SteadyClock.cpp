#include "serial/Clock.h"

#include <chrono>
#include <thread>

namespace orvexa {

namespace {
std::int64_t steadyNowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}
} // namespace

SteadyClock::SteadyClock() : originNs_(steadyNowNs()) {}

std::uint32_t SteadyClock::tickMs() {
    return static_cast<std::uint32_t>((steadyNowNs() - originNs_) / 1'000'000);
}

void SteadyClock::sleepMs(std::uint32_t ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

} // namespace orvexa
