#include "support/Cp1251.h"
#include "tests/archives/ArchiveFixture.h"

#include <algorithm>
#include <filesystem>
#include <sys/stat.h>

using archives_testing::ArchiveFixture;
using archives_testing::noise;
using archives_testing::Tree;
using rarvolumes::RarVersion;
using rarvolumes::VolumeOptions;
using tolvenka::archives::UnpackOutcome;
using namespace kestrune::text::literals;

namespace {

std::string utf8(std::string_view cp1251) {
    return kestrune::text::toUtf8(cp1251);
}

// Several names at the top, a folder, Cyrillic names: a season's set.
const Tree season = {
    {utf8("Серия 01.mkv"_cp1251), noise(700'000, 1)},
    {utf8("Серия 02.mkv"_cp1251), noise(500'000, 2)},
    {utf8("субтитры/Серия 01.srt"_cp1251),
     utf8("1\n00:00:01,000 --> 00:00:02,000\nПривет\n"_cp1251)},
};

// One folder at the top: it goes straight into the target folder.
const Tree album = {
    {utf8("Альбом/01.flac"_cp1251), noise(300'000, 3)},
    {utf8("Альбом/обложка.jpg"_cp1251), noise(40'000, 4)},
    {utf8("Альбом/список.txt"_cp1251), std::string(20'000, 'a')},
};

std::int64_t bytesOf(const Tree& tree) {
    std::int64_t bytes = 0;
    for (const auto& [path, content] : tree) {
        bytes += content.starts_with("-> ") ? 0 : static_cast<std::int64_t>(content.size());
    }
    return bytes;
}

class UnpackFormats : public ArchiveFixture {
protected:
    // The set went whole where it should (`placed`, UTF-8, under the target
    // folder), with the figures of the notice.
    void expectUnpacked(const UnpackOutcome& outcome, const std::string& placed, const Tree& tree) {
        ASSERT_EQ(outcome.result, UnpackOutcome::Result::Unpacked) << utf8(outcome.reason);
        EXPECT_EQ(outcome.reason, "");
        EXPECT_EQ(outcome.placedAt, kestrune::text::fromUtf8(target() + "/" + placed));
        const bool intoOwnFolder = !tree.begin()->first.starts_with(placed);
        EXPECT_EQ(readTree(intoOwnFolder ? target() + "/" + placed : target()), tree);
        EXPECT_EQ(outcome.fileCount, static_cast<std::int64_t>(tree.size()));
        EXPECT_EQ(outcome.totalBytes, bytesOf(tree));
        EXPECT_EQ(outcome.passwordIndex, -1);
    }
};

} // namespace

TEST_F(UnpackFormats, Rar5VolumesUnpackIntoAFolderNamedAfterTheSet) {
    const auto parts = makeRar(utf8("Сериал_сезон_01"_cp1251), rarEntriesOf(season),
                               {RarVersion::Rar5, 330'000, false, 0});
    ASSERT_EQ(parts.size(), 4u);
    const UnpackOutcome outcome = unpack(parts);
    expectUnpacked(outcome, utf8("Сериал_сезон_01"_cp1251), season);
    EXPECT_EQ(outcome.setName, "Сериал_сезон_01"_cp1251);
    EXPECT_EQ(outcome.partPaths, parts);
    EXPECT_EQ(outcome.notice(), "Распакован набор «Сериал_сезон_01»: файлов 3, 0,00 ГБ"_cp1251);
}

// libarchive 3.6 looks for a RAR 5 volume's signature in 512 bytes: a last
// volume shorter than that still unpacks.
TEST_F(UnpackFormats, Rar5VolumesEndingInATinyVolumeUnpack) {
    const Tree tree = {{"a.bin", noise(599'900, 5)}};
    const auto parts = makeRar("tiny", rarEntriesOf(tree), {RarVersion::Rar5, 300'000, false, 0});
    ASSERT_EQ(parts.size(), 3u);
    ASSERT_LT(std::filesystem::file_size(parts.back()), 512u);
    expectUnpacked(unpack(parts), "a.bin", tree);
}

TEST_F(UnpackFormats, Rar4VolumesOfEitherNamingUnpack) {
    const auto oldStyle = makeRar("old", rarEntriesOf(album), {RarVersion::Rar4, 120'000, true, 0});
    EXPECT_TRUE(oldStyle[1].ends_with("old.r00"));
    expectUnpacked(unpack(oldStyle), utf8("Альбом"_cp1251), album);

    std::filesystem::remove_all(target());
    const auto padded =
        makeRar("padded", rarEntriesOf(album), {RarVersion::Rar4, 120'000, false, 3});
    EXPECT_TRUE(padded[0].ends_with("padded.part001.rar"));
    expectUnpacked(unpack(padded), utf8("Альбом"_cp1251), album);
}

TEST_F(UnpackFormats, SevenZipAndZipVolumesJoinAsTheirBytes) {
    const auto sevenZip = make7zz("season.7z", season, {"-v300k"});
    ASSERT_EQ(sevenZip.size(), 4u);
    EXPECT_TRUE(sevenZip[0].ends_with("season.7z.001"));
    expectUnpacked(unpack(sevenZip), "season", season);

    std::filesystem::remove_all(target());
    const auto zip = make7zz("season.zip", season, {"-tzip", "-v300k"});
    ASSERT_EQ(zip.size(), 4u);
    expectUnpacked(unpack(zip), "season", season);
}

TEST_F(UnpackFormats, ATarGzCutWithSplitUnpacks) {
    const auto whole = makeTar("album.tar.gz", album, "-z");
    const auto parts = splitFile(whole.front(), 100'000);
    ASSERT_EQ(parts.size(), 4u);
    EXPECT_TRUE(parts[0].ends_with("album.tar.gz.001"));
    expectUnpacked(unpack(parts), utf8("Альбом"_cp1251), album);
}

TEST_F(UnpackFormats, EveryLoneArchiveKindUnpacks) {
    const std::vector<std::pair<std::string, std::function<std::vector<std::string>()>>> kinds = {
        {"a.zip",
         [&] {
             return make7zz("a.zip", album, {"-tzip"});
         }},
        {"a.7z",
         [&] {
             return make7zz("a.7z", album);
         }},
        {"a.rar",
         [&] {
             return makeRar("a", rarEntriesOf(album), {RarVersion::Rar5, 0, false, 0});
         }},
        {"a4.rar",
         [&] {
             return makeRar("a4", rarEntriesOf(album), {RarVersion::Rar4, 0, false, 0});
         }},
        {"a.tar",
         [&] {
             return makeTar("a.tar", album, "");
         }},
        {"a.tar.gz",
         [&] {
             return makeTar("a.tar.gz", album, "-z");
         }},
        {"a.tgz",
         [&] {
             return makeTar("a.tgz", album, "-z");
         }},
        {"a.tar.xz",
         [&] {
             return makeTar("a.tar.xz", album, "-J");
         }},
        {"a.tar.bz2",
         [&] {
             return makeTar("a.tar.bz2", album, "-j");
         }},
    };
    for (const auto& [name, make] : kinds) {
        SCOPED_TRACE(name);
        const auto parts = make();
        ASSERT_EQ(parts.size(), 1u);
        expectUnpacked(unpack(parts), utf8("Альбом"_cp1251), album);
        std::filesystem::remove_all(target());
    }
}

TEST_F(UnpackFormats, ThePiecesOfAPlainFileAreJoined) {
    const std::string movie = noise(250'000, 6);
    testing_helpers::writeFile(partsFolder() + "/film.mkv", movie);
    const auto parts = splitFile(partsFolder() + "/film.mkv", 100'000);
    ASSERT_EQ(parts.size(), 3u);
    const UnpackOutcome outcome = unpack(parts);
    expectUnpacked(outcome, "film.mkv", {{"film.mkv", movie}});
    EXPECT_EQ(outcome.setName, "film.mkv");
}

// Links that stay inside are kept; a file's set-user and set-group bits are
// not.
TEST_F(UnpackFormats, LinksInsideTheSetAreKeptAndSetUserBitsDropped) {
    std::vector<rarvolumes::RarEntry> entries = rarEntriesOf({
        {"tool/bin/run", "#!/bin/sh\n"},
        {"tool/lib/data.txt", "data"},
        {"tool/current", "-> lib"},
        {"tool/bin/data", "-> ../lib/data.txt"},
    });
    const auto run = std::find_if(entries.begin(), entries.end(),
                                  [](const auto& entry) { return entry.name == "tool/bin/run"; });
    run->permissions = 06755;
    rarvolumes::RarEntry hardLink;
    hardLink.name = "tool/lib/same.txt";
    hardLink.kind = rarvolumes::RarEntry::Kind::HardLink;
    hardLink.linkTarget = "tool/lib/data.txt";
    entries.push_back(hardLink);
    const UnpackOutcome outcome = unpack(makeRar("tool", entries, {RarVersion::Rar5, 0, false, 0}));
    ASSERT_EQ(outcome.result, UnpackOutcome::Result::Unpacked) << utf8(outcome.reason);
    EXPECT_EQ(readTree(target()), (Tree{{"tool/bin/data", "-> ../lib/data.txt"},
                                        {"tool/bin/run", "#!/bin/sh\n"},
                                        {"tool/current", "-> lib"},
                                        {"tool/lib/data.txt", "data"},
                                        {"tool/lib/same.txt", "data"}}));
    struct stat runner {};
    ASSERT_EQ(::stat((target() + "/tool/bin/run").c_str(), &runner), 0);
    EXPECT_EQ(runner.st_mode & 07777, 0755u);
    struct stat data {};
    ASSERT_EQ(::stat((target() + "/tool/lib/data.txt").c_str(), &data), 0);
    EXPECT_EQ(data.st_nlink, 2u);
    EXPECT_EQ(outcome.fileCount, 3);
}

TEST_F(UnpackFormats, ProgressCountsTheBytesUpToTheDeclaredTotal) {
    const Tree tree = {{"big.bin", noise(12 << 20, 7)}, {"small.txt", "x"}};
    tolvenka::archives::UnpackRequest request =
        requestFor(makeRar("big", rarEntriesOf(tree), {RarVersion::Rar5, 5 << 20, false, 0}));
    std::vector<std::pair<std::int64_t, std::int64_t>> reports;
    request.onProgress = [&](std::int64_t done, std::int64_t total) {
        reports.emplace_back(done, total);
    };
    ASSERT_EQ(unpack(request).result, UnpackOutcome::Result::Unpacked);
    ASSERT_GE(reports.size(), 3u);
    for (std::size_t i = 1; i < reports.size(); ++i) {
        EXPECT_GE(reports[i].first, reports[i - 1].first);
        EXPECT_EQ(reports[i].second, (12 << 20) + 1);
    }
    EXPECT_EQ(reports.back().first, reports.back().second);
}
