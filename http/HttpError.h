#pragma once

#include <stdexcept>
#include <string>

namespace http {

// Any failure of a request: the network, the framing of the reply, a limit,
// a disconnect.
class HttpError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A complete reply whose status is not a success (including redirects, which
// are not followed).
class HttpStatusError : public HttpError {
public:
    HttpStatusError(int statusCode, const std::string& statusLine)
        : HttpError("HTTP status " + std::to_string(statusCode) + ": " + statusLine)
        , statusCode(statusCode) {}

    int getStatusCode() const { return statusCode; }

private:
    int statusCode;
};

} // namespace http
