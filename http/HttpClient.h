#pragma once

#include "http/ProxySettings.h"
#include "http/Resolver.h"
#include "support/Event.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <istream>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>

namespace http {

class SpeedLimit;

enum class WorkMode { Reading, Writing };

struct ClientSettings {
    // A connection that stays silent this long while connecting, sending or
    // receiving fails the call. So does a proxy's part of opening the way, a
    // TLS handshake, a response's head or a body collected in memory that is
    // not whole this long after it started, however its bytes trickle in.
    std::int64_t idleTimeoutMs = 120'000;
    // Largest body that a call collecting the body in memory accepts.
    std::int64_t maxInMemoryBody = 64 * 1024 * 1024;
    // How host names become addresses. The wait for it is cut by `Disconnect`
    // and bounded by `idleTimeoutMs` whatever it does.
    Resolver resolver = resolveWithSystem;
    // Which proxy carries each request: the program's, from its environment.
    ProxySettings proxies = programProxies();
};

// A small blocking HTTP/1.x client. One thread drives it; the only call that
// may come from another thread is `Disconnect` (and the read-only getters
// marked below). Every failure is thrown as an `HttpError`.
//
// GETs are HTTP/1.1 and keep the connection alive when the server allows it;
// a POST is HTTP/1.0 on a fresh connection that is closed after the reply.
// https addresses go over TLS with the server's certificate verified; a
// request goes through the proxy that the settings name for it.
class HttpClient {
public:
    explicit HttpClient(ClientSettings settings = {});
    ~HttpClient();

    HttpClient(const HttpClient&) = delete;
    HttpClient& operator=(const HttpClient&) = delete;

    // The body of a GET, collected in memory (at most `maxInMemoryBody`).
    std::string Get(const std::string& url);
    // A GET whose body is written into `body` as it arrives.
    void Get(const std::string& url, std::ostream& body);
    // The body of a GET, collected in memory, that follows redirects (301,
    // 302, 303, 307, 308) up to `maxRedirectsFollowed` times, from http to
    // https too. More, or a circle, fails (TooManyRedirects), and so does a
    // redirect to an address that is not http or https (BadRedirect).
    static constexpr int maxRedirectsFollowed = 5;
    std::string GetFollowingRedirects(const std::string& url);
    // The same, keeping at most the first `keepAtMost` bytes of the body: the
    // rest of a longer one is not read, and `cut` says so.
    std::string GetFollowingRedirects(const std::string& url, std::size_t keepAtMost, bool& cut);
    // A POST of the bytes of `body`; the reply's body is written into
    // `response` as it arrives.
    void Post(const std::string& url, std::istream& body, std::ostream& response);
    // A POST whose reply is collected in memory (at most `maxInMemoryBody`).
    std::string Post(const std::string& url, std::string_view body);

    // Owner thread. The bodies of later calls arrive no faster than `limit`
    // allows (null: as fast as they come). The limit is read before every
    // read of a body, so a change applies to a call under way; it must
    // outlive the calls.
    void setSpeedLimit(const SpeedLimit* limit);

    // Any thread. Makes the call in progress fail at once, and every later
    // call fail, until the owner calls `clearDisconnect`. The connection is
    // cut with shutdown(); only the owning thread closes it.
    void Disconnect();
    // Owner thread. Lets calls run again after a `Disconnect`.
    void clearDisconnect();

    // Any thread. The Content-Length of the current or last response, 0 when
    // it had none; reset to 0 when a request starts.
    std::int64_t ContentLength() const;
    // Any thread. Whether the current or last request has received the
    // headers of its response.
    bool hasResponse() const;
    // Owner thread. The status code and line of the last response.
    int StatusCode() const;
    const std::string& StatusLine() const;

    // Progress of a body transfer: the running count of bytes of the current
    // body in that direction. Fires on the owner thread.
    kestrune::Event<HttpClient*, WorkMode, std::int64_t> OnWork;

private:
    class Impl;

    std::string followingRedirects(const std::string& url,
                                   const std::function<std::string(const std::string&)>& get);

    std::unique_ptr<Impl> impl;
};

} // namespace http
