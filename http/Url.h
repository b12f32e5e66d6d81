#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace http {

// The parts of an address that a request needs.
struct Url {
    std::string host;
    std::uint16_t port = 80;
    // What goes on the request line: the path and query, never empty, without
    // the fragment.
    std::string target;

    // Splits "http://host[:port][/path][?query][#fragment]"; the scheme may be
    // left out. Backslashes count as slashes. Throws `HttpError` for a secure
    // or unknown scheme, an empty host or a bad port.
    static Url parse(std::string_view address);

    // The address as it compares with other ways of writing it: the scheme
    // and the host in lower case, the default port of HTTP (":80") left
    // out, the rest as it stands. Never throws.
    static std::string comparableForm(std::string_view address);
};

} // namespace http
