#include "tests/common/SilentServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace testing_helpers {

SilentServer::SilentServer() {
    listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    if (listenFd < 0 ||
        ::bind(listenFd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        ::listen(listenFd, 16) != 0 ||
        ::getsockname(listenFd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        throw std::runtime_error("cannot start the silent server");
    }
    boundPort = ntohs(address.sin_port);
    acceptThread = std::thread([this] { acceptLoop(); });
}

SilentServer::~SilentServer() {
    stopping = true;
    acceptThread.join();
    ::close(listenFd);
}

std::string SilentServer::url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(boundPort) + path;
}

void SilentServer::acceptLoop() {
    while (!stopping) {
        pollfd waiting{listenFd, POLLIN, 0};
        if (::poll(&waiting, 1, 20) > 0) {
            const int fd = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd >= 0) {
                connections.push_back(fd);
                ++accepted;
            }
        }
    }
    for (const int fd : connections) {
        ::close(fd);
    }
}

} // namespace testing_helpers
