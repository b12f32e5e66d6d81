#include "queue/DownloadsSet.h"

#include "platform/FileOutput.h"
#include "service/DownloadMaker.h"
#include "service/RapidshareDownload.h"
#include "service/ServiceHost.h"
#include "tests/common/TestHelpers.h"
#include "tests/queue/QueueTestSupport.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sstream>
#include <utility>

using testing_helpers::addTraced;
using testing_helpers::pumpFor;
using testing_helpers::TracedDownload;
using tolvenka::Download;
using tolvenka::DownloadsSet;
using State = tolvenka::Download::State;

namespace {

constexpr const char* kindX = testing_helpers::ScriptedDownload::kind;

class DownloadsSetTest : public ::testing::Test {
protected:
    DownloadsSetTest() {
        set.onSetChange = [this](DownloadsSet* changed) {
            EXPECT_EQ(changed, &set);
            ++setChanges;
        };
    }

    std::vector<std::string> names() const {
        std::vector<std::string> result;
        for (const auto& download : set) {
            result.push_back(static_cast<TracedDownload&>(*download).name);
        }
        return result;
    }

    DownloadsSet set{1, 40};
    int setChanges = 0;
};

TEST_F(DownloadsSetTest, PicksTheEarliestQueuedDownloadOfTheKindAndAnnouncesItFirst) {
    addTraced(set, "complete", State::Complete);
    addTraced(set, "error", State::Error);
    addTraced(set, "downloading", State::Downloading);
    Download* first = addTraced(set, "first");
    addTraced(set, "second");

    std::vector<std::pair<int, Download*>> announced;
    set.onCurrentDownloadChange = [&](int slot, Download* download) {
        // The event comes before the slot holds the choice.
        EXPECT_EQ(set.currentDownload(slot), nullptr);
        announced.emplace_back(slot, download);
    };

    EXPECT_EQ(set.pickNext(0, kindX), first);
    EXPECT_EQ(set.currentDownload(0), first);
    EXPECT_EQ(set.slotOf(first), 0);
    ASSERT_EQ(announced.size(), 1u);
    EXPECT_EQ(announced[0], std::make_pair(0, first));
    set.releaseSlot(0);
}

TEST_F(DownloadsSetTest, WithNothingToPickEveryPickClearsTheSlotAndAnnouncesNull) {
    addTraced(set, "error", State::Error);
    Download* queued = addTraced(set, "queued");
    set.pickNext(0, kindX);

    std::vector<Download*> announced;
    set.onCurrentDownloadChange = [&](int, Download* download) {
        announced.push_back(download);
    };
    EXPECT_EQ(set.pickNext(0, "another kind"), nullptr);
    EXPECT_EQ(set.pickNext(0, "another kind"), nullptr);
    EXPECT_EQ(set.currentDownload(0), nullptr);
    EXPECT_EQ(announced, (std::vector<Download*>{nullptr, nullptr}));
    EXPECT_EQ(set.slotOf(queued), -1);
}

TEST_F(DownloadsSetTest, AfterAFruitlessPickAnyChangeIsSeenByTheNext) {
    TracedDownload* done = addTraced(set, "done", State::Complete);
    EXPECT_EQ(set.pickNext(0, kindX), nullptr);
    EXPECT_EQ(set.pickNext(0, kindX), nullptr);
    done->setState(State::Queued); // as an abort puts a download back
    EXPECT_EQ(set.pickNext(0, kindX), done);
    done->setState(State::Complete);
    set.releaseSlot(0);
    EXPECT_EQ(set.pickNext(0, kindX), nullptr);
    TracedDownload* added = addTraced(set, "added");
    EXPECT_EQ(set.pickNext(0, kindX), added);
    set.releaseSlot(0);
}

TEST_F(DownloadsSetTest, ClearingByStateKeepsTheCurrentDownloadAndTheOrder) {
    addTraced(set, "done1", State::Complete);
    addTraced(set, "gone1", State::NotFound);
    TracedDownload* current = addTraced(set, "current");
    addTraced(set, "done2", State::Complete);
    addTraced(set, "gone2", State::NotFound);
    addTraced(set, "queued");
    ASSERT_EQ(set.pickNext(0, kindX), current);
    current->setState(State::Complete);
    setChanges = 0;

    set.clearComplete();
    EXPECT_EQ(names(), (std::vector<std::string>{"gone1", "current", "gone2", "queued"}));
    EXPECT_EQ(setChanges, 1);

    set.clearComplete();
    EXPECT_EQ(setChanges, 2) << "fires also when nothing was removed";

    set.clearNotFound();
    EXPECT_EQ(names(), (std::vector<std::string>{"current", "queued"}));

    set.releaseSlot(0);
    set.clearComplete();
    EXPECT_EQ(names(), (std::vector<std::string>{"queued"}));
}

TEST_F(DownloadsSetTest, ClearAllRefusesWhileASlotIsBusyAndOtherwiseDeletesFromTheLast) {
    std::vector<std::string> deletions;
    addTraced(set, "a", State::Queued, &deletions);
    addTraced(set, "b", State::Complete, &deletions);
    addTraced(set, "c", State::Queued, &deletions);
    set.pickNext(0, kindX);
    setChanges = 0;

    EXPECT_FALSE(set.clearAll());
    EXPECT_EQ(set.count(), 3);
    EXPECT_EQ(setChanges, 0);
    EXPECT_TRUE(deletions.empty());

    set.releaseSlot(0);
    EXPECT_TRUE(set.clearAll());
    EXPECT_EQ(set.count(), 0);
    EXPECT_EQ(setChanges, 1);
    EXPECT_EQ(deletions, (std::vector<std::string>{"c", "b", "a"}));
}

// A subscriber lets go of the leavers while they are still whole.
TEST_F(DownloadsSetTest, LeaversAreDeletedOnlyAfterTheChangeIsAnnounced) {
    std::vector<std::string> deletions;
    addTraced(set, "done", State::Complete, &deletions);
    addTraced(set, "removed", State::Queued, &deletions);
    addTraced(set, "last", State::Queued, &deletions);
    std::vector<std::size_t> deletedWhenAnnounced;
    set.onSetChange = [&](DownloadsSet*) {
        deletedWhenAnnounced.push_back(deletions.size());
    };
    set.clearComplete();
    set.remove({set.at(0)});
    set.clearAll();
    EXPECT_EQ(deletedWhenAnnounced, (std::vector<std::size_t>{0, 1, 2}));
    EXPECT_EQ(deletions.size(), 3U);
}

TEST_F(DownloadsSetTest, RemovingARunningDownloadAbortsItAndItLeavesOnceItsSlotLetsGo) {
    TracedDownload* running = addTraced(set, "running");
    TracedDownload* idle = addTraced(set, "idle");
    addTraced(set, "kept");
    ASSERT_EQ(set.pickNext(0, kindX), running);
    setChanges = 0;
    const std::uint64_t changesBefore = set.changeCount();

    set.remove({running, idle});
    EXPECT_EQ(setChanges, 1);
    EXPECT_GT(set.changeCount(), changesBefore);
    EXPECT_TRUE(running->isAbortRequested());
    EXPECT_EQ(names(), (std::vector<std::string>{"running", "kept"}));
    std::ostringstream saved;
    set.save(saved);
    EXPECT_EQ(saved.str().find("running"), std::string::npos) << "a leaver is not saved";

    // Its run ended back in the queue; the end of the run lets it go.
    running->setState(State::Queued);
    set.finishRun(0);
    EXPECT_EQ(names(), std::vector<std::string>{"kept"});
    EXPECT_EQ(static_cast<TracedDownload*>(set.pickNext(0, kindX))->name, "kept");
    set.releaseSlot(0);
}

TEST_F(DownloadsSetTest, ForwardsStateChangesWithTheSlotOrMinusOne) {
    TracedDownload* idle = addTraced(set, "idle", State::Error);
    TracedDownload* current = addTraced(set, "current");
    set.pickNext(0, kindX);

    std::vector<std::pair<Download*, int>> changes;
    set.onStatusChange = [&](Download* download, int slot) {
        changes.emplace_back(download, slot);
    };
    idle->setState(State::Queued);
    current->setState(State::Processing);

    EXPECT_EQ(changes, (std::vector<std::pair<Download*, int>>{{idle, -1}, {current, 0}}));
    set.releaseSlot(0);
}

TEST_F(DownloadsSetTest, TheWorkTimerReportsOnlyCurrentDownloadsThatAreDownloading) {
    DownloadsSet fastSet(2, 5);
    TracedDownload* first = addTraced(fastSet, "first");
    TracedDownload* second = addTraced(fastSet, "second");
    fastSet.pickNext(0, kindX);
    fastSet.pickNext(1, kindX); // the same download: slots do not exclude each other
    addTraced(fastSet, "notCurrent", State::Downloading);

    std::vector<std::pair<Download*, int>> reports;
    fastSet.onWork = [&](Download* download, int slot) {
        reports.emplace_back(download, slot);
    };
    first->setState(State::Downloading);
    second->setState(State::Downloading);
    pumpFor(40);

    ASSERT_FALSE(reports.empty());
    for (const auto& report : reports) {
        EXPECT_EQ(report.first, first);
    }
    EXPECT_EQ(reports[0].second, 0);
    EXPECT_EQ(reports[1].second, 1);
    fastSet.releaseSlot(0);
    fastSet.releaseSlot(1);
}

// Moves keep the moved ones in their order, pass over the rest one place at
// a time or all at once, never interrupt a run, and the worker picks in the
// new order.
TEST_F(DownloadsSetTest, MovedDownloadsKeepTheirOrderAndArePickedInTheNewOne) {
    std::vector<const Download*> all;
    for (const char* name : {"a", "b", "c", "d", "e"}) {
        all.push_back(addTraced(set, name));
    }
    const auto only = [&](std::initializer_list<int> indexes) {
        std::vector<const Download*> chosen;
        for (const int index : indexes) {
            chosen.push_back(all[static_cast<std::size_t>(index)]);
        }
        return chosen;
    };
    using Move = DownloadsSet::Move;
    EXPECT_TRUE(set.move(only({1, 3}), Move::Up));
    EXPECT_EQ(names(), (std::vector<std::string>{"b", "a", "d", "c", "e"}));
    EXPECT_FALSE(set.move(only({1, 0}), Move::Up)) << "a run at the top stays";
    EXPECT_TRUE(set.move(only({2}), Move::Down));
    EXPECT_EQ(names(), (std::vector<std::string>{"b", "a", "d", "e", "c"}));

    Download* running = set.pickNext(0, kindX);
    EXPECT_EQ(running, all[1]);
    const int changesBefore = setChanges;
    EXPECT_TRUE(set.move(only({4, 1}), Move::ToBottom));
    EXPECT_EQ(names(), (std::vector<std::string>{"a", "d", "c", "b", "e"}));
    EXPECT_EQ(set.currentDownload(0), running) << "the running one runs on";
    EXPECT_EQ(setChanges, changesBefore + 1);
    EXPECT_FALSE(set.move(only({4}), Move::ToBottom));
    set.releaseSlot(0);

    EXPECT_TRUE(set.move(only({4}), Move::ToTop));
    EXPECT_EQ(set.pickNext(0, kindX), all[4]);
    set.releaseSlot(0);
    // A drop before the third row of the list as it stands.
    EXPECT_TRUE(set.moveBefore(only({4, 0}), 3));
    EXPECT_EQ(names(), (std::vector<std::string>{"d", "e", "a", "c", "b"}));
}

// A held download is never picked, a running one is aborted and stays held
// in the queue, and letting a stopped one go gives it a new try.
TEST_F(DownloadsSetTest, HeldDownloadsAreNeverPickedAndReleasingAStoppedOneRetriesIt) {
    TracedDownload* running = addTraced(set, "running");
    TracedDownload* stopped = addTraced(set, "stopped");
    TracedDownload* queued = addTraced(set, "queued");
    ASSERT_EQ(set.pickNext(0, kindX), running);
    stopped->setState(State::Error);

    set.hold({running, stopped});
    EXPECT_TRUE(running->isAbortRequested());
    EXPECT_TRUE(running->isHeld() && stopped->isHeld());
    running->setState(State::Queued); // its run ends, back in the queue
    set.releaseSlot(0);
    EXPECT_EQ(set.pickNext(0, kindX), queued);
    set.releaseSlot(0);
    queued->setState(State::Complete);
    set.retryStopped();
    EXPECT_EQ(stopped->getState(), State::Error) << "held ones stay held";
    EXPECT_EQ(set.pickNext(0, kindX), nullptr);

    std::ostringstream saved;
    set.save(saved);
    EXPECT_NE(saved.str().find("Paused"), std::string::npos);

    set.release({running, stopped});
    EXPECT_EQ(stopped->getState(), State::Queued);
    EXPECT_EQ(set.pickNext(0, kindX), running);
    set.releaseSlot(0);
}

// A failed download waits out its back-off while others run, and is picked
// when it is due.
TEST_F(DownloadsSetTest, AFailedDownloadIsPickedOnceItsNextTryIsDue) {
    testing_helpers::FakeClock clock;
    TracedDownload* failed = addTraced(set, "failed");
    failed->body = [](testing_helpers::ScriptedDownload& download) {
        download.retryAfter(4);
        throw std::runtime_error("conversation failed");
        return false;
    };
    ASSERT_EQ(set.pickNext(0, kindX), failed);
    EXPECT_THROW(failed->run(), std::runtime_error);
    set.releaseSlot(0);
    TracedDownload* next = addTraced(set, "next");
    EXPECT_EQ(set.pickNext(0, kindX), next);
    next->setState(State::Complete);
    set.releaseSlot(0);

    EXPECT_EQ(set.pickNext(0, kindX), nullptr);
    EXPECT_EQ(set.nextDueMs(kindX), clock.nowMs() + 4000);
    EXPECT_EQ(set.nextToRetry(), failed);
    EXPECT_EQ(failed->getWaitTimeLeft(), "0:00:04");
    clock.advance(4000);
    EXPECT_EQ(set.pickNext(0, kindX), failed);
    set.releaseSlot(0);
}

class DownloadsSetWithRegistryTest : public DownloadsSetTest {
protected:
    DownloadsSetWithRegistryTest() {
        tolvenka::setServiceHost(std::string(tolvenka::DEFAULT_SERVICE_HOST));
    }

    std::string link(const std::string& name) const {
        return "http://" + tolvenka::serviceHost() + "/files/123/" + name;
    }

    std::unique_ptr<tolvenka::DownloadMaker> maker = std::make_unique<tolvenka::DownloadMaker>();
};

// A link in the queue names the same file however it is spelt; a finished
// one is no longer held.
TEST_F(DownloadsSetWithRegistryTest, HoldsAnUnfinishedFileHoweverItsLinkIsSpelt) {
    const std::string done = "http://" + tolvenka::serviceHost() + "/files/7/done.zip";
    std::istringstream records(tolvenka::serviceHost() + "\r\n" + link("a.zip") +
                               "\r\n/tmp/a.zip\r\nQueue\r\n\r\n" + tolvenka::serviceHost() +
                               "\r\n" + done + "\r\n/tmp/done.zip\r\nComplete\r\n\r\n");
    set.load(records);
    EXPECT_EQ(set.holdsUnfinished({"HTTPS://RapidShare.COM/files/0123/a%2Ezip",
                                   "http://rapidshare.com:80/files/123/a.zip", link("A.zip"),
                                   link("a.zip%20"), done}),
              (std::vector<bool>{true, true, false, false, false}));
    EXPECT_EQ(set.holdsComplete({"https://rapidshare.com/files/7/done.zip", link("a.zip")}),
              (std::vector<bool>{true, false}));
}

TEST_F(DownloadsSetWithRegistryTest, AddsOnlyLinksThatAKindAccepts) {
    set.add("http://elsewhere.test/files/123/a.zip", "/tmp");
    set.add("", link("a.zip"), "/tmp");
    EXPECT_EQ(set.count(), 0);
    EXPECT_EQ(setChanges, 0);

    set.add(link("a.zip"), "/tmp");
    ASSERT_EQ(set.count(), 1);
    EXPECT_EQ(setChanges, 1);
    Download* added = set.at(0);
    EXPECT_EQ(added->getKindName(), tolvenka::serviceHost());
    EXPECT_EQ(added->getTargetPath(), "/tmp/a.zip");
    EXPECT_EQ(set.pickNext(0, tolvenka::serviceHost()), added);
    set.releaseSlot(0);
}

TEST_F(DownloadsSetWithRegistryTest, ANewFileTakesTheFirstNameThatNeitherTheDiskNorTheQueueHolds) {
    testing_helpers::TempDir dir;
    testing_helpers::writeFile(dir.file("small.txt"), "the user's own");
    // Another program's unfinished file.
    testing_helpers::writeFile(dir.file("other.txt.part"), "a browser's");
    set.add({link("small.txt"), "http://" + tolvenka::serviceHost() + "/files/9/small.txt",
             link("other.txt")},
            dir.path());
    set.add(link("small.txt"), dir.path());
    std::vector<std::string> targets;
    for (const auto& download : set) {
        targets.emplace_back(download->getTargetPath());
    }
    EXPECT_EQ(targets,
              (std::vector<std::string>{dir.file("small (1).txt"), dir.file("small (2).txt"),
                                        dir.file("other (1).txt"), dir.file("small (3).txt")}));
    EXPECT_EQ(setChanges, 2);

    // Sent to another folder, each keeps its file name where it is free,
    // and what a run of it that died left in the old one goes.
    testing_helpers::TempDir other;
    testing_helpers::writeFile(other.file("small (2).txt"), "taken");
    platform::FileOutput leftover;
    const bool marks =
        leftover.create(dir.file("other (1).txt.part"),
                        tolvenka::RapidshareDownload::UNFINISHED_MARK, link("other.txt")) &&
        leftover.close();
    ASSERT_EQ(set.pickNext(0, tolvenka::serviceHost()), set.at(0));
    EXPECT_EQ(set.moveToFolder({set.at(0), set.at(1), set.at(2)}, other.path()), 2);
    EXPECT_EQ(set.at(0)->getTargetPath(), dir.file("small (1).txt")) << "it is running";
    EXPECT_EQ(set.at(1)->getTargetPath(), other.file("small (2) (1).txt"));
    EXPECT_EQ(set.at(2)->getTargetPath(), other.file("other (1).txt"));
    EXPECT_NE(std::filesystem::exists(dir.file("other (1).txt.part")), marks);
    EXPECT_TRUE(std::filesystem::exists(dir.file("other.txt.part")));
    set.releaseSlot(0);
}

// Links of one file name in one batch take the numbers in turn, past what
// the disk holds.
TEST_F(DownloadsSetWithRegistryTest, ManyLinksOfOneNameTakeTheNumbersInTurn) {
    testing_helpers::TempDir dir;
    testing_helpers::writeFile(dir.file("a (3).zip"), "the user's own");
    std::vector<std::string> links;
    for (int id = 0; id < 6; ++id) {
        links.push_back("http://" + tolvenka::serviceHost() + "/files/" + std::to_string(id) +
                        "/a.zip");
    }
    set.add(links, dir.path());
    std::vector<std::string> targets;
    for (const auto& download : set) {
        targets.emplace_back(download->getTargetPath());
    }
    EXPECT_EQ(targets, (std::vector<std::string>{dir.file("a.zip"), dir.file("a (1).zip"),
                                                 dir.file("a (2).zip"), dir.file("a (4).zip"),
                                                 dir.file("a (5).zip"), dir.file("a (6).zip")}));
}

TEST_F(DownloadsSetWithRegistryTest, LoadReplacesTheQueueSilentlyAndForwardsChanges) {
    addTraced(set, "old");
    std::istringstream file(tolvenka::serviceHost() + "\r\n" + link("a.zip") +
                            "\r\n/tmp/a.zip\r\nQueue\r\n\r\n");
    int statusChanges = 0;
    int currentChanges = 0;
    set.onStatusChange = [&](Download*, int slot) {
        EXPECT_EQ(slot, 0);
        ++statusChanges;
    };
    set.onCurrentDownloadChange = [&](int, Download*) {
        ++currentChanges;
    };
    setChanges = 0;

    set.load(file);
    ASSERT_EQ(set.count(), 1);
    EXPECT_EQ((*set.begin())->getLink(), link("a.zip"));
    EXPECT_EQ(statusChanges + currentChanges, 0);
    EXPECT_EQ(setChanges, 1) << "a subscriber must learn that the old downloads are gone";

    // The loaded download forwards its state changes, here through the
    // abort-free end of a run of a file that cannot be reached.
    set.pickNext(0, tolvenka::serviceHost());
    (*set.begin())->abort();
    (*set.begin())->run();
    EXPECT_GE(statusChanges, 1);
    set.releaseSlot(0);
}

} // namespace
