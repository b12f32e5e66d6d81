#include "archives/RarIndex.h"

#include "tests/archives/ArchiveFixture.h"
#include "tools/rar-volumes/Crc32.h"

#include <filesystem>

using archives_testing::ArchiveFixture;
using archives_testing::noise;
using rarvolumes::RarVersion;
using tolvenka::archives::RarIndex;

using RarIndexes = ArchiveFixture;

TEST_F(RarIndexes, TellEachVolumesPieceAndItsChecksumInBothVersions) {
    const std::string data = noise(700'000, 1);
    for (const RarVersion version : {RarVersion::Rar4, RarVersion::Rar5}) {
        const std::string base = version == RarVersion::Rar4 ? "four" : "five";
        const auto parts = makeRar(base, rarEntriesOf({{"dir/a.bin", data}, {"b.txt", "b"}}),
                                   {version, 300'000, false, 0});
        ASSERT_EQ(parts.size(), 3u);
        const auto index = RarIndex::read(parts);
        ASSERT_TRUE(index.has_value());
        EXPECT_FALSE(index->anyEncrypted());
        ASSERT_EQ(index->entries.size(), 2u);
        // In the order of their names: b.txt, then dir/a.bin.
        EXPECT_EQ(index->entries[0].pieces.front().part, 0u);
        const RarIndex::Entry& big = index->entries[1];
        EXPECT_EQ(big.name, "dir/a.bin");
        EXPECT_TRUE(big.stored);
        ASSERT_EQ(big.pieces.size(), 3u);
        std::uint64_t offset = 0;
        for (std::size_t i = 0; i < big.pieces.size(); ++i) {
            EXPECT_EQ(big.pieces[i].part, i);
            const std::string_view piece =
                std::string_view(data).substr(offset, big.pieces[i].length);
            // Each volume's piece has its own checksum, the last one the
            // whole file's.
            const std::uint32_t expected = i + 1 < big.pieces.size() ? rarvolumes::Crc32::of(piece)
                                                                     : rarvolumes::Crc32::of(data);
            EXPECT_EQ(big.pieces[i].checksum, expected);
            offset += big.pieces[i].length;
        }
        EXPECT_EQ(offset, data.size());
    }
}

// The headers come from files that may be anything: every cut of a real
// archive is read without harm, and only the whole one as an index.
TEST_F(RarIndexes, ReadEveryCutArchiveWithoutHarm) {
    for (const RarVersion version : {RarVersion::Rar4, RarVersion::Rar5}) {
        const auto whole =
            makeRar("whole", rarEntriesOf({{"a.txt", "some text"}, {"b/c.txt", "more"}}),
                    {version, 0, false, 0});
        const std::string bytes = testing_helpers::readFile(whole.front());
        const std::string cut = partsFolder() + "/cut.rar";
        for (std::size_t length = 0; length < bytes.size(); ++length) {
            testing_helpers::writeFile(cut, bytes.substr(0, length));
            const auto index = RarIndex::read({cut});
            EXPECT_TRUE(!index || index->entries.size() <= 2) << length;
        }
        EXPECT_TRUE(RarIndex::read(whole).has_value());
        EXPECT_EQ(RarIndex::isRar5(whole.front()), version == RarVersion::Rar5);
    }
}
