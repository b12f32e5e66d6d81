#include "http/TlsSession.h"

#include "http/CertificateError.h"
#include "http/Connection.h"
#include "http/ConnectionLost.h"
#include "http/HttpError.h"

#include <arpa/inet.h>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>

namespace http {

namespace {

struct ContextDeleter {
    void operator()(SSL_CTX* context) const { SSL_CTX_free(context); }
};
using Context = std::unique_ptr<SSL_CTX, ContextDeleter>;

// One context for the program: loading the trust store is the costly part,
// and OpenSSL reads its default paths (and their environment variables) once.
SSL_CTX* sharedContext() {
    static const Context context = [] {
        Context made(SSL_CTX_new(TLS_client_method()));
        if (!made || SSL_CTX_set_min_proto_version(made.get(), TLS1_2_VERSION) != 1 ||
            SSL_CTX_set_default_verify_paths(made.get()) != 1) {
            throw std::runtime_error("cannot set up TLS");
        }
        SSL_CTX_set_verify(made.get(), SSL_VERIFY_PEER, nullptr);
        // Unexpected ends stay errors: a reply read up to the close is whole
        // only when close_notify ends it, since anyone on the path can end
        // the TCP connection early.
        SSL_CTX_set_mode(made.get(), SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
        return made;
    }();
    return context.get();
}

// The socket under the session, written with MSG_NOSIGNAL: OpenSSL's own
// socket BIO writes with write(), and a peer that has gone would end the
// program with SIGPIPE.
int socketOf(BIO* bio) {
    return static_cast<int>(reinterpret_cast<std::intptr_t>(BIO_get_data(bio)));
}

int writeToSocket(BIO* bio, const char* data, int size) {
    BIO_clear_retry_flags(bio);
    const ssize_t sent = ::send(socketOf(bio), data, static_cast<std::size_t>(size), MSG_NOSIGNAL);
    if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
        BIO_set_retry_write(bio);
    }
    return static_cast<int>(sent);
}

int readFromSocket(BIO* bio, char* buffer, int size) {
    BIO_clear_retry_flags(bio);
    const ssize_t received = ::recv(socketOf(bio), buffer, static_cast<std::size_t>(size), 0);
    if (received < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
        BIO_set_retry_read(bio);
    }
    if (received == 0) {
        BIO_set_flags(bio, BIO_FLAGS_IN_EOF);
    }
    return static_cast<int>(received);
}

// OpenSSL asks whether the TCP stream has ended to tell a peer's end without
// close_notify (a truncation) from other failures.
long controlSocket(BIO* bio, int command, long, void*) {
    switch (command) {
    case BIO_CTRL_FLUSH:
        return 1;
    case BIO_CTRL_EOF:
        return BIO_test_flags(bio, BIO_FLAGS_IN_EOF) != 0 ? 1 : 0;
    default:
        return 0;
    }
}

BIO_METHOD* socketMethod() {
    static BIO_METHOD* const method = [] {
        BIO_METHOD* made =
            BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "socket without SIGPIPE");
        if (made == nullptr || BIO_meth_set_write(made, writeToSocket) != 1 ||
            BIO_meth_set_read(made, readFromSocket) != 1 ||
            BIO_meth_set_ctrl(made, controlSocket) != 1) {
            throw std::runtime_error("cannot set up TLS");
        }
        return made;
    }();
    return method;
}

bool isIpAddress(const std::string& host) {
    unsigned char address[sizeof(in6_addr)];
    return ::inet_pton(AF_INET, host.c_str(), address) == 1 ||
           ::inet_pton(AF_INET6, host.c_str(), address) == 1;
}

CertificateError::Problem problemOf(long verifyResult) {
    using Problem = CertificateError::Problem;
    switch (verifyResult) {
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH:
        return Problem::WrongHost;
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
        return Problem::UnknownIssuer;
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
        return Problem::SelfSigned;
    case X509_V_ERR_CERT_HAS_EXPIRED:
        return Problem::Expired;
    case X509_V_ERR_CERT_NOT_YET_VALID:
        return Problem::NotYetValid;
    case X509_V_ERR_CERT_REVOKED:
        return Problem::Revoked;
    case X509_V_ERR_CERT_SIGNATURE_FAILURE:
        return Problem::BadSignature;
    case X509_V_ERR_INVALID_PURPOSE:
        return Problem::WrongPurpose;
    case X509_V_ERR_EE_KEY_TOO_SMALL:
    case X509_V_ERR_CA_KEY_TOO_SMALL:
    case X509_V_ERR_CA_MD_TOO_WEAK:
        return Problem::TooWeak;
    case X509_V_ERR_INVALID_CA:
    case X509_V_ERR_PATH_LENGTH_EXCEEDED:
        return Problem::NotAnAuthority;
    case X509_V_ERR_CERT_UNTRUSTED:
    case X509_V_ERR_CERT_REJECTED:
        return Problem::Untrusted;
    default:
        return Problem::Other;
    }
}

// The reason OpenSSL left on this thread's error queue, for a developer.
std::string lastOpenSslError() {
    const unsigned long error = ERR_get_error();
    ERR_clear_error();
    if (error == 0) {
        return "no reason given";
    }
    char text[256];
    ERR_error_string_n(error, text, sizeof text);
    return text;
}

// Whether a failed read met the end of the connection without the peer's
// close_notify (or a reset): the stream may have been cut short by anyone on
// the path.
bool isCutShort(int sslError) {
    return sslError == SSL_ERROR_SYSCALL ||
           (sslError == SSL_ERROR_SSL &&
            ERR_GET_REASON(ERR_peek_error()) == SSL_R_UNEXPECTED_EOF_WHILE_READING);
}

int chunkSize(std::size_t size) {
    return static_cast<int>(std::min<std::size_t>(size, INT_MAX));
}

} // namespace

struct TlsSession::State {
    struct Deleter {
        void operator()(SSL* ssl) const { SSL_free(ssl); }
    };
    std::unique_ptr<SSL, Deleter> ssl;
};

TlsSession::TlsSession(Connection& connection, const std::string& host)
    : connection(connection)
    , state(std::make_unique<State>()) {
    state->ssl.reset(SSL_new(sharedContext()));
    SSL* ssl = state->ssl.get();
    BIO* socket = ssl ? BIO_new(socketMethod()) : nullptr;
    if (socket == nullptr) {
        throw HttpError(HttpError::Kind::Handshake, "cannot start TLS: " + lastOpenSslError());
    }
    BIO_set_data(socket,
                 reinterpret_cast<void*>(static_cast<std::intptr_t>(connection.descriptor())));
    BIO_set_init(socket, 1);
    SSL_set_bio(ssl, socket, socket);
    X509_VERIFY_PARAM* checks = SSL_get0_param(ssl);
    if (isIpAddress(host)) {
        X509_VERIFY_PARAM_set1_ip_asc(checks, host.c_str());
    } else {
        X509_VERIFY_PARAM_set_hostflags(checks, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
        if (X509_VERIFY_PARAM_set1_host(checks, host.c_str(), host.size()) != 1 ||
            // SSL_set_tlsext_host_name() without its C cast.
            SSL_ctrl(ssl, SSL_CTRL_SET_TLSEXT_HOSTNAME, TLSEXT_NAMETYPE_host_name,
                     const_cast<char*>(host.c_str())) != 1) {
            throw HttpError(HttpError::Kind::Handshake, "cannot use host name " + host);
        }
    }
    handshake();
}

TlsSession::~TlsSession() = default;

void TlsSession::handshake() {
    SSL* ssl = state->ssl.get();
    for (;;) {
        ERR_clear_error();
        const int result = SSL_connect(ssl);
        if (result == 1) {
            return;
        }
        if (waitAfter(result)) {
            continue;
        }
        const long verifyResult = SSL_get_verify_result(ssl);
        if (verifyResult != X509_V_OK) {
            ERR_clear_error();
            throw CertificateError(problemOf(verifyResult), verifyResult,
                                   X509_verify_cert_error_string(verifyResult));
        }
        throw HttpError(HttpError::Kind::Handshake, "TLS handshake failed: " + lastOpenSslError());
    }
}

bool TlsSession::waitAfter(int result) {
    switch (SSL_get_error(state->ssl.get(), result)) {
    case SSL_ERROR_WANT_READ:
        connection.waitUntilReady(POLLIN);
        return true;
    case SSL_ERROR_WANT_WRITE:
        connection.waitUntilReady(POLLOUT);
        return true;
    default:
        // A failure that an interrupt caused is told as the interrupt.
        if (connection.isInterrupted()) {
            ERR_clear_error();
            throw HttpError(HttpError::Kind::Disconnected, "disconnected");
        }
        return false;
    }
}

void TlsSession::sendAll(std::string_view data) {
    SSL* ssl = state->ssl.get();
    while (!data.empty()) {
        ERR_clear_error();
        const int written = SSL_write(ssl, data.data(), chunkSize(data.size()));
        if (written > 0) {
            data.remove_prefix(static_cast<std::size_t>(written));
        } else if (!waitAfter(written)) {
            // A kept connection the server closed meanwhile fails here, as a
            // plain one does: worth the one more try it gets.
            throw ConnectionLost("TLS write failed: " + lastOpenSslError());
        }
    }
}

std::size_t TlsSession::receive(char* buffer, std::size_t capacity) {
    SSL* ssl = state->ssl.get();
    for (;;) {
        ERR_clear_error();
        const int received = SSL_read(ssl, buffer, chunkSize(capacity));
        if (received > 0) {
            return static_cast<std::size_t>(received);
        }
        // An interrupt's shutdown() reads as an end too; waitAfter tells it.
        const int error = SSL_get_error(ssl, received);
        if (error == SSL_ERROR_ZERO_RETURN && !connection.isInterrupted()) {
            // close_notify: the one orderly end of a TLS stream.
            return 0;
        }
        if (isCutShort(error) && !connection.isInterrupted()) {
            ERR_clear_error();
            throw ConnectionLost(error == SSL_ERROR_SYSCALL
                                     ? "TLS connection reset"
                                     : "TLS connection ended without close_notify");
        }
        if (!waitAfter(received)) {
            throw HttpError(HttpError::Kind::ConnectionLost,
                            "TLS read failed: " + lastOpenSslError());
        }
    }
}

bool TlsSession::hasUnexpectedInput() {
    SSL* ssl = state->ssl.get();
    if (SSL_pending(ssl) > 0) {
        return true;
    }
    pollfd request{connection.descriptor(), POLLIN, 0};
    if (::poll(&request, 1, 0) == 0) {
        return false;
    }
    // Readable: a peek takes in whatever records wait, and tells whether any
    // of them was data or an end.
    char byte = 0;
    ERR_clear_error();
    const int peeked = SSL_peek(ssl, &byte, 1);
    const bool housekeepingOnly = peeked <= 0 && SSL_get_error(ssl, peeked) == SSL_ERROR_WANT_READ;
    ERR_clear_error();
    return !housekeepingOnly;
}

} // namespace http
