#include "platform/Timer.h"

#include "tests/common/TestHelpers.h"

#include <QElapsedTimer>
#include <gtest/gtest.h>
#include <memory>
#include <thread>
#include <vector>

using platform::Timer;
using testing_helpers::pumpFor;
using testing_helpers::pumpUntil;

TEST(Timer, TicksOnTheGuiThreadAtItsInterval) {
    int ticks = 0;
    bool onGuiThread = true;
    const auto guiThread = std::this_thread::get_id();
    QElapsedTimer elapsed;
    elapsed.start();
    Timer timer(20, [&] {
        ++ticks;
        onGuiThread = onGuiThread && std::this_thread::get_id() == guiThread;
    });
    ASSERT_TRUE(pumpUntil([&] { return ticks >= 5; }));
    EXPECT_TRUE(onGuiThread);
    // Five ticks of 20 ms cannot come sooner than about 100 ms.
    EXPECT_GE(elapsed.elapsed(), 80);
}

TEST(Timer, StopsWhenDeletedOrDisabled) {
    int ticks = 0;
    auto timer = std::make_unique<Timer>(10, [&] { ++ticks; });
    ASSERT_TRUE(pumpUntil([&] { return ticks >= 1; }));
    timer->setEnabled(false);
    const int whileDisabled = ticks;
    pumpFor(60);
    EXPECT_EQ(ticks, whileDisabled);
    timer->setEnabled(true);
    ASSERT_TRUE(pumpUntil([&] { return ticks > whileDisabled; }));
    timer.reset();
    const int afterDelete = ticks;
    pumpFor(60);
    EXPECT_EQ(ticks, afterDelete);
}

TEST(Timer, TimersOfOneIntervalEachTick) {
    std::vector<int> ticks(50, 0);
    std::vector<std::unique_ptr<Timer>> timers;
    for (std::size_t i = 0; i < ticks.size(); ++i) {
        timers.push_back(std::make_unique<Timer>(10, [&ticks, i] { ++ticks[i]; }));
    }
    ASSERT_TRUE(pumpUntil([&] {
        for (int count : ticks) {
            if (count < 2) {
                return false;
            }
        }
        return true;
    }));
}

TEST(Timer, DeletingTimersInsideATickIsSafe) {
    // A tick that deletes its own timer, the timer after it and the one
    // before it: none of the deleted timers may run afterwards.
    std::unique_ptr<Timer> before;
    std::unique_ptr<Timer> self;
    std::unique_ptr<Timer> after;
    int beforeTicks = 0;
    int selfTicks = 0;
    int afterTicks = 0;
    before = std::make_unique<Timer>(10, [&] { ++beforeTicks; });
    self = std::make_unique<Timer>(10, [&] {
        ++selfTicks;
        after.reset();
        before.reset();
        self.reset();
    });
    after = std::make_unique<Timer>(10, [&] { ++afterTicks; });
    ASSERT_TRUE(pumpUntil([&] { return selfTicks == 1; }));
    const int beforeAtDelete = beforeTicks;
    pumpFor(60);
    EXPECT_EQ(selfTicks, 1);
    EXPECT_EQ(afterTicks, 0);
    EXPECT_EQ(beforeTicks, beforeAtDelete);
}

TEST(Timer, CreatingTimersInsideATickIsSafe) {
    std::vector<std::unique_ptr<Timer>> created;
    int childTicks = 0;
    Timer parent(10, [&] {
        if (created.size() < 20) {
            created.push_back(std::make_unique<Timer>(10, [&] { ++childTicks; }));
            created.push_back(std::make_unique<Timer>(7, [&] { ++childTicks; }));
        }
    });
    ASSERT_TRUE(pumpUntil([&] { return created.size() >= 20 && childTicks >= 40; }));
}

TEST(Timer, ATickMayDeleteItsOwnTimerAndStillUseItsCaptures) {
    std::unique_ptr<Timer> timer;
    std::string seen;
    timer = std::make_unique<Timer>(10, [&timer, &seen, text = std::string(100, 'x')] {
        timer.reset();
        seen = text; // the callback's own captures, after its timer is gone
    });
    ASSERT_TRUE(pumpUntil([&] { return timer == nullptr; }));
    EXPECT_EQ(seen, std::string(100, 'x'));
}
