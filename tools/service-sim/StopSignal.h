#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace servicesim {

// A one-way flag that sleeping threads can wait on, so that stopping the
// service cuts every paced wait short.
class StopSignal {
public:
    void raise() {
        {
            std::lock_guard lock(mutex);
            raised = true;
        }
        changed.notify_all();
    }

    bool isRaised() const {
        std::lock_guard lock(mutex);
        return raised;
    }

    // Sleeps until `deadline`; true when the signal was raised meanwhile.
    bool waitUntil(std::chrono::steady_clock::time_point deadline) const {
        std::unique_lock lock(mutex);
        return changed.wait_until(lock, deadline, [this] { return raised; });
    }

private:
    mutable std::mutex mutex;
    mutable std::condition_variable changed;
    bool raised = false;
};

} // namespace servicesim
