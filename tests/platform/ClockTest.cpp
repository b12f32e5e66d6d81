#include "platform/Clock.h"

#include "tests/common/TestHelpers.h"

#include <gtest/gtest.h>

TEST(Clock, RealClockIsMonotonicAndSleepWaits) {
    const auto start = platform::clockMs();
    platform::sleepMs(20);
    EXPECT_GE(platform::clockMs() - start, 19);
}

TEST(Clock, AFakeClockReplacesBothClockAndSleep) {
    {
        testing_helpers::FakeClock clock;
        clock.set(5000);
        EXPECT_EQ(platform::clockMs(), 5000);
        platform::sleepMs(60'000);
        EXPECT_EQ(platform::clockMs(), 65'000);
        EXPECT_EQ(clock.totalSleptMs(), 60'000);
    }
    EXPECT_LT(platform::clockMs(), 1'000'000'000);
}
