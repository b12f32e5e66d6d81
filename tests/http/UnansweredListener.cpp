#include "tests/http/UnansweredListener.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace http_testing {

UnansweredListener::UnansweredListener() {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    fillerFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    // A backlog of 0 holds one connection; the filler takes that place.
    if (::bind(listenFd, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::listen(listenFd, 0) != 0 ||
        ::getsockname(listenFd, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
        ::connect(fillerFd, reinterpret_cast<sockaddr*>(&address), length) != 0) {
        throw std::runtime_error("cannot set up an unanswered listener");
    }
    port = ntohs(address.sin_port);
}

UnansweredListener::~UnansweredListener() {
    ::close(fillerFd);
    ::close(listenFd);
}

} // namespace http_testing
