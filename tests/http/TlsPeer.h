#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace http_testing {

// A TLS server in the test's own process, on 127.0.0.1, for the peers a real
// server will not play: one that drops the TCP connection without TLS's
// close_notify, say. It presents the trusted test certificate for 127.0.0.1
// and plays one script per accepted connection, in order, one connection at
// a time. Whatever a script's end, the server then ends its side of the TCP
// connection and waits for the client to close it.
class TlsPeer {
public:
    struct Step {
        enum class Kind {
            // Reads a request head, up to its blank line.
            ReadRequest,
            Send,
            // Ends the TLS stream in order (close_notify), then the TCP one.
            CloseNotify,
            // Ends the TCP stream alone, as a truncating attacker would.
            DropTcp,
        };
        Kind kind;
        std::string bytes;
    };
    using Script = std::vector<Step>;

    static Step readRequest() { return {Step::Kind::ReadRequest, {}}; }
    static Step send(std::string bytes) { return {Step::Kind::Send, std::move(bytes)}; }
    static Step closeNotify() { return {Step::Kind::CloseNotify, {}}; }
    static Step dropTcp() { return {Step::Kind::DropTcp, {}}; }

    explicit TlsPeer(std::vector<Script> scripts);
    ~TlsPeer();

    TlsPeer(const TlsPeer&) = delete;
    TlsPeer& operator=(const TlsPeer&) = delete;

    // "https://127.0.0.1:PORT" and `path`.
    std::string url(const std::string& path) const;
    // How many connections had been accepted when the last one ended; call
    // after the client is done.
    std::size_t acceptedConnections() const;

private:
    int listenFd = -1;
    std::uint16_t listenPort = 0;
    mutable std::mutex mutex;
    int connectionFd = -1;    // guarded by `mutex`
    std::size_t accepted = 0; // guarded by `mutex`
    bool stopping = false;    // guarded by `mutex`
    std::thread server;
};

} // namespace http_testing
