#pragma once

#include "http/ResponseHead.h"

#include <cstdint>

namespace http {

// How the body of a response is delimited on the wire.
struct BodyFraming {
    enum class Kind { None, Length, Chunked, UntilClose };

    Kind kind = Kind::None;
    std::int64_t length = 0; // Length only
    // What callers see as the Content-Length: the declared length when it
    // frames the body, else 0.
    std::int64_t declaredLength = 0;
    // Whether the framing itself lets the connection carry another request.
    bool allowsReuse = true;

    // Throws `HttpError` for a Content-Length that is not a plain decimal
    // number, overflows, or disagrees with another Content-Length.
    static BodyFraming of(const ResponseHead& head);
};

} // namespace http
