#pragma once

#include "http/HttpError.h"

#include <string>

namespace http {

// A proxy that could not carry the request. It names the proxy as
// "host:port" only: the credentials of a proxy address never reach a
// message.
class ProxyError : public HttpError {
public:
    enum class Problem {
        // The proxy's variable holds an address that cannot be used.
        BadAddress,
        // No connection to the proxy came about.
        Unreachable,
        // The proxy stayed silent for the idle limit.
        NotAnswering,
        // The proxy's replies did not come whole within the idle limit,
        // although their bytes kept coming.
        TooSlow,
        // The proxy's reply broke its protocol.
        Malformed,
        // An HTTP proxy answered with a status other than success;
        // `replyCode` is that status, `detail` its code and reason.
        Refused,
        // A SOCKS proxy refused the connection; `replyCode` is its code.
        SocksRefused,
        // A SOCKS proxy wants a user name and password that were not given.
        SocksWantsPassword,
        // A SOCKS proxy rejected the user name and password given.
        SocksPasswordRejected,
        // A SOCKS proxy accepts none of the ways of signing in offered.
        SocksNoMethod,
    };

    ProxyError(Problem problem, std::string proxy, std::string detail = {}, int replyCode = 0)
        : HttpError(Kind::Proxy, "proxy " + proxy + " failed: " + detail)
        , proxyProblem(problem)
        , proxyName(std::move(proxy))
        , problemDetail(std::move(detail))
        , proxyReplyCode(replyCode) {}

    Problem problem() const { return proxyProblem; }
    // "host:port"; empty for a `BadAddress`.
    const std::string& proxy() const { return proxyName; }
    // Printable ASCII only, whatever the proxy sent; for a developer.
    const std::string& detail() const { return problemDetail; }
    // The proxy's answer as a number: an HTTP status (`Refused`) or a SOCKS
    // reply code (`SocksRefused`); 0 otherwise.
    int replyCode() const { return proxyReplyCode; }

private:
    Problem proxyProblem;
    std::string proxyName;
    std::string problemDetail;
    int proxyReplyCode;
};

} // namespace http
