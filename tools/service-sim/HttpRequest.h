#pragma once

#include <string>
#include <utility>
#include <vector>

namespace servicesim {

// A parsed HTTP/1.x request.
struct HttpRequest {
    std::string method;
    std::string target;
    std::string version;
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;

    // The value of the first header of that name (any letter case), or "".
    std::string header(const std::string& name) const;
    // The target without its query.
    std::string path() const;
    // Whether the connection ends after the reply: HTTP/1.0 (keep-alive is not
    // offered to it) or "Connection: close".
    bool wantsClose() const;
};

} // namespace servicesim
