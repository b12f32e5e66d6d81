#include "queue/QueueFile.h"

#include "queue/DownloadsSet.h"
#include "queue/QueueFileFingerprint.h"
#include "queue/QueueFileKeeper.h"
#include "queue/QueueFileReading.h"
#include "service/DownloadMaker.h"
#include "service/ServiceHost.h"
#include "support/Cp1251.h"
#include "tests/common/TestHelpers.h"
#include "tests/queue/QueueTestSupport.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <filesystem>
#include <future>
#include <gtest/gtest.h>
#include <optional>
#include <sstream>
#include <sys/resource.h>

using namespace kestrune::text::literals;
using testing_helpers::readFile;
using testing_helpers::TempDir;
using testing_helpers::TracedDownload;
using testing_helpers::writeFile;
using tolvenka::Download;
using tolvenka::DownloadsSet;
using tolvenka::QueueOptions;
using State = tolvenka::Download::State;

namespace {

class QueueFileTest : public ::testing::Test {
protected:
    QueueFileTest() { tolvenka::setServiceHost(std::string(tolvenka::DEFAULT_SERVICE_HOST)); }

    std::string link(const std::string& name) const {
        return "http://" + tolvenka::serviceHost() + "/files/123/" + name;
    }
    std::string record(const std::string& name, const std::string& path,
                       const std::string& word) const {
        return tolvenka::serviceHost() + "\r\n" + link(name) + "\r\n" + path + "\r\n" + word +
               "\r\n\r\n";
    }

    // Loads `content` as the file's bytes into `set` and returns the options.
    QueueOptions load(const std::string& content) {
        writeFile(path, content);
        QueueOptions options = defaults;
        EXPECT_TRUE(tolvenka::loadQueueFile(path, options, set));
        return options;
    }

    std::vector<State> states() const {
        std::vector<State> result;
        for (const auto& download : set) {
            result.push_back(download->getState());
        }
        return result;
    }
    std::vector<std::string> links() const {
        std::vector<std::string> result;
        for (const auto& download : set) {
            result.emplace_back(download->getLink());
        }
        return result;
    }

    TempDir dir;
    const std::string path = dir.file("downloads.txt");
    const QueueOptions defaults{true, "/home/user/Downloads/"};
    tolvenka::DownloadMaker maker;
    DownloadsSet set{1, 40};
};

TEST_F(QueueFileTest, SavedQueueReadsBackByteForByteWithItsStates) {
    const std::string folder = std::string("/data/"_cp1251) + std::string("Загрузки"_cp1251);
    const std::string content =
        "0\r\n" + folder + "\r\n" + record("a.zip", folder + "/a.zip", "Complete") +
        record("b.zip", "/data/b.zip", "NotFound") + record("c.zip", "/data/c.zip", "Queue") +
        record("d.zip", "/data/d.zip", "Paused");
    const QueueOptions options = load(content);

    EXPECT_FALSE(options.deleteCompleted);
    EXPECT_EQ(options.targetFolder, folder);
    EXPECT_EQ(states(),
              (std::vector<State>{State::Complete, State::NotFound, State::Queued, State::Queued}));
    EXPECT_EQ(links(), (std::vector<std::string>{link("a.zip"), link("b.zip"), link("c.zip"),
                                                 link("d.zip")}));
    EXPECT_TRUE(set.at(3)->isHeld() && !set.at(2)->isHeld());
    EXPECT_EQ((*set.begin())->getTargetPath(), folder + "/a.zip");

    ASSERT_TRUE(tolvenka::saveQueueFile(path, options, set));
    EXPECT_EQ(readFile(path), content);
}

TEST_F(QueueFileTest, AnEmptyQueueIsTwoLinesAndAnEmptyFolderStaysEmpty) {
    ASSERT_TRUE(tolvenka::saveQueueFile(path, {false, ""}, set));
    EXPECT_EQ(readFile(path), "0\r\n\r\n");

    const QueueOptions options = load(readFile(path));
    EXPECT_FALSE(options.deleteCompleted);
    EXPECT_EQ(options.targetFolder, "");
    EXPECT_EQ(set.count(), 0);
}

TEST_F(QueueFileTest, BareLineFeedsReadLikeCrLf) {
    const std::string crlf = "1\r\n/f\r\n" + record("a.zip", "/d/a.zip", "Complete") +
                             record("b.zip", "/d/b.zip", "Queue");
    std::string lf = crlf;
    std::erase(lf, '\r');
    load(lf);
    EXPECT_EQ(tolvenka::queueFileContent({true, "/f"}, set), crlf);
}

TEST_F(QueueFileTest, OnlyTheExactStateWordsKeepTheirState) {
    load("1\r\n/f\r\n" + record("a", "/d/a", "complete") + record("b", "/d/b", "Complete ") +
         record("c", "/d/c", "NOTFOUND") + record("d", "/d/d", "") +
         record("e", "/d/e", "NotFound"));
    EXPECT_EQ(states(), (std::vector<State>{State::Queued, State::Queued, State::Queued,
                                            State::Queued, State::NotFound}));
}

TEST_F(QueueFileTest, ARecordOfAnUnknownKindIsSkippedWhole) {
    load("1\r\n/f\r\n" + record("a", "/d/a", "Complete") +
         "other.example\r\nhttp://other.example/x\r\n/d/x\r\nQueue\r\nextra\r\n\r\n" +
         record("c", "/d/c", "NotFound"));
    EXPECT_EQ(links(), (std::vector<std::string>{link("a"), link("c")}));
    EXPECT_EQ(states(), (std::vector<State>{State::Complete, State::NotFound}));
}

TEST_F(QueueFileTest, OnlyRecordsWhoseFieldsAreWholeAndWhoseLinkIsOfTheirKindLoad) {
    // The last record may lack its closing empty line.
    load("1\r\n/f\r\n" + record("a", "/d/a", "Queue") + tolvenka::serviceHost() + "\r\n" +
         link("b") + "\r\n/d/b\r\nComplete\r\n");
    EXPECT_EQ(states(), (std::vector<State>{State::Queued, State::Complete}));

    // Cut inside its fields, or not a link of the service: no download.
    load("1\r\n/f\r\n" + tolvenka::serviceHost() + "\r\n" + link("c") + "\r\n");
    EXPECT_EQ(set.count(), 0);
    load("1\r\n/f\r\n" + tolvenka::serviceHost() + "\r\n\r\n/d/x\r\nQueue\r\n\r\n" +
         tolvenka::serviceHost() + "\r\nhttp://other.example/files/1/x\r\n/d/x\r\nQueue\r\n\r\n" +
         record("d", "/d/d", "Queue"));
    EXPECT_EQ(links(), std::vector<std::string>{link("d")});
}

TEST_F(QueueFileTest, AStoredPathThatIsNowAFolderGetsTheFileName) {
    std::filesystem::create_directory(dir.file("sub"));
    load("1\r\n/f\r\n" + record("a.zip", dir.file("sub"), "Queue"));
    ASSERT_EQ(set.count(), 1);
    EXPECT_EQ((*set.begin())->getTargetPath(), dir.file("sub") + "/a.zip");
}

TEST_F(QueueFileTest, NoControlByteEntersAStoredField) {
    using namespace std::string_literals;
    const QueueOptions options =
        load("1\r\n/f\x1b\r\n" + record("a", "/d/a", "Queue") + record("b\x01", "/d/b", "Queue") +
             record("c", "/d/\0c"s, "Queue") + record("d", "/d/x\ry", "Queue") +
             record("e", "/d/e", "Complete"));
    EXPECT_EQ(options.targetFolder, defaults.targetFolder);
    EXPECT_EQ(links(), (std::vector<std::string>{link("a"), link("e")}));
    EXPECT_EQ(states(), (std::vector<State>{State::Queued, State::Complete}));
}

// Saves while the program runs go on in the background; this waits for the
// one under way.
bool saveAndWait(tolvenka::QueueFileKeeper& keeper, const QueueOptions& options) {
    int failures = 0;
    keeper.onSaveFailed = [&] {
        ++failures;
    };
    keeper.saveIfChanged(options);
    EXPECT_TRUE(testing_helpers::pumpUntil([&] { return !keeper.isSaving(); }));
    return failures == 0;
}

TEST_F(QueueFileTest, TheKeeperWritesOnlyWhatChanged) {
    tolvenka::QueueFileKeeper keeper(path, set);
    TracedDownload* download = testing_helpers::addTraced(set, "a");
    QueueOptions options = defaults;
    keeper.load(options); // no file yet: the defaults and the queue as they are
    saveAndWait(keeper, defaults);
    EXPECT_FALSE(std::filesystem::exists(path)) << "nothing changed";

    download->setState(State::Downloading); // still stored as "Queue"
    download->setState(State::Error);
    keeper.saveIfChanged(defaults);
    EXPECT_FALSE(keeper.isSaving()) << "the file would hold the same: not even made";

    download->setState(State::Complete);
    saveAndWait(keeper, defaults);
    EXPECT_EQ(readFile(path), tolvenka::queueFileContent(defaults, set));
    QueueOptions other = defaults;
    other.deleteCompleted = false;
    saveAndWait(keeper, other);
    EXPECT_EQ(readFile(path).substr(0, 3), "0\r\n");

    // A file that cannot be written is tried again at the next change only,
    // and not told while it would hold what it holds.
    std::filesystem::permissions(path, std::filesystem::perms::owner_read);
    download->setState(State::Downloading);
    download->setState(State::Complete);
    EXPECT_TRUE(saveAndWait(keeper, other));
    download->setState(State::NotFound);
    EXPECT_FALSE(saveAndWait(keeper, other));
    EXPECT_EQ(keeper.lastError(), EACCES);
    std::filesystem::permissions(path, std::filesystem::perms::owner_all);
    EXPECT_TRUE(saveAndWait(keeper, other));
    EXPECT_EQ(readFile(path).find("NotFound"), std::string::npos);
    download->setState(State::Complete);
    download->setState(State::NotFound);
    EXPECT_TRUE(saveAndWait(keeper, other));
    EXPECT_NE(readFile(path).find("NotFound"), std::string::npos);
}

// A long queue is saved a step at a time; when its order changes midway the
// save starts over, and the file holds the queue as it is, never a mix.
TEST_F(QueueFileTest, ABackgroundSaveThatMeetsAReorderStartsOver) {
    tolvenka::QueueFileKeeper keeper(path, set);
    for (int index = 0; index < 50'000; ++index) {
        testing_helpers::addTraced(set, "d" + std::to_string(index));
    }
    QueueOptions options = defaults;
    keeper.load(options);
    set.at(0)->setHeld(true);
    keeper.saveIfChanged(options);
    ASSERT_TRUE(keeper.isSaving());
    testing_helpers::pumpFor(3);
    set.move({set.at(49'999)}, tolvenka::DownloadsSet::Move::ToTop);
    keeper.saveIfChanged(options); // as the window does at a change
    ASSERT_TRUE(testing_helpers::pumpUntil([&] { return !keeper.isSaving(); }));
    EXPECT_TRUE(readFile(path) == tolvenka::queueFileContent(options, set));
    EXPECT_EQ(dir.entryCount(), 1) << "no temporary file is left";
}

TEST(QueueOptions, TheOptionLineTakesOnlyZeroOrOne) {
    // The option the line sets, or none when it keeps the one there was.
    const std::vector<std::pair<std::string, std::optional<bool>>> lines = {
        {"0", false},         {"  0 trailing", false},
        {"\t1", true},        {"1x", true},
        {"+0", false},        {"2", std::nullopt},
        {"-1", std::nullopt}, {"", std::nullopt},
        {"no", std::nullopt}, {"99999999999999999999999", std::nullopt},
    };
    for (const auto& [line, sets] : lines) {
        for (const bool before : {true, false}) {
            QueueOptions options{before, "/default/"};
            std::istringstream in(line + "\r\n/folder\r\n");
            tolvenka::readQueueOptions(in, options);
            EXPECT_EQ(options.deleteCompleted, sets.value_or(before)) << '"' << line << '"';
            EXPECT_EQ(options.targetFolder, "/folder");
        }
    }
}

TEST(QueueOptions, MissingLinesKeepTheirOptions) {
    QueueOptions options{false, "/default/"};
    std::istringstream oneLine("1");
    tolvenka::readQueueOptions(oneLine, options);
    EXPECT_TRUE(options.deleteCompleted);
    EXPECT_EQ(options.targetFolder, "/default/");
}

// A file read on a thread of its own, while the program starts, is taken as
// a file read at once is; whoever waits for it is told once.
TEST_F(QueueFileTest, AFileReadOnAThreadOfItsOwnIsTakenAsAFileReadAtOnce) {
    const std::string content = "0\r\n/f\r\n" + record("a.zip", "/d/a.zip", "Paused") +
                                record("b.zip", "/d/b.zip", "Complete");
    writeFile(path, content);
    tolvenka::QueueFileReading reading(path);
    std::atomic<int> told{0};
    const bool willTell = reading.whenRead([&] { ++told; });
    tolvenka::ReadQueueFile read = reading.take();
    EXPECT_EQ(told.load(), willTell ? 1 : 0);
    EXPECT_FALSE(reading.whenRead([&] { ++told; })) << "it has ended";

    QueueOptions options = defaults;
    ASSERT_TRUE(tolvenka::takeQueueFile(std::move(read), options, set));
    EXPECT_FALSE(options.deleteCompleted);
    EXPECT_EQ(tolvenka::queueFileContent(options, set), content);
}

TEST_F(QueueFileTest, AMissingFileChangesNothing) {
    testing_helpers::addTraced(set, "kept");
    QueueOptions options = defaults;
    EXPECT_FALSE(tolvenka::loadQueueFile(dir.file("absent.txt"), options, set));
    EXPECT_EQ(options.targetFolder, defaults.targetFolder);
    EXPECT_EQ(set.count(), 1);
}

// The bytes of `content`, `blockSize` at a time; the read of block number
// `failingBlock` (from 0) fails with EIO, and a read waits for `release`
// first from block number `waitingBlock` on, telling `waiting` once.
struct ServedFile {
    std::string content;
    std::size_t blockSize = 1;
    std::size_t failingBlock = SIZE_MAX;
    std::size_t waitingBlock = SIZE_MAX;
    std::shared_future<void> release = {};
    std::shared_ptr<std::promise<void>> waiting = std::make_shared<std::promise<void>>();

    int operator()(const std::string&, tolvenka::BlockReader& readBlock) const {
        readBlock = [served = *this, at = std::size_t{0},
                     block = std::size_t{0}](std::string& bytes) mutable {
            if (block == served.waitingBlock) {
                served.waiting->set_value();
            }
            if (block >= served.waitingBlock) {
                served.release.wait();
            }
            if (block++ == served.failingBlock) {
                return EIO;
            }
            bytes += served.content.substr(std::min(at, served.content.size()), served.blockSize);
            at += served.blockSize;
            return 0;
        };
        return 0;
    }
};

// Parsed as it is read, a file reads the same in blocks of any size, lines
// and steps back over them cut anywhere, and is known again by its
// fingerprint, as it would be in one piece.
TEST_F(QueueFileTest, AFileReadsTheSameInBlocksOfAnySize) {
    const std::string content = "0\r\n/f\r\n" + record("a", "/d/a", "Complete") +
                                "other.example\r\nhttp://other.example/x\r\n\r\r\nQueue\n\r\n" +
                                record("b", "/d/b", "Paused") + std::string(70'000, 'x') +
                                "\r\n\n" + record("c", "/d/c", "NotFound");
    auto expected = std::make_unique<tolvenka::FingerprintBuffer>(nullptr);
    std::ostream(expected.get()) << content;
    for (const std::size_t blockSize : {1, 2, 3, 7, 65'536, 1'000'000}) {
        tolvenka::ReadQueueFile read =
            tolvenka::readQueueFile(path, ServedFile{content, blockSize});
        EXPECT_EQ(read.fingerprint, expected->fingerprint()) << blockSize;
        QueueOptions options = defaults;
        ASSERT_TRUE(tolvenka::takeQueueFile(std::move(read), options, set));
        EXPECT_FALSE(options.deleteCompleted);
        EXPECT_EQ(links(), (std::vector<std::string>{link("a"), link("b"), link("c")}))
            << blockSize;
        EXPECT_EQ(states(), (std::vector<State>{State::Complete, State::Queued, State::NotFound}));
        EXPECT_TRUE(set.at(1)->isHeld());
    }
}

// Taken for no file, or for the part read, a file that is there but cannot
// be read would be written over by the first save: its reading fails,
// naming the file, whether it fails at once or part way.
TEST_F(QueueFileTest, AFileThatIsThereButCannotBeReadFailsInsteadOfCountingAsNoneOrAsItsPart) {
    std::filesystem::create_directory(path);
    try {
        tolvenka::readQueueFile(path);
        ADD_FAILURE() << "a folder was read as a queue file";
    } catch (const std::exception& failure) {
        EXPECT_NE(std::string(failure.what()).find(path), std::string::npos) << failure.what();
    }
    const std::string content =
        "0\r\n/f\r\n" + record("a.zip", "/d/a.zip", "Queue") + record("b.zip", "/d/b.zip", "Queue");
    for (const std::size_t failingBlock : {0, 1, 2}) {
        const ServedFile served{content, content.size() / 2, failingBlock};
        EXPECT_ANY_THROW(tolvenka::readQueueFile(path, served)) << failingBlock;
        tolvenka::QueueFileReading reading(path, served);
        EXPECT_ANY_THROW(reading.take()) << failingBlock;
    }
    tolvenka::QueueFileReading reading(
        path, [](const std::string&, tolvenka::BlockReader&) { return EIO; });
    EXPECT_ANY_THROW(reading.take());
}

// A file whose next block never comes (a stalled network mount) is let go
// at once, part way through, and what was read of it is never taken.
TEST_F(QueueFileTest, AReadingThatStallsPartWayIsLetGoAtOnce) {
    std::promise<void> release;
    ServedFile served{"0\r\n/f\r\n" + record("a.zip", "/d/a.zip", "Queue"), 8};
    served.waitingBlock = 3;
    served.release = release.get_future().share();
    std::future<void> waiting = served.waiting->get_future();
    std::atomic<bool> told{false};
    auto reading = std::make_unique<tolvenka::QueueFileReading>(path, served);
    reading->whenRead([&] { told = true; });
    ASSERT_EQ(waiting.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    reading.reset();
    release.set_value();
    EXPECT_FALSE(told.load());
}

std::vector<std::string> entriesOf(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Makes every write past `bytes` fail as on a full disk, for its lifetime.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &previous);
        rlimit limited = previous;
        limited.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limited);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &previous);
        std::signal(SIGXFSZ, previousHandler);
    }

private:
    rlimit previous{};
    void (*previousHandler)(int) = nullptr;
};

TEST_F(QueueFileTest, AFullDiskLeavesTheOldFileWhole) {
    const std::string old = "1\r\n/f\r\n" + record("old", "/d/old", "Queue");
    writeFile(path, old);
    set.add(link(std::string(4096, 'x')), "/d");
    {
        FileSizeLimit fullDisk(512);
        EXPECT_FALSE(tolvenka::saveQueueFile(path, defaults, set));
    }
    EXPECT_EQ(readFile(path), old);
    EXPECT_EQ(entriesOf(dir.path()), std::vector<std::string>{"downloads.txt"});
}

TEST_F(QueueFileTest, AFailingRenameLeavesWhatWasThere) {
    std::filesystem::create_directory(path);
    writeFile(path + "/inside", "kept");
    EXPECT_FALSE(tolvenka::saveQueueFile(path, defaults, set));
    EXPECT_EQ(readFile(path + "/inside"), "kept");
    EXPECT_EQ(entriesOf(dir.path()), std::vector<std::string>{"downloads.txt"});
}

} // namespace
