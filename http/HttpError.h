#pragma once

#include <stdexcept>
#include <string>

namespace http {

// Any failure of a request: the network, the framing of the reply, a limit,
// a disconnect. Its kind says what happened, for the user's sake; the
// message says it for a developer.
class HttpError : public std::runtime_error {
public:
    enum class Kind {
        // The host name has no address.
        Unresolved,
        // The host answered the connection attempt with a refusal.
        Refused,
        // No route, no network, or another failure of the connection.
        Unreachable,
        // The peer stayed silent for the idle limit.
        TimedOut,
        // A reply that did not come whole within the idle limit, although
        // its bytes kept coming: a response's head, a page, a TLS handshake.
        TooSlow,
        // The peer reset the connection or closed it inside a reply.
        ConnectionLost,
        // `Disconnect` cut the request.
        Disconnected,
        // The reply broke the rules of HTTP.
        Malformed,
        // The reply was larger than a limit allows.
        TooLarge,
        // A complete reply whose status is not a success.
        Status,
        // The address or request is one this client does not make.
        Unsupported,
        // The target of the body would not take it (a full disk, say).
        BodyNotStored,
        // The server's certificate could not be verified (`CertificateError`).
        Certificate,
        // No secure connection came about: the peer broke off or spoke
        // something else than TLS.
        Handshake,
        // A page redirected more often than a load follows, or in a circle.
        TooManyRedirects,
        // A redirect to an address that is not http or https, or has no host.
        BadRedirect,
        // The proxy could not be used (`ProxyError`).
        Proxy,
    };

    HttpError(Kind kind, const std::string& message)
        : std::runtime_error(message)
        , errorKind(kind) {}

    Kind kind() const { return errorKind; }

private:
    Kind errorKind;
};

// A complete reply whose status is not a success (including redirects, which
// are not followed).
class HttpStatusError : public HttpError {
public:
    HttpStatusError(int statusCode, const std::string& statusLine, std::string location = {})
        : HttpError(Kind::Status, "HTTP status " + std::to_string(statusCode) + ": " + statusLine)
        , statusCode(statusCode)
        , redirectTarget(std::move(location)) {}

    int getStatusCode() const { return statusCode; }
    // The reply's Location header, as the server wrote it; empty without one.
    const std::string& location() const { return redirectTarget; }

private:
    int statusCode;
    std::string redirectTarget;
};

} // namespace http
