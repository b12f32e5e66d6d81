#include "tools/service-sim/SocketIo.h"

#include <cerrno>
#include <chrono>
#include <poll.h>
#include <sys/socket.h>

namespace servicesim {

namespace {

constexpr std::chrono::milliseconds DrainTimeout{200};

} // namespace

bool sendAll(int fd, const char* data, std::size_t length) {
    while (length > 0) {
        const ssize_t sent = ::send(fd, data, length, MSG_NOSIGNAL);
        if (sent < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data += sent;
        length -= static_cast<std::size_t>(sent);
    }
    return true;
}

ssize_t receiveSome(int fd, char* out, std::size_t capacity) {
    for (;;) {
        const ssize_t received = ::recv(fd, out, capacity, 0);
        if (received < 0 && errno == EINTR) {
            continue;
        }
        return received;
    }
}

void shutdownAndDrain(int fd) {
    ::shutdown(fd, SHUT_WR);
    const auto deadline = std::chrono::steady_clock::now() + DrainTimeout;
    char discard[4096];
    for (auto now = std::chrono::steady_clock::now(); now < deadline;
         now = std::chrono::steady_clock::now()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now);
        pollfd readable{fd, POLLIN, 0};
        if (::poll(&readable, 1, static_cast<int>(left.count()) + 1) <= 0 ||
            receiveSome(fd, discard, sizeof discard) <= 0) {
            return;
        }
    }
}

} // namespace servicesim
