#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace http {

// The parts of an address that a request needs.
struct Url {
    static constexpr std::uint16_t httpPort = 80;
    static constexpr std::uint16_t httpsPort = 443;

    // Whether the address is https: TLS on the connection.
    bool secure = false;
    // A name or an address; an IPv6 address without its brackets.
    std::string host;
    std::uint16_t port = httpPort;
    // What goes on the request line: the path and query, never empty, without
    // the fragment.
    std::string target;

    // Splits "http[s]://host[:port][/path][?query][#fragment]"; the scheme may
    // be left out (http). An IPv6 address stands in brackets. Backslashes
    // count as slashes. Throws `HttpError` for an unknown scheme, an empty
    // host or a bad port.
    static Url parse(std::string_view address);

    // The host as an address writes it: an IPv6 address in brackets, a name
    // or an IPv4 address as it is. What the Host header holds.
    std::string hostAsWritten() const;
    // "host" or "host:port" when the port is not the scheme's own, an IPv6
    // address in brackets: what a proxy is asked to connect to, and what an
    // absolute address holds.
    std::string authority() const;
    // "http://authority/target": the request target that an HTTP proxy takes.
    std::string absoluteForm() const;

    // The address as it compares with other spellings of it: the scheme and
    // the host in lower case, the scheme's default port (":80", ":443") left
    // out, backslashes as slashes, an empty path as "/", and the rest with
    // its letters beyond ASCII and its escapes spelt one way (see
    // kestrune::text::normalizedEscapes). Text that is no address (no
    // "scheme://") only has its escapes spelt so. Never throws.
    static std::string normalizedForm(std::string_view address);
};

} // namespace http
