#pragma once

#include "engine/Download.h"

#include <atomic>
#include <thread>

namespace testing_helpers {

// Runs a download on a thread of its own, as the worker does, while the test
// keeps the GUI thread's events going.
class BackgroundRun {
public:
    explicit BackgroundRun(tolvenka::Download& download,
                           const http::SpeedLimit* speedLimit = nullptr,
                           const tolvenka::Download::ArrivalReport* arrivals = nullptr)
        : thread([this, &download, speedLimit, arrivals] {
            try {
                result = download.run(speedLimit, arrivals);
            } catch (...) {
                threw = true;
            }
            done = true;
        }) {}
    ~BackgroundRun() { thread.join(); }

    BackgroundRun(const BackgroundRun&) = delete;
    BackgroundRun& operator=(const BackgroundRun&) = delete;

    bool finished() const { return done.load(); }
    bool succeeded() const { return result.load(); }
    bool failed() const { return threw.load(); }

private:
    std::atomic<bool> done{false};
    std::atomic<bool> result{false};
    std::atomic<bool> threw{false};
    std::thread thread;
};

} // namespace testing_helpers
