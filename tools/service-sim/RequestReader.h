#pragma once

#include "tools/service-sim/HttpRequest.h"

#include <string>
#include <string_view>

namespace servicesim {

// Reads HTTP/1.x requests off one connection, one after another; bytes that
// arrive after a request stay for the next one. Request bodies must carry a
// Content-Length (chunked request bodies are refused as malformed).
class RequestReader {
public:
    enum class Result { Complete, Closed, Malformed };

    static constexpr std::size_t MaxHeadBytes = 64 * 1024;
    static constexpr std::size_t MaxBodyBytes = 1024 * 1024;

    explicit RequestReader(int fd)
        : fd(fd) {}

    // Blocks until a whole request is read. `Closed` means the connection
    // ended (or failed) before the first byte of a request.
    Result next(HttpRequest& request);

    // Parses the request line and header lines (without the empty line).
    static bool parseHead(std::string_view head, HttpRequest& request);

private:
    bool fill();
    Result readHead(HttpRequest& request);
    Result readBody(HttpRequest& request);

    int fd;
    std::string buffer;
};

} // namespace servicesim
