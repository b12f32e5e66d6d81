#include "http/Connection.h"

#include "http/ConnectionLost.h"
#include "http/HttpError.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace http {

namespace {

bool isReset(int error) {
    return error == ECONNRESET || error == EPIPE || error == ECONNABORTED;
}

// What a failed connection attempt tells the user.
HttpError::Kind connectFailureKind(int error) {
    if (error == ECONNREFUSED) {
        return HttpError::Kind::Refused;
    }
    return error == ETIMEDOUT ? HttpError::Kind::TimedOut : HttpError::Kind::Unreachable;
}

} // namespace

Connection::Connection(std::int64_t idleTimeoutMs, Resolver resolver)
    : idleTimeoutMs(idleTimeoutMs)
    , lookup(std::move(resolver)) {}

Connection::~Connection() {
    close();
}

AddressList Connection::lookUp(const std::string& host, std::uint16_t port) {
    throwIfInterrupted();
    AddressList addresses = lookup.find(host, port, idleTimeoutMs, interrupted);
    throwIfInterrupted();
    return addresses;
}

void Connection::startDeadline() {
    peerMoved = false;
    if (idleTimeoutMs > 0) {
        deadline = Clock::now() + std::chrono::milliseconds(idleTimeoutMs);
    }
}

int Connection::pollTimeout() const {
    if (idleTimeoutMs <= 0) {
        return -1;
    }
    std::int64_t limit = idleTimeoutMs;
    if (deadline) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline - Clock::now());
        limit = std::clamp<std::int64_t>(left.count(), 0, limit);
    }
    return static_cast<int>(std::min<std::int64_t>(limit, INT_MAX));
}

void Connection::open(const std::string& host, std::uint16_t port) {
    close();
    const AddressList addresses = lookUp(host, port);
    HttpError lastFailure(HttpError::Kind::Unresolved, "no address for " + host);
    for (const addrinfo* address = addresses.get(); address; address = address->ai_next) {
        try {
            connectTo(*address);
            return;
        } catch (const HttpError& error) {
            close();
            if (isInterrupted()) {
                throw;
            }
            lastFailure = error;
        }
    }
    throw HttpError(lastFailure.kind(), "cannot connect to " + host + ": " + lastFailure.what());
}

void Connection::connectTo(const addrinfo& address) {
    const int fd = ::socket(address.ai_family, address.ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC,
                            address.ai_protocol);
    if (fd < 0) {
        failFromErrno("socket");
    }
    // Published before connecting so that an interrupt can cut the attempt;
    // the flag is checked only after connect() has moved the socket out of
    // its initial state, where shutdown() would have no effect.
    socketFd.store(fd);
    if (::connect(fd, address.ai_addr, address.ai_addrlen) != 0) {
        if (errno != EINPROGRESS) {
            const int error = errno;
            throwIfInterrupted();
            throw HttpError(connectFailureKind(error),
                            std::string("connect: ") + std::strerror(error));
        }
        throwIfInterrupted();
        waitUntilConnected(fd);
    }
    throwIfInterrupted();
    const int noDelay = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &noDelay, sizeof noDelay);
}

void Connection::waitUntilConnected(int fd) {
    pollfd request{fd, POLLOUT, 0};
    int ready = 0;
    do {
        ready = ::poll(&request, 1, pollTimeout());
    } while (ready < 0 && errno == EINTR);
    throwIfInterrupted();
    if (ready == 0) {
        throw HttpError(HttpError::Kind::TimedOut, "connect timed out");
    }
    int error = 0;
    socklen_t length = sizeof error;
    if (ready < 0 || ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) {
        failFromErrno("connect");
    }
    if (error != 0) {
        throw HttpError(connectFailureKind(error), std::string("connect: ") + std::strerror(error));
    }
}

void Connection::waitUntilReady(short pollEvents) {
    pollfd request{socketFd.load(), pollEvents, 0};
    int ready = 0;
    do {
        throwIfInterrupted();
        ready = ::poll(&request, 1, pollTimeout());
    } while (ready < 0 && errno == EINTR);
    throwIfInterrupted();
    if (ready == 0) {
        if (deadline && peerMoved) {
            throw HttpError(HttpError::Kind::TooSlow, "the reply did not come whole in time");
        }
        throw HttpError(HttpError::Kind::TimedOut, "the peer stayed silent");
    }
    if (ready < 0) {
        failFromErrno("poll");
    }
    peerMoved = true;
}

void Connection::close() {
    const int fd = socketFd.exchange(-1);
    if (fd < 0) {
        return;
    }
    while (interruptsInFlight.load() != 0) {
        std::this_thread::yield();
    }
    ::close(fd);
}

void Connection::sendAll(std::string_view data) {
    while (!data.empty()) {
        throwIfInterrupted();
        const ssize_t sent = ::send(socketFd.load(), data.data(), data.size(), MSG_NOSIGNAL);
        if (sent < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                waitUntilReady(POLLOUT);
                continue;
            }
            if (errno == EINTR) {
                continue;
            }
            failFromErrno("send");
        }
        data.remove_prefix(static_cast<std::size_t>(sent));
    }
}

std::size_t Connection::receive(char* buffer, std::size_t capacity) {
    for (;;) {
        throwIfInterrupted();
        const ssize_t received = ::recv(socketFd.load(), buffer, capacity, 0);
        if (received >= 0) {
            // shutdown() by an interrupt also reads as an orderly end.
            throwIfInterrupted();
            peerMoved = peerMoved || received > 0;
            return static_cast<std::size_t>(received);
        }
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            waitUntilReady(POLLIN);
        } else if (errno != EINTR) {
            failFromErrno("recv");
        }
    }
}

bool Connection::hasUnexpectedInput() const {
    pollfd request{socketFd.load(), POLLIN, 0};
    return ::poll(&request, 1, 0) != 0;
}

void Connection::interrupt() {
    interrupted.store(true);
    lookup.wake();
    interruptsInFlight.fetch_add(1);
    const int fd = socketFd.load();
    if (fd >= 0) {
        ::shutdown(fd, SHUT_RDWR);
    }
    interruptsInFlight.fetch_sub(1);
}

void Connection::throwIfInterrupted() const {
    if (interrupted.load()) {
        throw HttpError(HttpError::Kind::Disconnected, "disconnected");
    }
}

void Connection::failFromErrno(const char* what) const {
    const int error = errno;
    throwIfInterrupted();
    const std::string message = std::string(what) + ": " + std::strerror(error);
    if (isReset(error)) {
        throw ConnectionLost(message);
    }
    // A socket that stops working in the middle of a request has lost its
    // connection, whatever the system calls it.
    throw HttpError(HttpError::Kind::ConnectionLost, message);
}

} // namespace http
