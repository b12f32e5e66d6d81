#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testing_helpers {

// A server on 127.0.0.1, on a port the system picks, that plays the peer a
// test needs:
//   Scripted       plays one script per accepted connection, in the order
//                  the scripts were added, and records every byte each
//                  connection received; a connection without a script is
//                  closed at once.
//   Silent         accepts and never answers: the peer of a request that
//                  hangs. Connections stay open until the server goes.
//   NeverAccepting takes no connection: its accept queue is full, so a
//                  connect to it waits for an answer that never comes.
class LoopbackServer {
public:
    enum class Mode { Scripted, Silent, NeverAccepting };

    struct Step {
        enum class Kind { ReadRequest, Send, Drip, Pause, Close, Reset };
        Kind kind;
        std::string bytes;
        int ms = 0;
    };
    using Script = std::vector<Step>;

    // Reads one request: the head up to its blank line, then the body that
    // its Content-Length announces.
    static Step readRequest() { return {Step::Kind::ReadRequest, {}, 0}; }
    static Step send(std::string bytes) { return {Step::Kind::Send, std::move(bytes), 0}; }
    // Sends `bytes` one at a time, `ms` apart: each wait of the reader is
    // short, the whole one long (cut short when the server stops).
    static Step drip(std::string bytes, int ms) { return {Step::Kind::Drip, std::move(bytes), ms}; }
    // Waits without reading (cut short when the server stops).
    static Step pause(int ms) { return {Step::Kind::Pause, {}, ms}; }
    static Step close() { return {Step::Kind::Close, {}, 0}; }
    // Closes with a reset instead of an orderly end.
    static Step reset() { return {Step::Kind::Reset, {}, 0}; }

    explicit LoopbackServer(Mode mode = Mode::Scripted);
    ~LoopbackServer();

    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    void addConnection(Script script);

    std::uint16_t port() const { return listenPort; }
    std::string url(const std::string& pathAndQuery = "/") const;
    std::size_t acceptedConnections() const;
    // What connection number `index` (0-based, in accept order) has received
    // so far.
    std::string received(std::size_t index) const;

private:
    struct Session;

    void acceptLoop();
    void play(Session& session, const Script& script);
    bool readRequest(Session& session);
    bool receiveSome(Session& session);
    void pauseFor(int ms);

    const Mode mode;
    int listenFd = -1;
    int fillerFd = -1; // NeverAccepting: the connection that fills the queue
    std::uint16_t listenPort = 0;
    std::atomic<bool> stopping{false};
    mutable std::mutex mutex;
    std::condition_variable stopSignal;
    std::deque<Script> scripts;
    std::vector<std::unique_ptr<Session>> sessions;
    std::vector<std::thread> sessionThreads;
    std::thread acceptThread;
};

} // namespace testing_helpers
