#include "archives/ArchiveSet.h"
#include "archives/UnpackOutcome.h"
#include "support/Cp1251.h"

#include <gtest/gtest.h>

using tolvenka::archives::ArchiveSet;
using tolvenka::archives::gigabytesText;
using tolvenka::archives::partNameOf;
using tolvenka::archives::SetKind;
using tolvenka::archives::UnpackOutcome;
using namespace kestrune::text::literals;

namespace {

struct NameCase {
    std::string_view file;
    SetKind kind;
    std::string_view base;
    std::uint64_t number;
    bool isArchive;
};

std::vector<std::uint64_t> positionsOf(const ArchiveSet& set) {
    std::vector<std::uint64_t> positions;
    for (const ArchiveSet::Part& part : set.parts()) {
        positions.push_back(part.position);
    }
    return positions;
}

} // namespace

TEST(PartNames, EachNamingOfASetIsKnownAndAnyOtherFileIsNone) {
    const std::vector<NameCase> parts = {
        {"Сериал_сезон_01.part1.rar"_cp1251, SetKind::RarParts, "Сериал_сезон_01"_cp1251, 1, true},
        {"Film.PART007.RAR", SetKind::RarParts, "Film", 7, true},
        {"Film.part10.rar", SetKind::RarParts, "Film", 10, true},
        {"Film.2020.part2.rar", SetKind::RarParts, "Film.2020", 2, true},
        {"Film.rar", SetKind::Lone, "Film", 0, true},
        {"x.part.rar", SetKind::Lone, "x.part", 0, true},
        {"Film.r00", SetKind::RarOldStyle, "Film", 1, true},
        {"Film.R99", SetKind::RarOldStyle, "Film", 100, true},
        {"Film.s00", SetKind::RarOldStyle, "Film", 101, true},
        {"Film.7z.001", SetKind::Numbered, "Film", 1, true},
        {"Film.zip.012", SetKind::Numbered, "Film", 12, true},
        {"backup.tar.gz.003", SetKind::Numbered, "backup", 3, true},
        {"movie.mkv.001", SetKind::Numbered, "movie.mkv", 1, false},
        {"a.zip", SetKind::Lone, "a", 0, true},
        {"a.7z", SetKind::Lone, "a", 0, true},
        {"a.tar", SetKind::Lone, "a", 0, true},
        {"a.TAR.GZ", SetKind::Lone, "a", 0, true},
        {"a.tar.xz", SetKind::Lone, "a", 0, true},
        {"a.tar.bz2", SetKind::Lone, "a", 0, true},
        {"a.tgz", SetKind::Lone, "a", 0, true},
        // Parts that arrived beside files of their names.
        {"Film.part1 (1).rar", SetKind::RarParts, "Film (1)", 1, true},
        {"Film.7z (12).003", SetKind::Numbered, "Film (12)", 3, true},
        {"movie.mkv (1).001", SetKind::Numbered, "movie (1).mkv", 1, false},
        {"Show (1).r00", SetKind::RarOldStyle, "Show (1)", 1, true},
        {"Film.part1 (x).rar", SetKind::Lone, "Film.part1 (x)", 0, true},
    };
    for (const NameCase& expected : parts) {
        SCOPED_TRACE(kestrune::text::toUtf8(expected.file));
        EXPECT_TRUE(tolvenka::archives::mayBePartName(expected.file));
        const auto name = partNameOf(expected.file);
        ASSERT_TRUE(name.has_value());
        EXPECT_EQ(name->kind, expected.kind);
        EXPECT_EQ(name->base, expected.base);
        EXPECT_EQ(name->number, expected.number);
        EXPECT_EQ(name->isArchive, expected.isArchive);
    }
    for (const std::string_view none :
         {"readme.txt", ".rar", "..rar", "photo.2023", "movie.001", "file.tar.gz.1", "x.r0",
          "x.part1.rar/", "sub/a.zip", "a.gz"}) {
        EXPECT_FALSE(partNameOf(none).has_value()) << none;
    }
    for (const std::string_view plain :
         {"readme.txt", "movie.mkv", "photo", "photo.", "page.html", "x.rar.part", "v.r0"}) {
        EXPECT_FALSE(tolvenka::archives::mayBePartName(plain)) << plain;
    }
}

TEST(ArchiveSets, CopiesOfPartsUnderFreeNamesMakeASetOfTheirOwn) {
    const std::vector<ArchiveSet> sets = ArchiveSet::group({
        "/d/Film.part1.rar",
        "/d/Film.part2 (1).rar",
        "/d/Film.part2.rar",
        "/d/Film.part1 (1).rar",
        "/d/a.7z (1).002",
        "/d/a.7z.001",
    });
    ASSERT_EQ(sets.size(), 4u);
    EXPECT_EQ(sets[0].name(), "Film");
    EXPECT_EQ(sets[0].partPaths(),
              (std::vector<std::string>{"/d/Film.part1.rar", "/d/Film.part2.rar"}));
    EXPECT_EQ(sets[1].name(), "Film (1)");
    EXPECT_EQ(sets[1].partPaths(),
              (std::vector<std::string>{"/d/Film.part1 (1).rar", "/d/Film.part2 (1).rar"}));
    EXPECT_EQ(sets[1].unpackFolderName(), "Film (1)");
    EXPECT_EQ(sets[2].name(), "a");
    EXPECT_EQ(sets[3].name(), "a (1)");
    EXPECT_EQ(sets[3].missingPartsText(), "нет части 1"_cp1251);
}

TEST(ArchiveSets, PartsAreGroupedByFolderAndNameInTheirOrderWithTheirGaps) {
    const std::vector<ArchiveSet> sets = ArchiveSet::group({
        "/d/Film.part2.rar",
        "/d/Film.part1.rar",
        "/d/Film.part04.rar",
        "/e/Film.part1.rar",
        "/d/Show.r02",
        "/d/Show.rar",
        "/d/Show.r00",
        "/d/Lone.rar",
        "/d/a.7z.002",
        "/d/a.7z.001",
        "/d/readme.txt",
        "/d/b.ZIP",
        "/d/b.zip",
        "/d/movie.mkv.002",
        "/d/movie.mkv.003",
    });
    ASSERT_EQ(sets.size(), 8u);
    const ArchiveSet& film = sets[0];
    EXPECT_EQ(film.name(), "Film");
    EXPECT_EQ(film.folder(), "/d");
    EXPECT_EQ(film.kind(), SetKind::RarParts);
    EXPECT_EQ(film.partPaths(), (std::vector<std::string>{"/d/Film.part1.rar", "/d/Film.part2.rar",
                                                          "/d/Film.part04.rar"}));
    EXPECT_EQ(film.missingPartsText(), "нет части 3"_cp1251);
    EXPECT_EQ(sets[1].name(), "Lone");
    EXPECT_EQ(sets[1].kind(), SetKind::Lone);
    EXPECT_EQ(sets[2].kind(), SetKind::RarOldStyle);
    EXPECT_EQ(sets[2].partPaths(),
              (std::vector<std::string>{"/d/Show.rar", "/d/Show.r00", "/d/Show.r02"}));
    EXPECT_EQ(positionsOf(sets[2]), (std::vector<std::uint64_t>{1, 2, 4}));
    EXPECT_EQ(sets[3].partPaths(), (std::vector<std::string>{"/d/a.7z.001", "/d/a.7z.002"}));
    EXPECT_EQ(sets[3].missingPartsText(), "");
    // Names that differ in the case of their extension are two archives.
    EXPECT_EQ(sets[4].partPaths(), std::vector<std::string>{"/d/b.ZIP"});
    EXPECT_EQ(sets[5].partPaths(), std::vector<std::string>{"/d/b.zip"});
    EXPECT_FALSE(sets[6].isArchive());
    EXPECT_EQ(sets[6].joinedFileName(), "movie.mkv");
    EXPECT_EQ(sets[6].missingPartsText(), "нет части 1"_cp1251);
    EXPECT_EQ(sets[7].folder(), "/e");
}

TEST(ArchiveSets, ALoneRarJoinsItsOldStyleVolumesAndGapsAreNamedTogether) {
    EXPECT_EQ(ArchiveSet::group({"Show.rar"}).front().kind(), SetKind::Lone);
    const auto set =
        ArchiveSet::containing("Show.rar", {"x.zip", "Show.rar", "Show.r01", "Show.r04"});
    ASSERT_TRUE(set.has_value());
    EXPECT_EQ(set->kind(), SetKind::RarOldStyle);
    EXPECT_EQ(set->missingPositions(), (std::vector<std::uint64_t>{2, 4, 5}));
    EXPECT_EQ(set->missingPartsText(), "нет частей 2, 4, 5"_cp1251);
    EXPECT_EQ(set->unpackFolderName(), "Show");
    EXPECT_FALSE(ArchiveSet::containing("readme.txt", {"readme.txt"}).has_value());
}

TEST(UnpackNotice, TellsTheFilesAndGigabytesInRussian) {
    const std::vector<std::pair<std::int64_t, std::string_view>> sizes = {
        {0, "0 ГБ"_cp1251},
        {30 << 20, "0,03 ГБ"_cp1251},
        {std::int64_t{1} << 30, "1,0 ГБ"_cp1251},
        {std::int64_t{3} << 29, "1,5 ГБ"_cp1251},
        {std::int64_t{100} << 30, "100,0 ГБ"_cp1251},
    };
    for (const auto& [bytes, text] : sizes) {
        EXPECT_EQ(gigabytesText(bytes), text) << bytes;
    }
    UnpackOutcome outcome;
    outcome.setName = "Сериал_сезон_01"_cp1251;
    outcome.fileCount = 12;
    outcome.totalBytes = std::int64_t{1503238553};
    EXPECT_EQ(outcome.notice(), "Распакован набор «Сериал_сезон_01»: файлов 12, 1,4 ГБ"_cp1251);
}
