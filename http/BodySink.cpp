#include "http/BodySink.h"

#include "http/HttpError.h"

namespace http {

BodySink::BodySink(std::ostream* target, std::int64_t limit, Progress progress)
    : target(target)
    , limit(limit)
    , progress(std::move(progress)) {}

void BodySink::expect(std::int64_t declaredLength) const {
    if (declaredLength > limit) {
        throw HttpError(HttpError::Kind::TooLarge, "response body too large");
    }
}

void BodySink::write(const char* data, std::size_t size) {
    if (size == 0) {
        return;
    }
    if (static_cast<std::int64_t>(size) > limit - written) {
        throw HttpError(HttpError::Kind::TooLarge, "response body too large");
    }
    written += static_cast<std::int64_t>(size);
    if (target) {
        target->write(data, static_cast<std::streamsize>(size));
        if (!*target) {
            throw HttpError(HttpError::Kind::BodyNotStored, "cannot store the response body");
        }
    }
}

void BodySink::flush() {
    if (target && !target->flush()) {
        throw HttpError(HttpError::Kind::BodyNotStored, "cannot store the response body");
    }
}

void BodySink::reportProgress() {
    if (written != reported && progress) {
        progress(written);
    }
    reported = written;
}

} // namespace http
