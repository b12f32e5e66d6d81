#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace http {

// The status line and headers of one response.
struct ResponseHead {
    struct Header {
        std::string name;
        std::string value; // without surrounding blanks
    };

    std::string statusLine; // without the line end
    int statusCode = 0;
    bool isHttp10 = false;
    std::vector<Header> headers;

    // The first header of that name (any letter case), or nullptr.
    const std::string* find(std::string_view name) const;
    // Every header of that name, in order.
    std::vector<std::string_view> findAll(std::string_view name) const;

    bool isInterim() const { return statusCode >= 100 && statusCode < 200; }
    bool isSuccess() const { return statusCode >= 200 && statusCode < 300 && !find("Location"); }
};

} // namespace http
