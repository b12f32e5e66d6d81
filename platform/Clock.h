#pragma once

#include <cstdint>

namespace platform {

// Monotonic milliseconds since the program started.
std::int64_t clockMs();

// Sleeps the calling thread.
void sleepMs(std::int64_t ms);

// A replacement for the clock and the sleep, so that timing rules can be
// tested without waiting. Implementations must be thread-safe.
class ClockSource {
public:
    virtual ~ClockSource() = default;
    virtual std::int64_t nowMs() = 0;
    virtual void sleepMs(std::int64_t ms) = 0;
};

// Installs `source` (nullptr puts the real clock back). Tests only; the
// caller keeps `source` alive while it is installed.
void setClockSource(ClockSource* source);
// Whether a test replaced the clock.
bool isClockReplaced();

} // namespace platform
