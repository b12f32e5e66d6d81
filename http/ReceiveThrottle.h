#pragma once

#include "http/TokenBucket.h"

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>

namespace http {

class SpeedLimit;

// Keeps the body reads of one client to a speed limit that may change at any
// moment: before each read it tells how much the read may take, waiting
// until that much is due. The wait sleeps, yet a disconnect from another
// thread ends it at once.
//
// Every call comes from the owning thread except `wake`.
class ReceiveThrottle {
public:
    // `stopped` tells whether the client was disconnected; a wait ends as
    // soon as it holds after a `wake`.
    explicit ReceiveThrottle(std::function<bool()> stopped, TokenBucket::Clock clock = {});

    // The limit to keep from the next read on, or null for none. It must
    // outlive the reads.
    void follow(const SpeedLimit* limit);
    // Whether reads are limited now. Cheap enough to ask before every read.
    bool isLimiting() const;
    // How many of `wanted` (> 0) bytes the next read may take, once they are
    // due. When stopped meanwhile, `wanted` at once: the read that follows
    // fails anyway.
    std::size_t admit(std::size_t wanted);
    // `bytes` arrived, whether a read allowed them or not.
    void spend(std::size_t bytes);

    // Any thread. A wait under way looks at `stopped` again.
    void wake();

private:
    std::int64_t followedRate() const;
    // False when stopped before `wait` passed.
    bool sleep(std::chrono::nanoseconds wait);

    const std::function<bool()> stopped;
    const SpeedLimit* limit = nullptr;
    TokenBucket bucket;
    std::mutex mutex;
    std::condition_variable woken;
};

} // namespace http
