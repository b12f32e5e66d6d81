#include "archives/UnpackThread.h"

#include "tests/archives/ArchiveFixture.h"

#include <filesystem>
#include <future>
#include <linux/ioprio.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>

using archives_testing::ArchiveFixture;
using archives_testing::noise;
using archives_testing::Tree;
using rarvolumes::RarVersion;
using tolvenka::archives::UnpackOutcome;
using tolvenka::archives::UnpackRequest;
using tolvenka::archives::UnpackThread;

namespace {

class UnpackThreads : public ArchiveFixture {
public:
    // A set large enough to be caught midway: its progress is first told
    // after 4 MiB.
    UnpackRequest largeSet() {
        return requestFor(makeRar("large",
                                  rarEntriesOf({{"a.bin", noise(12 << 20, 1)}, {"b.txt", "b"}}),
                                  {RarVersion::Rar5, 5 << 20, false, 0}));
    }

    // Makes the unpacking wait, at its first progress, until the test has
    // acted; `started` tells the test that it waits.
    void pauseAtFirstProgress(UnpackRequest& request) {
        request.onProgress = [this](std::int64_t, std::int64_t) {
            if (!pausedOnce) {
                pausedOnce = true;
                started.set_value();
                resume.get_future().wait();
            }
        };
    }

    void expectNothingLeft(const UnpackRequest& request) {
        EXPECT_EQ(namesIn(target()), std::vector<std::string>{});
        for (const std::string& part : request.set.partPaths()) {
            EXPECT_TRUE(std::filesystem::exists(part));
        }
    }

    bool pausedOnce = false; // the unpacking thread's own
    std::promise<void> started;
    std::promise<void> resume;
    std::promise<UnpackOutcome> outcome;
};

} // namespace

TEST_F(UnpackThreads, UnpacksAtTheLowestPriorityAndHandsTheOutcomeOver) {
    const Tree tree = {{"docs/a.txt", "a"}, {"docs/b.txt", "b"}};
    std::promise<std::pair<int, int>> priorities;
    UnpackThread thread(
        requestFor(makeRar("docs", rarEntriesOf(tree), {RarVersion::Rar5, 0, false, 0})),
        [&](UnpackOutcome done) {
            const pid_t self = ::gettid();
            priorities.set_value(
                {::getpriority(PRIO_PROCESS, static_cast<id_t>(self)),
                 static_cast<int>(::syscall(SYS_ioprio_get, IOPRIO_WHO_PROCESS, self))});
            outcome.set_value(std::move(done));
        });
    const UnpackOutcome done = outcome.get_future().get();
    EXPECT_EQ(done.result, UnpackOutcome::Result::Unpacked);
    EXPECT_EQ(readTree(target()), tree);
    const auto [nice, io] = priorities.get_future().get();
    EXPECT_EQ(nice, 19);
    EXPECT_EQ(io >> IOPRIO_CLASS_SHIFT, IOPRIO_CLASS_IDLE);
    EXPECT_TRUE(thread.isFinished());
    EXPECT_EQ(thread.bytesDone(), 2);
    EXPECT_EQ(thread.bytesTotal(), 2);
}

TEST_F(UnpackThreads, ACancelFromAnotherThreadEndsTheSetAndLeavesNothing) {
    UnpackRequest request = largeSet();
    pauseAtFirstProgress(request);
    UnpackThread thread(request, [&](UnpackOutcome done) { outcome.set_value(std::move(done)); });
    started.get_future().wait();
    EXPECT_GT(thread.bytesDone(), 0);
    EXPECT_FALSE(thread.isFinished());
    thread.cancel();
    resume.set_value();
    EXPECT_EQ(outcome.get_future().get().result, UnpackOutcome::Result::Cancelled);
    expectNothingLeft(request);
}

TEST_F(UnpackThreads, DestroyingTheThreadMidwayCancelsAndWaitsForIt) {
    UnpackRequest request = largeSet();
    pauseAtFirstProgress(request);
    std::future<UnpackOutcome> ended = outcome.get_future();
    std::thread resumer;
    {
        UnpackThread thread(request,
                            [&](UnpackOutcome done) { outcome.set_value(std::move(done)); });
        started.get_future().wait();
        // The unpacking goes on once the destructor has cancelled it.
        resumer = std::thread([&] {
            while (!thread.isCancelled()) {
                std::this_thread::yield();
            }
            resume.set_value();
        });
    }
    resumer.join();
    ASSERT_EQ(ended.wait_for(std::chrono::seconds(0)), std::future_status::ready);
    EXPECT_EQ(ended.get().result, UnpackOutcome::Result::Cancelled);
    expectNothingLeft(request);
}
