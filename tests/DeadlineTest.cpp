#include "serial/Deadline.h"

#include "VirtualClock.h"

#include <gtest/gtest.h>

using namespace orvexa;

TEST(Deadline, ZeroDurationIsExpiredAtOnce) {
    VirtualClock clock(12345);
    Deadline deadline(clock);
    deadline.start(0);
    EXPECT_TRUE(deadline.expired());
}

TEST(Deadline, ExpiresExactlyWhenTheDurationHasPassed) {
    VirtualClock clock(500);
    Deadline deadline(clock);
    deadline.start(2000);
    clock.sleepMs(1999);
    EXPECT_FALSE(deadline.expired());
    clock.sleepMs(1);
    EXPECT_TRUE(deadline.expired());
}

// Started 256 ms before the tick wraps, so that the end tick itself wraps past zero.
TEST(Deadline, EndTickWrappingPastZero) {
    VirtualClock clock(0xFFFFFFFFu - 255);
    Deadline deadline(clock);
    deadline.start(1000);
    clock.sleepMs(128); // before the wrap
    EXPECT_FALSE(deadline.expired());
    clock.sleepMs(144); // 272 ms after the start, after the wrap
    EXPECT_FALSE(deadline.expired());
    clock.sleepMs(727);
    EXPECT_FALSE(deadline.expired());
    clock.sleepMs(1); // 1000 ms
    EXPECT_TRUE(deadline.expired());
    clock.sleepMs(5000);
    EXPECT_TRUE(deadline.expired());
}

// Started 4096 ms before the wrap and first asked after it: a plain "now >= end" would say no.
TEST(Deadline, FirstTestedAfterTheWrap) {
    VirtualClock clock(0xFFFFFFFFu - 4095);
    Deadline deadline(clock);
    deadline.start(1000);
    clock.sleepMs(4112);
    EXPECT_TRUE(deadline.expired());
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
