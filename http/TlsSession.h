#pragma once

#include "http/Transport.h"

#include <memory>
#include <string>

namespace http {

class Connection;

// TLS over an open connection, with OpenSSL: TLS 1.2 or later, the server's
// certificate verified against the system's trust store (OpenSSL's default
// paths, so SSL_CERT_FILE and SSL_CERT_DIR apply) and checked for the host
// name or address, SNI sent for a name. There is no way to turn the checks
// off.
//
// Owner thread only. Every wait goes through the connection's poll, so the
// idle timeout and an interrupt of the connection end the handshake, a read
// and a write alike.
class TlsSession final : public Transport {
public:
    // Shakes hands with the server at the other end of `connection`, which
    // must outlive the session. Throws `CertificateError` for a certificate
    // that cannot be verified, `HttpError` (Handshake) for any other failed
    // handshake.
    TlsSession(Connection& connection, const std::string& host);
    ~TlsSession() override;

    TlsSession(const TlsSession&) = delete;
    TlsSession& operator=(const TlsSession&) = delete;

    void sendAll(std::string_view data) override;
    std::size_t receive(char* buffer, std::size_t capacity) override;
    // Whether an idle session has application data or an end waiting: the
    // server's tickets and other housekeeping records do not count.
    bool hasUnexpectedInput();

private:
    struct State;

    void handshake();
    // Waits as OpenSSL asks after a call that returned `result`; returns
    // false when the call has failed for good.
    bool waitAfter(int result);

    Connection& connection;
    std::unique_ptr<State> state;
};

} // namespace http
