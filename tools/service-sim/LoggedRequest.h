#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace servicesim {

// A request as the service received it.
struct LoggedRequest {
    std::string method;
    std::string target;  // path with query, as sent
    std::string version; // "HTTP/1.1", "HTTP/1.0"
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
    std::int64_t timeMs = 0; // steady clock, milliseconds since the service started
};

} // namespace servicesim
