#include "tests/http/TlsPeer.h"

#include "tests/http/ServerProcess.h"
#include "tests/http/TestCertificates.h"

#include <csignal>
#include <memory>
#include <openssl/ssl.h>
#include <poll.h>
#include <pthread.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace http_testing {

namespace {

struct ContextDeleter {
    void operator()(SSL_CTX* context) const { SSL_CTX_free(context); }
};
struct SslDeleter {
    void operator()(SSL* ssl) const { SSL_free(ssl); }
};

std::unique_ptr<SSL_CTX, ContextDeleter> serverContext() {
    const TestCertificates& certificates = TestCertificates::trusted();
    std::unique_ptr<SSL_CTX, ContextDeleter> context(SSL_CTX_new(TLS_server_method()));
    if (!context ||
        SSL_CTX_use_certificate_chain_file(context.get(), certificates.serverCertificate.c_str()) !=
            1 ||
        SSL_CTX_use_PrivateKey_file(context.get(), certificates.serverKey.c_str(),
                                    SSL_FILETYPE_PEM) != 1) {
        throw std::runtime_error("the test TLS server cannot load its certificate");
    }
    return context;
}

bool writeAll(SSL* ssl, const std::string& bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const int written =
            SSL_write(ssl, bytes.data() + sent, static_cast<int>(bytes.size() - sent));
        if (written <= 0) {
            return false;
        }
        sent += static_cast<std::size_t>(written);
    }
    return true;
}

bool readHead(SSL* ssl, std::string& buffer) {
    char block[4096];
    for (;;) {
        const auto end = buffer.find("\r\n\r\n");
        if (end != std::string::npos) {
            buffer.erase(0, end + 4);
            return true;
        }
        const int received = SSL_read(ssl, block, sizeof block);
        if (received <= 0) {
            return false;
        }
        buffer.append(block, static_cast<std::size_t>(received));
    }
}

// Waits, a bounded time, for the client to close its side, so that the TCP
// end the script chose reaches it as an end and not as a reset.
void awaitClientClose(int fd) {
    char block[4096];
    pollfd request{fd, POLLIN, 0};
    while (::poll(&request, 1, 5000) > 0 && ::recv(fd, block, sizeof block, 0) > 0) {
    }
}

void play(SSL* ssl, const TlsPeer::Script& script) {
    std::string received;
    for (const TlsPeer::Step& step : script) {
        switch (step.kind) {
        case TlsPeer::Step::Kind::ReadRequest:
            if (!readHead(ssl, received)) {
                return;
            }
            break;
        case TlsPeer::Step::Kind::Send:
            if (!writeAll(ssl, step.bytes)) {
                return;
            }
            break;
        case TlsPeer::Step::Kind::CloseNotify:
            SSL_shutdown(ssl);
            return;
        case TlsPeer::Step::Kind::DropTcp:
            return;
        }
    }
}

} // namespace

TlsPeer::TlsPeer(std::vector<Script> scripts) {
    auto context = serverContext();
    listenFd = listenOnLoopback(listenPort);
    if (listenFd < 0) {
        throw std::runtime_error("the test TLS server cannot listen");
    }
    server = std::thread([this, scripts = std::move(scripts), context = std::move(context)] {
        // A client that leaves early must fail the test, not end it.
        sigset_t brokenPipe;
        sigemptyset(&brokenPipe);
        sigaddset(&brokenPipe, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &brokenPipe, nullptr);
        for (const Script& script : scripts) {
            const int fd = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0) {
                return;
            }
            {
                std::lock_guard lock(mutex);
                ++accepted;
                connectionFd = fd;
                if (stopping) {
                    ::shutdown(fd, SHUT_RDWR);
                }
            }
            std::unique_ptr<SSL, SslDeleter> ssl(SSL_new(context.get()));
            SSL_set_fd(ssl.get(), fd);
            if (SSL_accept(ssl.get()) == 1) {
                play(ssl.get(), script);
            }
            ::shutdown(fd, SHUT_WR);
            awaitClientClose(fd);
            std::lock_guard lock(mutex);
            connectionFd = -1;
            ::close(fd);
        }
    });
}

TlsPeer::~TlsPeer() {
    {
        std::lock_guard lock(mutex);
        stopping = true;
        if (connectionFd >= 0) {
            ::shutdown(connectionFd, SHUT_RDWR);
        }
    }
    ::shutdown(listenFd, SHUT_RDWR);
    server.join();
    ::close(listenFd);
}

std::string TlsPeer::url(const std::string& path) const {
    return "https://127.0.0.1:" + std::to_string(listenPort) + path;
}

std::size_t TlsPeer::acceptedConnections() const {
    std::lock_guard lock(mutex);
    return accepted;
}

} // namespace http_testing
