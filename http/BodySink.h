#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <ostream>

namespace http {

// Where the bytes of a body go: a stream, or nowhere when the body is only
// read to keep the connection in step. Counts the bytes, enforces the size
// limit and reports progress.
class BodySink {
public:
    using Progress = std::function<void(std::int64_t bodyBytesSoFar)>;

    BodySink(std::ostream* target, std::int64_t limit, Progress progress);

    // Fails before anything is stored when a declared length is over the limit.
    void expect(std::int64_t declaredLength) const;
    void write(const char* data, std::size_t size);
    // Hands on what the target holds in its buffer.
    void flush();
    // Called once per socket read; silent when the read brought no body bytes.
    void reportProgress();

private:
    std::ostream* target;
    std::int64_t limit;
    Progress progress;
    std::int64_t written = 0;
    std::int64_t reported = 0;
};

} // namespace http
