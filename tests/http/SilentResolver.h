#pragma once

#include "http/Resolver.h"

#include <atomic>
#include <chrono>
#include <future>
#include <gtest/gtest.h>
#include <memory>
#include <thread>

namespace http_testing {

// A resolver that keeps every lookup waiting until the end of its life, like
// a name server that never answers. Only the clients given `resolver()` and
// their lookups hold its state besides it, so at its end, after those
// clients, it can tell that the lookups have let go of everything.
class SilentResolver {
public:
    SilentResolver() = default;
    SilentResolver(const SilentResolver&) = delete;
    SilentResolver& operator=(const SilentResolver&) = delete;

    ~SilentResolver() {
        const std::weak_ptr<State> watched = state;
        state->release.set_value();
        state.reset();
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (!watched.expired() && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        EXPECT_TRUE(watched.expired()) << "a lookup still holds the resolver";
    }

    http::Resolver resolver() const {
        return [state = state](const std::string&, std::uint16_t) {
            state->asked.store(true);
            state->released.wait();
            return http::AddressList();
        };
    }
    bool asked() const { return state->asked.load(); }

private:
    struct State {
        std::promise<void> release;
        std::shared_future<void> released = release.get_future().share();
        std::atomic<bool> asked{false};
    };
    std::shared_ptr<State> state = std::make_shared<State>();
};

} // namespace http_testing
