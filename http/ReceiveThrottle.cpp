#include "http/ReceiveThrottle.h"

#include "http/SpeedLimit.h"

#include <algorithm>

namespace http {

ReceiveThrottle::ReceiveThrottle(std::function<bool()> stopped, TokenBucket::Clock clock)
    : stopped(std::move(stopped))
    , bucket(std::move(clock)) {}

void ReceiveThrottle::follow(const SpeedLimit* newLimit) {
    limit = newLimit;
}

bool ReceiveThrottle::isLimiting() const {
    return followedRate() > 0;
}

std::int64_t ReceiveThrottle::followedRate() const {
    return limit != nullptr ? limit->bytesPerSecond() : 0;
}

std::size_t ReceiveThrottle::admit(std::size_t wanted) {
    if (wanted == 0) {
        return 0;
    }
    for (;;) {
        // Read anew on every pass, so that a change reaches a wait under way.
        bucket.setRate(followedRate());
        const TokenBucket::Grant grant = bucket.request(wanted);
        if (grant.bytes > 0) {
            return grant.bytes;
        }
        if (!sleep(grant.wait)) {
            return wanted;
        }
    }
}

void ReceiveThrottle::spend(std::size_t bytes) {
    bucket.setRate(followedRate());
    bucket.spend(bytes);
}

bool ReceiveThrottle::sleep(std::chrono::nanoseconds wait) {
    // A long wait (bytes that came unasked put the bucket in debt, at a low
    // limit) looks at the limit again each second, so that a change still
    // applies within one.
    constexpr std::chrono::nanoseconds longestSleep = std::chrono::seconds(1);
    std::unique_lock lock(mutex);
    return !woken.wait_for(lock, std::min(wait, longestSleep), stopped);
}

void ReceiveThrottle::wake() {
    // Taken and let go, so that a waiter is either still before its look at
    // `stopped` or already asleep and notified.
    { std::lock_guard lock(mutex); }
    woken.notify_all();
}

} // namespace http
