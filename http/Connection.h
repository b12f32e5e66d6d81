#pragma once

#include "http/HostLookup.h"
#include "http/Resolver.h"
#include "http/Transport.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
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

    // Runs `steps` with their waits bounded together: whatever the peer
    // sends, they end once the idle timeout has passed since the start. A
    // peer that drips its reply, a byte within each idle period, would
    // otherwise hold a read that waits for the reply's end for ever. A wait
    // that the deadline cuts throws `HttpError` (TooSlow) when the peer has
    // sent or taken anything since the start; one silent throughout times
    // out as ever. Steps so bounded do not nest.
    template <typename Steps>
    decltype(auto) withinDeadline(Steps&& steps) {
        struct EndDeadline {
            Connection& connection;
            ~EndDeadline() { connection.deadline.reset(); }
        } endDeadline{*this};
        startDeadline();
        return steps();
    }

    // Any thread. Cuts the current connection with shutdown() or ends the wait
    // for a lookup, and makes every later step fail until `clearInterrupt`.
    void interrupt();
    void clearInterrupt() { interrupted.store(false); }
    bool isInterrupted() const { return interrupted.load(); }

private:
    using Clock = std::chrono::steady_clock;

    void startDeadline();
    // What the next poll() may wait: the idle timeout, or less where the
    // deadline comes first; -1 for no limit.
    int pollTimeout() const;
    void connectTo(const addrinfo& address);
    void waitUntilConnected(int fd);
    void throwIfInterrupted() const;
    [[noreturn]] void failFromErrno(const char* what) const;

    std::int64_t idleTimeoutMs;
    // Owner thread: the end of `withinDeadline`'s steps, and whether the peer
    // has moved since they started.
    std::optional<Clock::time_point> deadline;
    bool peerMoved = false;
    HostLookup lookup;
    std::atomic<int> socketFd{-1};
    std::atomic<bool> interrupted{false};
    // Interrupts between reading `socketFd` and calling shutdown(); close()
    // waits for them so that no shutdown can reach a reused descriptor number.
    std::atomic<int> interruptsInFlight{0};
};

} // namespace http
