#include "tests/common/LoopbackServer.h"

#include <arpa/inet.h>
#include <chrono>
#include <limits>
#include <netinet/in.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace testing_helpers {

struct LoopbackServer::Session {
    int fd = -1;
    std::string received;       // guarded by the server's mutex
    std::size_t requestEnd = 0; // where the next request starts
};

namespace {

std::size_t announcedLength(const std::string& head) {
    constexpr std::string_view name = "\r\nContent-Length: ";
    const auto at = head.find(name);
    return at == std::string::npos ? 0 : std::stoul(head.substr(at + name.size()));
}

} // namespace

LoopbackServer::LoopbackServer(Mode mode)
    : mode(mode) {
    listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    // A backlog of 0 holds one connection; the filler takes that place.
    const int backlog = mode == Mode::NeverAccepting ? 0 : 16;
    if (listenFd < 0 || ::bind(listenFd, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::listen(listenFd, backlog) != 0 ||
        ::getsockname(listenFd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        throw std::runtime_error("test server cannot listen");
    }
    listenPort = ntohs(address.sin_port);
    if (mode == Mode::NeverAccepting) {
        fillerFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (::connect(fillerFd, reinterpret_cast<sockaddr*>(&address), length) != 0) {
            throw std::runtime_error("test server cannot fill its accept queue");
        }
        return;
    }
    acceptThread = std::thread([this] { acceptLoop(); });
}

LoopbackServer::~LoopbackServer() {
    {
        std::lock_guard lock(mutex);
        stopping = true;
        for (const auto& session : sessions) {
            if (session->fd >= 0) {
                ::shutdown(session->fd, SHUT_RDWR);
            }
        }
    }
    stopSignal.notify_all();
    ::shutdown(listenFd, SHUT_RDWR);
    if (acceptThread.joinable()) {
        acceptThread.join();
    }
    for (std::thread& thread : sessionThreads) {
        thread.join();
    }
    for (const auto& session : sessions) {
        if (session->fd >= 0) {
            ::close(session->fd);
        }
    }
    if (fillerFd >= 0) {
        ::close(fillerFd);
    }
    ::close(listenFd);
}

void LoopbackServer::addConnection(Script script) {
    std::lock_guard lock(mutex);
    scripts.push_back(std::move(script));
}

std::string LoopbackServer::url(const std::string& pathAndQuery) const {
    return "http://127.0.0.1:" + std::to_string(listenPort) + pathAndQuery;
}

std::size_t LoopbackServer::acceptedConnections() const {
    std::lock_guard lock(mutex);
    return sessions.size();
}

std::string LoopbackServer::received(std::size_t index) const {
    std::lock_guard lock(mutex);
    return index < sessions.size() ? sessions[index]->received : std::string();
}

void LoopbackServer::acceptLoop() {
    for (;;) {
        const int fd = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        std::lock_guard lock(mutex);
        if (fd < 0 || stopping) {
            if (fd >= 0) {
                ::close(fd);
            }
            return;
        }
        sessions.push_back(std::make_unique<Session>());
        Session& session = *sessions.back();
        session.fd = fd;
        Script script;
        if (!scripts.empty()) {
            script = std::move(scripts.front());
            scripts.pop_front();
        } else if (mode == Mode::Silent) {
            script.push_back(pause(std::numeric_limits<int>::max()));
        } else {
            script.push_back(close());
        }
        sessionThreads.emplace_back(
            [this, &session, script = std::move(script)] { play(session, script); });
    }
}

void LoopbackServer::play(Session& session, const Script& script) {
    for (const Step& step : script) {
        switch (step.kind) {
        case Step::Kind::ReadRequest:
            if (!readRequest(session)) {
                return;
            }
            break;
        case Step::Kind::Send:
            if (::send(session.fd, step.bytes.data(), step.bytes.size(), MSG_NOSIGNAL) < 0) {
                return;
            }
            break;
        case Step::Kind::Drip:
            for (const char byte : step.bytes) {
                pauseFor(step.ms);
                if (stopping || ::send(session.fd, &byte, 1, MSG_NOSIGNAL) < 0) {
                    return;
                }
            }
            break;
        case Step::Kind::Pause:
            pauseFor(step.ms);
            break;
        case Step::Kind::Reset: {
            const linger abortive{1, 0};
            ::setsockopt(session.fd, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
            std::lock_guard lock(mutex);
            ::close(session.fd);
            session.fd = -1;
            return;
        }
        case Step::Kind::Close:
            ::shutdown(session.fd, SHUT_RDWR);
            return;
        }
    }
    // Past the script, keep recording whatever the client still sends.
    while (receiveSome(session)) {
    }
}

bool LoopbackServer::readRequest(Session& session) {
    for (;;) {
        {
            std::lock_guard lock(mutex);
            const std::string& data = session.received;
            const auto headEnd = data.find("\r\n\r\n", session.requestEnd);
            if (headEnd != std::string::npos) {
                const std::size_t bodyStart = headEnd + 4;
                const std::size_t bodyLength = announcedLength(
                    data.substr(session.requestEnd, bodyStart - session.requestEnd));
                if (data.size() >= bodyStart + bodyLength) {
                    session.requestEnd = bodyStart + bodyLength;
                    return true;
                }
            }
        }
        if (!receiveSome(session)) {
            return false;
        }
    }
}

bool LoopbackServer::receiveSome(Session& session) {
    char buffer[65536];
    const ssize_t count = ::recv(session.fd, buffer, sizeof buffer, 0);
    if (count <= 0) {
        return false;
    }
    std::lock_guard lock(mutex);
    session.received.append(buffer, static_cast<std::size_t>(count));
    return true;
}

void LoopbackServer::pauseFor(int ms) {
    std::unique_lock lock(mutex);
    stopSignal.wait_for(lock, std::chrono::milliseconds(ms), [this] { return stopping.load(); });
}

} // namespace testing_helpers
