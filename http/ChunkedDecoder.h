#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace http {

// Decodes a chunked body as it arrives, in pieces of any size. Payload is
// handed back as views into the caller's input, so nothing is copied.
// Malformed framing throws `HttpError`.
class ChunkedDecoder {
public:
    struct Step {
        std::size_t consumed = 0; // bytes taken from the front of the input
        std::string_view payload; // a part of those bytes that is body data
    };

    // Takes bytes from the front of `input` until it has payload to give or
    // runs out of input. Call again with the rest; a step that consumes
    // nothing needs more input (or the body is done).
    Step feed(std::string_view input);

    bool isDone() const { return state == State::Done; }

private:
    enum class State { SizeLine, Data, DataEnd, Trailer, Done };

    std::size_t takeLine(std::string_view input);
    void finishLine();
    void parseSizeLine();
    void acceptTrailerLine();

    State state = State::SizeLine;
    std::uint64_t chunkLeft = 0;
    std::string line;
    bool lineComplete = false;
    std::size_t trailerLines = 0;
    std::size_t trailerBytes = 0;
};

} // namespace http
