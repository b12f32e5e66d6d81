#include "http/TokenBucket.h"

#include <chrono>
#include <gtest/gtest.h>
#include <random>
#include <vector>

using http::TokenBucket;
using namespace std::chrono_literals;

namespace {

constexpr std::int64_t kiB = 1024;

// A clock the test moves, and a reader that reads as soon as the bucket lets
// it, what it lets it, at most a socket block at a time.
class PacedReader {
public:
    struct Read {
        std::chrono::nanoseconds at;
        std::size_t bytes;
    };

    TokenBucket bucket{[this] {
        return std::chrono::steady_clock::time_point(now);
    }};
    std::chrono::nanoseconds now{0};
    std::vector<Read> reads;
    // How long each read keeps the reader busy after it returned.
    std::function<std::chrono::nanoseconds()> readCost = [] {
        return 100us;
    };
    // How much later than asked the reader wakes from a wait.
    std::function<std::chrono::nanoseconds()> oversleep = [] {
        return 0us;
    };
    std::size_t blockSize = 32768;

    void readUntil(std::chrono::nanoseconds end) {
        while (now < end) {
            const TokenBucket::Grant grant = bucket.request(blockSize);
            if (grant.bytes == 0) {
                now += grant.wait + oversleep();
                continue;
            }
            reads.push_back({now, grant.bytes});
            bucket.spend(grant.bytes);
            now += readCost();
        }
    }

    // The bytes read in [from, from + 1 s).
    std::int64_t secondFrom(std::chrono::nanoseconds from) const {
        std::int64_t bytes = 0;
        for (const Read& read : reads) {
            if (read.at >= from && read.at < from + 1s) {
                bytes += static_cast<std::int64_t>(read.bytes);
            }
        }
        return bytes;
    }

    // Every second that starts in [from, to) on a 10 ms grid, as a failure
    // message when it is more than 10 % off `rate`.
    void expectEverySecondNear(std::int64_t rate, std::chrono::nanoseconds from,
                               std::chrono::nanoseconds to) const {
        for (auto start = from; start < to; start += 10ms) {
            const std::int64_t bytes = secondFrom(start);
            EXPECT_NEAR(static_cast<double>(bytes), static_cast<double>(rate), 0.1 * rate)
                << "the second from " << std::chrono::duration<double>(start).count() << " s";
        }
    }
};

} // namespace

TEST(TokenBucket, EverySecondAfterTheFirstTwoIsWithinTenPercentOfTheRate) {
    for (const std::int64_t rate : {50 * kiB, 300 * kiB, 600 * kiB, 100'000 * kiB}) {
        PacedReader reader;
        reader.bucket.setRate(rate);
        reader.readUntil(12s);
        reader.expectEverySecondNear(rate, 2s, 11s);
    }
    // A loaded machine: the reader comes back late, by up to 40 ms after a
    // read and 10 ms after a wait, and still loses nothing of the rate.
    std::mt19937 random(29);
    std::uniform_int_distribution<int> lateness(0, 40'000);
    PacedReader late;
    late.readCost = [&] {
        return std::chrono::microseconds(lateness(random));
    };
    late.oversleep = [&] {
        return std::chrono::microseconds(lateness(random) / 4);
    };
    late.bucket.setRate(300 * kiB);
    late.readUntil(12s);
    late.expectEverySecondNear(300 * kiB, 2s, 11s);
    std::int64_t total = 0;
    for (auto second = 2s; second < 11s; second += 1s) {
        total += late.secondFrom(second);
    }
    EXPECT_NEAR(static_cast<double>(total), 9.0 * 300 * kiB, 0.01 * 9 * 300 * kiB);
}

TEST(TokenBucket, AChangeOfRateAppliesAtOnce) {
    PacedReader reader;
    reader.bucket.setRate(300 * kiB);
    reader.readUntil(5s);
    reader.bucket.setRate(600 * kiB);
    reader.readUntil(10s);
    reader.bucket.setRate(50 * kiB);
    reader.readUntil(15s);
    reader.expectEverySecondNear(300 * kiB, 2s, 4s);
    reader.expectEverySecondNear(600 * kiB, 5s, 9s);
    reader.expectEverySecondNear(50 * kiB, 10s, 14s);
}

TEST(TokenBucket, ReadsAreHalfABurstOrWhatIsWantedNeverATrickle) {
    PacedReader reader;
    reader.bucket.setRate(300 * kiB);
    reader.readUntil(3s);
    const std::size_t halfBurst = 300 * kiB / TokenBucket::burstsPerSecond / 2;
    for (const auto& read : reader.reads) {
        EXPECT_GE(read.bytes, halfBurst);
    }
    // Less is wanted: it comes whole as soon as it is due.
    const TokenBucket::Grant grant = reader.bucket.request(100);
    reader.now += grant.wait;
    EXPECT_EQ(reader.bucket.request(100).bytes, 100u);
}

TEST(TokenBucket, BytesReadWithoutAGrantAreWaitedOut) {
    PacedReader reader;
    reader.bucket.setRate(100 * kiB);
    // What came in with the head of a reply: a third of a second's worth.
    reader.bucket.spend(100 * kiB / 3);
    reader.readUntil(3s);
    EXPECT_NEAR(static_cast<double>(reader.secondFrom(0s)), 100.0 * kiB * 2 / 3, 0.1 * 100 * kiB);
}

TEST(TokenBucket, AtZeroEverythingPassesAtOnceWithoutReadingTheClock) {
    int clockReads = 0;
    TokenBucket bucket([&] {
        ++clockReads;
        return std::chrono::steady_clock::time_point{};
    });
    for (int read = 0; read < 1000; ++read) {
        const TokenBucket::Grant grant = bucket.request(32768);
        EXPECT_EQ(grant.bytes, 32768u);
        bucket.spend(grant.bytes);
    }
    // Back to no limit after one.
    bucket.setRate(100 * kiB);
    bucket.setRate(0);
    clockReads = 0;
    EXPECT_EQ(bucket.request(32768).bytes, 32768u);
    bucket.spend(32768);
    EXPECT_EQ(clockReads, 0);
}
