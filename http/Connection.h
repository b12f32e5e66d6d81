#pragma once

#include "http/HostLookup.h"
#include "http/Resolver.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace http {

// One TCP connection at a time, reopened as needed. Every call comes from the
// owning thread except `interrupt`, which may come from any thread.
//
// Each blocking step (looking the host up, connecting, sending, receiving)
// fails with `HttpError` when it stays silent for the idle timeout; a reset by
// the peer is a `ConnectionLost`.
class Connection {
public:
    Connection(std::int64_t idleTimeoutMs, Resolver resolver);
    ~Connection();

    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Closes any open connection and connects to `host`:`port`.
    void open(const std::string& host, std::uint16_t port);
    void close();
    bool isOpen() const { return socketFd.load() >= 0; }

    void sendAll(std::string_view data);
    // Waits for bytes and stores at most `capacity` of them. Returns 0 when
    // the peer has ended the connection in order.
    std::size_t receive(char* buffer, std::size_t capacity);
    // Whether an idle connection has something to read: the peer closed it,
    // or sent bytes that no request asked for. Either way it is unusable.
    bool hasUnexpectedInput() const;

    // Any thread. Cuts the current connection with shutdown() or ends the wait
    // for a lookup, and makes every later step fail until `clearInterrupt`.
    void interrupt();
    void clearInterrupt() { interrupted.store(false); }
    bool isInterrupted() const { return interrupted.load(); }

private:
    void connectTo(const addrinfo& address);
    void waitUntilConnected(int fd);
    void applyIdleTimeout(int fd) const;
    void throwIfInterrupted() const;
    [[noreturn]] void failFromErrno(const char* what) const;

    std::int64_t idleTimeoutMs;
    HostLookup lookup;
    std::atomic<int> socketFd{-1};
    std::atomic<bool> interrupted{false};
    // Interrupts between reading `socketFd` and calling shutdown(); close()
    // waits for them so that no shutdown can reach a reused descriptor number.
    std::atomic<int> interruptsInFlight{0};
};

} // namespace http
