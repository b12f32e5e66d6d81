#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace testing_helpers {

// A loopback server that accepts connections and never answers: the peer of
// a request that hangs. Connections stay open until the server is destroyed.
class SilentServer {
public:
    SilentServer();
    ~SilentServer();

    SilentServer(const SilentServer&) = delete;
    SilentServer& operator=(const SilentServer&) = delete;

    std::uint16_t port() const { return boundPort; }
    std::string url(const std::string& path = "/") const;
    int acceptedCount() const { return accepted.load(); }

private:
    void acceptLoop();

    int listenFd = -1;
    std::uint16_t boundPort = 0;
    std::atomic<bool> stopping{false};
    std::atomic<int> accepted{0};
    std::vector<int> connections; // accept thread only
    std::thread acceptThread;
};

} // namespace testing_helpers
