#include "http/ChunkedDecoder.h"

#include "http/HttpError.h"

#include <gtest/gtest.h>

using http::ChunkedDecoder;
using http::HttpError;

namespace {

struct Decoded {
    std::string payload;
    std::string rest; // bytes after the end of the body
    bool done = false;
};

// Feeds `wire` in pieces of `pieceSize` bytes, the way socket reads would.
Decoded decode(std::string_view wire, std::size_t pieceSize) {
    ChunkedDecoder decoder;
    Decoded result;
    while (!wire.empty() && !decoder.isDone()) {
        std::string_view piece = wire.substr(0, pieceSize);
        wire.remove_prefix(piece.size());
        while (!piece.empty() && !decoder.isDone()) {
            const ChunkedDecoder::Step step = decoder.feed(piece);
            result.payload += step.payload;
            piece.remove_prefix(step.consumed);
        }
        result.rest = std::string(piece) + std::string(wire);
    }
    result.done = decoder.isDone();
    return result;
}

} // namespace

TEST(ChunkedDecoder, DecodesTheSameWhateverTheReadSizes) {
    const std::string wire = "5\r\nhello\r\n1A;name=value\r\n" + std::string(26, 'z') +
                             "\r\n3 \r\nabc\n0\r\nTrailer: x\r\n\r\nNEXT";
    const std::string expected = "hello" + std::string(26, 'z') + "abc";
    for (std::size_t pieceSize = 1; pieceSize <= wire.size(); ++pieceSize) {
        const Decoded decoded = decode(wire, pieceSize);
        ASSERT_TRUE(decoded.done) << pieceSize;
        EXPECT_EQ(decoded.payload, expected) << pieceSize;
        EXPECT_EQ(decoded.rest, "NEXT") << pieceSize;
    }
}

TEST(ChunkedDecoder, EveryPrefixOfABodyIsUnfinished) {
    const std::string wire = "4\r\nWiki\r\n0\r\n\r\n";
    for (std::size_t size = 0; size < wire.size(); ++size) {
        EXPECT_FALSE(decode(wire.substr(0, size), 1).done) << size;
    }
}

TEST(ChunkedDecoder, MalformedSizeLinesFail) {
    for (const char* wire :
         {"\r\n", "x\r\n", "-5\r\n", "+5\r\n", "0x5\r\n", " 5\r\n", "10000000000000000\r\n"}) {
        EXPECT_THROW(decode(wire, 64), HttpError) << wire;
    }
}

TEST(ChunkedDecoder, LargestSizeFitsWithoutOverflow) {
    ChunkedDecoder decoder;
    const ChunkedDecoder::Step step = decoder.feed("FFFFFFFFFFFFFFFF\r\nabc");
    EXPECT_EQ(step.payload, "abc");
    EXPECT_FALSE(decoder.isDone());
}

TEST(ChunkedDecoder, ChunkDataMustEndWithALineEnd) {
    EXPECT_THROW(decode("5\r\nhelloX\r\n0\r\n\r\n", 64), HttpError);
    EXPECT_THROW(decode("5\r\nhello\r0\r\n\r\n", 64), HttpError);
}

TEST(ChunkedDecoder, FramingLinesAndTrailersAreBounded) {
    EXPECT_THROW(decode("5;" + std::string(70'000, 'e') + "\r\n", 4096), HttpError);
    std::string manyTrailers = "0\r\n";
    for (int i = 0; i < 101; ++i) {
        manyTrailers += "T: v\r\n";
    }
    EXPECT_THROW(decode(manyTrailers + "\r\n", 4096), HttpError);
}
