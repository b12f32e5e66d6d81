#include "http/CertificateError.h"
#include "http/HttpClient.h"
#include "http/HttpError.h"
#include "tests/common/LoopbackServer.h"
#include "tests/common/TestHelpers.h"
#include "tests/http/NginxServer.h"
#include "tests/http/Replies.h"
#include "tests/http/TlsPeer.h"

#include <functional>
#include <gtest/gtest.h>
#include <set>
#include <sstream>

using http::CertificateError;
using http::ClientSettings;
using http::HttpClient;
using http::HttpError;
using http_testing::errorOf;
using http_testing::NginxServer;
using http_testing::NginxSite;
using http_testing::Presenting;
using http_testing::TlsPeer;
using http_testing::tlsSite;
using testing_helpers::LoopbackServer;
using testing_helpers::TempDir;
using testing_helpers::writeFile;

namespace {

enum Site { Trusted, OtherHost, Stranger, PlainRedirecting };

std::vector<NginxSite> sitesIn(const std::string& root) {
    const std::string files = http_testing::servingFiles(root) +
                              "        location = /sni { return 200 \"[$ssl_server_name]\"; }\n";
    // Plain http spoken to the TLS port is sent to https on that same port.
    const std::string upgradingPlainHttp =
        "        error_page 497 =301 https://$host:$server_port$request_uri;\n";
    return {tlsSite(files + upgradingPlainHttp),
            tlsSite(files, Presenting::OtherHost),
            tlsSite(files, Presenting::Stranger),
            {"        return 301 https://127.0.0.1:{port0}$request_uri;\n", false}};
}

ClientSettings quickSettings() {
    ClientSettings settings;
    settings.idleTimeoutMs = 2000;
    return settings;
}

class TlsTest : public ::testing::Test {
protected:
    TempDir work;
    NginxServer nginx{work.path(), sitesIn(http_testing::makeTwoFileRoot(work.path()))};
    HttpClient client{quickSettings()};
};

CertificateError::Problem certificateProblemOf(const std::function<void()>& call) {
    return errorOf<CertificateError>(call).value().problem();
}

} // namespace

TEST_F(TlsTest, HttpsRequestsGoOverOneVerifiedConnection) {
    for (int round = 0; round < 3; ++round) {
        EXPECT_EQ(client.Get(nginx.url("/a.txt", Trusted)), "first file\n");
        EXPECT_EQ(client.Get(nginx.url("/b.txt", Trusted)), "second file\n");
    }
    const std::string bigContent(3 * 1024 * 1024 + 17, 'z');
    writeFile(work.file("root/big.bin"), bigContent);
    std::ostringstream big;
    client.Get(nginx.url("/big.bin", Trusted), big);
    EXPECT_TRUE(big.str() == bigContent);
    const std::vector<std::string> connections = http_testing::loggedConnections(work.path());
    EXPECT_EQ(std::set<std::string>(connections.begin(), connections.end()).size(), 1u);
}

TEST_F(TlsTest, AHostNameIsCheckedAndSentForTheServersChoice) {
    const std::string byName = "https://localhost:" + std::to_string(nginx.port(Trusted)) + "/sni";
    EXPECT_EQ(client.Get(byName), "[localhost]");
    // An address is checked too, and no name goes out for it.
    EXPECT_EQ(client.Get(nginx.url("/sni", Trusted)), "[]");
}

TEST_F(TlsTest, ACertificateForAnotherHostIsRefusedBeforeAnyRequest) {
    EXPECT_EQ(certificateProblemOf([&] { client.Get(nginx.url("/a.txt", OtherHost)); }),
              CertificateError::Problem::WrongHost);
    EXPECT_EQ(certificateProblemOf([&] {
                  client.Get("https://localhost:" + std::to_string(nginx.port(OtherHost)) + "/");
              }),
              CertificateError::Problem::WrongHost);
    EXPECT_EQ(certificateProblemOf([&] { client.Get(nginx.url("/a.txt", Stranger)); }),
              CertificateError::Problem::UnknownIssuer);
    EXPECT_TRUE(http_testing::loggedConnections(work.path()).empty());
}

// Followed only by a page load. The commonest redirect of all is the same
// host and port with https in place of http: addresses that differ only in
// their scheme.
TEST_F(TlsTest, ARedirectToHttpsOnTheSameHostAndPortIsNoCircle) {
    EXPECT_EQ(client.GetFollowingRedirects(nginx.url("/a.txt", PlainRedirecting)), "first file\n");
    EXPECT_THROW(client.Get(nginx.url("/a.txt", PlainRedirecting)), http::HttpStatusError);
    const std::string plain = "http://127.0.0.1:" + std::to_string(nginx.port(Trusted)) + "/a.txt";
    EXPECT_EQ(client.GetFollowingRedirects(plain), "first file\n");
}

// Never a fallback to plain http: TLS spoken to an HTTP server fails.
TEST_F(TlsTest, AServerThatSpeaksNoTlsFailsTheHandshake) {
    const std::string plain =
        "https://127.0.0.1:" + std::to_string(nginx.port(PlainRedirecting)) + "/a.txt";
    EXPECT_EQ(errorOf<HttpError>([&] { client.Get(plain); }).value().kind(),
              HttpError::Kind::Handshake);
}

TEST(TlsPeers, GarbageSilenceADripOrAnEndMidHandshakeFailWithinTheIdleTimeout) {
    LoopbackServer server;
    server.addConnection(
        {LoopbackServer::send("HTTP/1.1 400 Bad Request\r\n\r\n" + std::string(5000, 'x'))});
    server.addConnection({LoopbackServer::pause(10'000)});
    server.addConnection({LoopbackServer::pause(50), LoopbackServer::close()});
    // A record that never ends: the start of a handshake record of 16 KiB.
    server.addConnection(
        {LoopbackServer::drip(std::string("\x16\x03\x03\x40\x00", 5) + std::string(300, 'x'), 20)});
    ClientSettings settings;
    settings.idleTimeoutMs = 300;
    HttpClient client(settings);
    const std::string address = "https://127.0.0.1:" + std::to_string(server.port()) + "/";
    for (const HttpError::Kind expected : {HttpError::Kind::Handshake, HttpError::Kind::TimedOut,
                                           HttpError::Kind::Handshake, HttpError::Kind::TooSlow}) {
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(errorOf<HttpError>([&] { client.Get(address); }).value().kind(), expected);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    }
}

// A body that only the end of the connection frames can be cut short by
// anyone on the path who drops the TCP connection; only TLS's close_notify
// tells its true end.
TEST(TlsPeers, ABodyUpToTheCloseIsWholeOnlyWithCloseNotify) {
    const std::string head = "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n\r\n";
    TlsPeer truncating(
        {{TlsPeer::readRequest(), TlsPeer::send(head + "the first half"), TlsPeer::dropTcp()}});
    TlsPeer whole({{TlsPeer::readRequest(), TlsPeer::send(head + "the first half"),
                    TlsPeer::send(", the second half"), TlsPeer::closeNotify()}});
    HttpClient client(quickSettings());
    std::ostringstream body;
    EXPECT_EQ(
        errorOf<HttpError>([&] { client.Get(truncating.url("/a.txt"), body); }).value().kind(),
        HttpError::Kind::ConnectionLost);
    EXPECT_EQ(client.Get(whole.url("/a.txt")), "the first half, the second half");
}

// A server may drop a kept-alive connection, without close_notify, just as
// the next request goes out: that request is sent again on a new one.
TEST(TlsPeers, AKeptConnectionDroppedWithoutCloseNotifyIsOpenedAfresh) {
    TlsPeer peer({{TlsPeer::readRequest(), TlsPeer::send(http_testing::okReply("first")),
                   TlsPeer::readRequest(), TlsPeer::dropTcp()},
                  {TlsPeer::readRequest(), TlsPeer::send(http_testing::okReply("second")),
                   TlsPeer::closeNotify()}});
    HttpClient client(quickSettings());
    EXPECT_EQ(client.Get(peer.url("/a.txt")), "first");
    EXPECT_EQ(client.Get(peer.url("/b.txt")), "second");
    EXPECT_EQ(peer.acceptedConnections(), 2u);
}
