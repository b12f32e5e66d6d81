#pragma once

#include <functional>
#include <memory>
#include <utility>

namespace kestrune {

// A single-subscriber event: assigning a handler replaces the previous one,
// firing an empty event does nothing, and the handler runs synchronously on
// the thread that fires the event. A copy of an event shares its handler, so
// that one handler given to many events (every download of a long queue) is
// kept once.
template <typename... Args>
class Event {
public:
    using Handler = std::function<void(Args...)>;

    Event& operator=(Handler newHandler) {
        handler = newHandler ? std::make_shared<const Handler>(std::move(newHandler)) : nullptr;
        return *this;
    }

    void clear() { handler = nullptr; }
    explicit operator bool() const { return handler != nullptr; }

    void operator()(Args... args) const {
        if (handler) {
            // Arguments taken by value move on to the handler.
            (*handler)(std::forward<Args>(args)...);
        }
    }

private:
    std::shared_ptr<const Handler> handler;
};

} // namespace kestrune
