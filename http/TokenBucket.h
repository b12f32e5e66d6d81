#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>

namespace http {

// Paces a reader to a rate in bytes per second. The bucket fills at the rate
// and holds a twentieth of a second's bytes, so a burst adds at most 5 % to
// any second, and a reader that keeps up receives the rate in every second,
// not only on average. At a rate of 0 everything passes at once, and the
// clock is not read.
//
// One thread uses it.
class TokenBucket {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;
    // The bucket holds this share of a second's bytes.
    static constexpr std::int64_t burstsPerSecond = 20;

    struct Grant {
        std::size_t bytes = 0;         // may be read now; 0: wait first
        std::chrono::nanoseconds wait; // until then, when `bytes` is 0
    };

    // `clock` is the steady clock unless a test brings its own.
    explicit TokenBucket(Clock clock = {});

    std::int64_t rate() const { return bytesPerSecond; }
    // Applies from now. What the bucket holds is kept up to the new burst;
    // coming from no limit, it starts full.
    void setRate(std::int64_t bytesPerSecond);

    // How many of `wanted` bytes may be read now: none until the bucket holds
    // the smaller of `wanted` and half a burst, so that a slow rate still
    // brings reads of a useful size rather than a trickle of tiny ones, and
    // a reader that wakes late from its wait finds the bucket not yet full
    // and loses nothing of the rate.
    Grant request(std::size_t wanted);
    // `bytes` were read; more than granted puts the bucket in debt, which
    // later grants wait out.
    void spend(std::size_t bytes);

private:
    void refill();

    Clock clock;
    std::int64_t bytesPerSecond = 0;
    std::int64_t burst = 0;
    double tokens = 0;
    std::chrono::steady_clock::time_point lastRefill{};
};

} // namespace http
