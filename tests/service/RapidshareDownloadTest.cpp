#include "http/ProxySettings.h"
#include "platform/DirectoryLookup.h"
#include "platform/FileOutput.h"
#include "support/Cp1251.h"
#include "tests/common/BackgroundRun.h"
#include "tests/http/ProxyEnvironment.h"
#include "tests/http/ProxyServers.h"
#include "tests/service/ServiceFixture.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <sstream>
#include <unistd.h>

using namespace kestrune::text::literals;
using servicesim::Step;
using testing_helpers::BackgroundRun;
using testing_helpers::FakeClock;
using testing_helpers::pumpUntil;
using testing_helpers::readFile;
using testing_helpers::TempDir;
using testing_helpers::writeFile;
using tolvenka::Download;
using tolvenka::RapidshareDownload;

namespace {

using Conversation = testing_helpers::ServiceFixture;
using ServiceState = RapidshareDownload::ServiceState;

// Runs the download to its end on a background thread, telling `arrivals`
// of its file.
bool runToEnd(Download& download, const Download::ArrivalReport* arrivals = nullptr) {
    BackgroundRun run(download, nullptr, arrivals);
    EXPECT_TRUE(pumpUntil([&] { return run.finished(); }, 20'000));
    EXPECT_FALSE(run.failed());
    return run.succeeded();
}

// Runs the download to its end, and again, as a worker with nothing else to
// do would, as long as it ends due for a next try; the wait between the runs
// passes on `clock`.
bool runUntilSettled(Download& download, FakeClock& clock) {
    for (;;) {
        const bool arrived = runToEnd(download);
        const std::int64_t due = download.getRetryAtMs();
        if (download.getState() != Download::State::Error || due < 0) {
            return arrived;
        }
        clock.sleepMs(std::max<std::int64_t>(0, due - clock.nowMs()));
    }
}

// A file at `path` as a transfer leaves it: marked `mark` with `link`, and
// still open in `file`. False where the file system keeps no marks.
bool leaveMarkedFile(platform::FileOutput& file, const std::string& path, const char* mark,
                     std::string_view link) {
    return file.create(path) && (file.stream() << "some bytes" << std::flush) &&
           file.mark(mark, link);
}

bool leaveMarkedFile(const std::string& path, const char* mark, std::string_view link) {
    platform::FileOutput file;
    return leaveMarkedFile(file, path, mark, link) && file.close();
}

} // namespace

TEST_F(Conversation, ACountdownLeadsToTheWholeFileAndExactRequests) {
    FakeClock clock;
    auto download = downloadOf(fileSpec({Step::countdown("45")}, 100'000));
    // Told once the file has its name, before the download says Complete.
    std::vector<Download::ArrivedFile> told;
    const Download::ArrivalReport arrivals = [&](Download& arrived,
                                                 const Download::ArrivedFile& file) {
        EXPECT_NE(arrived.getState(), Download::State::Complete);
        EXPECT_EQ(readFile(folder.path() + "/report.zip").size(), 100'000u);
        told.push_back(file);
    };
    EXPECT_TRUE(runToEnd(*download, &arrivals));
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0].bytes, 100'000);
    EXPECT_GE(told[0].seconds, 0);
    EXPECT_FALSE(told[0].foundByMark);

    EXPECT_EQ(states, (std::vector<ServiceState>{ServiceState::InQueue, ServiceState::Countdown,
                                                 ServiceState::Transferring, ServiceState::Done}));
    EXPECT_EQ(clock.totalSleptMs(), 50'000); // the countdown and 5 seconds more
    EXPECT_EQ(download->getState(), Download::State::Complete);
    EXPECT_EQ(readFile(folder.path() + "/report.zip"),
              servicesim::expectedContent("4711", 100'000));
    EXPECT_FALSE(std::filesystem::exists(folder.path() + "/report.zip.part"));

    const auto requests = sim.requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0].method, "GET");
    EXPECT_EQ(requests[0].target, "/files/4711/report.zip");
    EXPECT_EQ(requests[1].method, "POST");
    EXPECT_EQ(requests[1].body, "dl.start=Free");
    EXPECT_EQ(requests[2].method, "POST");
    EXPECT_EQ(requests[2].body, "mirror=");
    EXPECT_EQ("http://" + sim.host() + requests[2].target, sim.finalFormUrl("4711"));
}

TEST_F(Conversation, NotFoundWinsOverTheFreeForm) {
    auto download = downloadOf(fileSpec({Step::notFoundWithForm()}));
    EXPECT_FALSE(runToEnd(*download));
    EXPECT_EQ(states,
              (std::vector<ServiceState>{ServiceState::InQueue, ServiceState::FileNotFound}));
    EXPECT_EQ(download->getState(), Download::State::NotFound);
    EXPECT_EQ(download->getStateCaption(), "Файл не найден"_cp1251);
    EXPECT_EQ(sim.requests().size(), 1u);
}

TEST_F(Conversation, EachRefusalWaitsThirtySecondsOrTheMinutesItNamesThenAsksAgain) {
    FakeClock clock;
    auto download = downloadOf(
        fileSpec({Step::noForm(), Step::ipBusy(), Step::waitWithoutMinutes(), Step::overloaded(),
                  Step::waitMinutesAndIpBusy(3), Step::serverError(), Step::countdown("-5")}));
    std::vector<std::int64_t> changedAt;
    download->onStatusChange = [&](Download* sender) {
        states.push_back(static_cast<RapidshareDownload*>(sender)->getServiceState());
        changedAt.push_back(clock.nowMs());
    };
    EXPECT_TRUE(runUntilSettled(*download, clock));
    // The failed page ends the run, and the next one starts from Failed.
    EXPECT_EQ(states, (std::vector<ServiceState>{ServiceState::InQueue, ServiceState::ServerDown,
                                                 ServiceState::IpBusy, ServiceState::WaitMinutes,
                                                 ServiceState::Overloaded,
                                                 ServiceState::WaitMinutes, ServiceState::Failed,
                                                 ServiceState::Failed, ServiceState::Countdown,
                                                 ServiceState::Transferring, ServiceState::Done}));
    // Four refusals of 30 s, one that names 3 minutes; the failed page is
    // asked again at once; -5 + 5 = 0.
    const std::vector<std::int64_t> waits = {30'000, 30'000, 30'000, 30'000, 180'000};
    for (std::size_t i = 1; i <= waits.size(); ++i) {
        EXPECT_EQ(changedAt[i + 1] - changedAt[i], waits[i - 1]) << "after state change " << i;
    }
    EXPECT_EQ(changedAt[8] - changedAt[6], 0);
    EXPECT_EQ(clock.totalSleptMs(), 300'000);
    EXPECT_EQ(sim.attempts("4711"), 7);
}

// The service says when it will serve again; asked before that, it only
// refuses once more.
TEST_F(Conversation, AWaitThatNamesMinutesLastsThemAndSaysThemInRussian) {
    const std::pair<const char*, int> replies[] = {
        {"Or try again in about 12 minutes.", 12},
        {"x Or try again in about 1 minute. y", 1},
        {"Or try again in about 7minutes", 7},
        {"Or try again in about an hour.", 0},
        {"Or try again in about 2 hours.", 0},
        {"Or try again in about 12", 0},
        {"try again in about 12 minutes", 0},
        {"Or try again in about 99999999999999999999 minutes",
         RapidshareDownload::MAX_NAMED_WAIT_MINUTES},
    };
    for (const auto& [reply, minutes] : replies) {
        EXPECT_EQ(RapidshareDownload::minutesNamedIn(reply), minutes) << reply;
    }
    const std::pair<int, const char*> captions[] = {
        {0, "Подождите"},
        {1, "Подождите 1 минуту"},
        {3, "Подождите 3 минуты"},
        {5, "Подождите 5 минут"},
        {11, "Подождите 11 минут"},
        {12, "Подождите 12 минут"},
        {14, "Подождите 14 минут"},
        {20, "Подождите 20 минут"},
        {21, "Подождите 21 минуту"},
        {22, "Подождите 22 минуты"},
        {111, "Подождите 111 минут"},
        {112, "Подождите 112 минут"},
    };
    for (const auto& [minutes, caption] : captions) {
        EXPECT_EQ(kestrune::text::toUtf8(RapidshareDownload::waitCaption(minutes)), caption);
    }

    FakeClock clock;
    auto download =
        downloadOf(fileSpec({Step::waitMinutes(12), Step::waitMinutes(1), Step::countdown("-5")}));
    std::vector<std::string> shown;
    std::vector<std::int64_t> changedAt;
    download->onStatusChange = [&](Download* sender) {
        shown.push_back(kestrune::text::toUtf8(sender->getStateCaption()) + " " +
                        sender->getWaitTimeLeft());
        changedAt.push_back(clock.nowMs());
    };
    EXPECT_TRUE(runToEnd(*download));
    ASSERT_GE(shown.size(), 3u);
    EXPECT_EQ(shown[1], "Подождите 12 минут 0:12:00");
    EXPECT_EQ(shown[2], "Подождите 1 минуту 0:01:00");
    EXPECT_EQ(changedAt[2] - changedAt[1], 12 * 60'000);
    EXPECT_EQ(changedAt[3] - changedAt[2], 60'000);
    EXPECT_EQ(sim.attempts("4711"), 3);
}

TEST_F(Conversation, ANegativeOrMissingCountdown) {
    EXPECT_EQ(RapidshareDownload::countdownOf("x var c=-20; y"), -20);
    EXPECT_EQ(RapidshareDownload::countdownOf("var c= \t 45;"), 45);
    EXPECT_EQ(RapidshareDownload::countdownOf("var c=+7abc;"), 7);
    EXPECT_EQ(RapidshareDownload::countdownOf("var c=abc;"), RapidshareDownload::DEFAULT_COUNTDOWN);
    EXPECT_EQ(RapidshareDownload::countdownOf("var c=45"), RapidshareDownload::DEFAULT_COUNTDOWN);
    EXPECT_EQ(RapidshareDownload::countdownOf("no countdown"),
              RapidshareDownload::DEFAULT_COUNTDOWN);
    // A server's huge number is held where arithmetic on it stays safe.
    const auto huge = RapidshareDownload::countdownOf("var c=999999999999999999999999999;");
    EXPECT_GT(huge, 1'000'000'000);
    EXPECT_GT(huge + RapidshareDownload::COUNTDOWN_MARGIN, huge);
    EXPECT_EQ(RapidshareDownload::countdownOf("var c=-999999999999999999999999;"), -huge);

    FakeClock clock;
    auto download = downloadOf(fileSpec({Step::countdown("-20")}));
    EXPECT_TRUE(runToEnd(*download));
    EXPECT_EQ(clock.totalSleptMs(), 0);
}

TEST_F(Conversation, AFinalFormWithoutCountdownWaitsTheDefault) {
    FakeClock clock;
    auto download = downloadOf(fileSpec({Step::countdownWithoutVar()}));
    EXPECT_TRUE(runToEnd(*download));
    EXPECT_EQ(clock.totalSleptMs(), (RapidshareDownload::DEFAULT_COUNTDOWN + 5) * 1000);
}

// Failed conversations end the run, due again after a back-off that grows
// with each failure in a row; a known outcome starts the count anew, and the
// fifth failure in a row stops the download until the user retries it.
TEST_F(Conversation, RepeatedFailuresBackOffBetweenRunsAndTheFifthStopsTheDownload) {
    FakeClock clock;
    std::vector<Step> script(4, Step::garbage());
    script.push_back(Step::ipBusy());
    script.insert(script.end(), 5, Step::garbage());
    auto download = downloadOf(fileSpec(script));
    std::vector<std::int64_t> failedAt;
    download->onStatusChange = [&](Download* sender) {
        auto state = static_cast<RapidshareDownload*>(sender)->getServiceState();
        if (sender->getState() != Download::State::Processing &&
            (state == ServiceState::Failed || state == ServiceState::IpBusy)) {
            failedAt.push_back(clock.nowMs());
        }
    };
    EXPECT_FALSE(runUntilSettled(*download, clock));
    ASSERT_EQ(failedAt.size(), 10u);
    const std::int64_t expectedGaps[] = {0, 1'000, 2'000, 4'000,
                                         // ipBusy resets the count; its own wait is 30 s
                                         30'000, 0, 1'000, 2'000, 4'000};
    for (std::size_t i = 0; i < std::size(expectedGaps); ++i) {
        EXPECT_EQ(failedAt[i + 1] - failedAt[i], expectedGaps[i]) << "gap " << i;
    }
    EXPECT_TRUE(download->hasStoppedWithError());
    EXPECT_EQ(download->getFailureReason(), "ответ сервера не понят"_cp1251);
    EXPECT_EQ(sim.attempts("4711"), 10);

    download->requeue();
    EXPECT_EQ(download->getFailuresInARow(), 0) << "a retry gets all its tries again";
    for (int failures = 0; failures <= 9; ++failures) {
        const std::int64_t schedule[] = {0, 0, 1, 2, 4, 8, 16, 30, 30, 30};
        EXPECT_EQ(RapidshareDownload::backOffSeconds(failures), schedule[failures]);
    }
}

TEST_F(Conversation, ATransferThatAlwaysFailsAfterTheCountdownBacksOffAndStops) {
    FakeClock clock;
    auto spec = fileSpec({Step::countdown("-5")});
    spec.breakAfter = 100;
    spec.breakingReplies = -1;
    std::unique_ptr<Download> download = downloadOf(spec);
    std::vector<std::int64_t> conversationsAt;
    const std::int64_t start = clock.nowMs();
    download->onStatusChange = [&](Download* sender) {
        if (static_cast<RapidshareDownload*>(sender)->getServiceState() ==
            ServiceState::Countdown) {
            conversationsAt.push_back(clock.nowMs() - start);
        }
    };
    EXPECT_FALSE(runUntilSettled(*download, clock));

    // The countdown does not reset the count: 0, 1, 2 and 4 s of back-off.
    EXPECT_EQ(conversationsAt, (std::vector<std::int64_t>{0, 0, 1'000, 3'000, 7'000}));
    EXPECT_TRUE(download->hasStoppedWithError());
    EXPECT_EQ(download->getFailureReason(), "соединение разорвано"_cp1251);
}

// The program's proxies for plain http addresses are `proxy` while it
// lives.
struct HttpProxyForTheProgram {
    explicit HttpProxyForTheProgram(const std::string& proxy) {
        http::setProgramProxies(http_testing::proxiesOf({{"http_proxy", proxy}}));
    }
    ~HttpProxyForTheProgram() { http::setProgramProxies({}); }
};

// A proxy's absence is no fault of the file: the run waits for it with the
// back-off, in a state that names it, for longer than five failures would
// last, and goes on by itself once it is back.
TEST_F(Conversation, AProxyThatCannotBeReachedIsWaitedForUntilItAnswers) {
    TempDir work;
    http_testing::TinyproxyServer proxy(work.path());
    const std::string name = "127.0.0.1:" + std::to_string(proxy.port());
    const HttpProxyForTheProgram viaProxy("http://" + name);
    proxy.stop();
    FakeClock clock;
    auto download = downloadOf(fileSpec({Step::countdown("-5")}));
    std::vector<std::int64_t> waitsAt;
    download->onStatusChange = [&](Download* sender) {
        if (static_cast<RapidshareDownload*>(sender)->getServiceState() ==
            ServiceState::ProxyUnreachable) {
            EXPECT_EQ(sender->getStateCaption(), std::string("прокси-сервер "_cp1251) + name +
                                                     std::string(" недоступен"_cp1251));
            waitsAt.push_back(clock.nowMs());
            if (waitsAt.size() == RapidshareDownload::MAX_FAILED_CONVERSATIONS + 2) {
                proxy.resume();
            }
        }
    };
    EXPECT_TRUE(runToEnd(*download));
    std::vector<std::int64_t> gaps;
    for (std::size_t i = 1; i < waitsAt.size(); ++i) {
        gaps.push_back(waitsAt[i] - waitsAt[i - 1]);
    }
    EXPECT_EQ(gaps, (std::vector<std::int64_t>{0, 1'000, 2'000, 4'000, 8'000, 16'000}));
    EXPECT_EQ(download->getFailuresInARow(), 0);
    EXPECT_EQ(download->getFailureReason(), "");
    EXPECT_EQ(readFile(std::string(download->getTargetPath())),
              servicesim::expectedContent("4711", 1000));
    EXPECT_NE(proxy.log().find("GET " + std::string(download->getLink())), std::string::npos)
        << proxy.log();
}

TEST_F(Conversation, AMissingTargetFolderIsMadeWithItsParents) {
    const std::string link = sim.addFile(fileSpec({Step::countdown("-5")}));
    const std::string target = folder.file("new/sub");
    std::unique_ptr<Download> download(
        maker->createDownload(tolvenka::serviceHost(), link, target));
    EXPECT_EQ(download->getTargetPath(), target + "/report.zip");
    EXPECT_TRUE(runToEnd(*download));
    EXPECT_EQ(readFile(target + "/report.zip"), servicesim::expectedContent("4711", 1000));
}

TEST_F(Conversation, EveryDeliveryOfTheFileArrivesWhole) {
    for (const auto delivery : {servicesim::Delivery::ContentLength, servicesim::Delivery::Chunked,
                                servicesim::Delivery::UntilClose}) {
        auto spec = fileSpec({Step::countdown("-5")}, 300'000);
        spec.delivery = delivery;
        auto download = downloadOf(spec);
        EXPECT_TRUE(runToEnd(*download));
        EXPECT_EQ(readFile(folder.path() + "/report.zip"),
                  servicesim::expectedContent("4711", 300'000));
    }
}

TEST_F(Conversation, ATransferThatBreaksOffLeavesNoFileAndStartsOverAtOnce) {
    FakeClock clock;
    auto spec = fileSpec({Step::countdown("0")}, 200'000);
    spec.breakAfter = 50'000;
    spec.breakingReplies = 1;
    auto download = downloadOf(spec);
    bool partLeftAfterFailure = false;
    std::string reason;
    download->onStatusChange = [&](Download* sender) {
        auto state = static_cast<RapidshareDownload*>(sender)->getServiceState();
        states.push_back(state);
        if (state == ServiceState::Failed) {
            partLeftAfterFailure = std::filesystem::exists(folder.path() + "/report.zip.part") ||
                                   std::filesystem::exists(folder.path() + "/report.zip");
            reason = sender->getFailureReason();
        }
    };
    EXPECT_TRUE(runUntilSettled(*download, clock));
    EXPECT_FALSE(partLeftAfterFailure);
    EXPECT_EQ(reason, "соединение разорвано"_cp1251);
    EXPECT_EQ(download->getFailureReason(), "");
    EXPECT_EQ(states, (std::vector<ServiceState>{ServiceState::InQueue, ServiceState::Countdown,
                                                 ServiceState::Transferring, ServiceState::Failed,
                                                 ServiceState::Failed, ServiceState::Countdown,
                                                 ServiceState::Transferring, ServiceState::Done}));
    EXPECT_EQ(clock.totalSleptMs(), 10'000); // two countdowns of 0 + 5, no back-off
    EXPECT_EQ(readFile(folder.path() + "/report.zip"),
              servicesim::expectedContent("4711", 200'000));
}

TEST_F(Conversation, AFileThatTakesTheNameMeanwhileIsNeverReplaced) {
    FakeClock clock;
    auto download = downloadOf(fileSpec({Step::countdown("0")}, 200'000));
    ASSERT_EQ(download->getTargetPath(), folder.path() + "/report.zip");
    download->onStatusChange = [&](Download* sender) {
        if (static_cast<RapidshareDownload*>(sender)->getServiceState() ==
            ServiceState::Transferring) {
            writeFile(folder.path() + "/report.zip", "the user's file");
        }
    };
    EXPECT_TRUE(runToEnd(*download));
    EXPECT_EQ(readFile(folder.path() + "/report.zip"), "the user's file");
    EXPECT_EQ(download->getTargetPath(), folder.path() + "/report (1).zip");
    EXPECT_EQ(readFile(folder.path() + "/report (1).zip"),
              servicesim::expectedContent("4711", 200'000));
}

TEST_F(Conversation, ASettledVerdictWinsOverAnAbortThatComesAfterIt) {
    FakeClock clock;
    for (const Step& step : {Step::countdown("0"), Step::notFound()}) {
        auto download = downloadOf(fileSpec({step}));
        // A stop or a close that lands just as the verdict is reached.
        download->onStatusChange = [](Download* sender) {
            const auto state = static_cast<RapidshareDownload*>(sender)->getServiceState();
            if (state == ServiceState::Done || state == ServiceState::FileNotFound) {
                sender->abort();
            }
        };
        runToEnd(*download);
        EXPECT_TRUE(download->getState() == Download::State::Complete ||
                    download->getState() == Download::State::NotFound)
            << download->getStateCaption();
    }
}

TEST_F(Conversation, AFailureOfThisMachineStopsTheDownloadWithItsReason) {
    FakeClock clock;
    // The folder cannot be made: a file stands where it would go.
    writeFile(folder.file("blocker"), "");
    const std::string link = sim.addFile(fileSpec({Step::countdown("0")}));
    const std::string blocked = folder.file("blocker") + "/dl";
    auto download = maker->createDownload(tolvenka::serviceHost(), link, blocked);
    EXPECT_FALSE(runToEnd(*download));
    EXPECT_EQ(download->getState(), Download::State::Error);
    EXPECT_EQ(download->getFailureReason(),
              std::string("не удаётся создать папку "_cp1251) + blocked + "/");
    // Told before the service is asked, and not tried again.
    EXPECT_TRUE(sim.requests().empty());

    // So is a folder where the file goes.
    auto covered = downloadOf(fileSpec({Step::countdown("0")}));
    std::filesystem::create_directory(covered->getTargetPath());
    EXPECT_FALSE(runToEnd(*covered));
    EXPECT_EQ(covered->getFailureReason(), "на месте файла папка"_cp1251);
    EXPECT_TRUE(sim.requests().empty());
    EXPECT_TRUE(sim.requests().empty());
}

TEST_F(Conversation, AnAbortDuringTheCountdownEndsQueuedWithoutAFile) {
    auto download = downloadOf(fileSpec({Step::countdown("3600")}));
    BackgroundRun run(*download);
    ASSERT_TRUE(pumpUntil([&] { return download->getServiceState() == ServiceState::Countdown; }));
    download->abort();
    ASSERT_TRUE(pumpUntil([&] { return run.finished(); }, 2'000));
    EXPECT_FALSE(run.succeeded());
    EXPECT_FALSE(run.failed());
    EXPECT_EQ(download->getState(), Download::State::Queued);
    EXPECT_EQ(download->getStateCaption(), "В очереди"_cp1251);
    EXPECT_TRUE(std::filesystem::is_empty(folder.path()));
}

TEST_F(Conversation, AnAbortDuringTheTransferDeletesThePartAndTheNextRunStartsOver) {
    auto spec = fileSpec({Step::countdown("-5")}, 400'000);
    spec.bytesPerSecond = 100'000;
    auto download = downloadOf(spec);
    {
        BackgroundRun run(*download);
        // Progress figures are live while bytes arrive.
        ASSERT_TRUE(pumpUntil([&] { return download->getTotalBytes() == 400'000; }, 5'000));
        ASSERT_TRUE(pumpUntil([&] { return download->getReceivedBytes() > 1'000; }, 5'000));
        ASSERT_TRUE(pumpUntil([&] { return download->getSpeed() > 0; }, 5'000));
        download->abort();
        ASSERT_TRUE(pumpUntil([&] { return run.finished(); }, 2'000));
        EXPECT_FALSE(run.succeeded());
    }
    EXPECT_EQ(download->getState(), Download::State::Queued);
    ASSERT_GE(states.size(), 2u);
    EXPECT_EQ(states[states.size() - 2], ServiceState::Failed);
    EXPECT_EQ(states.back(), ServiceState::InQueue);
    EXPECT_TRUE(std::filesystem::is_empty(folder.path()));

    sim.clearRequests();
    auto quick = fileSpec({Step::countdown("-5")}, 400'000);
    sim.addFile(quick);
    EXPECT_TRUE(runToEnd(*download));
    EXPECT_EQ(sim.requests().front().target, "/files/4711/report.zip");
    EXPECT_EQ(readFile(folder.path() + "/report.zip"),
              servicesim::expectedContent("4711", 400'000));
}

// A run that was killed left its part file behind: the next run of the
// download takes it over, and the file arrives under its own name. A part
// file not provably its own is left alone: unmarked, another link's, or one
// that a live program still writes.
TEST_F(Conversation, ItsOwnLeftoverPartFileIsTakenOverAndNoOtherOne) {
    FakeClock clock;
    auto spec = fileSpec({Step::countdown("0")});
    auto own = downloadOf(spec);
    const std::string part = std::string(own->getTargetPath()) + ".part";
    if (!leaveMarkedFile(part, RapidshareDownload::UNFINISHED_MARK, own->getLink())) {
        GTEST_SKIP() << "this file system keeps no marks";
    }
    EXPECT_TRUE(runToEnd(*own));
    EXPECT_EQ(own->getTargetPath(), folder.file("report.zip"));
    EXPECT_FALSE(std::filesystem::exists(part));

    const auto expectLeftAlone = [&](const std::string& stem, const auto& leave) {
        spec.name = stem + ".zip";
        auto other = downloadOf(spec);
        const std::string otherPart = std::string(other->getTargetPath()) + ".part";
        leave(otherPart, std::string(other->getLink()));
        EXPECT_TRUE(runToEnd(*other));
        EXPECT_EQ(other->getTargetPath(), folder.file(stem + " (1).zip"));
        EXPECT_TRUE(std::filesystem::exists(otherPart)) << stem;
    };
    using Text = const std::string&;
    expectLeftAlone("unmarked", [](Text part, Text) { writeFile(part, ""); });
    expectLeftAlone("another", [](Text part, Text link) {
        leaveMarkedFile(part, RapidshareDownload::UNFINISHED_MARK, link + "x");
    });
    platform::FileOutput stillWritten;
    expectLeftAlone("written", [&](Text part, Text link) {
        leaveMarkedFile(stillWritten, part, RapidshareDownload::UNFINISHED_MARK, link);
    });
    // Another user's, in a shared folder: only root can make one here.
    if (::geteuid() == 0) {
        expectLeftAlone("strangers", [](Text part, Text link) {
            leaveMarkedFile(part, RapidshareDownload::UNFINISHED_MARK, link);
            ASSERT_EQ(::chown(part.c_str(), 65534, 65534), 0);
        });
    }
}

// The file arrived, and the program died before the queue file could say
// so: the next run finds the target marked as this link's finished file and
// is complete without any request, even if the death came before the part
// file got its name. A file it did not write there is fetched anew beside it.
TEST_F(Conversation, ItsOwnFinishedFileIsCompleteWithoutARequestAndNoOtherOne) {
    FakeClock clock;
    auto fetched = downloadOf(fileSpec({Step::countdown("0")}));
    EXPECT_TRUE(runToEnd(*fetched));
    const std::string target(fetched->getTargetPath());
    const std::string link(fetched->getLink());
    const std::optional<std::string> finishedMark =
        platform::markOf(target, RapidshareDownload::FINISHED_MARK);
    if (!finishedMark) {
        GTEST_SKIP() << "this file system keeps no marks";
    }
    EXPECT_EQ(*finishedMark, RapidshareDownload::identityOf(link));
    EXPECT_EQ(platform::markOf(target, RapidshareDownload::UNFINISHED_MARK), std::nullopt);
    sim.clearRequests();
    const auto loadQueued = [&] {
        std::istringstream in(link + "\r\n" + target + "\r\nQueue\r\n\r\n");
        platform::DirectoryLookup folders;
        return maker->loadDownload(tolvenka::serviceHost(), in, folders);
    };
    // Found by its mark, it is told as arrived, with its size and no time.
    std::vector<Download::ArrivedFile> told;
    const Download::ArrivalReport arrivals = [&](Download&, const Download::ArrivedFile& file) {
        told.push_back(file);
    };
    EXPECT_TRUE(loadQueued()->run(nullptr, &arrivals));
    // Cut off before the part file got its name; its mark written by an
    // earlier version, which held the link as it was spelt.
    std::filesystem::remove(target);
    const std::string spelledApart = "HTTP://" + sim.host() + "/files/4711/report%2ezip";
    ASSERT_TRUE(leaveMarkedFile(target + ".part", RapidshareDownload::FINISHED_MARK, spelledApart));
    EXPECT_TRUE(loadQueued()->run(nullptr, &arrivals));
    ASSERT_EQ(told.size(), 2u);
    EXPECT_TRUE(told[0].foundByMark);
    EXPECT_EQ(told[0].seconds, -1);
    EXPECT_EQ(told[1].bytes, 10) << "the bytes left by leaveMarkedFile";
    EXPECT_EQ(readFile(target), "some bytes");
    EXPECT_FALSE(std::filesystem::exists(target + ".part"));
    EXPECT_TRUE(sim.requests().empty());

    // Marked as unfinished (a part file renamed by hand), or as another
    // link's file.
    const std::vector<std::pair<const char*, std::string>> otherMarks = {
        {RapidshareDownload::UNFINISHED_MARK, link},
        {RapidshareDownload::FINISHED_MARK, link + "x"}};
    for (const auto& [mark, value] : otherMarks) {
        std::filesystem::remove(target);
        leaveMarkedFile(target, mark, value);
        auto fetchedAgain = loadQueued();
        EXPECT_TRUE(fetchedAgain->run());
        EXPECT_NE(fetchedAgain->getTargetPath(), target);
        std::filesystem::remove(fetchedAgain->getTargetPath());
    }
    EXPECT_EQ(sim.transfers("4711"), 3);
}

// Offered again, a link whose file arrived is known by the mark its
// download left, under the file's own name or one taken after it because
// the name was taken.
TEST_F(Conversation, AFileItBroughtIsKnownAsArrivedUnderItsOwnNameOrAFollowingOne) {
    const std::string link = "http://" + sim.host() + "/files/1/book.epub";
    const std::string other = "http://" + sim.host() + "/files/2/book.epub";
    const std::string dir = folder.path();
    const auto hasArrivedIn = [&](const std::string& which, const std::string& in) {
        return maker->hasArrived(tolvenka::serviceHost(), which, in);
    };
    EXPECT_FALSE(hasArrivedIn(link, dir));
    writeFile(folder.file("book.epub"), "the user's own");
    EXPECT_FALSE(hasArrivedIn(link, dir));
    if (!leaveMarkedFile(folder.file("book (1).epub"), RapidshareDownload::FINISHED_MARK, link)) {
        GTEST_SKIP() << "this file system keeps no marks";
    }
    EXPECT_TRUE(hasArrivedIn(link, dir));
    EXPECT_TRUE(hasArrivedIn(link, dir + "/"));
    EXPECT_TRUE(hasArrivedIn("HTTPS://" + sim.host() + "/files/01/b%6Fok.epub", dir))
        << "another spelling of the link";
    EXPECT_FALSE(maker->hasArrived("nope", link, dir));
    EXPECT_FALSE(hasArrivedIn(other, dir)) << "another link's file";
    EXPECT_FALSE(hasArrivedIn(link, dir + "/elsewhere"));
    // Past a free name a download would not have gone on.
    std::filesystem::rename(folder.file("book (1).epub"), folder.file("book (2).epub"));
    EXPECT_FALSE(hasArrivedIn(link, dir));
    leaveMarkedFile(folder.file("book (1).epub"), RapidshareDownload::UNFINISHED_MARK, link);
    EXPECT_TRUE(hasArrivedIn(link, dir));
}

TEST_F(Conversation, RemainingTimeFollowsTheTransfer) {
    auto spec = fileSpec({Step::countdown("-5")}, 2'000'000);
    spec.bytesPerSecond = 200'000;
    auto download = downloadOf(spec);
    BackgroundRun run(*download);
    ASSERT_TRUE(pumpUntil([&] { return download->getRemainingTime() != "-"; }, 5'000));
    const std::string left = download->getRemainingTime();
    EXPECT_EQ(left.substr(0, 4), "0:00") << left;
    download->abort();
    ASSERT_TRUE(pumpUntil([&] { return run.finished(); }, 2'000));
}

TEST_F(Conversation, StoredRecordsComeBackInTheirStates) {
    const std::string link = "http://" + sim.host() + "/files/1/a.zip";
    const auto load = [&](const std::string& word) {
        std::istringstream in(link + "\r\n" + folder.path() + "/a.zip\r\n" + word + "\r\n\r\n");
        platform::DirectoryLookup folders;
        return maker->loadDownload(tolvenka::serviceHost(), in, folders);
    };
    auto complete = load("Complete");
    EXPECT_EQ(complete->getStateCaption(), "Готово"_cp1251);
    EXPECT_TRUE(complete->run());
    auto missing = load("NotFound");
    EXPECT_EQ(missing->getStateCaption(), "Файл не найден"_cp1251);
    EXPECT_FALSE(missing->run());
    EXPECT_TRUE(sim.requests().empty());

    for (const std::string word : {"Queue", "complete", "", "Complete "}) {
        auto queued = load(word);
        EXPECT_EQ(queued->getState(), Download::State::Queued) << word;
        EXPECT_EQ(queued->getStateCaption(), "В очереди"_cp1251);
        EXPECT_EQ(queued->getLink(), link);
        EXPECT_EQ(queued->getTargetPath(), folder.path() + "/a.zip");
    }
}
