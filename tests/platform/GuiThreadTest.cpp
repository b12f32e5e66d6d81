#include "platform/GuiThread.h"

#include "tests/common/TestHelpers.h"

#include <atomic>
#include <gtest/gtest.h>
#include <stdexcept>
#include <thread>

using testing_helpers::pumpUntil;

TEST(Synchronize, FromTheGuiThreadRunsAtOnce) {
    bool ran = false;
    platform::synchronize([&] { ran = true; });
    EXPECT_TRUE(ran);
    EXPECT_TRUE(platform::isGuiThread());
}

TEST(Synchronize, FromAnotherThreadRunsOnTheGuiThreadAndWaits) {
    const auto guiThread = std::this_thread::get_id();
    std::atomic<bool> ranOnGui{false};
    std::atomic<bool> returned{false};
    int value = 0; // written on the GUI thread, read by the worker after the wait
    int seenByWorker = -1;
    std::thread worker([&] {
        EXPECT_FALSE(platform::isGuiThread());
        platform::synchronize([&] {
            ranOnGui = std::this_thread::get_id() == guiThread;
            value = 42;
        });
        seenByWorker = value;
        returned = true;
    });
    ASSERT_TRUE(pumpUntil([&] { return returned.load(); }));
    worker.join();
    EXPECT_TRUE(ranOnGui);
    EXPECT_EQ(seenByWorker, 42);
}

TEST(Synchronize, AnExceptionReachesTheCaller) {
    std::atomic<bool> caught{false};
    std::thread worker([&] {
        try {
            platform::synchronize([] { throw std::runtime_error("boom"); });
        } catch (const std::runtime_error&) {
            caught = true;
        }
    });
    ASSERT_TRUE(pumpUntil([&] { return caught.load(); }));
    worker.join();
}

TEST(Post, RunsLaterOnTheGuiThreadInOrder) {
    std::vector<int> order;
    std::thread worker([&] {
        for (int i = 0; i < 100; ++i) {
            platform::post([&order, i] { order.push_back(i); });
        }
    });
    worker.join();
    ASSERT_TRUE(pumpUntil([&] { return order.size() == 100; }));
    for (int i = 0; i < 100; ++i) {
        EXPECT_EQ(order[static_cast<std::size_t>(i)], i);
    }
}

TEST(Synchronize, RunsWhileEarlierWorkWaitsInANestedEventLoop) {
    // The first item waits, in an event loop of its own, for a worker whose
    // synchronize was queued after it: as with a modal message box shown by
    // GUI-thread work while the download worker picks its next download.
    std::atomic<bool> secondRan{false};
    bool firstSawSecond = false;
    std::thread first([&] {
        platform::synchronize([&] {
            std::thread second([&] {
                platform::synchronize([] {});
                secondRan = true;
            });
            firstSawSecond = pumpUntil([&] { return secondRan.load(); }, 3000);
            second.join();
        });
    });
    ASSERT_TRUE(pumpUntil([&] { return secondRan.load(); }, 5000));
    first.join();
    EXPECT_TRUE(firstSawSecond);
}

TEST(Post, WorkAfterAThrowingItemStillRuns) {
    bool later = false;
    std::thread worker([&] {
        platform::post([] { throw std::runtime_error("boom"); });
        platform::post([&] { later = true; });
    });
    worker.join();
    try {
        pumpUntil([&] { return later; }, 2000);
    } catch (const std::runtime_error&) {
    }
    EXPECT_TRUE(pumpUntil([&] { return later; }, 2000));
}
