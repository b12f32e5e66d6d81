#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>

namespace http {

// The most bytes per second that the transfers following it may receive, 0
// for no limit. One thread sets it while the transfers read it before every
// read of a body, so a change reaches a transfer under way.
class SpeedLimit {
public:
    // Any thread. A negative limit is none.
    void set(std::int64_t bytesPerSecond) {
        limit.store(std::max<std::int64_t>(0, bytesPerSecond));
    }
    // Any thread.
    std::int64_t bytesPerSecond() const { return limit.load(); }

private:
    std::atomic<std::int64_t> limit{0};
};

} // namespace http
