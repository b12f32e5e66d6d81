#include "http/ResponseHeadParser.h"

#include <gtest/gtest.h>

using http::HeadParseResult;
using http::ResponseHead;
using Status = HeadParseResult::Status;

namespace {

HeadParseResult parse(std::string_view text, ResponseHead& head) {
    return http::parseResponseHead(text, head);
}

Status statusOf(std::string_view text) {
    ResponseHead head;
    return parse(text, head).status;
}

} // namespace

TEST(ResponseHeadParser, EveryPrefixNeedsMoreAndTheWholeHeadCompletes) {
    const std::string head = "HTTP/1.1 200 OK\r\nContent-Length: 5\r\nX-Long:  a b  \r\n\r\n";
    const std::string reply = head + "hello";
    for (std::size_t size = 0; size < head.size(); ++size) {
        ResponseHead parsed;
        EXPECT_EQ(parse(reply.substr(0, size), parsed).status, Status::NeedMore) << size;
    }
    for (std::size_t size = head.size(); size <= reply.size(); ++size) {
        ResponseHead parsed;
        const HeadParseResult result = parse(reply.substr(0, size), parsed);
        ASSERT_EQ(result.status, Status::Complete) << size;
        EXPECT_EQ(result.consumed, head.size());
        EXPECT_EQ(parsed.statusCode, 200);
        EXPECT_EQ(parsed.statusLine, "HTTP/1.1 200 OK");
        EXPECT_FALSE(parsed.isHttp10);
        ASSERT_EQ(parsed.headers.size(), 2u);
        EXPECT_EQ(*parsed.find("content-LENGTH"), "5");
        EXPECT_EQ(*parsed.find("x-long"), "a b");
    }
}

TEST(ResponseHeadParser, BareLineFeedsEndLinesToo) {
    ResponseHead head;
    const HeadParseResult result = parse("HTTP/1.0 404 Not Found\nServer: x\n\nbody", head);
    ASSERT_EQ(result.status, Status::Complete);
    EXPECT_EQ(result.consumed, 34u);
    EXPECT_EQ(head.statusCode, 404);
    EXPECT_TRUE(head.isHttp10);
}

TEST(ResponseHeadParser, StatusLineMayLackAReason) {
    ResponseHead head;
    ASSERT_EQ(parse("HTTP/1.0 303\r\nLocation: /x\r\n\r\n", head).status, Status::Complete);
    EXPECT_EQ(head.statusCode, 303);
    EXPECT_EQ(head.statusLine, "HTTP/1.0 303");
    EXPECT_FALSE(head.isSuccess());
}

TEST(ResponseHeadParser, MalformedStatusLinesFail) {
    for (const char* line : {"HTTP/1.1 200x OK", "HTTP/1.1 2 OK", "HTTP/1.1 -12 OK",
                             "HTTP/1.1 1000 OK", "HTTP/1.1  200 OK", "HTTP/1.1 20 OK",
                             "HTTP/2.0 200 OK", "ICY 200 OK", "HTTP/1.1200 OK", "<html>", ""}) {
        EXPECT_EQ(statusOf(std::string(line) + "\r\n\r\n"), Status::Error) << line;
    }
}

TEST(ResponseHeadParser, MalformedHeaderLinesFail) {
    EXPECT_EQ(statusOf("HTTP/1.1 200 OK\r\nno colon\r\n\r\n"), Status::Error);
    EXPECT_EQ(statusOf("HTTP/1.1 200 OK\r\n: empty name\r\n\r\n"), Status::Error);
    EXPECT_EQ(statusOf("HTTP/1.1 200 OK\r\nA: b\r\n folded\r\n\r\n"), Status::Error);
}

TEST(ResponseHeadParser, LongLinesFailEvenBeforeTheyEnd) {
    const std::string longValue(http::maxHeadLineLength, 'a');
    EXPECT_EQ(statusOf("HTTP/1.1 200 OK\r\nX: " + longValue + "\r\n\r\n"), Status::Error);
    EXPECT_EQ(statusOf("HTTP/1.1 200 OK\r\nX: " + longValue), Status::Error);
    EXPECT_EQ(statusOf("HTTP/1.1 200 " + longValue), Status::Error);
    const std::string fits(http::maxHeadLineLength - 3, 'a');
    EXPECT_EQ(statusOf("HTTP/1.1 200 OK\r\nX: " + fits + "\r\n\r\n"), Status::Complete);
}

TEST(ResponseHeadParser, ALineAtTheLimitIsAcceptedWhereverTheReadsSplitIt) {
    const std::string head =
        "HTTP/1.1 200 OK\r\nX: " + std::string(http::maxHeadLineLength - 3, 'a') + "\r\n\r\n";
    // The cuts around the line's end: before its CR, between CR and LF, ...
    for (std::size_t size = head.size() - 5; size < head.size(); ++size) {
        EXPECT_EQ(statusOf(head.substr(0, size)), Status::NeedMore) << size;
    }
    EXPECT_EQ(statusOf(head), Status::Complete);
}

TEST(ResponseHeadParser, HeadersAreLimitedInCountAndTotalSize) {
    auto withHeaders = [](int count, std::size_t valueSize) {
        std::string text = "HTTP/1.1 200 OK\r\n";
        for (int i = 0; i < count; ++i) {
            text += "X-" + std::to_string(i) + ": " + std::string(valueSize, 'v') + "\r\n";
        }
        return text;
    };
    EXPECT_EQ(statusOf(withHeaders(100, 1) + "\r\n"), Status::Complete);
    EXPECT_EQ(statusOf(withHeaders(101, 1) + "\r\n"), Status::Error);
    EXPECT_EQ(statusOf(withHeaders(101, 1)), Status::Error);
    EXPECT_EQ(statusOf(withHeaders(5, 60'000)), Status::Error);
}
