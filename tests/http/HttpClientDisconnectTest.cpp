#include "http/HttpClient.h"
#include "http/HttpError.h"
#include "tests/common/LoopbackServer.h"
#include "tests/http/ProxyEnvironment.h"
#include "tests/http/Replies.h"
#include "tests/http/SilentResolver.h"

#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <sstream>
#include <thread>

using http::ClientSettings;
using http::HttpClient;
using http::HttpError;
using http::WorkMode;
using http_testing::okReply;
using http_testing::SilentResolver;
using http_testing::timeToFail;
using testing_helpers::LoopbackServer;
using Server = LoopbackServer;
using namespace std::chrono_literals;

namespace {

// Long enough that only a disconnect can end a wait within a test's patience.
ClientSettings patientSettings() {
    ClientSettings settings;
    settings.idleTimeoutMs = 20'000;
    return settings;
}

template <typename Condition>
void waitFor(Condition condition) {
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (!condition() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(1ms);
    }
}

} // namespace

TEST(HttpClientDisconnect, CutsAWaitingCallAndBarsLaterOnesUntilCleared) {
    Server server;
    HttpClient client(patientSettings());
    server.addConnection({Server::readRequest(), Server::pause(30'000)});
    server.addConnection({Server::readRequest(), Server::send(okReply("back"))});

    std::jthread disconnector([&] {
        waitFor([&] { return !server.received(0).empty(); });
        client.Disconnect();
    });
    EXPECT_LT(timeToFail([&] { client.Get(server.url("/")); }), 5s);
    disconnector.join();

    EXPECT_THROW(client.Get(server.url("/")), HttpError);
    EXPECT_EQ(server.acceptedConnections(), 1u);
    client.clearDisconnect();
    EXPECT_EQ(client.Get(server.url("/")), "back");
}

TEST(HttpClientDisconnect, ABodyReadToTheCloseIsNotCompletedByADisconnect) {
    Server server;
    HttpClient client(patientSettings());
    server.addConnection({Server::readRequest(), Server::send("HTTP/1.1 200 OK\r\n\r\npartial"),
                          Server::pause(30'000)});
    std::atomic<std::int64_t> received{0};
    client.OnWork = [&](HttpClient*, WorkMode, std::int64_t count) {
        received = count;
    };

    std::jthread disconnector([&] {
        waitFor([&] { return received.load() == 7; });
        client.Disconnect();
    });
    std::ostringstream body;
    EXPECT_LT(timeToFail([&] { client.Get(server.url("/"), body); }), 5s);
    EXPECT_EQ(body.str(), "partial");
}

TEST(HttpClientDisconnect, CutsAConnectInProgress) {
    LoopbackServer unanswered(LoopbackServer::Mode::NeverAccepting);
    HttpClient client(patientSettings());
    std::jthread disconnector([&] {
        std::this_thread::sleep_for(100ms);
        client.Disconnect();
    });
    EXPECT_LT(timeToFail([&] { client.Get(unanswered.url()); }), 5s);
}

TEST(HttpClientDisconnect, CutsALookupThatNeverAnswersAndOutlivesTheClient) {
    SilentResolver silent;
    ClientSettings settings = patientSettings();
    settings.resolver = silent.resolver();
    auto client = std::make_unique<HttpClient>(settings);
    std::jthread disconnector([&] {
        waitFor([&] { return silent.asked(); });
        client->Disconnect();
    });
    EXPECT_LT(timeToFail([&] { client->Get("http://silent.test/"); }), 5s);
    disconnector.join();
    // The lookup still waits; when `silent` ends it, it must touch nothing of the client.
    client.reset();
}

TEST(HttpClientDisconnect, ADisconnectAtAnyMomentEndsCleanly) {
    Server server;
    HttpClient client(patientSettings());
    const std::string body(200'000, 'x');
    for (int round = 0; round < 40; ++round) {
        server.addConnection({Server::readRequest(), Server::send(okReply(body))});
    }
    for (int round = 0; round < 40; ++round) {
        std::jthread disconnector([&client, round] {
            std::this_thread::sleep_for(std::chrono::microseconds(round * 50));
            client.Disconnect();
        });
        try {
            EXPECT_EQ(client.Get(server.url("/")), body);
        } catch (const HttpError&) {
        }
        disconnector.join();
        client.clearDisconnect();
    }
}

// A TLS handshake and a proxy's negotiation wait on the same socket as any
// read: a disconnect ends them at once.
TEST(HttpClientDisconnect, CutsATlsHandshakeAndAProxyNegotiation) {
    for (const std::string proxy : {"", "http://", "socks5h://"}) {
        Server silent(Server::Mode::Silent);
        ClientSettings settings = patientSettings();
        if (!proxy.empty()) {
            settings.proxies = http_testing::proxiesOf(
                {{"all_proxy", proxy + "127.0.0.1:" + std::to_string(silent.port())}});
        }
        HttpClient client(settings);
        const std::string address = proxy.empty()
                                        ? "https://127.0.0.1:" + std::to_string(silent.port()) + "/"
                                        : "https://files.example/";
        std::jthread disconnector([&] {
            waitFor([&] { return silent.acceptedConnections() == 1; });
            std::this_thread::sleep_for(50ms);
            client.Disconnect();
        });
        EXPECT_EQ(http_testing::errorOf<HttpError>([&] { client.Get(address); }).value().kind(),
                  HttpError::Kind::Disconnected)
            << proxy;
    }
}
