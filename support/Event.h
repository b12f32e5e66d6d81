#pragma once

#include <functional>
#include <utility>

namespace kestrune {

// A single-subscriber event: assigning a handler replaces the previous one,
// firing an empty event does nothing, and the handler runs synchronously on
// the thread that fires the event.
template <typename... Args>
class Event {
public:
    using Handler = std::function<void(Args...)>;

    Event& operator=(Handler newHandler) {
        handler = std::move(newHandler);
        return *this;
    }

    void clear() { handler = nullptr; }
    explicit operator bool() const { return static_cast<bool>(handler); }

    void operator()(Args... args) const {
        if (handler) {
            // Arguments taken by value move on to the handler.
            handler(std::forward<Args>(args)...);
        }
    }

private:
    Handler handler;
};

} // namespace kestrune
