#pragma once

#include "http/HttpError.h"

namespace http {

// The peer reset or abandoned the connection. Unlike other failures, this one
// may mean only that a kept-alive connection went stale.
class ConnectionLost : public HttpError {
public:
    explicit ConnectionLost(const std::string& message)
        : HttpError(Kind::ConnectionLost, message) {}
};

} // namespace http
