#pragma once

#include "http/Resolver.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

namespace http {

// Name lookups whose wait can be cut. A lookup of a name runs on a thread of
// its own, which keeps alive everything it touches; when the caller stops
// waiting, the thread finishes unobserved and frees what it held. A numeric
// address needs no lookup and no thread.
//
// Every call comes from the owning thread except `wake`.
class HostLookup {
public:
    explicit HostLookup(Resolver resolver);

    // The addresses of `host`:`port`. Throws `HttpError` when the lookup fails
    // or takes longer than `timeoutMs` (no limit when it is 0 or less).
    // Returns an empty list as soon as `stop` is seen true after a `wake`.
    AddressList find(const std::string& host, std::uint16_t port, std::int64_t timeoutMs,
                     const std::atomic<bool>& stop);

    // Any thread. Makes a waiting `find` look at its `stop` flag.
    void wake();

private:
    struct Shared;
    struct Answer;

    void startLookup(const std::string& host, std::uint16_t port,
                     const std::shared_ptr<Answer>& answer);

    Resolver resolver;
    std::shared_ptr<Shared> shared;
    // The last lookup started, until a later one of another name; its
    // `ready` is read under `Shared::mutex`. Owner thread.
    std::shared_ptr<Answer> pending;
    std::string pendingHost;
    std::uint16_t pendingPort = 0;
};

} // namespace http
