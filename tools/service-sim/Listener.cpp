#include "tools/service-sim/Listener.h"

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <system_error>
#include <unistd.h>

namespace servicesim {

namespace {

constexpr int Backlog = 128;

[[noreturn]] void throwErrno(const char* what) {
    throw std::system_error(errno, std::generic_category(), what);
}

sockaddr_in loopback(std::uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

void closeIfOpen(int fd) {
    if (fd >= 0) {
        ::close(fd);
    }
}

} // namespace

Listener::Listener(std::uint16_t port) {
    try {
        listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (listenFd < 0) {
            throwErrno("socket");
        }
        const int on = 1;
        ::setsockopt(listenFd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in address = loopback(port);
        if (::bind(listenFd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            throwErrno("bind");
        }
        if (::listen(listenFd, Backlog) != 0) {
            throwErrno("listen");
        }
        socklen_t length = sizeof address;
        if (::getsockname(listenFd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            throwErrno("getsockname");
        }
        boundPort = ntohs(address.sin_port);
        int pipeEnds[2];
        if (::pipe2(pipeEnds, O_CLOEXEC) != 0) {
            throwErrno("pipe");
        }
        wakeRead = pipeEnds[0];
        wakeWrite = pipeEnds[1];
    } catch (...) {
        closeIfOpen(listenFd);
        throw;
    }
}

Listener::~Listener() {
    close();
    closeIfOpen(wakeRead);
    closeIfOpen(wakeWrite);
}

int Listener::accept() {
    for (;;) {
        pollfd watched[2] = {{wakeRead, POLLIN, 0}, {listenFd, POLLIN, 0}};
        if (::poll(watched, 2, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            return -1;
        }
        if (watched[0].revents != 0) {
            return -1;
        }
        const int fd = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd >= 0) {
            const int on = 1;
            ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
            return fd;
        }
        // A connection that died in the backlog, or a lack of descriptors: keep going.
        if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
            ::usleep(10'000);
        }
    }
}

void Listener::wake() {
    const char byte = 1;
    while (::write(wakeWrite, &byte, 1) < 0 && errno == EINTR) {
    }
}

void Listener::close() {
    closeIfOpen(listenFd);
    listenFd = -1;
}

} // namespace servicesim
