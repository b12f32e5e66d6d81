#include "http/ChunkedDecoder.h"

#include "http/HttpError.h"
#include "http/ResponseHeadParser.h"
#include "support/HexDigit.h"

#include <algorithm>

namespace http {

namespace {

constexpr std::size_t maxChunkSizeDigits = 16;

bool endsChunkSize(char c) {
    return c == ' ' || c == '\t' || c == ';';
}

} // namespace

ChunkedDecoder::Step ChunkedDecoder::feed(std::string_view input) {
    std::size_t position = 0;
    while (position < input.size() && state != State::Done) {
        if (state == State::Data) {
            const std::size_t count = static_cast<std::size_t>(
                std::min<std::uint64_t>(chunkLeft, input.size() - position));
            chunkLeft -= count;
            if (chunkLeft == 0) {
                state = State::DataEnd;
            }
            return {position + count, input.substr(position, count)};
        }
        position += takeLine(input.substr(position));
        if (lineComplete) {
            finishLine();
        }
    }
    return {position, {}};
}

std::size_t ChunkedDecoder::takeLine(std::string_view input) {
    const auto lineFeed = input.find('\n');
    const std::size_t taken = lineFeed == std::string_view::npos ? input.size() : lineFeed + 1;
    if (line.size() + taken > maxHeadLineLength) {
        throw HttpError(HttpError::Kind::Malformed, "chunk framing line too long");
    }
    line.append(input.substr(0, lineFeed == std::string_view::npos ? taken : lineFeed));
    lineComplete = lineFeed != std::string_view::npos;
    return taken;
}

void ChunkedDecoder::finishLine() {
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    switch (state) {
    case State::SizeLine:
        parseSizeLine();
        break;
    case State::DataEnd:
        if (!line.empty()) {
            throw HttpError(HttpError::Kind::Malformed, "chunk data not followed by a line end");
        }
        state = State::SizeLine;
        break;
    case State::Trailer:
        acceptTrailerLine();
        break;
    case State::Data:
    case State::Done:
        break;
    }
    line.clear();
    lineComplete = false;
}

void ChunkedDecoder::parseSizeLine() {
    std::uint64_t size = 0;
    std::size_t digits = 0;
    for (; digits < line.size() && kestrune::text::hexDigitValue(line[digits]) >= 0; ++digits) {
        if (digits == maxChunkSizeDigits) {
            throw HttpError(HttpError::Kind::Malformed, "chunk size too large");
        }
        size = size * 16 + static_cast<std::uint64_t>(kestrune::text::hexDigitValue(line[digits]));
    }
    if (digits == 0 || (digits < line.size() && !endsChunkSize(line[digits]))) {
        throw HttpError(HttpError::Kind::Malformed, "malformed chunk size");
    }
    chunkLeft = size;
    state = size == 0 ? State::Trailer : State::Data;
}

void ChunkedDecoder::acceptTrailerLine() {
    if (line.empty()) {
        state = State::Done;
        return;
    }
    trailerBytes += line.size();
    if (++trailerLines > maxHeaderCount || trailerBytes > maxHeadSize) {
        throw HttpError(HttpError::Kind::Malformed, "chunk trailers too large");
    }
}

} // namespace http
