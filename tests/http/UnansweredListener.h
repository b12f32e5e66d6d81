#pragma once

#include <cstdint>
#include <string>

namespace http_testing {

// A loopback port that takes no more connections: its accept queue is full
// and nobody accepts, so a connect to it waits for an answer that never comes.
class UnansweredListener {
public:
    UnansweredListener();
    ~UnansweredListener();

    UnansweredListener(const UnansweredListener&) = delete;
    UnansweredListener& operator=(const UnansweredListener&) = delete;

    std::string url() const { return "http://127.0.0.1:" + std::to_string(port) + "/"; }

private:
    int listenFd = -1;
    int fillerFd = -1;
    std::uint16_t port = 0;
};

} // namespace http_testing
