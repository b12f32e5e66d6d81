#include "platform/Clock.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace platform {

namespace {

std::atomic<ClockSource*> clockSource{nullptr};

const std::chrono::steady_clock::time_point programStart = std::chrono::steady_clock::now();

} // namespace

std::int64_t clockMs() {
    if (ClockSource* source = clockSource.load()) {
        return source->nowMs();
    }
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 programStart)
        .count();
}

void sleepMs(std::int64_t ms) {
    if (ClockSource* source = clockSource.load()) {
        source->sleepMs(ms);
        return;
    }
    if (ms > 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    }
}

void setClockSource(ClockSource* source) {
    clockSource.store(source);
}

bool isClockReplaced() {
    return clockSource.load() != nullptr;
}

} // namespace platform
