// The HTTP side: keep-alive, closing, malformed requests, the log and stop.
#include "tests/service-sim/TestClient.h"
#include "tools/service-sim/ServiceSim.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <thread>

using namespace servicesim;
using namespace simtest;

namespace {

std::string getRequest(const std::string& path, const std::string& extra = "") {
    return "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + extra + "\r\n";
}

class Connection : public ::testing::Test {
protected:
    Connection() {
        FileSpec spec;
        spec.id = "7";
        spec.name = "f.bin";
        spec.size = 100;
        link = sim.addFile(spec);
    }

    ServiceSim sim;
    std::string link;
};

TEST_F(Connection, GetsKeepTheConnectionAlive) {
    TestClient client(sim.port());
    for (int i = 0; i < 3; ++i) {
        client.send(getRequest("/files/7/f.bin"));
        const Reply reply = client.readReply();
        EXPECT_EQ(reply.status, 200);
        EXPECT_EQ(reply.header("Connection"), "");
    }
    EXPECT_EQ(sim.attempts("7"), 3);
}

TEST_F(Connection, PipelinedRequestsAreAnsweredInOrder) {
    TestClient client(sim.port());
    client.send(getRequest("/about") + getRequest("/nothing") + getRequest("/about"));
    EXPECT_EQ(client.readReply().status, 200);
    EXPECT_EQ(client.readReply().status, 404);
    EXPECT_EQ(client.readReply().status, 200);
}

TEST_F(Connection, Http10AndConnectionCloseEndTheConnection) {
    for (const std::string& request :
         {std::string("GET /about HTTP/1.0\r\n\r\n"), getRequest("/about", "Connection: close\r\n"),
          getRequest("/about", "connection:  CLOSE \r\n")}) {
        TestClient client(sim.port());
        client.send(request);
        const Reply reply = client.readReply();
        EXPECT_EQ(reply.status, 200);
        EXPECT_EQ(reply.header("Connection"), "close");
        EXPECT_TRUE(client.closedByServer()) << request;
    }
}

TEST_F(Connection, RequestArrivingByteByByteIsParsed) {
    TestClient client(sim.port());
    const std::string request =
        "POST /dl/7/f.bin HTTP/1.0\r\nHost: 127.0.0.1\r\nContent-Length: 7\r\n\r\nmirror=";
    for (char c : request) {
        client.send(std::string(1, c));
    }
    const Reply reply = client.readReply();
    EXPECT_EQ(reply.status, 200);
    EXPECT_TRUE(reply.body == expectedContent("7", 100));
}

TEST_F(Connection, BareLineFeedsAreAccepted) {
    TestClient client(sim.port());
    client.send("GET /about HTTP/1.1\nHost: x\n\n");
    EXPECT_EQ(client.readReply().status, 200);
}

TEST_F(Connection, ExpectContinueGetsTheGoAhead) {
    TestClient client(sim.port());
    client.send("POST /dl/7/f.bin HTTP/1.1\r\nContent-Length: 7\r\nExpect: 100-continue\r\n\r\n");
    EXPECT_EQ(client.readReply().status, 100);
    client.send("mirror=");
    EXPECT_EQ(client.readReply().status, 200);
}

TEST_F(Connection, MalformedRequestsGet400AndClose) {
    const std::string malformed[] = {
        "HELLO\r\n\r\n",
        "GET /about\r\n\r\n",
        "GET /about HTTP/2.0\r\n\r\n",
        "GET about HTTP/1.1\r\n\r\n",
        "GET /a b HTTP/1.1\r\n\r\n",
        "GET /about HTTP/1.1\r\nNo colon here\r\n\r\n",
        "GET /about HTTP/1.1\r\n : empty name\r\n\r\n",
        "POST /about HTTP/1.1\r\nContent-Length: -1\r\n\r\n",
        "POST /about HTTP/1.1\r\nContent-Length: 1x\r\n\r\n",
        "POST /about HTTP/1.1\r\nContent-Length: 1\r\nContent-Length: 2\r\n\r\n",
        "POST /about HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n0\r\n\r\n",
        "POST /about HTTP/1.1\r\nContent-Length: 99999999999999999999999\r\n\r\n",
        std::string("GET /\0 HTTP/1.1\r\n\r\n", 19),
    };
    for (const auto& request : malformed) {
        TestClient client(sim.port());
        client.send(request);
        EXPECT_EQ(client.readReply().status, 400) << request;
        EXPECT_TRUE(client.closedByServer()) << request;
    }
    EXPECT_EQ(get(link).status, 200) << "the service must live on";
}

TEST_F(Connection, OversizedHeadIsRefused) {
    TestClient client(sim.port());
    client.send("GET /about HTTP/1.1\r\nX: " + std::string(100 * 1024, 'a') + "\r\n\r\n");
    EXPECT_EQ(client.readReply().status, 400);
}

TEST_F(Connection, ClientVanishingMidRequestOrMidReplyIsHarmless) {
    {
        TestClient client(sim.port());
        client.send("POST /dl/7/f.bin HTTP/1.1\r\nContent-Length: 7\r\n\r\nmir");
    }
    FileSpec big;
    big.id = "8";
    big.name = "big.bin";
    big.size = 64 << 20;
    sim.addFile(big);
    {
        TestClient client(sim.port());
        client.send("POST /dl/8/big.bin HTTP/1.0\r\nContent-Length: 7\r\n\r\nmirror=");
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_EQ(get(link).status, 200);
}

TEST_F(Connection, LogRecordsEveryRequestInOrder) {
    TestClient client(sim.port());
    client.send(getRequest("/files/7/f.bin?x=1&y=2", "X-Test: yes\r\n"));
    client.readReply();
    post(sim.finalFormUrl("7"), "mirror=");
    get("http://" + sim.host() + "/nothing");

    const auto log = sim.requests();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0].method, "GET");
    EXPECT_EQ(log[0].target, "/files/7/f.bin?x=1&y=2");
    EXPECT_EQ(log[0].version, "HTTP/1.1");
    EXPECT_EQ(log[0].body, "");
    EXPECT_NE(std::find(log[0].headers.begin(), log[0].headers.end(),
                        std::pair<std::string, std::string>("X-Test", "yes")),
              log[0].headers.end());
    EXPECT_EQ(log[1].method, "POST");
    EXPECT_EQ(log[1].target, "/dl/7/f.bin");
    EXPECT_EQ(log[1].version, "HTTP/1.0");
    EXPECT_EQ(log[1].body, "mirror=");
    EXPECT_EQ(log[2].target, "/nothing");
    EXPECT_LE(log[0].timeMs, log[1].timeMs);
    EXPECT_LE(log[1].timeMs, log[2].timeMs);

    sim.clearRequests();
    EXPECT_TRUE(sim.requests().empty());
    get(link);
    EXPECT_EQ(sim.requests().size(), 1u);
}

TEST_F(Connection, LogShowsTheWaitBetweenRequests) {
    get(link);
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    get(link);
    const auto log = sim.requests();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_GE(log[1].timeMs - log[0].timeMs, 50);
}

TEST_F(Connection, FilesCanBeAddedWhileClientsAreBusy) {
    std::atomic<bool> done{false};
    std::thread client([&] {
        while (!done) {
            get(link);
        }
    });
    for (int i = 0; i < 50; ++i) {
        FileSpec spec;
        spec.id = std::to_string(1000 + i);
        spec.name = "x.bin";
        sim.addFile(spec);
        sim.addPage("/p" + std::to_string(i), "page");
        sim.requests();
    }
    done = true;
    client.join();
    EXPECT_EQ(get(sim.listUrl()).body.find("/files/1049/x.bin") != std::string::npos, true);
}

TEST_F(Connection, StopCutsIdleAndBusyConnectionsAndIsFinal) {
    FileSpec slow;
    slow.id = "9";
    slow.name = "slow.bin";
    slow.size = 10 << 20;
    slow.bytesPerSecond = 1000;
    sim.addFile(slow);

    TestClient idle(sim.port());
    idle.send(getRequest("/about"));
    idle.readReply();
    TestClient busy(sim.port());
    busy.send("POST /dl/9/slow.bin HTTP/1.0\r\nContent-Length: 7\r\n\r\nmirror=");
    std::this_thread::sleep_for(std::chrono::milliseconds(100));

    const auto start = std::chrono::steady_clock::now();
    sim.stop();
    // Not a speed goal: a generous bound that only a hang would break.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_TRUE(idle.closedByServer());
    EXPECT_LT(busy.readToClose().size(), slow.size);
    EXPECT_THROW(TestClient{sim.port()}, std::runtime_error);
    sim.stop();
}

TEST(ServiceSimPort, AGivenPortIsUsed) {
    std::uint16_t port = 0;
    {
        ServiceSim first;
        port = first.port();
    }
    ServiceSim sim(port);
    EXPECT_EQ(sim.port(), port);
    EXPECT_EQ(get("http://" + sim.host() + "/about").status, 200);
    EXPECT_THROW(ServiceSim{port}, std::system_error);
}

} // namespace
