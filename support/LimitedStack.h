#pragma once

#include "support/LimitedStackExceptions.h"
#include "support/TypeName.h"

#include <cstdint>
#include <memory>
#include <new>
#include <stdexcept>

namespace kestrune::containers {

// A stack of fixed capacity that keeps the most recent values pushed onto it:
// pushing onto a full stack overwrites the oldest value. Iteration runs from
// the oldest value to the newest. One thread uses a stack at a time.
template <typename T>
class LimitedStack {
public:
    class Iterator {
    public:
        Iterator() = default;
        Iterator(const LimitedStack* stack, std::int32_t index)
            : stack(stack)
            , index(index) {}

        Iterator& operator++() {
            ++index;
            return *this;
        }

        const T& operator*() const {
            if (stack == nullptr || index < 0 || index >= stack->count) {
                throw exceptions::LimitedStackInvalidIterator(TypeName<T>::get());
            }
            return stack->buffer[(stack->start + index) % stack->capacity];
        }

        bool operator==(const Iterator& other) const {
            return stack == other.stack && index == other.index;
        }

    private:
        const LimitedStack* stack = nullptr;
        std::int32_t index = 0;
    };

    explicit LimitedStack(std::int32_t capacity)
        : capacity(capacity) {
        if (capacity < 1) {
            throw std::invalid_argument("LimitedStack capacity must be at least 1");
        }
        buffer.reset(new (std::nothrow) T[static_cast<std::size_t>(capacity)]);
        if (!buffer) {
            throw exceptions::LimitedStackOutOfMemory(TypeName<T>::get(), capacity,
                                                      static_cast<std::int32_t>(sizeof(T)));
        }
    }

    LimitedStack(const LimitedStack&) = delete;
    LimitedStack& operator=(const LimitedStack&) = delete;

    void push(const T& value) {
        buffer[(start + count) % capacity] = value;
        if (count < capacity) {
            ++count;
        } else {
            start = (start + 1) % capacity;
        }
    }

    // Empties the stack; it refills from where the oldest value stood.
    void clear() { count = 0; }

    std::int32_t size() const { return count; }

    Iterator begin() const { return Iterator(this, 0); }
    Iterator end() const { return Iterator(this, count); }

private:
    std::int32_t capacity;
    std::unique_ptr<T[]> buffer;
    std::int32_t start = 0;
    std::int32_t count = 0;
};

} // namespace kestrune::containers
