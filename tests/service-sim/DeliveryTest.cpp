// The file reply: its bytes, its framing, break-off and pacing.
#include "tests/service-sim/TestClient.h"
#include "tools/service-sim/FileSender.h"
#include "tools/service-sim/ServiceSim.h"

#include <chrono>
#include <gtest/gtest.h>
#include <thread>

using namespace servicesim;
using namespace simtest;

namespace {

const char* modeName(Delivery delivery) {
    switch (delivery) {
    case Delivery::ContentLength:
        return "length";
    case Delivery::Chunked:
        return "chunked";
    default:
        return "close";
    }
}

const Delivery AllModes[] = {Delivery::ContentLength, Delivery::Chunked, Delivery::UntilClose};

class FileReply : public ::testing::Test {
protected:
    FileSpec fileOf(std::uint64_t size, Delivery delivery) {
        FileSpec spec;
        spec.id = std::to_string(nextId++);
        spec.name = "data.bin";
        spec.size = size;
        spec.delivery = delivery;
        return spec;
    }

    Reply download(const FileSpec& spec) {
        sim.addFile(spec);
        return post(sim.finalFormUrl(spec.id), "mirror=");
    }

    ServiceSim sim;
    int nextId = 100;
};

TEST(FileContent, BlockFillAgreesWithSingleBytesAtAnyAlignment) {
    for (std::uint64_t offset : {0ULL, 1ULL, 7ULL, 8ULL, 13ULL, (1ULL << 32) + 3}) {
        for (std::size_t length : {0UL, 1UL, 5UL, 8UL, 9UL, 37UL}) {
            std::string block(length, '\0');
            fillFileBytes("42", offset, block.data(), length);
            for (std::size_t i = 0; i < length; ++i) {
                ASSERT_EQ(static_cast<unsigned char>(block[i]), fileByte("42", offset + i))
                    << "offset " << offset << " index " << i;
            }
        }
    }
}

TEST(FileContent, DependsOnTheIdAndTheOffset) {
    const std::string a = expectedContent("1", 4096);
    EXPECT_EQ(a.size(), 4096u);
    EXPECT_NE(a, expectedContent("2", 4096));
    EXPECT_NE(a.substr(0, 2048), a.substr(2048));
    EXPECT_EQ(a, expectedContent("1", 4096)) << "must be a pure function";
}

TEST_F(FileReply, EachDeliveryModeGivesTheWholeFile) {
    const std::uint64_t size = 3 * FileSender::BlockBytes + 3;
    for (Delivery mode : AllModes) {
        const FileSpec spec = fileOf(size, mode);
        const Reply reply = download(spec);
        EXPECT_EQ(reply.status, 200) << modeName(mode);
        EXPECT_TRUE(reply.complete) << modeName(mode);
        EXPECT_TRUE(reply.body == expectedContent(spec.id, size)) << modeName(mode);
    }
}

TEST_F(FileReply, FramingHeadersFollowTheMode) {
    const Reply length = download(fileOf(10, Delivery::ContentLength));
    EXPECT_EQ(length.header("Content-Length"), "10");
    EXPECT_EQ(length.header("Transfer-Encoding"), "");
    const Reply chunked = download(fileOf(10, Delivery::Chunked));
    EXPECT_EQ(chunked.header("Content-Length"), "");
    EXPECT_EQ(chunked.header("Transfer-Encoding"), "chunked");
    const Reply untilClose = download(fileOf(10, Delivery::UntilClose));
    EXPECT_EQ(untilClose.header("Content-Length"), "");
    EXPECT_EQ(untilClose.header("Transfer-Encoding"), "");
}

TEST_F(FileReply, EmptyFileInEveryMode) {
    for (Delivery mode : AllModes) {
        const Reply reply = download(fileOf(0, mode));
        EXPECT_TRUE(reply.complete) << modeName(mode);
        EXPECT_EQ(reply.body, "") << modeName(mode);
    }
}

TEST_F(FileReply, BreakOffSendsExactlyThePrefixThenCloses) {
    const std::uint64_t size = 1 << 20;
    for (Delivery mode : AllModes) {
        for (std::int64_t cut : {std::int64_t{0}, std::int64_t{300'001},
                                 static_cast<std::int64_t>(FileSender::BlockBytes)}) {
            FileSpec spec = fileOf(size, mode);
            spec.breakAfter = cut;
            const Reply reply = download(spec);
            const auto expected = expectedContent(spec.id, static_cast<std::uint64_t>(cut));
            EXPECT_TRUE(reply.body == expected)
                << modeName(mode) << " cut " << cut << " got " << reply.body.size();
            // With a length or chunks the client can tell; up to the close it cannot.
            EXPECT_EQ(reply.complete, mode == Delivery::UntilClose) << modeName(mode);
        }
    }
}

TEST_F(FileReply, BreakOffAtOrPastTheEndIsAWholeReply) {
    FileSpec spec = fileOf(5000, Delivery::Chunked);
    spec.breakAfter = 5000;
    const Reply reply = download(spec);
    EXPECT_TRUE(reply.complete);
    EXPECT_EQ(reply.body.size(), 5000u);
}

TEST_F(FileReply, OnlyTheFirstRepliesBreakOffWhenLimited) {
    FileSpec spec = fileOf(100'000, Delivery::ContentLength);
    spec.breakAfter = 10;
    spec.breakingReplies = 2;
    sim.addFile(spec);
    const std::string url = sim.finalFormUrl(spec.id);
    EXPECT_FALSE(post(url, "mirror=").complete);
    EXPECT_FALSE(post(url, "mirror=").complete);
    const Reply third = post(url, "mirror=");
    EXPECT_TRUE(third.complete);
    EXPECT_TRUE(third.body == expectedContent(spec.id, 100'000));
    EXPECT_EQ(sim.transfers(spec.id), 3);
}

TEST_F(FileReply, RateLimitSlowsTheReplyDown) {
    FileSpec spec = fileOf(64 * 1024, Delivery::ContentLength);
    spec.bytesPerSecond = 128 * 1024;
    const auto start = std::chrono::steady_clock::now();
    const Reply reply = download(spec);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_TRUE(reply.complete);
    // Half a second at the set rate; the last pacing step may be skipped.
    EXPECT_GE(elapsed, std::chrono::milliseconds(400));
}

TEST_F(FileReply, ConcurrentDownloadsEachGetTheirOwnBytes) {
    constexpr int Clients = 4;
    std::vector<FileSpec> specs;
    for (int i = 0; i < Clients; ++i) {
        specs.push_back(fileOf(2 << 20, AllModes[i % 3]));
        sim.addFile(specs.back());
    }
    std::vector<std::string> bodies(Clients);
    std::vector<std::thread> threads;
    for (int i = 0; i < Clients; ++i) {
        threads.emplace_back(
            [&, i] { bodies[i] = post(sim.finalFormUrl(specs[i].id), "mirror=").body; });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    for (int i = 0; i < Clients; ++i) {
        EXPECT_TRUE(bodies[i] == expectedContent(specs[i].id, specs[i].size)) << i;
    }
}

} // namespace
