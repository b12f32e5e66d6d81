// The chunked decoder on any bytes, fed whole, in pieces of sizes the input
// chooses, and byte by byte: the reads' sizes never change what comes out.
#include "http/ChunkedDecoder.h"
#include "http/HttpError.h"
#include "tests/fuzz/FuzzSupport.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

using fuzzing::require;

namespace {

struct Decoded {
    std::string payload;
    std::size_t consumed = 0; // bytes taken by completed steps: the body's end once done
    bool done = false;
    bool failed = false; // HttpError
};

// Feeds `wire` as reads whose sizes cycle through `readSizes`, each read fed
// until it is used up or the body ends, the way the client does.
Decoded decode(std::string_view wire, const std::vector<std::size_t>& readSizes) {
    http::ChunkedDecoder decoder;
    Decoded result;
    std::size_t readStart = 0;
    try {
        for (std::size_t read = 0; readStart < wire.size() && !decoder.isDone(); ++read) {
            std::string_view piece = wire.substr(readStart, readSizes[read % readSizes.size()]);
            readStart += piece.size();
            while (!piece.empty() && !decoder.isDone()) {
                const http::ChunkedDecoder::Step step = decoder.feed(piece);
                require(step.consumed <= piece.size(), "a step takes only what it was given");
                require(step.consumed > 0 || decoder.isDone(),
                        "a step on fresh input takes bytes unless the body is done");
                require(step.payload.empty() || (step.payload.data() >= piece.data() &&
                                                 step.payload.data() + step.payload.size() <=
                                                     piece.data() + step.consumed),
                        "payload lies within the bytes taken");
                result.payload += step.payload;
                result.consumed += step.consumed;
                piece.remove_prefix(step.consumed);
            }
        }
    } catch (const http::HttpError&) {
        result.failed = true;
    }
    result.done = decoder.isDone();
    return result;
}

} // namespace

// The first byte says how many of the next bytes are read sizes (up to 7);
// the rest is the body as it comes off the wire.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::size_t sizeCount = std::min<std::size_t>(data[0] % 8, size - 1);
    std::vector<std::size_t> readSizes;
    for (std::size_t i = 1; i <= sizeCount; ++i) {
        readSizes.push_back(std::size_t{data[i]} + 1);
    }
    if (readSizes.empty()) {
        readSizes.push_back(3);
    }
    const std::string_view wire(reinterpret_cast<const char*>(data) + 1 + sizeCount,
                                size - 1 - sizeCount);

    const Decoded whole = decode(wire, {wire.size()});
    const Decoded split = decode(wire, readSizes);
    const Decoded byteByByte = decode(wire, {1});

    require(!(whole.done && whole.failed), "a finished body has not failed");
    for (const Decoded* other : {&split, &byteByByte}) {
        require(other->failed == whole.failed, "the verdict does not depend on the reads");
        require(other->done == whole.done, "the end does not depend on the reads");
        require(other->payload == whole.payload, "the payload does not depend on the reads");
        if (!whole.failed) {
            require(other->consumed == whole.consumed, "the body ends at the same byte");
        }
    }
    if (!whole.failed && !whole.done) {
        require(whole.consumed == wire.size(), "an unfinished body takes every byte");
    }
    return 0;
}
