#include "http/BodyFraming.h"

#include "http/HttpError.h"

#include <gtest/gtest.h>

using http::BodyFraming;
using http::HttpError;
using http::ResponseHead;
using Kind = BodyFraming::Kind;

namespace {

ResponseHead headOf(int statusCode, std::vector<ResponseHead::Header> headers) {
    ResponseHead head;
    head.statusCode = statusCode;
    head.headers = std::move(headers);
    return head;
}

} // namespace

TEST(BodyFraming, ContentLengthFramesTheBody) {
    const BodyFraming framing = BodyFraming::of(headOf(200, {{"Content-Length", "5000000000"}}));
    EXPECT_EQ(framing.kind, Kind::Length);
    EXPECT_EQ(framing.length, 5'000'000'000);
    EXPECT_EQ(framing.declaredLength, 5'000'000'000);
    EXPECT_TRUE(framing.allowsReuse);
}

TEST(BodyFraming, RepeatedContentLengthsMustAgree) {
    EXPECT_EQ(
        BodyFraming::of(headOf(200, {{"Content-Length", "7"}, {"content-length", "7"}})).length, 7);
    EXPECT_THROW(BodyFraming::of(headOf(200, {{"Content-Length", "7"}, {"Content-Length", "8"}})),
                 HttpError);
}

TEST(BodyFraming, ContentLengthMustBeAPlainNumberThatFits) {
    for (const char* value : {"-1", "+5", "5 5", "5,5", "0x10", "", "abc", "9223372036854775808",
                              "99999999999999999999"}) {
        EXPECT_THROW(BodyFraming::of(headOf(200, {{"Content-Length", value}})), HttpError) << value;
    }
    EXPECT_EQ(BodyFraming::of(headOf(200, {{"Content-Length", "9223372036854775807"}})).length,
              9223372036854775807);
}

TEST(BodyFraming, SomeStatusesNeverHaveABody) {
    for (const int status : {100, 101, 204, 304}) {
        EXPECT_EQ(BodyFraming::of(headOf(status, {{"Content-Length", "10"}})).kind, Kind::None)
            << status;
    }
    EXPECT_EQ(BodyFraming::of(headOf(404, {{"Content-Length", "10"}})).kind, Kind::Length);
}
