#include "engine/SpeedSamples.h"

namespace tolvenka {

SpeedSamples::Window SpeedSamples::open(std::int32_t capacity) {
    auto created = std::make_unique<kestrune::containers::LimitedStack<int>>(capacity);
    std::lock_guard lock(mutex);
    stack = std::move(created);
    return Window(*this);
}

void SpeedSamples::close() {
    std::unique_ptr<kestrune::containers::LimitedStack<int>> closing;
    std::lock_guard lock(mutex);
    closing.swap(stack);
}

void SpeedSamples::push(int sample) {
    std::lock_guard lock(mutex);
    if (stack) {
        stack->push(sample);
    }
}

void SpeedSamples::clear() {
    std::lock_guard lock(mutex);
    if (stack) {
        stack->clear();
    }
}

SpeedSamples::Summary SpeedSamples::summary() const {
    Summary result;
    std::lock_guard lock(mutex);
    if (stack) {
        for (const int sample : *stack) {
            result.sum += sample;
        }
        result.count = stack->size();
    }
    return result;
}

} // namespace tolvenka
