#include "http/HttpClient.h"
#include "http/HttpError.h"
#include "http/SpeedLimit.h"
#include "tests/common/LoopbackServer.h"
#include "tests/http/Replies.h"

#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <sstream>
#include <thread>

using http::HttpClient;
using http::HttpError;
using http::SpeedLimit;
using http::WorkMode;
using http_testing::okReply;
using http_testing::patternedBytes;
using testing_helpers::LoopbackServer;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

namespace {

constexpr std::int64_t kiB = 1024;

std::string chunkedReply(const std::string& body, std::size_t chunkSize) {
    std::ostringstream reply;
    reply << "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
    for (std::size_t at = 0; at < body.size(); at += chunkSize) {
        const std::string chunk = body.substr(at, chunkSize);
        reply << std::hex << chunk.size() << "\r\n" << chunk << "\r\n";
    }
    reply << "0\r\n\r\n";
    return reply.str();
}

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

} // namespace

// 300 KiB at 1 MiB/s: no token bucket lets it through in less than the time
// of what exceeds its burst, a quarter of a second.
TEST(HttpClientSpeedLimit, ABodyArrivesWholeAndNoSoonerThanTheLimitAllowsInEveryFraming) {
    const std::string body = patternedBytes(300 * kiB);
    LoopbackServer server;
    server.addConnection(
        {LoopbackServer::readRequest(), LoopbackServer::send(okReply(body)),
         LoopbackServer::readRequest(), LoopbackServer::send(chunkedReply(body, 10'000)),
         LoopbackServer::readRequest(), LoopbackServer::send("HTTP/1.0 200 OK\r\n\r\n" + body),
         LoopbackServer::close()});
    SpeedLimit limit;
    limit.set(1024 * kiB);
    HttpClient client;
    client.setSpeedLimit(&limit);
    for (const char* framing : {"length", "chunked", "until the close"}) {
        const Clock::time_point start = Clock::now();
        std::ostringstream received;
        client.Get(server.url("/"), received);
        EXPECT_GE(secondsSince(start), 0.2) << framing;
        EXPECT_TRUE(received.str() == body) << framing;
    }
}

TEST(HttpClientSpeedLimit, AChangeReachesABodyUnderWay) {
    // Lifted: 4 MiB at 100 KiB/s would take 40 s.
    const std::string large = patternedBytes(4096 * kiB);
    const std::string body = patternedBytes(1024 * kiB);
    LoopbackServer server;
    server.addConnection({LoopbackServer::readRequest(), LoopbackServer::send(okReply(large)),
                          LoopbackServer::readRequest(), LoopbackServer::send(okReply(body))});
    SpeedLimit limit;
    limit.set(100 * kiB);
    HttpClient client;
    client.setSpeedLimit(&limit);
    client.OnWork = [&](HttpClient*, WorkMode, std::int64_t count) {
        if (count >= 100 * kiB) {
            limit.set(0);
        }
    };
    Clock::time_point start = Clock::now();
    EXPECT_EQ(client.Get(server.url("/")).size(), large.size());
    EXPECT_LT(secondsSince(start), 20);

    // Set during a body that came as fast as it could: the rest keeps to it.
    std::int64_t countAtChange = 0;
    client.OnWork = [&](HttpClient*, WorkMode, std::int64_t count) {
        if (countAtChange == 0 && count >= 64 * kiB) {
            countAtChange = count;
            limit.set(1024 * kiB);
            start = Clock::now();
        }
    };
    EXPECT_EQ(client.Get(server.url("/")), body);
    const double restAtTheLimit =
        static_cast<double>(1024 * kiB - countAtChange - 1024 * kiB / 20) / (1024 * kiB);
    EXPECT_GE(secondsSince(start), restAtTheLimit);
}

TEST(HttpClientSpeedLimit, ADisconnectCutsAWaitForTheLimitAtOnce) {
    LoopbackServer server;
    server.addConnection({LoopbackServer::readRequest(),
                          LoopbackServer::send(okReply(patternedBytes(1024 * kiB))),
                          LoopbackServer::pause(30'000)});
    // What came with the head alone takes half a minute at this limit.
    SpeedLimit limit;
    limit.set(1 * kiB);
    HttpClient client;
    client.setSpeedLimit(&limit);
    std::atomic<bool> bodyStarted{false};
    client.OnWork = [&](HttpClient*, WorkMode, std::int64_t) {
        bodyStarted = true;
    };
    std::atomic<Clock::rep> disconnectedAt{0};
    std::jthread disconnector([&] {
        while (!bodyStarted) {
            std::this_thread::sleep_for(1ms);
        }
        std::this_thread::sleep_for(100ms);
        disconnectedAt = Clock::now().time_since_epoch().count();
        client.Disconnect();
    });
    std::ostringstream body;
    EXPECT_THROW(client.Get(server.url("/"), body), HttpError);
    const Clock::duration cut =
        Clock::now() - Clock::time_point(Clock::duration(disconnectedAt.load()));
    EXPECT_LT(cut, 300ms);
}
