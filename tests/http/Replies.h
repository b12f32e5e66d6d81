#pragma once

#include "http/HttpError.h"

#include <chrono>
#include <gtest/gtest.h>
#include <optional>
#include <string>

namespace http_testing {

// A complete 200 reply with a length.
inline std::string okReply(const std::string& body) {
    return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

// `size` bytes of every value, in a pattern that shows a byte lost or moved.
inline std::string patternedBytes(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>((i * 7919 + i / 251) & 0xff);
    }
    return bytes;
}

// How long `call` took to fail; it must fail with an HttpError.
template <typename Call>
std::chrono::milliseconds timeToFail(Call call) {
    const auto start = std::chrono::steady_clock::now();
    EXPECT_THROW(call(), http::HttpError);
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 start);
}

// The `Error` that `call` fails with; the test fails when it passes.
template <typename Error, typename Call>
std::optional<Error> errorOf(Call call) {
    try {
        call();
    } catch (const Error& error) {
        return error;
    }
    ADD_FAILURE() << "it passed";
    return std::nullopt;
}

} // namespace http_testing
