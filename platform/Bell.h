#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace platform {

// What a thread with nothing to do waits on instead of waking to look: any
// thread rings it, and the waiter wakes at once, or at its deadline. A ring
// that comes while nobody waits is kept for the next wait, so a change made
// between a look and the wait is never slept through.
//
// Deadlines are on `clockMs()`; under a clock a test replaced, the wait
// sleeps on that clock in steps of 10 ms, as waits did before there was a
// bell, so such tests keep moving time by hand.
class Bell {
public:
    // Any thread.
    void ring();
    // Waits until rung or until `deadlineMs` on `clockMs()` (-1: no
    // deadline); true when rung. A ring is answered by one wait only.
    bool waitUntil(std::int64_t deadlineMs);

private:
    bool waitOnReplacedClock(std::int64_t deadlineMs);

    std::mutex mutex;
    std::condition_variable rung;
    bool ringing = false;
};

} // namespace platform
