#include "platform/Bell.h"

#include "platform/Clock.h"

#include <algorithm>
#include <chrono>
#include <utility>

namespace platform {

void Bell::ring() {
    {
        std::lock_guard lock(mutex);
        ringing = true;
    }
    rung.notify_all();
}

bool Bell::waitUntil(std::int64_t deadlineMs) {
    if (isClockReplaced()) {
        return waitOnReplacedClock(deadlineMs);
    }
    std::unique_lock lock(mutex);
    const auto isRinging = [this] {
        return ringing;
    };
    if (deadlineMs < 0) {
        rung.wait(lock, isRinging);
    } else {
        const auto left =
            std::chrono::milliseconds(std::max<std::int64_t>(0, deadlineMs - clockMs()));
        rung.wait_for(lock, left, isRinging);
    }
    return std::exchange(ringing, false);
}

bool Bell::waitOnReplacedClock(std::int64_t deadlineMs) {
    constexpr std::int64_t stepMs = 10;
    for (;;) {
        {
            std::lock_guard lock(mutex);
            if (std::exchange(ringing, false)) {
                return true;
            }
        }
        const std::int64_t left = deadlineMs < 0 ? stepMs : deadlineMs - clockMs();
        if (left <= 0) {
            return false;
        }
        sleepMs(std::min(left, stepMs));
    }
}

} // namespace platform
