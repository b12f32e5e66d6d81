#pragma once

#include <cstddef>
#include <functional>

namespace platform {

// Calls `onTick` on the GUI thread every `intervalMs` from creation until
// deletion, unless disabled. Create, use and delete timers on the GUI thread
// only. Timers of the same interval share one toolkit timer, so ten thousand
// idle timers cost one wake-up per interval, and disabled ones none;
// creating, disabling or deleting a timer inside a tick, its own included,
// is safe.
class Timer {
public:
    Timer(int intervalMs, std::function<void()> onTick);
    ~Timer();

    Timer(const Timer&) = delete;
    Timer& operator=(const Timer&) = delete;

    void setEnabled(bool enabled);

private:
    friend class TimerHub;

    int intervalMs;
    bool enabled = true;
    std::function<void()> onTick;
    std::size_t slot = 0; // position in the hub's list of this interval
};

} // namespace platform
