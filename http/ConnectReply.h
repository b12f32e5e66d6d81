#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace http {

// What an HTTP proxy answered to CONNECT, parsed from the start of `buffer`:
// a status line and headers up to the blank line, with the limits of any
// response head. Pure: call again with a longer buffer after NeedMore.
struct ConnectReply {
    enum class Status { Complete, NeedMore, Error };

    Status status = Status::NeedMore;
    // Bytes taken by the reply's head (Complete).
    std::size_t consumed = 0;
    int statusCode = 0;
    // The code and reason, printable ASCII only and at most 80 characters:
    // a text that may reach the user (Complete).
    std::string summary;
    std::string error; // Error

    // Whether the proxy opened the tunnel.
    bool isTunnel() const { return status == Status::Complete && statusCode / 100 == 2; }

    static ConnectReply parse(std::string_view buffer);
};

// "407 Proxy Authentication Required" from a status line, printable ASCII
// only and at most 80 characters: a proxy's answer as the user may see it.
std::string statusSummary(std::string_view statusLine);

} // namespace http
