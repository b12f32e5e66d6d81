#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace http {

// A proxy as the environment names it: "[scheme://][user[:password]@]host[:port][/]".
struct ProxyAddress {
    enum class Kind {
        // An HTTP proxy: absolute-form requests for http, CONNECT for https.
        Http,
        // SOCKS5, with host names resolved here.
        Socks5,
        // SOCKS5, with host names resolved by the proxy.
        Socks5WithRemoteNames,
    };

    // The port of a proxy address that names none, as other download tools
    // take it.
    static constexpr std::uint16_t defaultPort = 1080;

    Kind kind = Kind::Http;
    // A name or an address; an IPv6 address without its brackets.
    std::string host;
    std::uint16_t port = defaultPort;
    // Percent-escapes decoded. Never part of a message.
    std::string user;
    std::string password;
    bool hasCredentials = false;

    // Schemes "http", "socks5" and "socks5h" in any letter case, "http"
    // when none is written. Empty for anything else: another scheme, no
    // host, a bad port, a control byte.
    static std::optional<ProxyAddress> parse(std::string_view text);

    // "host:port", an IPv6 address in brackets: how messages name the proxy.
    std::string name() const;
    // The value of a Proxy-Authorization header: "Basic " and the base64 of
    // "user:password".
    std::string basicAuthorization() const;
    // Whether `other` is the same proxy with the same credentials.
    bool operator==(const ProxyAddress& other) const = default;
};

} // namespace http
