#include "http/BodyFraming.h"

#include "http/HttpError.h"
#include "http/TextUtil.h"

#include <limits>
#include <optional>

namespace http {

namespace {

std::int64_t parseContentLength(std::string_view text) {
    if (text.empty()) {
        throw HttpError(HttpError::Kind::Malformed, "empty Content-Length");
    }
    constexpr std::int64_t max = std::numeric_limits<std::int64_t>::max();
    std::int64_t value = 0;
    for (const char c : text) {
        if (!isAsciiDigit(c)) {
            throw HttpError(HttpError::Kind::Malformed, "malformed Content-Length");
        }
        const int digit = c - '0';
        if (value > (max - digit) / 10) {
            throw HttpError(HttpError::Kind::Malformed, "Content-Length too large");
        }
        value = value * 10 + digit;
    }
    return value;
}

// The one length that every Content-Length header agrees on, if any.
std::optional<std::int64_t> contentLengthOf(const ResponseHead& head) {
    std::optional<std::int64_t> length;
    for (const std::string_view text : head.findAll("Content-Length")) {
        const std::int64_t value = parseContentLength(text);
        if (length && *length != value) {
            throw HttpError(HttpError::Kind::Malformed, "conflicting Content-Length headers");
        }
        length = value;
    }
    return length;
}

bool isChunked(const ResponseHead& head) {
    for (const std::string_view coding : head.findAll("Transfer-Encoding")) {
        if (containsIgnoringCase(coding, "chunked")) {
            return true;
        }
    }
    return false;
}

bool hasNoBody(int statusCode) {
    return (statusCode >= 100 && statusCode < 200) || statusCode == 204 || statusCode == 304;
}

} // namespace

BodyFraming BodyFraming::of(const ResponseHead& head) {
    const std::optional<std::int64_t> contentLength = contentLengthOf(head);
    BodyFraming framing;
    if (hasNoBody(head.statusCode)) {
        framing.kind = Kind::None;
    } else if (isChunked(head)) {
        // A reply that declares both framings may be read differently by a
        // proxy in between; read it chunked but trust the connection no more.
        framing.kind = Kind::Chunked;
        framing.allowsReuse = !contentLength.has_value();
    } else if (contentLength) {
        framing.kind = *contentLength == 0 ? Kind::None : Kind::Length;
        framing.length = *contentLength;
        framing.declaredLength = *contentLength;
    } else {
        framing.kind = Kind::UntilClose;
        framing.allowsReuse = false;
    }
    return framing;
}

} // namespace http
