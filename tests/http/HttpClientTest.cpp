#include "http/HttpClient.h"

#include "http/HttpError.h"
#include "tests/common/LoopbackServer.h"
#include "tests/http/Replies.h"
#include "tests/http/SilentResolver.h"

#include <algorithm>
#include <chrono>
#include <gtest/gtest.h>
#include <sstream>

using http::ClientSettings;
using http::HttpClient;
using http::HttpError;
using http::HttpStatusError;
using http::WorkMode;
using http_testing::okReply;
using http_testing::SilentResolver;
using http_testing::timeToFail;
using testing_helpers::LoopbackServer;
using Server = LoopbackServer;

namespace {

ClientSettings quickSettings() {
    ClientSettings settings;
    settings.idleTimeoutMs = 2000;
    return settings;
}

std::string expectedRequest(const std::string& requestLine, const std::string& extra = {}) {
    return requestLine + "\r\nHost: 127.0.0.1\r\nAccept: text/html, */*\r\n" +
           "User-Agent: Mozilla/3.0 (compatible; Tolvenka)\r\n" + extra + "\r\n";
}

// A server that answers `count` keep-alive GETs on one connection with `reply`.
void addKeepAliveConnection(Server& server, const std::string& reply, int count = 2) {
    Server::Script script;
    for (int i = 0; i < count; ++i) {
        script.push_back(Server::readRequest());
        script.push_back(Server::send(reply));
    }
    server.addConnection(script);
}

class HttpClientTest : public ::testing::Test {
protected:
    Server server;
    HttpClient client{quickSettings()};
};

} // namespace

TEST_F(HttpClientTest, GetSendsTheExactRequestAndReturnsTheBody) {
    server.addConnection({Server::readRequest(), Server::send(okReply("hello"))});
    EXPECT_EQ(client.Get(server.url("/files/123/a.zip#section")), "hello");
    EXPECT_EQ(server.received(0), expectedRequest("GET /files/123/a.zip HTTP/1.1"));
    EXPECT_EQ(client.StatusCode(), 200);
    EXPECT_EQ(client.StatusLine(), "HTTP/1.1 200 OK");
    EXPECT_EQ(client.ContentLength(), 5);
    EXPECT_TRUE(client.hasResponse());
}

TEST_F(HttpClientTest, KeepAliveGetsShareOneConnection) {
    addKeepAliveConnection(server, okReply("same"), 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(client.Get(server.url("/")), "same");
    }
    EXPECT_EQ(server.acceptedConnections(), 1u);
}

TEST_F(HttpClientTest, PostIsHttp10OnAFreshConnectionClosedAfterTheReply) {
    addKeepAliveConnection(server, okReply("page"), 1);
    server.addConnection({Server::readRequest(), Server::send(okReply("posted"))});
    server.addConnection({Server::readRequest(), Server::send(okReply("again"))});
    std::vector<std::int64_t> written;
    client.OnWork = [&](HttpClient*, WorkMode mode, std::int64_t count) {
        if (mode == WorkMode::Writing) {
            written.push_back(count);
        }
    };

    EXPECT_EQ(client.Get(server.url("/page")), "page");
    EXPECT_EQ(client.Post(server.url("/form?x=1"), "dl.start=Free"), "posted");
    EXPECT_EQ(client.Get(server.url("/page")), "again");

    EXPECT_EQ(server.received(1),
              expectedRequest("POST /form?x=1 HTTP/1.0", "Content-Length: 13\r\n") +
                  "dl.start=Free");
    EXPECT_EQ(server.acceptedConnections(), 3u);
    EXPECT_EQ(written, std::vector<std::int64_t>{13});
}

TEST_F(HttpClientTest, PostOfAnEmptyStreamAnnouncesNoLength) {
    server.addConnection({Server::readRequest(), Server::send(okReply("x"))});
    std::istringstream body;
    std::ostringstream response;
    client.Post(server.url("/"), body, response);
    EXPECT_EQ(response.str(), "x");
    EXPECT_EQ(server.received(0), expectedRequest("POST / HTTP/1.0"));
}

TEST_F(HttpClientTest, RedirectsAreFailuresAndNotFollowed) {
    server.addConnection(
        {Server::readRequest(),
         Server::send("HTTP/1.1 302 Found\r\nLocation: /elsewhere\r\n"
                      "Content-Length: 3\r\n\r\nabc"),
         Server::readRequest(),
         Server::send("HTTP/1.1 200 OK\r\nLocation: /x\r\nContent-Length: 0\r\n\r\n")});
    try {
        client.Get(server.url("/moved"));
        FAIL() << "a redirect succeeded";
    } catch (const HttpStatusError& error) {
        EXPECT_EQ(error.getStatusCode(), 302);
    }
    EXPECT_THROW(client.Get(server.url("/ok-but-located")), HttpStatusError);
    EXPECT_EQ(server.received(0), expectedRequest("GET /moved HTTP/1.1") +
                                      expectedRequest("GET /ok-but-located HTTP/1.1"));
    EXPECT_EQ(server.acceptedConnections(), 1u);
}

TEST_F(HttpClientTest, AnErrorStatusFailsButKeepsTheConnectionInStep) {
    server.addConnection(
        {Server::readRequest(),
         Server::send("HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\n\r\nnot found"),
         Server::readRequest(), Server::send(okReply("found"))});
    std::ostringstream body;
    EXPECT_THROW(client.Get(server.url("/missing"), body), HttpStatusError);
    EXPECT_TRUE(client.hasResponse());
    EXPECT_EQ(client.StatusCode(), 404);
    EXPECT_EQ(body.str(), "");
    EXPECT_EQ(client.Get(server.url("/")), "found");
}

TEST_F(HttpClientTest, ZeroLengthIsEmptyWhileNoLengthReadsToTheClose) {
    server.addConnection({Server::readRequest(),
                          Server::send("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n"),
                          Server::readRequest(),
                          Server::send("HTTP/1.1 200 OK\r\n\r\nuntil the close"), Server::close()});
    EXPECT_EQ(client.Get(server.url("/empty")), "");
    EXPECT_EQ(client.Get(server.url("/rest")), "until the close");
    EXPECT_EQ(client.ContentLength(), 0);
    EXPECT_EQ(server.acceptedConnections(), 1u);
}

TEST_F(HttpClientTest, ServerAskingToCloseGetsANewConnectionNextTime) {
    server.addConnection(
        {Server::readRequest(), Server::send("HTTP/1.1 200 OK\r\nConnection:  ClOsE \r\n"
                                             "Content-Length: 1\r\n\r\na")});
    server.addConnection(
        {Server::readRequest(), Server::send("HTTP/1.0 200 OK\r\nContent-Length: 1\r\n\r\nb")});
    server.addConnection({Server::readRequest(), Server::send(okReply("c"))});
    EXPECT_EQ(client.Get(server.url("/")), "a");
    EXPECT_EQ(client.Get(server.url("/")), "b");
    EXPECT_EQ(client.Get(server.url("/")), "c");
    EXPECT_EQ(server.acceptedConnections(), 3u);
}

TEST_F(HttpClientTest, AnotherHostOrPortGetsItsOwnConnection) {
    Server other;
    addKeepAliveConnection(server, okReply("one"));
    server.addConnection({Server::readRequest(), Server::send(okReply("one"))});
    addKeepAliveConnection(other, okReply("two"));
    EXPECT_EQ(client.Get(server.url("/")), "one");
    EXPECT_EQ(client.Get(other.url("/")), "two");
    EXPECT_EQ(client.Get(server.url("/")), "one");
    EXPECT_EQ(server.acceptedConnections(), 2u);
}

TEST_F(HttpClientTest, LengthsBeyond32BitsAreKept) {
    server.addConnection({Server::readRequest(),
                          Server::send("HTTP/1.1 200 OK\r\nContent-Length: 4294967301\r\n\r\n"
                                       "0123456789"),
                          Server::close()});
    std::ostringstream body;
    EXPECT_THROW(client.Get(server.url("/big"), body), HttpError);
    EXPECT_EQ(client.ContentLength(), 4'294'967'301);
    EXPECT_EQ(body.str(), "0123456789");
}

TEST_F(HttpClientTest, ReadingReportsTheRunningCountPerSocketRead) {
    const std::string body(100'000, 'b');
    server.addConnection({Server::readRequest(), Server::send(okReply(body))});
    std::vector<std::int64_t> counts;
    client.OnWork = [&](HttpClient* sender, WorkMode mode, std::int64_t count) {
        EXPECT_EQ(sender, &client);
        EXPECT_EQ(mode, WorkMode::Reading);
        counts.push_back(count);
    };
    EXPECT_EQ(client.Get(server.url("/")), body);
    ASSERT_GE(counts.size(), 4u); // at most 32768 bytes per read
    EXPECT_TRUE(std::is_sorted(counts.begin(), counts.end()));
    EXPECT_EQ(counts.back(), 100'000);
}

TEST_F(HttpClientTest, SilentServersTimeOut) {
    SilentResolver silentNames;
    ClientSettings settings;
    settings.idleTimeoutMs = 200;
    settings.resolver = silentNames.resolver();
    HttpClient impatient(settings);
    server.addConnection({Server::readRequest(), Server::pause(10'000)});
    server.addConnection({Server::pause(10'000)});
    LoopbackServer unanswered(LoopbackServer::Mode::NeverAccepting);

    EXPECT_LT(timeToFail([&] { impatient.Get(server.url("/receive")); }).count(), 2000);
    const std::string hugeBody(64 << 20, 'p');
    EXPECT_LT(timeToFail([&] { impatient.Post(server.url("/send"), hugeBody); }).count(), 5000);
    EXPECT_LT(timeToFail([&] { impatient.Get(unanswered.url()); }).count(), 2000);
    EXPECT_LT(timeToFail([&] { impatient.Get("http://silent.test/"); }).count(), 2000);
}

// A byte within each idle period, but never the whole: a head, a page or
// an error's body gives up once the idle time has passed, where a silent
// server times out; a body streamed to its target takes as long as it comes.
TEST_F(HttpClientTest, RepliesThatTrickleInEndOnceTheIdleTimeHasPassed) {
    ClientSettings settings;
    settings.idleTimeoutMs = 300;
    HttpClient impatient(settings);
    const std::string trickle(200, 'x');
    const std::string headOf200 = "HTTP/1.1 200 OK\r\nContent-Length: 200\r\n\r\n";
    const std::pair<Server::Script, HttpError::Kind> cases[] = {
        {{Server::readRequest(), Server::drip("HTTP/1.1 200 OK\r\nX: " + trickle, 20)},
         HttpError::Kind::TooSlow},
        {{Server::readRequest(), Server::send(headOf200), Server::drip(trickle, 20)},
         HttpError::Kind::TooSlow},
        {{Server::readRequest(), Server::send("HTTP/1.1 500 Oops\r\nContent-Length: 200\r\n\r\n"),
          Server::drip(trickle, 20)},
         HttpError::Kind::Status},
        {{Server::readRequest(), Server::pause(10'000)}, HttpError::Kind::TimedOut},
    };
    for (const auto& [script, expected] : cases) {
        server.addConnection(script);
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(http_testing::errorOf<HttpError>([&] { impatient.Get(server.url("/")); })
                      .value()
                      .kind(),
                  expected);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    }
    server.addConnection({Server::readRequest(),
                          Server::send("HTTP/1.1 200 OK\r\nContent-Length: 40\r\n\r\n"),
                          Server::drip(trickle.substr(0, 40), 20)});
    std::ostringstream file;
    impatient.Get(server.url("/"), file);
    EXPECT_EQ(file.str(), trickle.substr(0, 40));
}

TEST_F(HttpClientTest, InterimRepliesAndBodilessStatusesKeepTheStreamInStep) {
    const std::string interim =
        "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 102 Processing\r\nX: y\r\n\r\n";
    server.addConnection({Server::readRequest(), Server::send(interim + okReply("final")),
                          Server::readRequest(), Server::send("HTTP/1.1 204 No Content\r\n\r\n"),
                          Server::readRequest(),
                          Server::send("HTTP/1.1 304 Not Modified\r\nContent-Length: 10\r\n\r\n"),
                          Server::readRequest(), Server::send(okReply("after"))});
    EXPECT_EQ(client.Get(server.url("/")), "final");
    EXPECT_EQ(client.StatusCode(), 200);
    EXPECT_EQ(client.Get(server.url("/no-content")), "");
    EXPECT_THROW(client.Get(server.url("/not-modified")), HttpStatusError);
    EXPECT_EQ(client.Get(server.url("/")), "after");
    EXPECT_EQ(server.acceptedConnections(), 1u);
}

TEST_F(HttpClientTest, EndlessInterimRepliesFail) {
    std::string interims;
    for (int i = 0; i < 6; ++i) {
        interims += "HTTP/1.1 100 Continue\r\n\r\n";
    }
    server.addConnection({Server::readRequest(), Server::send(interims + okReply("x"))});
    EXPECT_THROW(client.Get(server.url("/")), HttpError);
}

TEST_F(HttpClientTest, ChunkedBodiesAreDecodedAndWinOverALength) {
    const std::string chunked = "5\r\nhello\r\n6;ext=1\r\n world\r\n0\r\nTrailer: t\r\n\r\n";
    server.addConnection(
        {Server::readRequest(),
         Server::send("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n" + chunked),
         Server::readRequest(),
         Server::send("HTTP/1.1 200 OK\r\nContent-Length: 3\r\n"
                      "Transfer-Encoding: chunked\r\n\r\n" +
                      chunked)});
    server.addConnection({Server::readRequest(), Server::send(okReply("fresh"))});
    EXPECT_EQ(client.Get(server.url("/")), "hello world");
    EXPECT_EQ(client.Get(server.url("/")), "hello world");
    EXPECT_EQ(client.Get(server.url("/")), "fresh");
    EXPECT_EQ(server.acceptedConnections(), 2u);
}

TEST_F(HttpClientTest, ABodyCutShortFails) {
    server.addConnection({Server::readRequest(),
                          Server::send("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
                                       "5\r\nhello\r\n"),
                          Server::close()});
    server.addConnection({Server::readRequest(),
                          Server::send("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nshort"),
                          Server::close()});
    server.addConnection(
        {Server::readRequest(), Server::send("HTTP/1.1 200 OK\r\n\r\nreset"), Server::reset()});
    std::ostringstream body;
    EXPECT_THROW(client.Get(server.url("/"), body), HttpError);
    EXPECT_EQ(body.str(), "hello");
    EXPECT_THROW(client.Get(server.url("/")), HttpError);
    EXPECT_THROW(client.Get(server.url("/")), HttpError);
}

TEST_F(HttpClientTest, HostileHeadsFailCleanly) {
    std::string manyHeaders = "HTTP/1.1 200 OK\r\n";
    for (int i = 0; i < 200; ++i) {
        manyHeaders += "X: y\r\n";
    }
    for (const std::string& reply :
         {std::string("<html>no status line</html>\r\n\r\n"),
          std::string("HTTP/1.1 2000 OK\r\n\r\n"), "HTTP/1.1 200 OK\r\n" + std::string(70'000, 'h'),
          manyHeaders + "\r\n",
          std::string("HTTP/1.1 200 OK\r\nContent-Length: 1\r\nContent-Length: 2\r\n\r\nab")}) {
        server.addConnection({Server::readRequest(), Server::send(reply), Server::pause(5000)});
        EXPECT_THROW(client.Get(server.url("/")), HttpError) << reply.substr(0, 40);
    }
    server.addConnection({Server::readRequest(), Server::close()});
    EXPECT_THROW(client.Get(server.url("/")), HttpError);
}

TEST_F(HttpClientTest, MemoryGrowsOnlyWithArrivedBytes) {
    server.addConnection(
        {Server::readRequest(),
         Server::send("HTTP/1.1 200 OK\r\nContent-Length: 9223372036854775807\r\n\r\n")});
    server.addConnection(
        {Server::readRequest(),
         Server::send("HTTP/1.1 200 OK\r\nContent-Length: 9000000000000\r\n\r\nabc"),
         Server::close()});
    EXPECT_THROW(client.Get(server.url("/")), HttpError);
    std::ostringstream body;
    EXPECT_THROW(client.Get(server.url("/"), body), HttpError);
    EXPECT_EQ(body.str(), "abc");
}

TEST_F(HttpClientTest, BodiesReadIntoMemoryAreCapped) {
    ClientSettings settings = quickSettings();
    settings.maxInMemoryBody = 1000;
    HttpClient capped(settings);
    const std::string fits(1000, 'f');
    const std::string tooBig(1001, 't');
    server.addConnection(
        {Server::readRequest(), Server::send("HTTP/1.1 200 OK\r\n\r\n" + fits), Server::close()});
    server.addConnection({Server::readRequest(), Server::send("HTTP/1.1 200 OK\r\n\r\n" + tooBig),
                          Server::pause(5000)});
    server.addConnection(
        {Server::readRequest(), Server::send("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
                                             "3E9\r\n" +
                                             tooBig + "\r\n0\r\n\r\n")});
    server.addConnection({Server::readRequest(), Server::send(okReply(tooBig))});
    server.addConnection({Server::readRequest(), Server::send(okReply(tooBig))});
    EXPECT_EQ(capped.Get(server.url("/")), fits);
    EXPECT_THROW(capped.Get(server.url("/")), HttpError);
    EXPECT_THROW(capped.Get(server.url("/")), HttpError);
    EXPECT_THROW(capped.Post(server.url("/"), "form"), HttpError);
    std::ostringstream stream;
    capped.Get(server.url("/"), stream);
    EXPECT_EQ(stream.str(), tooBig);
}

TEST_F(HttpClientTest, AStaleKeptConnectionIsRetriedOnceOnANewOne) {
    server.addConnection({Server::readRequest(), Server::send(okReply("first")),
                          Server::readRequest(), Server::close()});
    server.addConnection({Server::readRequest(), Server::send(okReply("second")),
                          Server::readRequest(), Server::reset()});
    server.addConnection({Server::readRequest(), Server::send(okReply("third")),
                          Server::readRequest(), Server::send("HTTP/1.1 200 OK\r\n"),
                          Server::close()});
    server.addConnection({Server::readRequest(), Server::close()});
    EXPECT_EQ(client.Get(server.url("/")), "first");
    EXPECT_EQ(client.Get(server.url("/a")), "second");
    EXPECT_EQ(server.received(1), expectedRequest("GET /a HTTP/1.1"));
    EXPECT_EQ(client.Get(server.url("/b")), "third");
    EXPECT_EQ(server.acceptedConnections(), 3u);

    // Part of a reply came, so the request may have had its effect: no retry.
    EXPECT_THROW(client.Get(server.url("/c")), HttpError);
    EXPECT_EQ(server.acceptedConnections(), 3u);
    // A fresh connection that fails is not retried either.
    EXPECT_THROW(client.Get(server.url("/d")), HttpError);
    EXPECT_EQ(server.acceptedConnections(), 4u);
}

TEST_F(HttpClientTest, BytesBeyondTheBodyDropTheConnection) {
    server.addConnection({Server::readRequest(), Server::send(okReply("body") + "SURPLUS")});
    server.addConnection({Server::readRequest(), Server::send(okReply("clean"))});
    EXPECT_EQ(client.Get(server.url("/")), "body");
    EXPECT_EQ(client.Get(server.url("/")), "clean");
    EXPECT_EQ(server.acceptedConnections(), 2u);
}

TEST_F(HttpClientTest, BadAddressesFailBeforeConnecting) {
    EXPECT_THROW(client.Get("ftp://127.0.0.1:" + std::to_string(server.port()) + "/"), HttpError);
    EXPECT_EQ(server.acceptedConnections(), 0u);
}

namespace {

std::string redirectTo(const std::string& location, int code = 302) {
    return "HTTP/1.1 " + std::to_string(code) + " Moved\r\nLocation: " + location +
           "\r\nContent-Length: 0\r\n\r\n";
}

} // namespace

TEST_F(HttpClientTest, APageLoadFollowsEachKindOfRedirectToItsResolvedAddress) {
    Server::Script script;
    const std::pair<int, std::string> hops[] = {
        {301, "/a/b"},
        {302, "c?x=1"},
        {303, "//127.0.0.1:" + std::to_string(server.port()) + "/d"},
        {307, "../e"},
        {308, server.url("/f")}};
    for (const auto& [code, location] : hops) {
        script.push_back(Server::readRequest());
        script.push_back(Server::send(redirectTo(location, code)));
    }
    script.push_back(Server::readRequest());
    script.push_back(Server::send(okReply("arrived")));
    server.addConnection(script);
    EXPECT_EQ(client.GetFollowingRedirects(server.url("/start")), "arrived");
    const std::string sent = server.received(0);
    for (const char* line : {"GET /a/b ", "GET /a/c?x=1 ", "GET /d ", "GET /e ", "GET /f "}) {
        EXPECT_NE(sent.find(line), std::string::npos) << line;
    }
}

TEST_F(HttpClientTest, APageLoadGivesUpOnTooManyRedirectsACircleOrAnotherScheme) {
    Server::Script endless;
    for (int hop = 0; hop < 7; ++hop) {
        endless.push_back(Server::readRequest());
        endless.push_back(Server::send(redirectTo("/hop" + std::to_string(hop))));
    }
    const std::pair<Server::Script, HttpError::Kind> cases[] = {
        {endless, HttpError::Kind::TooManyRedirects},
        {{Server::readRequest(), Server::send(redirectTo("/b")), Server::readRequest(),
          Server::send(redirectTo("/a"))},
         HttpError::Kind::TooManyRedirects},
        {{Server::readRequest(), Server::send(redirectTo("ftp://x.example/f"))},
         HttpError::Kind::BadRedirect},
        {{Server::readRequest(), Server::send(redirectTo("http:///nohost"))},
         HttpError::Kind::BadRedirect},
    };
    for (const auto& [script, expected] : cases) {
        server.addConnection(script);
        EXPECT_EQ(http_testing::errorOf<HttpError>(
                      [&] { client.GetFollowingRedirects(server.url("/a")); })
                      .value()
                      .kind(),
                  expected);
        client.Disconnect();
        client.clearDisconnect();
    }
    // Six requests: the page and the five redirects followed.
    const std::string sent = server.received(0);
    EXPECT_EQ(std::count(sent.begin(), sent.end(), 'G'), 6);
}
