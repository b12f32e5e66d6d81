#pragma once

#include "http/HostLookup.h"
#include "http/Resolver.h"
#include "http/Transport.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace http {

// One TCP connection at a time, reopened as needed. Every call comes from the
// owning thread except `interrupt`, which may come from any thread.
//
// The socket never blocks: each step (looking the host up, connecting,
// sending, receiving, and a TLS session's waits on top) waits in poll(),
// which ends when the idle timeout passes (an `HttpError`) and when an
// interrupt shuts the socket down. A reset by the peer is a `ConnectionLost`.
class Connection final : public Transport {
public:
    Connection(std::int64_t idleTimeoutMs, Resolver resolver);
    ~Connection();

    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Closes any open connection and connects to `host`:`port`.
    void open(const std::string& host, std::uint16_t port);
    void close();
    bool isOpen() const { return socketFd.load() >= 0; }
    // The addresses of `host`:`port`, looked up as `open` does it: cut by an
    // interrupt, bounded by the idle timeout.
    AddressList lookUp(const std::string& host, std::uint16_t port);

    void sendAll(std::string_view data) override;
    std::size_t receive(char* buffer, std::size_t capacity) override;
    // Waits until the socket is ready for `pollEvents` (POLLIN, POLLOUT):
    // what a TLS session does between its tries. Throws on the idle timeout
    // and on an interrupt.
    void waitUntilReady(short pollEvents);
    // The socket, for a TLS session on top; -1 when closed.
    int descriptor() const { return socketFd.load(); }
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
