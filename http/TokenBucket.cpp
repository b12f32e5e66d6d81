#include "http/TokenBucket.h"

#include <algorithm>
#include <cmath>

namespace http {

TokenBucket::TokenBucket(Clock clock)
    : clock(clock ? std::move(clock) : [] { return std::chrono::steady_clock::now(); }) {}

void TokenBucket::setRate(std::int64_t newRate) {
    newRate = std::max<std::int64_t>(0, newRate);
    if (newRate == bytesPerSecond) {
        return;
    }
    const std::int64_t newBurst = std::max<std::int64_t>(1, newRate / burstsPerSecond);
    if (bytesPerSecond == 0) {
        tokens = static_cast<double>(newBurst);
        lastRefill = clock();
    } else {
        refill();
        tokens = std::min(tokens, static_cast<double>(newBurst));
    }
    bytesPerSecond = newRate;
    burst = newBurst;
}

void TokenBucket::refill() {
    const auto now = clock();
    if (now <= lastRefill) {
        return;
    }
    const double elapsed = std::chrono::duration<double>(now - lastRefill).count();
    tokens = std::min(static_cast<double>(burst),
                      tokens + elapsed * static_cast<double>(bytesPerSecond));
    lastRefill = now;
}

TokenBucket::Grant TokenBucket::request(std::size_t wanted) {
    if (bytesPerSecond == 0 || wanted == 0) {
        return {wanted, {}};
    }
    refill();
    const double needed =
        static_cast<double>(std::min(wanted, static_cast<std::size_t>((burst + 1) / 2)));
    if (tokens >= needed) {
        return {std::min(wanted, static_cast<std::size_t>(tokens)), {}};
    }
    const std::chrono::duration<double> wait((needed - tokens) /
                                             static_cast<double>(bytesPerSecond));
    return {0, std::max(std::chrono::nanoseconds(1),
                        std::chrono::ceil<std::chrono::nanoseconds>(wait))};
}

void TokenBucket::spend(std::size_t bytes) {
    if (bytesPerSecond == 0) {
        return;
    }
    refill();
    tokens -= static_cast<double>(bytes);
}

} // namespace http
