// A name server that never answers: binds UDP and TCP port 53 on 127.0.0.1
// and reads nothing, so every query waits for the resolver's own time-outs.
// Needs the right to bind port 53; bench/close_during_lookup.sh runs it in a
// private network namespace. Prints "ready" once bound, then waits to be
// killed.
#include <arpa/inet.h>
#include <cstdio>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

bool bindPort53(int type) {
    const int fd = ::socket(AF_INET, type, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(53);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const auto* generic = reinterpret_cast<const sockaddr*>(&address);
    return fd >= 0 && ::bind(fd, generic, sizeof address) == 0 &&
           (type != SOCK_STREAM || ::listen(fd, 1) == 0);
}

} // namespace

int main() {
    if (!bindPort53(SOCK_DGRAM) || !bindPort53(SOCK_STREAM)) {
        std::perror("cannot bind 127.0.0.1:53");
        return 1;
    }
    std::puts("ready");
    std::fflush(stdout);
    for (;;) {
        ::pause();
    }
}
