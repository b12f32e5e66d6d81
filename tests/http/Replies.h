#pragma once

#include "http/HttpError.h"

#include <chrono>
#include <gtest/gtest.h>
#include <string>

namespace http_testing {

// A complete 200 reply with a length.
inline std::string okReply(const std::string& body) {
    return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

// How long `call` took to fail; it must fail with an HttpError.
template <typename Call>
std::chrono::milliseconds timeToFail(Call call) {
    const auto start = std::chrono::steady_clock::now();
    EXPECT_THROW(call(), http::HttpError);
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 start);
}

} // namespace http_testing
