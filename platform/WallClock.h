#pragma once

#include <cstdint>
#include <functional>
#include <memory>

namespace platform {

// The calendar's clock and one alarm on it, for what happens at a time of
// day rather than after a while. Tests put in their own.
class WallClock {
public:
    virtual ~WallClock() = default;

    // Milliseconds since the epoch (UTC), as the clock says now.
    virtual std::int64_t nowMs() = 0;
    // GUI thread. Calls `onAlarm` on the GUI thread once the clock has
    // reached `atMs`, or earlier where the clock is set anew, so that the
    // owner looks at it again. A new alarm replaces the one set before.
    virtual void setAlarm(std::int64_t atMs, std::function<void()> onAlarm) = 0;
    // GUI thread.
    virtual void cancelAlarm() = 0;
};

// The system's clock. Its alarm counts the time the machine slept, which a
// timer of the program's own clock does not: an alarm for 01:00 set at 22:00
// rings at 01:00 even after a sleep from 23:00 to 00:30, not at 02:30. A
// change of the date or the time rings it at once.
//
// Create, use and delete it on the GUI thread.
class SystemWallClock final : public WallClock {
public:
    SystemWallClock();
    ~SystemWallClock() override;

    SystemWallClock(const SystemWallClock&) = delete;
    SystemWallClock& operator=(const SystemWallClock&) = delete;

    std::int64_t nowMs() override;
    void setAlarm(std::int64_t atMs, std::function<void()> onAlarm) override;
    void cancelAlarm() override;

private:
    struct Alarm;
    std::unique_ptr<Alarm> alarm;
};

} // namespace platform
