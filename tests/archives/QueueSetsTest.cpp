#include "archives/QueueSets.h"

#include "archives/MemoryUnpackedSetsRecord.h"
#include "archives/SetKey.h"
#include "tests/archives/QueueFixture.h"

#include <filesystem>

using archives_testing::QueueFixture;
using tolvenka::archives::ArchiveSet;
using tolvenka::archives::MemoryUnpackedSetsRecord;
using tolvenka::archives::QueueSets;
using tolvenka::archives::SetId;
using tolvenka::archives::SetKey;
using namespace kestrune::text::literals;
using Names = std::vector<std::string>;

namespace {

class QueueSetsTest : public QueueFixture {
public:
    QueueSetsTest() {
        queue.onSetChange = [this](tolvenka::DownloadsSet*) {
            sets.syncMembers();
        };
        queue.onStatusChange = [this](Download* download, int) {
            sets.noteStatusChange(download);
        };
        sets.onSetChange = [this](const SetId& set) {
            changed.push_back(set.name);
        };
        sets.onAllArrived = [this](const SetId& set) {
            arrived.push_back(set.name);
        };
        sets.onPartGone = [this](const SetId& set) {
            gone.push_back(set.name);
        };
    }

    // The download's state becomes `state`, with its file in place where it
    // completes.
    void settle(ScriptedDownload* download, State state) {
        if (state == State::Complete) {
            putFile(std::string(download->getTargetPath()));
        }
        download->setState(state);
        sets.takeNotedChanges();
    }

    std::string captionOf(const Download* download) const {
        const SetId* set = sets.setOf(download);
        return set == nullptr ? "no set" : sets.summaryOf(*set)->caption();
    }

    QueueSets sets{queue};
    Names changed;
    Names arrived;
    Names gone;
};

} // namespace

TEST_F(QueueSetsTest, PartsOfASetAreCountedAsTheyArriveAndOtherFilesMakeNone) {
    std::vector<ScriptedDownload*> parts;
    for (int number = 1; number <= 6; ++number) {
        parts.push_back(addDownload(part("film.part" + std::to_string(number) + ".rar")));
    }
    const Download* readme = addDownload(part("readme.txt"));
    EXPECT_EQ(sets.setOf(readme), nullptr);
    EXPECT_EQ(captionOf(parts[0]), "Набор: 0 из 6"_cp1251);
    for (const int index : {4, 0, 2}) {
        settle(parts[static_cast<std::size_t>(index)], State::Complete);
    }
    EXPECT_EQ(captionOf(parts[5]), "Набор: 3 из 6"_cp1251);
    const SetId set = *sets.setOf(parts[0]);
    EXPECT_EQ(sets.serialsOf(set).size(), 6u);

    // A step on the way that changes no count repaints nothing.
    changed.clear();
    settle(parts[1], State::Processing);
    EXPECT_EQ(changed, Names{});
    EXPECT_EQ(sets.arrivedSet(set), std::nullopt);

    for (const int index : {5, 1, 3}) {
        settle(parts[static_cast<std::size_t>(index)], State::Complete);
    }
    EXPECT_EQ(captionOf(parts[0]), "Набор: 6 из 6"_cp1251);
    EXPECT_EQ(arrived, Names{"film"});
    const std::optional<ArchiveSet> arrivedSet = sets.arrivedSet(set);
    ASSERT_TRUE(arrivedSet.has_value());
    EXPECT_EQ(arrivedSet->partPaths().front(), part("film.part1.rar"));
    EXPECT_EQ(arrivedSet->partPaths().back(), part("film.part6.rar"));
}

TEST_F(QueueSetsTest, AGapOrAPartGoneLeavesItsSetIncompleteAndAGonePartIsToldOnce) {
    for (ScriptedDownload* download :
         addDownloads({part("film.part1.rar"), part("film.part2.rar"), part("film.part3.rar"),
                       part("film.part5.rar")})) {
        settle(download, State::Complete);
        EXPECT_EQ(captionOf(download), "Набор неполон: нет части 4"_cp1251);
    }
    const std::vector<ScriptedDownload*> show =
        addDownloads({part("show.7z.001"), part("show.7z.002"), part("show.7z.003")});
    settle(show[1], State::NotFound);
    EXPECT_EQ(captionOf(show[0]), "Набор неполон: нет части 2"_cp1251);
    settle(show[2], State::NotFound);
    EXPECT_EQ(captionOf(show[0]), "Набор неполон: нет частей 2, 3"_cp1251);
    settle(show[2], State::Queued);
    settle(show[2], State::Complete);
    settle(show[0], State::Complete);
    settle(show[1], State::Queued);
    settle(show[1], State::NotFound);

    EXPECT_EQ(gone, Names{"show"});
    EXPECT_EQ(arrived, Names{});
    EXPECT_EQ(sets.arrivedSet(*sets.setOf(show[0])), std::nullopt);
}

TEST_F(QueueSetsTest, PartsThatArrivedEarlierCountFromTheFolderButCopiesUnderFreeNamesDoNot) {
    putFile(part("film.part1.rar"));
    putFile(part("film.part2.rar"));
    putFile(part("film.part3 (1).rar"));
    putFile(part("film.part3.rar.part"));
    const std::vector<ScriptedDownload*> later =
        addDownloads({part("film.part3.rar"), part("film.part4.rar")});
    EXPECT_EQ(captionOf(later[0]), "Набор: 2 из 4"_cp1251);
    settle(later[1], State::Complete);
    EXPECT_EQ(arrived, Names{});
    settle(later[0], State::Complete);
    EXPECT_EQ(arrived, Names{"film"});
    const std::optional<ArchiveSet> arrivedSet = sets.arrivedSet(*sets.setOf(later[0]));
    ASSERT_TRUE(arrivedSet.has_value());
    EXPECT_EQ(arrivedSet->partPaths(), (Names{part("film.part1.rar"), part("film.part2.rar"),
                                              part("film.part3.rar"), part("film.part4.rar")}));
}

TEST_F(QueueSetsTest, ADownloadMovedToAnotherFolderTakesItsPartToTheSetThere) {
    const std::vector<ScriptedDownload*> parts =
        addDownloads({part("film.part1.rar"), part("film.part2.rar")});
    const std::string other = temp.file("other");
    ASSERT_EQ(queue.moveToFolder({parts[1]}, other), 1);
    ASSERT_EQ(parts[1]->getTargetPath(), other + "/film.part2.rar");
    EXPECT_EQ(captionOf(parts[0]), "Набор: 0 из 1"_cp1251);
    EXPECT_EQ(captionOf(parts[1]), "Набор неполон: нет части 1"_cp1251);
    EXPECT_NE(*sets.setOf(parts[0]), *sets.setOf(parts[1]));
}

TEST_F(QueueSetsTest, ALoneRarBecomesTheFirstPartOfTheOldStyleVolumesThatJoinIt) {
    const ScriptedDownload* first = addDownload(part("show.rar"));
    EXPECT_EQ(captionOf(first), "Набор: 0 из 1"_cp1251);
    const std::vector<ScriptedDownload*> more = addDownloads({part("show.r00"), part("show.r01")});
    EXPECT_EQ(captionOf(first), "Набор: 0 из 3"_cp1251);
    EXPECT_EQ(*sets.setOf(first), *sets.setOf(more[1]));
    // Archives of other kinds under the same name are sets of their own.
    const ScriptedDownload* zip = addDownload(part("show.zip"));
    const ScriptedDownload* upper = addDownload(part("show.ZIP"));
    EXPECT_NE(*sets.setOf(zip), *sets.setOf(first));
    EXPECT_NE(*sets.setOf(zip), *sets.setOf(upper));
}

TEST_F(QueueSetsTest,
       DownloadsThatLeaveLeaveTheirSetAndAWholeSetIsToldAgainOnlyWhenAPartArrivesAnew) {
    const std::vector<ScriptedDownload*> parts =
        addDownloads({part("film.part1.rar"), part("film.part2.rar")});
    settle(parts[0], State::Complete);
    settle(parts[1], State::Complete);
    settle(parts[1], State::Complete);
    EXPECT_EQ(arrived, Names{"film"});
    // Fetched again: it fails first, then arrives once more.
    settle(parts[0], State::Error);
    EXPECT_EQ(captionOf(parts[0]), "Набор: 1 из 2"_cp1251);
    settle(parts[0], State::Complete);
    EXPECT_EQ(arrived, (Names{"film", "film"}));

    const SetId set = *sets.setOf(parts[0]);
    queue.remove({parts[0]});
    EXPECT_EQ(sets.serialsOf(set).size(), 1u);
    EXPECT_EQ(sets.summaryOf(set)->caption(), "Набор: 2 из 2"_cp1251) << "its file is still there";
    queue.clearComplete();
    EXPECT_EQ(sets.summaryOf(set), nullptr);
    EXPECT_EQ(sets.serialsOf(set), std::vector<std::uint64_t>{});
}

TEST_F(QueueSetsTest, PasswordsGivenForDownloadsAreTheirSetsEachOnceInOrder) {
    const std::vector<ScriptedDownload*> parts =
        addDownloads({part("film.part1.rar"), part("film.part2.rar")});
    const ScriptedDownload* readme = addDownload(part("readme.txt"));
    sets.setPasswords({parts[0]}, {"a", "b"});
    sets.setPasswords({parts[1], readme}, {"b", "c"});
    EXPECT_EQ(sets.passwordsOf(*sets.setOf(parts[1])), (Names{"a", "b", "c"}));
}

TEST_F(QueueSetsTest, ASetIsRecordedByItsFolderFirstPartAndSizesSoThatAnotherUnderItsNameIsNotIt) {
    putFile(part("film.part1.rar"), "aaaa");
    putFile(part("film.part2.rar"), "bb");
    const ArchiveSet set = setOf({part("film.part1.rar"), part("film.part2.rar")});
    const std::optional<SetKey> key = SetKey::of(set);
    ASSERT_TRUE(key.has_value());
    EXPECT_EQ(key->text(), partsFolder() + "\tfilm.part1.rar\t4,2");
    MemoryUnpackedSetsRecord record;
    record.markUnpacked(*key, {});
    EXPECT_TRUE(record.isUnpacked(*SetKey::of(set)));
    EXPECT_TRUE(record.isUnpacked(SetKey::named(set))) << "its parts gone, its name is known";

    putFile(part("film.part2.rar"), "ccc");
    EXPECT_FALSE(record.isUnpacked(*SetKey::of(set)));
    std::filesystem::remove(part("film.part2.rar"));
    EXPECT_EQ(SetKey::of(set), std::nullopt);
    EXPECT_FALSE(record.isUnpacked(SetKey::named(setOf({part("show.7z.001")}))));
}
