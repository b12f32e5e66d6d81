#pragma once

#include "tools/service-sim/LoggedRequest.h"

#include <chrono>
#include <mutex>
#include <vector>

namespace servicesim {

// Every request the service received, in the order of arrival; safe to use
// from any thread.
class RequestLog {
public:
    RequestLog()
        : start(std::chrono::steady_clock::now()) {}

    void add(LoggedRequest entry) {
        std::lock_guard lock(mutex); // taken first, so that times rise along the log
        entry.timeMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                           std::chrono::steady_clock::now() - start)
                           .count();
        entries.push_back(std::move(entry));
    }

    std::vector<LoggedRequest> snapshot() const {
        std::lock_guard lock(mutex);
        return entries;
    }

    void clear() {
        std::lock_guard lock(mutex);
        entries.clear();
    }

private:
    const std::chrono::steady_clock::time_point start;
    mutable std::mutex mutex;
    std::vector<LoggedRequest> entries;
};

} // namespace servicesim
