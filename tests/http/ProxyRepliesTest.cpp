#include "http/ConnectReply.h"
#include "http/SocksMessages.h"

#include <gtest/gtest.h>

using http::ConnectReply;
namespace socks = http::socks;

namespace {

using namespace std::string_literals;

// Every proper prefix of a whole reply needs more; the whole is complete.
template <typename Parse>
void expectEveryPrefixNeedsMore(Parse parse, const std::string& whole) {
    for (std::size_t size = 0; size < whole.size(); ++size) {
        EXPECT_EQ(parse(std::string_view(whole).substr(0, size)).status,
                  decltype(parse(whole))::Status::NeedMore)
            << "prefix of " << size;
    }
    const auto reply = parse(whole);
    EXPECT_EQ(reply.status, decltype(reply)::Status::Complete);
    EXPECT_EQ(reply.consumed, whole.size());
}

} // namespace

TEST(ConnectReply, ATunnelOpensOnASuccessAtItsBlankLine) {
    const std::string reply = "HTTP/1.0 200 Connection established\r\nProxy-agent: x\r\n\r\n";
    expectEveryPrefixNeedsMore(&ConnectReply::parse, reply);
    EXPECT_TRUE(ConnectReply::parse(reply).isTunnel());
    // The bytes after the head are not the reply's.
    EXPECT_EQ(ConnectReply::parse(reply + "\x16\x03").consumed, reply.size());
}

TEST(ConnectReply, ARefusalIsToldByItsCodeAndPrintableReason) {
    const ConnectReply refusal =
        ConnectReply::parse("HTTP/1.1 407 Proxy Authentication\x01 Required\xFF\r\n"
                            "Proxy-Authenticate: Basic realm=\"x\"\r\n\r\n");
    EXPECT_FALSE(refusal.isTunnel());
    EXPECT_EQ(refusal.statusCode, 407);
    EXPECT_EQ(refusal.summary, "407 Proxy Authentication Required");
    EXPECT_EQ(ConnectReply::parse("HTTP/1.1 403\r\n\r\n").summary, "403");
    EXPECT_EQ(
        ConnectReply::parse("HTTP/1.1 502 " + std::string(500, 'x') + "\r\n\r\n").summary.size(),
        80u);
}

TEST(SocksMessages, RequestsAreLaidOutAsTheProtocolHasThem) {
    EXPECT_EQ(socks::greeting(false), "\x05\x01\x00"s);
    EXPECT_EQ(socks::greeting(true), "\x05\x02\x00\x02"s);
    EXPECT_EQ(socks::passwordRequest("me", "pw!"), "\x01\x02me\x03pw!"s);
    EXPECT_EQ(socks::connectRequestForName("a.example", 443),
              "\x05\x01\x00\x03\x09"s + "a.example" + "\x01\xBB"s);
    EXPECT_EQ(socks::connectRequestForAddress("\x7F\x00\x00\x01"s, 8080),
              "\x05\x01\x00\x01\x7F\x00\x00\x01\x1F\x90"s);
    EXPECT_EQ(socks::connectRequestForAddress(std::string(15, '\0') + "\x01", 80).substr(0, 4),
              "\x05\x01\x00\x04"s);
}

TEST(SocksMessages, TwoByteRepliesGiveTheirCodeAfterTheirVersion) {
    expectEveryPrefixNeedsMore(&socks::parseMethodChoice, "\x05\x02"s);
    EXPECT_EQ(socks::parseMethodChoice("\x05\xFF"s).code, 0xFF);
    expectEveryPrefixNeedsMore(&socks::parsePasswordReply, "\x01\x00"s);
    EXPECT_EQ(socks::parsePasswordReply("\x01\x01"s).code, 1);
    EXPECT_EQ(socks::parseMethodChoice("\x04\x00"s).status, socks::Reply::Status::Error);
    EXPECT_EQ(socks::parseMethodChoice("H"s).status, socks::Reply::Status::Error);
    EXPECT_EQ(socks::parsePasswordReply("\x05\x00"s).status, socks::Reply::Status::Error);
}

TEST(SocksMessages, AConnectReplyEndsAfterItsBoundAddressOfAnyType) {
    for (const std::string& reply :
         {"\x05\x00\x00\x01\x7F\x00\x00\x01\x04\x38"s,
          "\x05\x00\x00\x04"s + std::string(16, '\x01') + "\x00\x50"s,
          "\x05\x00\x00\x03\x07proxied\x00\x50"s, "\x05\x05\x00\x03\x00\x00\x00"s}) {
        expectEveryPrefixNeedsMore(&socks::parseConnectReply, reply);
    }
    EXPECT_EQ(socks::parseConnectReply("\x05\x05\x00\x01\x00\x00\x00\x00\x00\x00"s).code, 5);
}

TEST(SocksMessages, AConnectReplyOfAnotherVersionOrAddressTypeIsAnError) {
    for (const std::string& reply :
         {"\x04\x5A\x00\x00\x00\x00\x00\x00"s, "\x05\x00\x00\x02\x00\x00\x00\x00"s,
          "\x05\x00\x07\x01\x00\x00\x00\x00\x00\x00"s, "HTTP/1.1 400 Bad Request\r\n"s}) {
        EXPECT_EQ(socks::parseConnectReply(reply).status, socks::Reply::Status::Error)
            << testing::PrintToString(reply);
    }
}
