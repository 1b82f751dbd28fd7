#include "serial/Deadline.h"

#include "VirtualClock.h"

#include <gtest/gtest.h>

#include <vector>

using namespace orvexa;

// Each case starts a deadline at a given tick and lets time pass in steps, saying after each step whether
// the deadline has expired by then.
TEST(Deadline, ExpiresExactlyWhenTheDurationHasPassedWhereverTheTickWraps) {
    struct Step {
        std::uint32_t sleepMs;
        bool expired;
    };
    const struct {
        const char* name;
        std::uint32_t startTick;
        std::uint32_t durationMs;
        std::vector<Step> steps;
    } cases[] = {
        {"zero duration is expired at once", 12345, 0, {{0, true}}},
        {"exactly at the duration", 500, 2000, {{1999, false}, {1, true}}},
        // 256 ms before the wrap, so that the end tick itself wraps past zero: asked before the wrap,
        // after it, just before the end, at the end and long after.
        {"end tick wrapping past zero",
         0xFFFFFFFFu - 255,
         1000,
         {{128, false}, {144, false}, {727, false}, {1, true}, {5000, true}}},
        // 4096 ms before the wrap and first asked after it: a plain "now >= end" would say no.
        {"first tested after the wrap", 0xFFFFFFFFu - 4095, 1000, {{4112, true}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        VirtualClock clock(c.startTick);
        Deadline deadline(clock);
        deadline.start(c.durationMs);
        std::uint32_t elapsedMs = 0;
        for (const Step& step : c.steps) {
            clock.sleepMs(step.sleepMs);
            elapsedMs += step.sleepMs;
            EXPECT_EQ(deadline.expired(), step.expired) << "after " << elapsedMs << " ms";
        }
    }
}

TEST(Deadline, RestartReplacesTheLimit) {
    VirtualClock clock;
    Deadline deadline(clock);
    deadline.start(100);
    clock.sleepMs(150);
    ASSERT_TRUE(deadline.expired());
    deadline.start(100);
    EXPECT_FALSE(deadline.expired());
}
