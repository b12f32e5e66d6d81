#include "platform/WallClock.h"

#include "tests/common/TestHelpers.h"

#include <chrono>
#include <gtest/gtest.h>

using testing_helpers::pumpFor;
using testing_helpers::pumpUntil;

namespace {

std::int64_t systemNowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

} // namespace

// The alarm rings once the calendar's clock has reached its time; a new one
// replaces the one before, and a cancelled one never rings.
TEST(SystemWallClock, RingsTheLastAlarmSetOnceItsTimeHasComeAndACancelledOneNever) {
    platform::SystemWallClock clock;
    EXPECT_NEAR(static_cast<double>(clock.nowMs()), static_cast<double>(systemNowMs()), 1000);
    int first = 0;
    int second = 0;
    std::int64_t rangAt = 0;
    clock.setAlarm(clock.nowMs() + 50, [&] { ++first; });
    const std::int64_t due = clock.nowMs() + 100;
    clock.setAlarm(due, [&] {
        ++second;
        rangAt = systemNowMs();
    });
    ASSERT_TRUE(pumpUntil([&] { return second == 1; }, 5000));
    EXPECT_GE(rangAt, due);
    EXPECT_EQ(first, 0);

    clock.setAlarm(clock.nowMs() - 1000, [&] { ++first; });
    EXPECT_TRUE(pumpUntil([&] { return first == 1; }, 5000)) << "a time past rings at once";
    clock.setAlarm(clock.nowMs() + 50, [&] { ++first; });
    clock.cancelAlarm();
    pumpFor(200);
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 1);
}
