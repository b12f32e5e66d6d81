#pragma once

#include "http/Connection.h"
#include "http/ProxyAddress.h"
#include "http/TlsSession.h"
#include "http/Transport.h"

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <utility>

namespace http {

struct Url;

// The way requests go to one server: a TCP connection to it or to a proxy,
// a tunnel through the proxy where one is needed (https, or any request
// through SOCKS), and TLS for https. Plain http through an HTTP proxy needs
// no tunnel: its requests name the whole address instead.
//
// Every call comes from the owning thread except `interrupt`, which cuts
// whatever step is under way, the handshakes with the proxy and the server
// too.
class Channel final : public Transport {
public:
    Channel(std::int64_t idleTimeoutMs, Resolver resolver);

    // Closes what is open and opens the way to the server of `url`, through
    // `proxy` unless it is null. A proxy that cannot be reached is a
    // `ProxyError`.
    void open(const Url& url, const ProxyAddress* proxy);
    // Whether the open way goes to the server of `url` through `proxy`.
    bool leadsTo(const Url& url, const ProxyAddress* proxy) const;
    // Whether requests on it name the whole address: plain http through an
    // HTTP proxy.
    bool usesAbsoluteForm() const;

    void close();
    bool isOpen() const { return connection.isOpen(); }

    void sendAll(std::string_view data) override;
    std::size_t receive(char* buffer, std::size_t capacity) override;
    // Whether an idle way has something to read that no request asked for.
    bool hasUnexpectedInput();
    // As `Connection::withinDeadline`. Opening bounds the exchange with a
    // proxy and the TLS handshake so, each on its own.
    template <typename Steps>
    decltype(auto) withinDeadline(Steps&& steps) {
        return connection.withinDeadline(std::forward<Steps>(steps));
    }

    // Any thread, as `Connection::interrupt`.
    void interrupt() { connection.interrupt(); }
    void clearInterrupt() { connection.clearInterrupt(); }
    bool isInterrupted() const { return connection.isInterrupted(); }

private:
    void connectToProxy(const ProxyAddress& proxy);

    Connection connection;
    std::unique_ptr<TlsSession> tls;
    std::string host;
    std::uint16_t port = 0;
    std::optional<ProxyAddress> via;
};

} // namespace http
