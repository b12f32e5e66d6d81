#include "engine/TargetFolderCheck.h"
#include "http/HttpClient.h"
#include "http/SpeedLimit.h"
#include "platform/Clock.h"
#include "support/Cp1251.h"
#include "tests/common/BackgroundRun.h"
#include "tests/common/LoopbackServer.h"
#include "tests/common/TestHelpers.h"
#include "tests/engine/ScriptedDownload.h"

#include <QCoreApplication>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <gtest/gtest.h>
#include <set>
#include <sstream>
#include <stdexcept>
#include <thread>

using namespace kestrune::text::literals;
using testing_helpers::BackgroundRun;
using testing_helpers::FakeClock;
using testing_helpers::LoopbackServer;
using testing_helpers::pumpFor;
using testing_helpers::pumpUntil;
using testing_helpers::ScriptedDownload;
using testing_helpers::TempDir;
using tolvenka::Download;
using State = tolvenka::Download::State;

TEST(DownloadTargetPath, AFolderGetsTheFileNameOfTheLinkWhetherItExistsOrNot) {
    const TempDir existing;
    for (const std::string& folder : {existing.path(), std::string("/no/such/folder")}) {
        EXPECT_EQ(Download::targetPathIn(folder, "http://h/files/4711/report.zip"),
                  folder + "/report.zip");
        EXPECT_EQ(Download::targetPathIn(folder + "/", "http://h/files/4711/report.zip"),
                  folder + "/report.zip");
        EXPECT_EQ(Download::targetPathIn(folder, "C:\\dir\\name.txt"), folder + "/name.txt");
        EXPECT_EQ(Download::targetPathIn(folder, "plainname"), folder + "/plainname");
    }
    EXPECT_EQ(Download::targetPathIn("", "http://h/files/1/a.zip"), "a.zip");
}

TEST(DownloadTargetPath, PercentEscapesAreDecodedWhereTheNameStaysAFileName) {
    const auto nameOf = [](const std::string& link) {
        return Download::localFileNameOf(link);
    };
    EXPECT_EQ(nameOf("http://h/files/3006/%D0%9E%D1%82%D1%87%D1%91%D1%82.zip"), "Отчёт.zip"_cp1251);
    EXPECT_EQ(nameOf("http://h/files/1/my%20file%2b1.txt"), "my file+1.txt");
    // Letters written as they are, beside escapes.
    EXPECT_EQ(nameOf(std::string("http://h/files/2/Годовой%20отчёт.pdf"_cp1251)),
              "Годовой отчёт.pdf"_cp1251);
    // Kept as written: a separator, a control byte, no CP1251 form (a
    // Chinese letter), a dot name, a broken escape.
    for (const std::string name : {"a%2Fb", "a%0Ab", "%E4%B8%AD.txt", "%2E%2E", "100%.txt"}) {
        EXPECT_EQ(nameOf("http://h/files/1/" + name), name);
    }
    // A name longer than file systems hold is cut before its extension:
    // 200 Cyrillic letters are 400 bytes of UTF-8.
    std::string longName;
    for (int i = 0; i < 200; ++i) {
        longName += "%D0%AF";
    }
    const std::string cut = nameOf("http://h/files/1/" + longName + ".zip");
    EXPECT_EQ(cut, std::string(119, "Я"_cp1251[0]) + ".zip");
}

TEST(DownloadTargetPath, ATakenPathGetsTheFirstFreeNumber) {
    const std::set<std::string> taken = {"/d/small.txt", "/d/small (1).txt", "/d/.profile",
                                         "/d.x/noext"};
    const auto isTaken = [&](const std::string& path) {
        return taken.count(path) != 0;
    };
    EXPECT_EQ(Download::firstFreePath("/d/free.txt", isTaken), "/d/free.txt");
    EXPECT_EQ(Download::firstFreePath("/d/small.txt", isTaken), "/d/small (2).txt");
    EXPECT_EQ(Download::firstFreePath("/d/.profile", isTaken), "/d/.profile (1)");
    EXPECT_EQ(Download::firstFreePath("/d.x/noext", isTaken), "/d.x/noext (1)");
}

TEST(DownloadTargetPath, AStoredPathIsKeptUnlessItNamesAnExistingFolder) {
    TempDir dir;
    const std::string stored = dir.path() + "/report.zip";
    EXPECT_EQ(ScriptedDownload("http://h/files/1/other.zip", stored).getTargetPath(), stored);
    const std::string cyrillicFolder = dir.path() + std::string("/Файлы"_cp1251);
    std::filesystem::create_directory(dir.path() + "/Файлы");
    EXPECT_EQ(ScriptedDownload("http://h/files/1/a.zip", cyrillicFolder).getTargetPath(),
              cyrillicFolder + "/a.zip");
}

TEST(TargetFolder, AMissingOneIsMadeAndOneThatCannotTakeFilesIsRefusedWithItsReason) {
    const TempDir dir;
    EXPECT_EQ(tolvenka::targetFolderRefusal(dir.path() + std::string("/Новая/папка"_cp1251)), "");
    const std::filesystem::path made = dir.path() + "/Новая/папка";
    EXPECT_TRUE(std::filesystem::is_directory(made));
    EXPECT_TRUE(std::filesystem::is_empty(made)) << "the file made to try is gone";

    testing_helpers::writeFile(dir.file("file"), "x");
    const std::string blocked = dir.file("file") + "/sub";
    EXPECT_EQ(tolvenka::targetFolderRefusal(blocked),
              std::string("Нельзя сохранять файлы в папку "_cp1251) + blocked +
                  std::string(": не удаётся создать папку "_cp1251) + blocked + ".");
}

TEST(DownloadStates, CaptionsAndStoredWords) {
    const std::pair<State, std::string_view> captions[] = {
        {State::Queued, "В очереди"_cp1251},
        {State::Processing, "В обработке"_cp1251},
        {State::Error, "Ошибка"_cp1251},
        {State::WaitingForStart, "Ожидание начала загрузки"_cp1251},
        {State::WaitingForUser, "Ожидание действий пользователя"_cp1251},
        {State::Downloading, "Загрузка"_cp1251},
        {State::Complete, "Готово"_cp1251},
        {State::NotFound, "Файл не найден"_cp1251},
    };
    for (const auto& [state, caption] : captions) {
        EXPECT_EQ(Download::captionOf(state), caption);
        const std::string word = Download::persistedWordOf(state);
        EXPECT_EQ(word, state == State::Complete   ? "Complete"
                        : state == State::NotFound ? "NotFound"
                                                   : "Queue");
    }
}

TEST(DownloadSave, WritesTheRecordWithCrLfAndTheKindData) {
    ScriptedDownload download("http://h/files/1/a.zip", "/no/such/a.zip");
    download.setState(State::Downloading);
    std::ostringstream out;
    download.save(out);
    EXPECT_EQ(out.str(), "scripted\r\nhttp://h/files/1/a.zip\r\n/no/such/a.zip\r\nQueue\r\n"
                         "kind data\r\n\r\n");
}

// What a download keeps of its texts comes back whole whatever they hold,
// a new target may be a piece of the old one, and the kind's name is the one
// it was made with, whichever thread made it.
TEST(DownloadTexts, LinkTargetAndKindComeBackAsGiven) {
    using namespace std::string_literals;
    const std::pair<std::string, std::string> texts[] = {
        {"", ""},
        {"http://h/files/1/a.zip", ""},
        {"http://h/a\0b"s, "/d/\0x"s},
        {std::string(70'000, 'l'), std::string(70'000, 'p')},
    };
    for (const auto& [link, target] : texts) {
        ScriptedDownload download(link, target);
        EXPECT_EQ(download.getLink(), link);
        EXPECT_EQ(download.getTargetPath(), target);
        download.retarget(download.getTargetPath().substr(target.size() / 2));
        EXPECT_EQ(download.getTargetPath(), target.substr(target.size() / 2));
        EXPECT_EQ(download.getLink(), link);
    }

    std::vector<std::unique_ptr<ScriptedDownload>> made(200);
    const auto kindOf = [](std::size_t i) {
        return i % 3 == 0 ? "one" : "two";
    };
    const auto make = [&](std::size_t from) {
        for (std::size_t i = from; i < made.size(); i += 2) {
            made[i] = std::make_unique<ScriptedDownload>("http://h/x", "/d/x", kindOf(i));
        }
    };
    std::thread other(make, 1);
    make(0);
    other.join();
    for (std::size_t i = 0; i < made.size(); ++i) {
        EXPECT_EQ(made[i]->getKindName(), kindOf(i)) << i;
    }
}

// A download that never ran (one read from the queue file as not found)
// has no reason and no next try, and goes back to the queue as one that ran
// and failed does, losing both.
TEST(DownloadRetry, NoReasonOrNextTryBeforeARunAndNoneAfterARequeue) {
    ScriptedDownload download("http://h/files/1/a.zip", "/no/such/a.zip");
    download.setState(State::NotFound);
    EXPECT_EQ(download.getFailureReason(), "");
    EXPECT_EQ(download.getRetryAtMs(), -1);
    EXPECT_EQ(download.getWaitEndsAtMs(), -1);
    download.requeue();
    EXPECT_TRUE(download.isDue(0));

    download.body = [](ScriptedDownload& self) -> bool {
        self.setFailureReason("why");
        self.retryAfter(5);
        throw std::runtime_error("network");
    };
    const std::int64_t before = platform::clockMs();
    EXPECT_THROW(download.run(), std::runtime_error);
    EXPECT_EQ(download.getFailureReason(), "why");
    EXPECT_GE(download.getRetryAtMs(), before + 5'000);
    EXPECT_EQ(download.getWaitEndsAtMs(), download.getRetryAtMs());
    EXPECT_FALSE(download.hasStoppedWithError());
    download.requeue();
    EXPECT_EQ(download.getFailureReason(), "");
    EXPECT_EQ(download.getRetryAtMs(), -1);
    EXPECT_TRUE(download.isDue(0));
}

TEST(DownloadProgress, RemainingTimeReadsHoursMinutesSeconds) {
    EXPECT_EQ(Download::formatRemainingTime(3725), "1:02:05");
    EXPECT_EQ(Download::formatRemainingTime(59), "0:00:59");
    EXPECT_EQ(Download::formatRemainingTime(90061), "25:01:01");
    EXPECT_EQ(Download::formatRemainingTime(0), "0:00:00");
}

TEST(DownloadProgress, RemainingTimeCountsWholeKilobytesPerSecond) {
    EXPECT_EQ(Download::remainingSeconds(1'536'000 - 1024, 12.37L), 124);
    EXPECT_EQ(Download::remainingSeconds(10 * 1024, 1.99L), 10);
    EXPECT_EQ(Download::remainingSeconds(10 * 1024, 0.99L), -1);
    EXPECT_EQ(Download::remainingSeconds(0, 5), 0);
    EXPECT_EQ(Download::remainingSeconds(std::int64_t{1} << 62, 1), (std::int64_t{1} << 52));
}

namespace {

// A transfer that reports each of `totals` as the bytes read so far, the
// first at once and each next one at a goOn(), and completes at the goOn()
// after the last.
class SteppedTransfer {
public:
    SteppedTransfer(ScriptedDownload& download, std::vector<std::int64_t> totals)
        : steps(totals.size()) {
        download.body = [this, totals = std::move(totals)](ScriptedDownload& self) {
            self.resetProgress();
            self.setState(State::Downloading);
            auto& client = self.getHttpClient();
            for (const std::int64_t total : totals) {
                client.OnWork(&client, http::WorkMode::Reading, total);
                ++reported;
                while (allowed < reported) {
                    platform::sleepMs(5);
                }
            }
            self.setState(State::Complete);
            return true;
        };
    }

    // Returns once the next figure, if any, is reported, without running the
    // GUI thread's events (and so its ticks) meanwhile.
    void goOn() {
        ++allowed;
        while (reported <= allowed && reported < steps) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }

private:
    const std::size_t steps;
    std::atomic<std::size_t> allowed{0};
    std::atomic<std::size_t> reported{0};
};

} // namespace

TEST(DownloadProgress, SpeedIsTheMeanOfTheTicksInKilobytesPerSecond) {
    ScriptedDownload download("http://h/files/1/a.zip", "/no/such/a.zip");
    SteppedTransfer transfer(download, {102'400});
    BackgroundRun run(download);
    // The first tick after the work report holds all of its bytes.
    ASSERT_TRUE(pumpUntil([&] { return download.getSpeed() > 0; }));
    EXPECT_EQ(download.getSpeed(), 1000.0L);
    EXPECT_EQ(download.getReceivedBytes(), 102'400);
    // Later ticks bring nothing, and the mean falls.
    ASSERT_TRUE(pumpUntil([&] { return download.getSpeed() < 1000; }));
    const long double ticks = 1000.0L / download.getSpeed();
    EXPECT_EQ(ticks, std::trunc(ticks));
    EXPECT_GE(ticks, 2);
    transfer.goOn();
    ASSERT_TRUE(pumpUntil([&] { return run.finished(); }));
    EXPECT_EQ(download.getSpeed(), -1);
}

// Else the figure would take the whole window to creep from the old limit
// to the new one.
TEST(DownloadProgress, ANewSpeedLimitStartsTheSpeedFigureOver) {
    ScriptedDownload download("http://h/files/1/a.zip", "/no/such/a.zip");
    SteppedTransfer transfer(download, {102'400, 204'800});
    http::SpeedLimit limit;
    limit.set(300 * 1024);
    BackgroundRun run(download, &limit);
    // Ticks with nothing new bring the mean down from 1000 kB/s.
    ASSERT_TRUE(pumpUntil([&] { return download.getSpeed() > 0 && download.getSpeed() < 500; }));

    // No tick runs before the GUI thread's events do again.
    limit.set(600 * 1024);
    transfer.goOn();
    ASSERT_TRUE(pumpUntil([&] { return download.getSpeed() >= 500; }));
    EXPECT_EQ(download.getSpeed(), 1000.0L) << "the first tick after the change alone";
    transfer.goOn();
    ASSERT_TRUE(pumpUntil([&] { return run.finished(); }));
}

TEST(DownloadProgress, FiguresAreSafeToReadWhileRunsComeAndGo) {
    ScriptedDownload download("http://h/files/1/a.zip", "/no/such/a.zip");
    download.body = [](ScriptedDownload& self) {
        self.resetProgress();
        self.setState(State::Downloading);
        auto& client = self.getHttpClient();
        for (int i = 1; i <= 50; ++i) {
            client.OnWork(&client, http::WorkMode::Reading, i * 1000);
        }
        self.setState(State::Complete);
        return true;
    };
    std::atomic<bool> stop{false};
    std::atomic<bool> stopped{false};
    std::thread worker([&] {
        while (!stop) {
            download.run();
        }
        stopped = true;
    });
    // The GUI thread's ticks push samples and the figures read them while
    // the worker opens and frees the samples with every run.
    for (int i = 0; i < 300; ++i) {
        (void)download.getSpeed();
        (void)download.getRemainingTime();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        if (i % 50 == 0) {
            pumpFor(101);
        }
    }
    stop = true;
    // A run waits for the GUI thread when its transfer starts and ends.
    EXPECT_TRUE(pumpUntil([&] { return stopped.load(); }));
    worker.join();
}

TEST(DownloadProgress, NoFiguresOutsideATransfer) {
    ScriptedDownload download("http://h/files/1/a.zip", "/no/such/a.zip");
    EXPECT_EQ(download.getTotalBytes(), -1);
    EXPECT_EQ(download.getReceivedBytes(), -1);
    EXPECT_EQ(download.getSpeed(), -1);
    EXPECT_EQ(download.getRemainingTime(), "-");
    // Downloading, but no sample and no reply yet.
    download.setState(State::Downloading);
    EXPECT_EQ(download.getSpeed(), -1);
    EXPECT_EQ(download.getTotalBytes(), -1);
    EXPECT_EQ(download.getRemainingTime(), "-");
}

TEST(DownloadRun, ReportsTheKindsVerdictAndEveryStateChange) {
    ScriptedDownload download("http://h/files/1/a.zip", "/no/such/a.zip");
    std::vector<State> seen;
    download.onStatusChange = [&](Download* sender) {
        EXPECT_EQ(sender, &download);
        seen.push_back(sender->getState());
    };
    download.body = [](ScriptedDownload& self) {
        EXPECT_EQ(self.getState(), State::Processing);
        self.setState(State::Complete);
        return true;
    };
    EXPECT_TRUE(download.run());
    EXPECT_EQ(seen, (std::vector<State>{State::Processing, State::Complete}));
}

TEST(DownloadRun, AFailureEndsInErrorAndReachesTheCaller) {
    ScriptedDownload download("http://h/files/1/a.zip", "/no/such/a.zip");
    download.body = [](ScriptedDownload&) -> bool {
        throw std::runtime_error("network");
    };
    EXPECT_THROW(download.run(), std::runtime_error);
    EXPECT_EQ(download.getState(), State::Error);
}

TEST(DownloadRun, AnAbortEndsInQueuedWithFalse) {
    ScriptedDownload download("http://h/files/1/a.zip", "/no/such/a.zip");
    download.body = [](ScriptedDownload&) -> bool {
        throw Download::AbortType::Requested;
    };
    EXPECT_FALSE(download.run());
    EXPECT_EQ(download.getState(), State::Queued);
}

TEST(DownloadWait, ZeroOrFewerSecondsReturnAtOnceEvenAfterAnAbort) {
    ScriptedDownload download("http://h/files/1/a.zip", "/no/such/a.zip");
    download.body = [](ScriptedDownload& self) {
        self.abort();
        self.waitSeconds(0);
        self.waitSeconds(-20);
        return true;
    };
    EXPECT_TRUE(download.run());
}

TEST(DownloadWait, WaitsTheWholeTimeOnTheClock) {
    FakeClock clock;
    ScriptedDownload download("http://h/files/1/a.zip", "/no/such/a.zip");
    download.body = [](ScriptedDownload& self) {
        self.waitSeconds(50);
        return true;
    };
    const auto start = clock.nowMs();
    EXPECT_TRUE(download.run());
    EXPECT_EQ(clock.nowMs() - start, 50'000);
}

TEST(DownloadAbort, EndsAWaitWithinMilliseconds) {
    ScriptedDownload download("http://h/files/1/a.zip", "/no/such/a.zip");
    download.body = [](ScriptedDownload& self) {
        self.setState(State::WaitingForStart);
        self.waitSeconds(3600);
        return true;
    };
    BackgroundRun run(download);
    ASSERT_TRUE(pumpUntil([&] { return download.getState() == State::WaitingForStart; }));
    download.abort();
    ASSERT_TRUE(pumpUntil([&] { return run.finished(); }, 2000));
    EXPECT_FALSE(run.succeeded());
    EXPECT_EQ(download.getState(), State::Queued);
}

TEST(DownloadAbort, AnAbortBeforeTheRunStartsStillStopsItAndIsThenForgotten) {
    ScriptedDownload download("http://h/files/1/a.zip", "/no/such/a.zip");
    download.body = [](ScriptedDownload& self) {
        self.waitSeconds(3600);
        return true;
    };
    download.abort();
    EXPECT_FALSE(download.run());
    EXPECT_EQ(download.getState(), State::Queued);

    download.body = [](ScriptedDownload& self) {
        return !self.isAbortRequested();
    };
    EXPECT_TRUE(download.run());
}

TEST(DownloadAbort, CutsAHangingRequestAtOnce) {
    LoopbackServer server(LoopbackServer::Mode::Silent);
    ScriptedDownload download(server.url("/files/1/a.zip"), "/no/such/a.zip");
    download.body = [&](ScriptedDownload& self) {
        self.setState(State::WaitingForStart);
        self.getHttpClient().Get(server.url());
        return true;
    };
    BackgroundRun run(download);
    ASSERT_TRUE(pumpUntil([&] { return server.acceptedConnections() == 1; }));
    download.abort();
    ASSERT_TRUE(pumpUntil([&] { return run.finished(); }, 2000));
    EXPECT_TRUE(run.failed());
    EXPECT_EQ(download.getState(), State::Error);
}

TEST(DownloadIdleGuard, DisconnectsOnTheFirstTickAfter120Seconds) {
    FakeClock clock;
    LoopbackServer server(LoopbackServer::Mode::Silent);
    ScriptedDownload download(server.url("/files/1/a.zip"), "/no/such/a.zip");
    download.body = [&](ScriptedDownload& self) {
        self.resetProgress();
        self.setState(State::Downloading);
        self.getHttpClient().Get(server.url());
        return true;
    };
    const std::int64_t start = clock.nowMs();
    BackgroundRun run(download);
    ASSERT_TRUE(pumpUntil([&] { return server.acceptedConnections() == 1; }));
    ASSERT_EQ(download.getState(), State::Downloading);

    clock.set(start + 120'000); // exactly 120.0 s: not yet
    pumpFor(350);
    EXPECT_FALSE(run.finished());

    clock.set(start + 120'001);
    ASSERT_TRUE(pumpUntil([&] { return run.finished(); }, 2000));
    EXPECT_TRUE(run.failed());
}
