#include "archives/QueueUnpacking.h"

#include "archives/MemoryUnpackedSetsRecord.h"
#include "archives/StagingFolder.h"
#include "tests/archives/QueueFixture.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <thread>

using archives_testing::noise;
using archives_testing::QueueFixture;
using archives_testing::Tree;
using rarvolumes::RarVersion;
using testing_helpers::pumpFor;
using testing_helpers::pumpUntil;
using tolvenka::archives::MemoryUnpackedSetsRecord;
using tolvenka::archives::QueueUnpacking;
using tolvenka::archives::SetId;
using tolvenka::archives::UnpackOutcome;
using namespace kestrune::text::literals;
using Names = std::vector<std::string>;
namespace fs = std::filesystem;

namespace {

constexpr int unpackTimeoutMs = 60'000;

// The queue's sets as the window follows them: every event noted, every
// row's new caption kept.
class QueueUnpackingTest : public QueueFixture {
public:
    ~QueueUnpackingTest() override {
        queue.onSetChange.clear();
        queue.onStatusChange.clear();
    }

    // The program starts with the queue as it is.
    void start(QueueUnpacking::Options options = {}) {
        unpacking.reset();
        unpacking = std::make_unique<QueueUnpacking>(queue, record, std::move(options));
        queue.onSetChange = [this](tolvenka::DownloadsSet*) {
            unpacking->syncMembers();
        };
        queue.onStatusChange = [this](Download* download, int) {
            unpacking->noteStatusChange(download);
        };
        unpacking->onRowsChange = [this](const std::vector<std::uint64_t>& serials) {
            for (const std::uint64_t serial : serials) {
                captions[serial].push_back(unpacking->captionOf(downloadOf(serial)).value_or("-"));
            }
        };
        unpacking->onUnpacked = [this](const UnpackOutcome& outcome) {
            unpacked.push_back(outcome.setName);
            notices.push_back(outcome.notice());
        };
        unpacking->onIncomplete = [this](const std::string& set, const std::string& missing) {
            incomplete.push_back(set + ": " + missing);
        };
        unpacking->onPasswordNeeded = [this](const SetId& set, const std::string& name) {
            asked.push_back(set);
            askedNames.push_back(name);
        };
        unpacking->onPasswordWorked = [this](const std::string& password) {
            worked.push_back(password);
        };
        unpacking->syncMembers();
    }

    const Download* downloadOf(std::uint64_t serial) const {
        for (int index = 0; index < queue.count(); ++index) {
            if (queue.serialAt(index) == serial) {
                return queue.at(index);
            }
        }
        return nullptr;
    }

    // What the row of `download` showed, in turn.
    const Names& captionsOf(const Download* download) {
        return captions[queue.serialAt(queue.indexOf(download))];
    }
    std::string captionOf(const Download* download) const {
        return unpacking->captionOf(download).value_or("-");
    }

    // The downloads' files arrive, as a worker ends them: on a thread of
    // its own.
    static void completeOnWorker(const std::vector<ScriptedDownload*>& downloads) {
        std::thread worker([&] {
            for (ScriptedDownload* download : downloads) {
                download->setState(State::Complete);
            }
        });
        worker.join();
    }

    bool waitForUnpacked(std::size_t count) {
        return pumpUntil([&] { return unpacked.size() >= count; }, unpackTimeoutMs);
    }

    // RAR 5 volumes of about 40 KiB holding two files.
    std::vector<std::string> smallSet(const std::string& name, unsigned seed = 1) {
        return makeRar(name, rarEntriesOf(smallTree(seed)), {RarVersion::Rar5, 40 << 10, false, 0});
    }
    static Tree smallTree(unsigned seed = 1) {
        return {{"docs/a.bin", noise(100 << 10, seed)}, {"b.txt", "b"}};
    }

    MemoryUnpackedSetsRecord record;
    std::unique_ptr<QueueUnpacking> unpacking;
    std::map<std::uint64_t, Names> captions;
    Names unpacked;
    Names notices;
    Names incomplete;
    std::vector<SetId> asked;
    Names askedNames;
    Names worked;
};

void flipByte(const std::string& path, std::uint64_t offset) {
    std::fstream file(kestrune::text::toUtf8(path),
                      std::ios::in | std::ios::out | std::ios::binary);
    file.seekg(static_cast<std::streamoff>(offset));
    const char byte = static_cast<char>(file.get() ^ 0x5A);
    file.seekp(static_cast<std::streamoff>(offset));
    file.put(byte);
}

} // namespace

TEST_F(QueueUnpackingTest, ASetUnpacksOnceAfterItsLastPartArrivesInAnyOrder) {
    const std::vector<std::string> parts = smallSet("film");
    ASSERT_EQ(parts.size(), 3u);
    start();
    const std::vector<ScriptedDownload*> downloads = addDownloads(parts);
    EXPECT_EQ(captionOf(downloads[0]), "Набор: 0 из 3"_cp1251);

    completeOnWorker({downloads[2], downloads[0]});
    ASSERT_TRUE(pumpUntil([&] { return captionOf(downloads[1]) == "Набор: 2 из 3"_cp1251; }));
    pumpFor(100);
    EXPECT_EQ(record.count(), 0u);

    completeOnWorker({downloads[1]});
    ASSERT_TRUE(waitForUnpacked(1));
    EXPECT_EQ(readTree(partsFolder() + "/film"), smallTree());
    EXPECT_EQ(notices, Names{std::string("Распакован набор «film»: файлов 2, 0,00 ГБ"_cp1251)});
    EXPECT_EQ(record.count(), 1u);
    const Names& shown = captionsOf(downloads[0]);
    // "Распаковка N %", with N as far as the set came when the row was told.
    const auto unpackingShown =
        std::find_if(shown.begin(), shown.end(), [](const std::string& text) {
            return text.starts_with("Распаковка "_cp1251) && text.ends_with(" %");
        });
    EXPECT_NE(unpackingShown, shown.end());
    EXPECT_EQ(std::find(shown.begin(), unpackingShown, "Набор: 3 из 3"_cp1251) == unpackingShown,
              false);
    EXPECT_EQ(shown.back(), "Распакован"_cp1251);
    EXPECT_EQ(captionOf(downloads[2]), "Распакован"_cp1251);

    // Fetched again, a part arrives anew: the set waits its turn again, and
    // is then known as unpacked.
    const auto before = static_cast<std::ptrdiff_t>(shown.size());
    downloads[1]->setState(State::Error);
    completeOnWorker({downloads[1]});
    ASSERT_TRUE(pumpUntil([&] {
        const Names& now = captionsOf(downloads[0]);
        const auto waited = std::find(now.begin() + before, now.end(), "Набор: 3 из 3"_cp1251);
        return waited != now.end() && waited + 1 != now.end() && now.back() == "Распакован"_cp1251;
    }));
    EXPECT_EQ(unpacked, Names{"film"});
    EXPECT_EQ(record.count(), 1u);
    EXPECT_FALSE(fs::exists(partsFolder() + "/film (1)"));
}

TEST_F(QueueUnpackingTest, SetsUnpackOneAtATimeInTheOrderTheyAreWholeAndARestartRemembersThem) {
    const std::vector<std::string> one = smallSet("one", 1);
    const std::vector<std::string> two = make7zz("two.7z", smallTree(2), {"-v30k", "-mx0"});
    ASSERT_GE(two.size(), 3u);
    start();
    const std::vector<ScriptedDownload*> first = addDownloads(one);
    const std::vector<ScriptedDownload*> second = addDownloads(two);
    completeOnWorker(second);
    ASSERT_TRUE(pumpUntil([&] { return unpacking->unpacking() != nullptr || !unpacked.empty(); }));
    completeOnWorker(first);
    bool oneBeforeTwoEnded = false;
    ASSERT_TRUE(pumpUntil(
        [&] {
            const SetId* now = unpacking->unpacking();
            oneBeforeTwoEnded =
                oneBeforeTwoEnded || (now != nullptr && now->name == "one" && unpacked.empty());
            return unpacked.size() >= 2;
        },
        unpackTimeoutMs));
    EXPECT_FALSE(oneBeforeTwoEnded);
    EXPECT_EQ(unpacked, (Names{"two", "one"}));
    EXPECT_EQ(readTree(partsFolder() + "/two"), smallTree(2));

    // The next start knows both, and unpacks neither again.
    start();
    ASSERT_TRUE(pumpUntil([&] {
        return captionOf(first[0]) == "Распакован"_cp1251 &&
               captionOf(second[0]) == "Распакован"_cp1251;
    }));
    pumpFor(100);
    EXPECT_EQ(unpacked, (Names{"two", "one"}));
    EXPECT_FALSE(fs::exists(partsFolder() + "/one (1)"));
    EXPECT_EQ(record.count(), 2u);
}

TEST_F(QueueUnpackingTest, PasswordsOfTheTextOpenASetAndOneThatNoneOpensAsksOnceUntilAnswered) {
    const std::vector<std::string> locked =
        make7zz("locked.zip", smallTree(1), {"-tzip", "-pforum"});
    const std::vector<std::string> secret =
        make7zz("secret.zip", smallTree(2), {"-tzip", "-psesame"});
    start({{"from settings"}, false, {}});
    ScriptedDownload* lockedDownload = addDownload(locked.front());
    ScriptedDownload* secretDownload = addDownload(secret.front());
    unpacking->setPasswords({lockedDownload}, {"forum"});
    completeOnWorker({lockedDownload, secretDownload});

    ASSERT_TRUE(
        pumpUntil([&] { return unpacked.size() == 1 && asked.size() == 1; }, unpackTimeoutMs));
    EXPECT_EQ(readTree(partsFolder() + "/locked"), smallTree(1));
    EXPECT_EQ(worked, Names{"forum"});
    EXPECT_EQ(askedNames, Names{"secret"});
    EXPECT_EQ(captionOf(secretDownload), "Не распакован: нужен пароль"_cp1251);
    pumpFor(200);
    EXPECT_EQ(asked.size(), 1u) << "asked once, never again by itself";

    // A wrong answer leaves it asking; the right one opens it.
    unpacking->provide(asked.front(), "wrong");
    ASSERT_TRUE(pumpUntil([&] { return asked.size() == 2; }, unpackTimeoutMs));
    unpacking->decline(asked.front());
    EXPECT_EQ(captionOf(secretDownload), "Не распакован: нужен пароль"_cp1251);
    unpacking->provide(asked.front(), "sesame");
    ASSERT_TRUE(waitForUnpacked(2));
    EXPECT_EQ(readTree(partsFolder() + "/secret"), smallTree(2));
    EXPECT_EQ(worked, (Names{"forum", "sesame"}));
}

TEST_F(QueueUnpackingTest, APartGoneIsToldOnceAndNothingOfItsSetUnpacks) {
    const std::vector<std::string> parts = smallSet("film");
    start();
    const std::vector<ScriptedDownload*> downloads = addDownloads(parts);
    downloads[1]->setState(State::NotFound);
    completeOnWorker({downloads[0], downloads[2]});
    ASSERT_TRUE(pumpUntil([&] { return incomplete.size() == 1; }));
    downloads[1]->setState(State::Queued);
    downloads[1]->setState(State::NotFound);
    pumpFor(200);
    EXPECT_EQ(incomplete, Names{std::string("film: нет части 2"_cp1251)});
    EXPECT_EQ(captionOf(downloads[0]), "Набор неполон: нет части 2"_cp1251);
    EXPECT_EQ(unpacked, Names{});
    EXPECT_FALSE(fs::exists(partsFolder() + "/film"));
}

TEST_F(QueueUnpackingTest, PartsGoToTheTrashOnlyAfterTheirWholeSetUnpackedWithoutAnError) {
    const testing_helpers::ScopedHome home;
    const std::vector<std::string> good = smallSet("good", 1);
    const std::vector<std::string> bad = smallSet("bad", 2);
    flipByte(bad[1], 20 << 10);
    start({{}, true, {}});
    const std::vector<ScriptedDownload*> goodDownloads = addDownloads(good);
    const std::vector<ScriptedDownload*> badDownloads = addDownloads(bad);
    completeOnWorker(badDownloads);
    completeOnWorker(goodDownloads);
    ASSERT_TRUE(waitForUnpacked(1));
    ASSERT_TRUE(pumpUntil([&] {
        return captionOf(badDownloads[0]).starts_with("Не распакован: часть 2 повреждена"_cp1251);
    }));
    EXPECT_EQ(namesIn(home.trashFiles()),
              (Names{"good.part1.rar", "good.part2.rar", "good.part3.rar"}));
    for (const std::string& part : bad) {
        EXPECT_TRUE(fs::exists(part)) << part;
    }
    EXPECT_EQ(readTree(partsFolder() + "/good"), smallTree(1));
    EXPECT_FALSE(fs::exists(partsFolder() + "/bad"));

    // The next start knows the set whose parts are gone as unpacked.
    start();
    ASSERT_TRUE(pumpUntil([&] { return captionOf(goodDownloads[0]) == "Распакован"_cp1251; }));
    // The damaged set is tried again at each start; it ends before the
    // test's home does.
    unpacking.reset();
}

TEST_F(QueueUnpackingTest,
       AnUnpackingCutOffLeavesItsSetUnrecordedAndItsFolderCleanForTheNextStart) {
    // What a program killed while it unpacked left in the folder.
    const std::string dead =
        partsFolder() + "/" + tolvenka::archives::StagingFolder::namePrefix + "dead";
    fs::create_directories(dead + "/docs");
    testing_helpers::writeFile(dead + "/docs/a.bin", "half");

    const std::vector<std::string> parts = smallSet("film");
    std::promise<void> entered;
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    start({{}, false, [&](const std::string&) -> std::optional<std::uint64_t> {
               entered.set_value();
               released.wait();
               return std::nullopt;
           }});
    const std::vector<ScriptedDownload*> downloads = addDownloads(parts);
    completeOnWorker(downloads);
    std::future<void> waiting = entered.get_future();
    ASSERT_TRUE(pumpUntil(
        [&] { return waiting.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
    EXPECT_FALSE(fs::exists(dead));

    // The program ends while the set unpacks: the set is cancelled, and
    // goes on only once the end has asked for it.
    std::thread releaser([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        release.set_value();
    });
    unpacking.reset();
    releaser.join();
    EXPECT_EQ(record.count(), 0u);
    EXPECT_EQ(namesIn(partsFolder()),
              (Names{"film.part1.rar", "film.part2.rar", "film.part3.rar"}));
    EXPECT_EQ(unpacked, Names{});

    start();
    ASSERT_TRUE(waitForUnpacked(1));
    EXPECT_EQ(readTree(partsFolder() + "/film"), smallTree());
    EXPECT_EQ(record.count(), 1u);
}
