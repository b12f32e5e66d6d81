#include "http/HostLookup.h"

#include "http/HttpError.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>

namespace http {

// Shared by the owner, who waits on `changed`, and every lookup thread.
struct HostLookup::Shared {
    std::mutex mutex;
    std::condition_variable changed;
};

// One lookup's result, written by its thread under `Shared::mutex`.
struct HostLookup::Answer {
    bool ready = false;
    AddressList addresses;
    std::exception_ptr failure;
};

HostLookup::HostLookup(Resolver resolver)
    : resolver(std::move(resolver))
    , shared(std::make_shared<Shared>()) {}

AddressList HostLookup::find(const std::string& host, std::uint16_t port, std::int64_t timeoutMs,
                             const std::atomic<bool>& stop) {
    if (AddressList numeric = numericAddress(host, port)) {
        return numeric;
    }
    std::unique_lock lock(shared->mutex);
    // A lookup of the same name that an interrupt or a timeout left behind is
    // waited for again rather than joined by another: a resolver that hangs
    // must not gather a thread per try.
    if (!pending || pending->ready || pendingHost != host || pendingPort != port) {
        pending = std::make_shared<Answer>();
        pendingHost = host;
        pendingPort = port;
        lock.unlock();
        try {
            startLookup(host, port, pending);
        } catch (...) {
            pending.reset();
            throw;
        }
        lock.lock();
    }
    const std::shared_ptr<Answer> answer = pending;
    const auto over = [&] {
        return answer->ready || stop.load();
    };
    if (timeoutMs <= 0) {
        shared->changed.wait(lock, over);
    } else if (!shared->changed.wait_for(
                   lock, std::chrono::milliseconds(std::min<std::int64_t>(timeoutMs, INT_MAX)),
                   over)) {
        throw HttpError(HttpError::Kind::TimedOut, "cannot resolve " + host + ": timed out");
    }
    if (!answer->ready) {
        return {};
    }
    if (answer->failure) {
        std::rethrow_exception(answer->failure);
    }
    return std::move(answer->addresses);
}

// A thread per lookup rather than getaddrinfo_a(): gai_cancel() cannot stop a
// lookup already under way, whose request must then outlive the wait anyway.
void HostLookup::startLookup(const std::string& host, std::uint16_t port,
                             const std::shared_ptr<Answer>& answer) {
    // The thread holds its own copies: the client may be gone when it ends.
    auto lookUp = [resolver = resolver, shared = shared, answer, host, port] {
        AddressList addresses;
        std::exception_ptr failure;
        try {
            addresses = resolver(host, port);
        } catch (...) {
            failure = std::current_exception();
        }
        const std::lock_guard lock(shared->mutex);
        answer->addresses = std::move(addresses);
        answer->failure = failure;
        answer->ready = true;
        shared->changed.notify_all();
    };
    try {
        std::thread(std::move(lookUp)).detach();
    } catch (const std::system_error& error) {
        throw HttpError(HttpError::Kind::Unresolved,
                        "cannot resolve " + host + ": " + error.what());
    }
}

void HostLookup::wake() {
    const std::lock_guard lock(shared->mutex);
    shared->changed.notify_all();
}

} // namespace http
