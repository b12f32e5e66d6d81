#include "engine/SimpleDownloadThread.h"

#include "platform/Clock.h"
#include "platform/GuiThread.h"
#include "queue/DownloadsSet.h"
#include "tests/common/TestHelpers.h"
#include "tests/queue/QueueTestSupport.h"

#include <chrono>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <stdexcept>
#include <thread>

using testing_helpers::addTraced;
using testing_helpers::FakeClock;
using testing_helpers::pumpFor;
using testing_helpers::pumpUntil;
using testing_helpers::ScriptedDownload;
using testing_helpers::TracedDownload;
using tolvenka::Download;
using tolvenka::DownloadsSet;
using tolvenka::SimpleDownloadThread;
using State = tolvenka::Download::State;

namespace {

constexpr const char* kindX = ScriptedDownload::kind;

std::int64_t realMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

bool complete(ScriptedDownload& download) {
    download.setState(State::Complete);
    return true;
}

// Everything a worker's handlers and download bodies touch lives here, so it
// outlives the worker.
class WorkerTest : public ::testing::Test {
protected:
    ~WorkerTest() override { stopWorker(); }

    void startWorker() {
        worker = std::make_unique<SimpleDownloadThread>(
            set, 0, kindX, deleteCompleted, [this](std::exception_ptr error) {
                try {
                    std::rethrow_exception(error);
                } catch (const std::exception& reported) {
                    platform::synchronize([&] { errors.push_back(reported.what()); });
                }
            });
    }

    void stopWorker() {
        if (!worker) {
            return;
        }
        worker->stop();
        EXPECT_TRUE(pumpUntil([&] { return worker->isFinished(); }));
        set.onCurrentDownloadChange.clear();
        worker.reset();
    }

    std::optional<FakeClock> fakeClock;
    DownloadsSet set{1, 40};
    std::atomic<bool> deleteCompleted{false};
    std::atomic<int> runs{0};
    std::unique_ptr<SimpleDownloadThread> worker;
    std::vector<std::string> errors; // what the worker reported, GUI thread
};

// An idle worker looks once and then sleeps until there is something to
// look at: a download added starts at once, and a stop ends it at once.
TEST_F(WorkerTest, AnIdleWorkerSleepsUntilADownloadIsAddedOrItIsStopped) {
    std::vector<Download*> picks;
    set.onCurrentDownloadChange = [&](int slot, Download* download) {
        EXPECT_EQ(slot, 0);
        picks.push_back(download);
    };
    startWorker();
    ASSERT_TRUE(pumpUntil([&] { return picks.size() == 1; }));
    pumpFor(300);
    EXPECT_EQ(picks, std::vector<Download*>{nullptr}) << "it looked again with nothing changed";

    TracedDownload* added = addTraced(set, "added");
    added->body = complete;
    const std::int64_t addedAt = realMs();
    ASSERT_TRUE(pumpUntil([&] { return added->getState() == State::Complete; }));
    EXPECT_LT(realMs() - addedAt, 100);

    ASSERT_TRUE(pumpUntil([&] { return picks.back() == nullptr; }));
    pumpFor(50);
    const std::int64_t stoppedAt = realMs();
    worker->stop();
    ASSERT_TRUE(pumpUntil([&] { return worker->isFinished(); }));
    EXPECT_LT(realMs() - stoppedAt, 100);
}

TEST_F(WorkerTest, RunsQueuedDownloadsBackToBackInOrderAndGoesOnAfterAFailure) {
    fakeClock.emplace();
    std::vector<std::string> order;
    std::vector<std::int64_t> idleBefore;
    auto body = [&](bool throws) {
        return [&, throws](ScriptedDownload& download) {
            order.push_back(static_cast<TracedDownload&>(download).name);
            idleBefore.push_back(fakeClock->totalSleptMs());
            if (throws) {
                throw std::runtime_error("conversation failed");
            }
            return complete(download);
        };
    };
    TracedDownload* first = addTraced(set, "first");
    TracedDownload* broken = addTraced(set, "broken");
    addTraced(set, "error", State::Error);
    TracedDownload* last = addTraced(set, "last");
    first->body = body(false);
    broken->body = body(true);
    last->body = body(false);

    startWorker();
    ASSERT_TRUE(pumpUntil([&] { return last->getState() == State::Complete; }));
    stopWorker();

    EXPECT_EQ(order, (std::vector<std::string>{"first", "broken", "last"}));
    EXPECT_EQ(idleBefore, (std::vector<std::int64_t>{0, 0, 0})) << "no pause between downloads";
    EXPECT_EQ(first->getState(), State::Complete);
    EXPECT_EQ(broken->getState(), State::Error);
    EXPECT_EQ(set.count(), 4) << "with the option off, completed downloads stay";
}

TEST_F(WorkerTest, AFailingPickIsReportedAndTheWorkerGoesOn) {
    TracedDownload* download = addTraced(set, "after");
    download->body = complete;
    bool failed = false;
    set.onCurrentDownloadChange = [&](int, Download*) {
        if (!std::exchange(failed, true)) {
            throw std::runtime_error("pick failed");
        }
    };
    startWorker();
    ASSERT_TRUE(pumpUntil([&] { return download->getState() == State::Complete; }));
    stopWorker();
    EXPECT_EQ(errors, std::vector<std::string>{"pick failed"});
}

TEST_F(WorkerTest, WithDeleteCompletedOnACompletedDownloadLeavesTheSetInTheSamePass) {
    deleteCompleted = true;
    TracedDownload* done = addTraced(set, "done");
    TracedDownload* notFound = addTraced(set, "notFound");
    done->body = complete;
    notFound->body = [](ScriptedDownload& download) {
        download.setState(State::NotFound);
        return false;
    };
    std::vector<int> countAtPicks;
    set.onCurrentDownloadChange = [&](int, Download*) {
        countAtPicks.push_back(set.count());
    };

    startWorker();
    ASSERT_TRUE(pumpUntil([&] { return countAtPicks.size() >= 3; }));
    stopWorker();
    // Picks: done, notFound (done already gone), then nothing.
    EXPECT_EQ(countAtPicks[1], 1);
    ASSERT_EQ(set.count(), 1);
    EXPECT_EQ(set.at(0), notFound);
}

TEST_F(WorkerTest, TellsOfEachErrorStopAndOnceOfRunningOutOfWorkAfterARun) {
    std::vector<std::string> stopped;
    int outOfWork = 0;
    startWorker();
    worker->onRunEnded = [&](Download* download) {
        if (download->getState() == State::Error) {
            stopped.push_back(static_cast<TracedDownload*>(download)->name);
        }
    };
    worker->onOutOfWork = [&] {
        ++outOfWork;
    };
    pumpFor(250);
    EXPECT_EQ(outOfWork, 0) << "nothing ran yet";

    addTraced(set, "broken")->body = [](ScriptedDownload&) -> bool {
        throw std::runtime_error("disk full");
    };
    addTraced(set, "done")->body = complete;
    ASSERT_TRUE(pumpUntil([&] { return outOfWork > 0; }));
    pumpFor(250);
    EXPECT_EQ(stopped, std::vector<std::string>{"broken"});
    EXPECT_EQ(outOfWork, 1) << "an idle worker tells it once";
}

// A download that waits for a minute on its first run and completes on the
// next one.
void waitOnFirstRun(TracedDownload* download, std::atomic<int>& runs) {
    download->body = [&runs](ScriptedDownload& d) {
        if (runs++ == 0) {
            d.setState(State::WaitingForStart);
            d.waitSeconds(60);
        }
        return complete(d);
    };
}

TEST_F(WorkerTest, PauseDuringAWaitRequeuesTheDownloadAndResumeContinuesWithIt) {
    TracedDownload* waiting = addTraced(set, "waiting");
    waitOnFirstRun(waiting, runs);
    addTraced(set, "next")->body = complete;
    int picks = 0;
    set.onCurrentDownloadChange = [&](int, Download*) {
        ++picks;
    };

    startWorker();
    ASSERT_TRUE(pumpUntil([&] { return waiting->getState() == State::WaitingForStart; }));
    const std::int64_t pausedAt = realMs();
    worker->pause();
    ASSERT_TRUE(pumpUntil([&] { return waiting->getState() == State::Queued; }));
    const std::int64_t requeuedAfter = realMs() - pausedAt;
    EXPECT_LT(requeuedAfter, 200) << "the wait checks for an abort every 10 ms";
    ASSERT_TRUE(pumpUntil([&] { return set.currentDownload(0) == nullptr; }));

    picks = 0;
    pumpFor(300);
    EXPECT_EQ(picks, 0) << "nothing is picked while paused";

    worker->resume();
    ASSERT_TRUE(pumpUntil([&] { return waiting->getState() == State::Complete; }));
    EXPECT_EQ(runs, 2);
}

TEST_F(WorkerTest, StopEndsTheLoopWhetherIdleOrRunning) {
    startWorker();
    pumpFor(150);
    std::int64_t stoppedAt = realMs();
    worker->stop();
    ASSERT_TRUE(pumpUntil([&] { return worker->isFinished(); }));
    EXPECT_LE(realMs() - stoppedAt, 300);
    worker.reset();

    TracedDownload* waiting = addTraced(set, "waiting");
    waitOnFirstRun(waiting, runs);
    startWorker();
    ASSERT_TRUE(pumpUntil([&] { return waiting->getState() == State::WaitingForStart; }));
    stoppedAt = realMs();
    worker->stop();
    ASSERT_TRUE(pumpUntil([&] { return worker->isFinished(); }));
    EXPECT_LE(realMs() - stoppedAt, 300);
    EXPECT_EQ(waiting->getState(), State::Queued);
    EXPECT_EQ(set.currentDownload(0), nullptr);
    EXPECT_FALSE(waiting->isAbortRequested());
}

// A pause from a handler of the pick event comes before the picked download
// is active; it must still keep the download from running.
TEST_F(WorkerTest, APauseDuringThePickKeepsThePickedDownloadFromRunning) {
    TracedDownload* download = addTraced(set, "download");
    download->body = [this](ScriptedDownload& d) {
        ++runs;
        return complete(d);
    };
    set.onCurrentDownloadChange = [&](int, Download* picked) {
        if (picked != nullptr) {
            worker->pause();
            set.onCurrentDownloadChange.clear();
        }
    };
    startWorker();
    ASSERT_TRUE(pumpUntil([&] { return !set.onCurrentDownloadChange; }));
    pumpFor(250);
    EXPECT_EQ(runs, 0);
    EXPECT_EQ(set.currentDownload(0), nullptr);
    EXPECT_FALSE(download->isAbortRequested());

    worker->resume();
    ASSERT_TRUE(pumpUntil([&] { return download->getState() == State::Complete; }));
    EXPECT_EQ(runs, 1);
}

// A pause handed to the GUI thread at the pick lands while the worker is on
// its way into the run, or inside it. Either way that run must end at once.
TEST_F(WorkerTest, APauseRightAfterThePickStopsThatRun) {
    deleteCompleted = true;
    std::atomic<bool> resumed{false};
    std::atomic<bool> staleAbort{false};
    set.onStatusChange = [](Download*, int) {
    };
    startWorker();
    worker->pause();
    for (int round = 0; round < 10; ++round) {
        TracedDownload* download = addTraced(set, "round" + std::to_string(round));
        download->body = [&](ScriptedDownload& d) {
            if (resumed) {
                staleAbort = staleAbort || d.isAbortRequested();
                return complete(d);
            }
            ++runs;
            d.waitSeconds(60);
            return complete(d);
        };
        resumed = false;
        runs = 0;
        set.onCurrentDownloadChange = [&](int, Download* picked) {
            if (picked != nullptr) {
                platform::post([&] { worker->pause(); });
            }
        };
        worker->resume();
        ASSERT_TRUE(pumpUntil([&] {
            return runs == 1 && download->getState() == State::Queued &&
                   set.currentDownload(0) == nullptr;
        })) << "round "
            << round;

        set.onCurrentDownloadChange.clear();
        resumed = true;
        worker->resume();
        ASSERT_TRUE(pumpUntil([&] { return set.count() == 0; })) << "round " << round;
        worker->pause();
    }
    EXPECT_FALSE(staleAbort);
}

// An abort that reaches the download after its run ended, before the finish
// step, must not cut its next run short.
TEST_F(WorkerTest, APauseBetweenTheRunAndTheFinishStepLeavesNoStaleAbort) {
    std::atomic<bool> endRun{false};
    TracedDownload* download = addTraced(set, "download");
    download->body = [&](ScriptedDownload& d) {
        d.setState(State::WaitingForUser);
        while (!endRun) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return false;
    };
    startWorker();
    ASSERT_TRUE(pumpUntil([&] { return download->getState() == State::WaitingForUser; }));
    endRun = true;
    // The finish step needs this thread, so it waits while this one sleeps.
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    worker->pause();
    ASSERT_TRUE(pumpUntil([&] { return set.currentDownload(0) == nullptr; }));
    EXPECT_FALSE(download->isAbortRequested());
}

} // namespace
