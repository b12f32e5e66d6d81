#pragma once

#include <cstdint>

namespace servicesim {

// A listening TCP socket on 127.0.0.1 whose blocking accept can be woken
// from another thread.
class Listener {
public:
    // Port 0 lets the system pick one. Throws std::system_error on failure.
    explicit Listener(std::uint16_t port);
    Listener(const Listener&) = delete;
    Listener& operator=(const Listener&) = delete;
    ~Listener();

    std::uint16_t port() const { return boundPort; }

    // The next accepted connection, or -1 once `wake` was called.
    int accept();

    // Makes the current and every later `accept` return -1.
    void wake();

    // Stops listening, so that new connections are refused. Only once no
    // thread is inside `accept` any more.
    void close();

private:
    int listenFd = -1;
    int wakeRead = -1;
    int wakeWrite = -1;
    std::uint16_t boundPort = 0;
};

} // namespace servicesim
