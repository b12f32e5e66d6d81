#pragma once

#include <string>

namespace servicesim {

// A reply whose whole body is in memory (pages and errors).
struct HttpResponse {
    int status = 200;
    std::string contentType = "text/html; charset=windows-1251";
    std::string body;
    bool closeAfter = false;

    // Status line, headers and body, ready for the wire.
    std::string serialize() const;

    static std::string reasonOf(int status);
};

} // namespace servicesim
