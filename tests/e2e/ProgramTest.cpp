// The real program against the simulated service: a queue goes in through
// downloads.txt, files come out, and the file holds the right records after
// the program has ended.
#include "platform/HistoryDatabase.h"
#include "platform/LockFile.h"
#include "tests/common/TestHelpers.h"
#include "tests/e2e/RunningProgram.h"
#include "tools/service-sim/ServiceSim.h"
#include "ui/HandOverLinks.h"
#include "ui/LinkListener.h"

#include <QLocalServer>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <set>
#include <thread>

using servicesim::Step;
using testing_helpers::readFile;
using testing_helpers::TempDir;
using testing_helpers::writeFile;

using e2e_testing::fileComesToSay;
using e2e_testing::RunningProgram;
using e2e_testing::waitFor;

namespace {

// A queue file in `folder` with one download of a new file of the service,
// which arrives at `bytesPerSecond` (0: as fast as it can); returns its text.
std::string queueOfAFile(servicesim::ServiceSim& sim, const TempDir& folder, const std::string& id,
                         const std::string& name, std::uint64_t size,
                         std::uint64_t bytesPerSecond = 0, bool deleteCompleted = false) {
    servicesim::FileSpec spec;
    spec.id = id;
    spec.name = name;
    spec.size = size;
    spec.bytesPerSecond = bytesPerSecond;
    spec.script = {Step::countdown("-5")};
    return e2e_testing::writeQueueOfOne(folder.path(), sim.host(), sim.addFile(spec), name,
                                        deleteCompleted);
}

// A big file that arrives slowly, with file id `id`.
std::string queueOfASlowFile(servicesim::ServiceSim& sim, const TempDir& folder,
                             const std::string& id) {
    return queueOfAFile(sim, folder, id, "slow.bin", 100'000'000, 500'000, true);
}

bool queueFileSays(const TempDir& folder, const std::string& word) {
    return fileComesToSay(folder.file("downloads.txt"), word);
}

} // namespace

TEST(Program, DownloadsTheQueueAndKeepsTheQueueFile) {
    servicesim::ServiceSim sim;
    TempDir folder;
    servicesim::FileSpec spec;
    spec.delivery = servicesim::Delivery::Chunked;
    spec.id = "102";
    spec.name = "second.bin";
    spec.size = 12'345;
    spec.script = {Step::countdown("-5")};
    const std::string second = sim.addFile(spec);
    spec.id = "103";
    spec.name = "gone.zip";
    spec.script = {Step::notFound()};
    const std::string gone = sim.addFile(spec);

    const std::string dir = folder.path() + "/";
    const auto record = [&](const std::string& link, const std::string& name,
                            const std::string& word) {
        return sim.host() + "\r\n" + link + "\r\n" + dir + name + "\r\n" + word + "\r\n\r\n";
    };
    writeFile(folder.file("downloads.txt"), "0\r\n" + dir + "\r\n" +
                                                record(second, "second.bin", "Queue") +
                                                record(gone, "gone.zip", "Queue"));

    RunningProgram program(folder.path(), sim.host());
    ASSERT_TRUE(queueFileSays(folder, "Complete") && queueFileSays(folder, "NotFound"));
    EXPECT_EQ(readFile(folder.file("second.bin")), servicesim::expectedContent("102", 12'345));
    EXPECT_EQ(program.terminate(), 0);

    EXPECT_EQ(readFile(folder.file("downloads.txt")), "0\r\n" + dir + "\r\n" +
                                                          record(second, "second.bin", "Complete") +
                                                          record(gone, "gone.zip", "NotFound"));
}

// The session ending, the terminal that started it closed: the program
// closes with its usual save and never asks, however much has arrived.
TEST(Program, ClosingDuringATransferStoresItAsQueued) {
    for (const int signal : {SIGTERM, SIGHUP}) {
        servicesim::ServiceSim sim;
        TempDir folder;
        const std::string file = queueOfASlowFile(sim, folder, "201");

        RunningProgram program(folder.path(), sim.host());
        ASSERT_TRUE(waitFor([&] { return sim.transfers("201") == 1; }, 10'000));
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        EXPECT_EQ(program.terminate(signal), 0) << "signal " << signal;
        EXPECT_EQ(readFile(folder.file("downloads.txt")), file);
        EXPECT_FALSE(std::filesystem::exists(folder.file("slow.bin")));
        EXPECT_FALSE(std::filesystem::exists(folder.file("slow.bin.part")));
    }
}

TEST(Program, OneProgramPerFolderAndTheLockOfAKilledOneIsTakenOver) {
    servicesim::ServiceSim sim;
    TempDir folder;
    const std::string queue = queueOfASlowFile(sim, folder, "301");
    writeFile(folder.file("downloads.txt.tmp-Ab12Cd"), "left by a save that was cut off");
    const std::vector<std::string> links = {"http://" + sim.host() + "/files/1/a.zip",
                                            "http://" + sim.host() + "/files/2/b.zip"};
    {
        RunningProgram first(folder.path(), sim.host());
        ASSERT_TRUE(waitFor([&] { return sim.transfers("301") == 1; }, 10'000));
        EXPECT_FALSE(std::filesystem::exists(folder.file("downloads.txt.tmp-Ab12Cd")));

        // It hands its links to the first and goes.
        RunningProgram second(folder.path(), sim.host(), "/dev/null", links);
        EXPECT_EQ(second.exitStatus(10'000), 0);
        EXPECT_TRUE(first.isRunning());
        EXPECT_EQ(sim.attempts("301"), 1);
        EXPECT_EQ(readFile(folder.file("downloads.txt")), queue);
    } // killed: its lock file and its socket stay behind

    RunningProgram third(folder.path(), sim.host());
    EXPECT_TRUE(waitFor([&] { return sim.attempts("301") == 2; }, 10'000));
    RunningProgram fourth(folder.path(), sim.host(), "/dev/null", links);
    EXPECT_EQ(fourth.exitStatus(10'000), 0);
    EXPECT_EQ(third.terminate(), 0);
}

TEST(Program, AStartThatCannotHandOverNamesTheLockFileAndTouchesNothing) {
    servicesim::ServiceSim sim;
    TempDir folder;
    writeFile(folder.file("downloads.txt.tmp-Ab12Cd"), "a save under way");
    // A holder that takes no links: another user's program, or an older one.
    platform::LockFile holder(folder.file("downloads.txt.lock"));
    ASSERT_EQ(holder.tryLock(), platform::LockFile::Outcome::Locked);

    // It says so on stderr and in a message box, which stays up until killed.
    RunningProgram refused(folder.path(), sim.host(), folder.file("refused.err"));
    const std::string refusal = "Толвенка уже запущена в этой папке.\nФайл блокировки: " +
                                folder.file("downloads.txt.lock") + "\n";
    EXPECT_TRUE(fileComesToSay(folder.file("refused.err"), refusal))
        << readFile(folder.file("refused.err"));
    EXPECT_TRUE(std::filesystem::exists(folder.file("downloads.txt.tmp-Ab12Cd")));
}

// A pipe would never end reading, and a save would put a plain file in its
// place: it is refused at start, named, and left as it is.
TEST(Program, AQueueFileThatIsNoPlainFileIsRefusedAtStartAndLeftAlone) {
    servicesim::ServiceSim sim;
    TempDir folder;
    ASSERT_EQ(::mkfifo(folder.file("downloads.txt").c_str(), 0600), 0);
    RunningProgram refused(folder.path(), sim.host(), folder.file("refused.err"));
    const std::string refusal = "Толвенка не может взять список загрузок из " +
                                folder.file("downloads.txt") + ": это не обычный файл, а канал.";
    EXPECT_TRUE(fileComesToSay(folder.file("refused.err"), refusal))
        << readFile(folder.file("refused.err"));
    struct stat status {};
    ASSERT_EQ(::lstat(folder.file("downloads.txt").c_str(), &status), 0);
    EXPECT_TRUE(S_ISFIFO(status.st_mode));
}

namespace {

// What the folder holds besides the queue file, its lock and the runtime
// folder.
std::set<std::string> downloadedFiles(const TempDir& folder) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder.path())) {
        const std::string name = entry.path().filename().string();
        if (name != "downloads.txt" && name != "downloads.txt.lock" && name != "runtime") {
            names.insert(name);
        }
    }
    return names;
}

} // namespace

TEST(Program, AKillDuringATransferLeavesNothingBehindOnceItRunsAgain) {
    servicesim::ServiceSim sim;
    TempDir folder;
    queueOfAFile(sim, folder, "401", "slow.bin", 2'000'000, 1'000'000);
    {
        RunningProgram killed(folder.path(), sim.host());
        ASSERT_TRUE(waitFor(
            [&] {
                std::error_code error;
                const auto size = std::filesystem::file_size(folder.file("slow.bin.part"), error);
                return !error && size > 0;
            },
            10'000));
        killed.kill();
    }
    RunningProgram again(folder.path(), sim.host());
    EXPECT_TRUE(queueFileSays(folder, "Complete"));
    EXPECT_EQ(again.terminate(), 0);
    EXPECT_EQ(sim.transfers("401"), 2);
    EXPECT_EQ(downloadedFiles(folder), std::set<std::string>{"slow.bin"});
    EXPECT_TRUE(readFile(folder.file("slow.bin")) == servicesim::expectedContent("401", 2'000'000));
}

// Killed as its part file is made, before it is marked: nothing stays
// behind, and the next run fetches the file under its own name.
TEST(Program, AKillAsThePartFileIsMadeLeavesNothingBehind) {
    servicesim::ServiceSim sim;
    TempDir folder;
    queueOfAFile(sim, folder, "403", "early.bin", 100'000);
    {
        // The sanitizer's runtime would rather come first; here it cannot.
        RunningProgram killed(folder.path(), sim.host(), "/dev/null", {},
                              {std::string("LD_PRELOAD=") + KILL_AT_FIRST_MARK,
                               "ASAN_OPTIONS=verify_asan_link_order=0"});
        ASSERT_NE(killed.exitStatus(20'000), -1);
    }
    EXPECT_EQ(downloadedFiles(folder), std::set<std::string>{});
    RunningProgram again(folder.path(), sim.host());
    EXPECT_TRUE(queueFileSays(folder, "Complete"));
    EXPECT_EQ(again.terminate(), 0);
    EXPECT_EQ(downloadedFiles(folder), std::set<std::string>{"early.bin"});
}

// The names of the files the history of arrivals in `folder`'s "data"
// holds, newest first.
std::vector<std::string> namesInHistory(const TempDir& folder) {
    platform::HistoryDatabase history(folder.file("data/tolvenka/history.sqlite"));
    std::vector<std::string> names;
    for (const platform::HistoryRecord& record : history.records()) {
        names.push_back(record.fileName);
    }
    return names;
}

// Killed right after the file got its name, and before the queue file could
// say so, which here cannot be written at all; the history holds it once
// the program runs again, once.
TEST(Program, AFileThatArrivedJustBeforeAKillIsNotFetchedAgainAndIsInTheHistory) {
    servicesim::ServiceSim sim;
    TempDir folder;
    queueOfAFile(sim, folder, "402", "quick.bin", 300'000);
    ::chmod(folder.file("downloads.txt").c_str(), 0444);
    const std::string data = "XDG_DATA_HOME=" + folder.file("data");
    {
        RunningProgram killed(folder.path(), sim.host(), "/dev/null", {}, {data});
        ASSERT_TRUE(
            waitFor([&] { return std::filesystem::exists(folder.file("quick.bin")); }, 10'000, 1));
        killed.kill();
    }
    ::chmod(folder.file("downloads.txt").c_str(), 0644);
    RunningProgram again(folder.path(), sim.host(), "/dev/null", {}, {data});
    EXPECT_TRUE(queueFileSays(folder, "Complete"));
    EXPECT_EQ(again.terminate(), 0);
    EXPECT_EQ(sim.transfers("402"), 1);
    EXPECT_EQ(sim.attempts("402"), 1);
    EXPECT_EQ(downloadedFiles(folder), (std::set<std::string>{"data", "quick.bin"}));
    EXPECT_EQ(namesInHistory(folder), std::vector<std::string>{"quick.bin"});
}

// Killed the moment the file got its name, before anything could record
// it: the next start knows the file by its mark and records it then.
TEST(Program, AFileNamedAtTheMomentOfAKillIsInTheHistoryAfterTheNextStart) {
    servicesim::ServiceSim sim;
    TempDir folder;
    queueOfAFile(sim, folder, "405", "named.bin", 100'000);
    const std::string data = "XDG_DATA_HOME=" + folder.file("data");
    {
        RunningProgram killed(folder.path(), sim.host(), "/dev/null", {},
                              {data, std::string("LD_PRELOAD=") + KILL_AT_NAMING,
                               "ASAN_OPTIONS=verify_asan_link_order=0"});
        ASSERT_NE(killed.exitStatus(20'000), -1);
    }
    ASSERT_TRUE(std::filesystem::exists(folder.file("named.bin")));
    EXPECT_TRUE(namesInHistory(folder).empty());
    RunningProgram again(folder.path(), sim.host(), "/dev/null", {}, {data});
    EXPECT_TRUE(queueFileSays(folder, "Complete"));
    EXPECT_EQ(again.terminate(), 0);
    EXPECT_EQ(sim.transfers("405"), 1);
    EXPECT_EQ(namesInHistory(folder), std::vector<std::string>{"named.bin"});
}

// A signal handler that waited for room to tell the event loop would wait
// for ever on the thread that runs the loop.
TEST(Program, AFloodOfClosingSignalsEndsItWithItsUsualSave) {
    servicesim::ServiceSim sim;
    TempDir folder;
    const std::string file = queueOfASlowFile(sim, folder, "403");
    RunningProgram program(folder.path(), sim.host());
    ASSERT_TRUE(waitFor([&] { return sim.transfers("403") == 1; }, 10'000));
    constexpr int closingSignals[] = {SIGHUP, SIGTERM, SIGINT};
    for (int sent = 0; sent < 200'000; ++sent) {
        ::kill(program.processId(), closingSignals[sent % 3]);
    }
    EXPECT_EQ(program.exitStatus(2'000), 0);
    EXPECT_EQ(readFile(folder.file("downloads.txt")), file);
    EXPECT_EQ(downloadedFiles(folder), std::set<std::string>{});
}

// The program that holds the queue is closing: a later start waits for it to
// end instead of losing its links, and runs with them.
TEST(Program, ALaterStartDuringACloseWaitsForTheQueueAndRuns) {
    servicesim::ServiceSim sim;
    TempDir folder;
    ::mkdir(folder.file("runtime").c_str(), 0700);
    auto holder = std::make_unique<platform::LockFile>(folder.file("downloads.txt.lock"));
    ASSERT_EQ(holder->tryLock(), platform::LockFile::Outcome::Locked);
    const QString socket =
        tolvenka::LinkListener::socketName(folder.file("downloads.txt"), folder.file("runtime"));
    auto listener = std::make_unique<tolvenka::LinkListener>();
    ASSERT_TRUE(listener->listen(socket));
    listener->setReceiver([](const QString&) { ADD_FAILURE() << "taken by a closing program"; });
    listener->stopTaking();
    bool asked = false;
    QObject::connect(listener->findChild<QLocalServer*>(), &QLocalServer::newConnection,
                     [&] { asked = true; });

    RunningProgram later(folder.path(), sim.host(), "/dev/null",
                         {"http://" + sim.host() + "/files/1/a.zip"});
    ASSERT_TRUE(testing_helpers::pumpUntil([&] { return asked; }, 10'000));
    testing_helpers::pumpFor(500);
    EXPECT_TRUE(later.isRunning());
    listener.reset();
    holder.reset();
    // It has taken the queue and runs: it takes the links of a start after it.
    EXPECT_TRUE(waitFor(
        [&] { return tolvenka::handOverLinks(socket, QString()) == tolvenka::HandOver::Taken; },
        20'000));
    EXPECT_EQ(later.terminate(), 0);
}
