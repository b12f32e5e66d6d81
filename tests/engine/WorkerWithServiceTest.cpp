#include "engine/SimpleDownloadThread.h"
#include "queue/DownloadsSet.h"
#include "service/DownloadMaker.h"
#include "service/ServiceHost.h"
#include "support/Cp1251.h"
#include "tests/common/TestHelpers.h"
#include "tools/service-sim/ServiceSim.h"

#include <chrono>
#include <cstdlib>
#include <gtest/gtest.h>
#include <memory>
#include <mutex>
#include <optional>

using namespace kestrune::text::literals;
using testing_helpers::FakeClock;
using testing_helpers::pumpFor;
using testing_helpers::pumpUntil;
using testing_helpers::readFile;
using testing_helpers::TempDir;
using tolvenka::Download;
using tolvenka::DownloadsSet;
using tolvenka::SimpleDownloadThread;
using State = tolvenka::Download::State;

namespace {

// The queue against the simulated service: the registry's service kind is the
// simulator's host.
class WorkerWithServiceTest : public ::testing::Test {
protected:
    WorkerWithServiceTest() {
        tolvenka::setServiceHost(sim.host());
        maker.emplace();
    }
    ~WorkerWithServiceTest() override {
        if (worker) {
            worker->stop();
            EXPECT_TRUE(pumpUntil([&] { return worker->isFinished(); }));
            worker.reset();
        }
        set.clearAll();
        maker.reset();
        tolvenka::setServiceHost(std::string(tolvenka::DEFAULT_SERVICE_HOST));
    }

    std::string addFile(const std::string& id, std::uint64_t size,
                        std::vector<servicesim::Step> script = {}) {
        servicesim::FileSpec spec;
        spec.id = id;
        spec.name = "file" + id + ".bin";
        spec.size = size;
        spec.script = std::move(script);
        const std::string link = sim.addFile(spec);
        set.add(link, folder.path());
        return folder.file(spec.name);
    }

    void startWorker() {
        worker = std::make_unique<SimpleDownloadThread>(set, 0, tolvenka::serviceHost(),
                                                        deleteCompleted);
    }

    Download* downloadAt(int index) const { return set.at(index); }

    servicesim::ServiceSim sim;
    TempDir folder;
    std::optional<tolvenka::DownloadMaker> maker;
    std::optional<FakeClock> fakeClock;
    DownloadsSet set{1, 40};
    std::atomic<bool> deleteCompleted{false};
    std::mutex completionsMutex;
    std::vector<std::int64_t> sleptAtCompletion;
    std::unique_ptr<SimpleDownloadThread> worker;
};

TEST_F(WorkerWithServiceTest, ThreeQueuedDownloadsRunBackToBackAndArriveWhole) {
    fakeClock.emplace();
    const std::vector<std::uint64_t> sizes = {100'000, 1 << 20, 1};
    std::vector<std::string> paths;
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        paths.push_back(addFile(std::to_string(i + 1), sizes[i]));
    }
    set.onStatusChange = [this](Download* download, int slot) {
        EXPECT_EQ(slot, 0);
        if (download->getState() == State::Complete) {
            std::lock_guard lock(completionsMutex);
            sleptAtCompletion.push_back(fakeClock->totalSleptMs());
        }
    };
    // Each file is told as arrived once, with its size, before its download
    // says it is complete.
    std::vector<std::int64_t> arrivedSizes;
    set.onFileArrived = [&](Download* download, const Download::ArrivedFile& file) {
        EXPECT_NE(download->getState(), State::Complete);
        std::lock_guard lock(completionsMutex);
        arrivedSizes.push_back(file.bytes);
    };
    startWorker();
    ASSERT_TRUE(pumpUntil(
        [&] {
            std::lock_guard lock(completionsMutex);
            return sleptAtCompletion.size() == sizes.size();
        },
        20000));

    for (std::size_t i = 0; i < sizes.size(); ++i) {
        EXPECT_EQ(downloadAt(static_cast<int>(i))->getState(), State::Complete);
        EXPECT_EQ(readFile(paths[i]), servicesim::expectedContent(std::to_string(i + 1), sizes[i]));
    }
    // Each download waits out its countdown (0 s and the 5 s margin) and
    // nothing else: the worker does not idle between them.
    std::lock_guard lock(completionsMutex);
    EXPECT_EQ(sleptAtCompletion, (std::vector<std::int64_t>{5000, 10000, 15000}));
    EXPECT_EQ(arrivedSizes, (std::vector<std::int64_t>{100'000, 1 << 20, 1}));
}

TEST_F(WorkerWithServiceTest, PauseDuringTheCountdownRequeuesAndResumeFinishesTheSameDownload) {
    const std::string path = addFile("7", 4096, {servicesim::Step::countdown("30")});
    Download* download = downloadAt(0);
    startWorker();
    ASSERT_TRUE(pumpUntil([&] { return download->getState() == State::WaitingForStart; }));

    const auto pausedAt = std::chrono::steady_clock::now();
    worker->pause();
    ASSERT_TRUE(pumpUntil([&] { return download->getState() == State::Queued; }));
    const auto requeuedAfter = std::chrono::steady_clock::now() - pausedAt;
    EXPECT_LT(requeuedAfter, std::chrono::milliseconds(200));

    pumpFor(300);
    EXPECT_EQ(sim.attempts("7"), 1) << "nothing is picked while paused";
    EXPECT_EQ(set.currentDownload(0), nullptr);

    // The next countdown passes on a clock that does not make us wait.
    fakeClock.emplace();
    worker->resume();
    ASSERT_TRUE(pumpUntil([&] { return download->getState() == State::Complete; }, 20000));
    EXPECT_EQ(sim.attempts("7"), 2);
    EXPECT_EQ(readFile(path), servicesim::expectedContent("7", 4096));
}

// The first download's conversation always fails: while it waits out its
// back-off the second one arrives, and after its fifth failure in a row the
// first stops in Error, told once.
TEST_F(WorkerWithServiceTest, ADownloadThatKeepsFailingDoesNotHoldTheQueue) {
    fakeClock.emplace();
    addFile("1", 10, {servicesim::Step::garbage()});
    const std::string second = addFile("2", 100'000);
    Download* failing = downloadAt(0);
    std::atomic<int> failuresWhenSecondArrived{-1};
    set.onStatusChange = [&](Download* download, int) {
        if (download == downloadAt(1) && download->getState() == State::Complete) {
            failuresWhenSecondArrived = sim.attempts("1");
        }
    };
    startWorker();
    std::vector<Download*> told;
    worker->onRunEnded = [&](Download* download) {
        if (download->hasStoppedWithError()) {
            told.push_back(download);
        }
    };
    ASSERT_TRUE(pumpUntil([&] { return failing->hasStoppedWithError(); }, 20000));
    EXPECT_EQ(failuresWhenSecondArrived, 2) << "one try at once, then a wait of 1 s";
    EXPECT_EQ(readFile(second), servicesim::expectedContent("2", 100'000));
    EXPECT_EQ(sim.attempts("1"), 5);
    EXPECT_EQ(failing->getFailureReason(), "ответ сервера не понят"_cp1251);
    pumpFor(100);
    EXPECT_EQ(told, std::vector<Download*>{failing});
}

} // namespace
