#include "archives/SetUnpacker.h"
#include "archives/StagingFolder.h"
#include "support/Cp1251.h"
#include "tests/archives/ArchiveFixture.h"

#include <csignal>
#include <filesystem>
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using archives_testing::ArchiveFixture;
using archives_testing::noise;
using archives_testing::Tree;
using rarvolumes::RarVersion;
using tolvenka::archives::SetUnpacker;
using tolvenka::archives::StagingFolder;
using tolvenka::archives::UnpackOutcome;
using namespace kestrune::text::literals;
using Result = UnpackOutcome::Result;

namespace {

namespace fs = std::filesystem;

const Tree notes = {{"notes.txt", "the set's notes"}};
const Tree folder = {{"docs/a.txt", "a"}, {"docs/b.txt", "b"}};

bool isLeftover(const std::string& name) {
    return name.starts_with(StagingFolder::namePrefix);
}

} // namespace

using UnpackSafety = ArchiveFixture;

TEST_F(UnpackSafety, AFileOrFolderOfTheUsersIsNeverReplaced) {
    writeTree(target(), {{"notes.txt", "the user's own"}, {"docs/mine.txt", "mine"}});
    const UnpackOutcome file = unpack(make7zz("n.zip", notes, {"-tzip"}));
    EXPECT_EQ(file.placedAt, target() + "/notes (1).txt");
    const UnpackOutcome docs =
        unpack(makeRar("d", rarEntriesOf(folder), {RarVersion::Rar5, 0, false, 0}));
    EXPECT_EQ(docs.placedAt, target() + "/docs (1)");
    EXPECT_EQ(readTree(target()), (Tree{{"docs (1)/a.txt", "a"},
                                        {"docs (1)/b.txt", "b"},
                                        {"docs/mine.txt", "mine"},
                                        {"notes (1).txt", "the set's notes"},
                                        {"notes.txt", "the user's own"}}));
}

TEST_F(UnpackSafety, PasswordsAreTriedInTurnAndTheOneThatOpenedIsTold) {
    for (const std::string method : {"ZipCrypto", "AES256"}) {
        SCOPED_TRACE(method);
        const auto parts =
            make7zz(method + ".zip", folder, {"-tzip", "-psecret", "-mem=" + method});
        EXPECT_EQ(unpack(parts).result, Result::NeedsPassword);
        const UnpackOutcome opened = unpack(parts, {"wrong", "secret", "later"});
        ASSERT_EQ(opened.result, Result::Unpacked) << kestrune::text::toUtf8(opened.reason);
        EXPECT_EQ(opened.passwordIndex, 1);
        EXPECT_EQ(readTree(target()), folder);
        fs::remove_all(target());
    }
}

TEST_F(UnpackSafety, FreeSpaceIsCheckedBeforeAnythingIsWritten) {
    tolvenka::archives::UnpackRequest request = requestFor(makeRar(
        "big", rarEntriesOf({{"big.bin", noise(3 << 20, 1)}}), {RarVersion::Rar5, 0, false, 0}));
    std::string askedAbout;
    request.freeSpace = [&](const std::string& where) {
        askedAbout = where;
        return std::optional<std::uint64_t>(1 << 20);
    };
    const UnpackOutcome outcome = unpack(request);
    EXPECT_EQ(outcome.result, Result::Failed);
    EXPECT_EQ(outcome.reason, "не хватает места на диске: нужно 0,00 ГБ, свободно 0,00 ГБ"_cp1251);
    // The target folder does not exist yet: its parent has the room.
    EXPECT_EQ(askedAbout, temp.path());
    EXPECT_FALSE(fs::exists(target()));
}

// A small file system of its own, in a mount namespace of this thread's:
// the disk really fills while the set is written.
TEST_F(UnpackSafety, ADiskThatFillsStopsTheSetWithItsReasonAndLeavesNothing) {
    if (::unshare(CLONE_NEWNS) != 0 ||
        ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
        GTEST_SKIP() << "no private mount namespace here";
    }
    fs::create_directories(target());
    ASSERT_EQ(::mount("tmpfs", target().c_str(), "tmpfs", 0, "size=2m"), 0);
    tolvenka::archives::UnpackRequest request = requestFor(
        makeRar("big", rarEntriesOf({{"a.bin", noise(1 << 20, 1)}, {"b.bin", noise(3 << 20, 2)}}),
                {RarVersion::Rar5, 0, false, 0}));
    // The room the file system reports is a lie here, as it may be where
    // something else writes at the same time.
    request.freeSpace = [](const std::string&) {
        return std::optional<std::uint64_t>(1ull << 40);
    };
    const UnpackOutcome outcome = unpack(request);
    EXPECT_EQ(outcome.result, Result::Failed);
    EXPECT_EQ(outcome.reason, "нет места на диске"_cp1251);
    EXPECT_EQ(namesIn(target()), std::vector<std::string>{});
    ::umount(target().c_str());
}

// A kill at any moment leaves no file of the set under a real name, only
// the staging folder, which a later start removes before it unpacks the
// set again from its beginning.
TEST_F(UnpackSafety, AKilledUnpackingLeavesOnlyItsStagingFolderWhichALaterStartRemoves) {
    const Tree tree = {{"first.bin", noise(24 << 20, 1)}, {"second.bin", noise(24 << 20, 2)}};
    const auto parts =
        makeRar("killed", rarEntriesOf(tree), {RarVersion::Rar5, 16 << 20, false, 0});
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        unpack(parts);
        ::_exit(0);
    }
    // Killed once the first file is partly written.
    bool writing = false;
    for (int i = 0; i < 20'000 && !writing; ++i) {
        std::this_thread::sleep_for(std::chrono::microseconds(500));
        std::error_code error;
        for (const auto& item : fs::recursive_directory_iterator(target(), error)) {
            writing = writing || (item.is_regular_file() && item.file_size() > 0);
        }
    }
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    ASSERT_TRUE(writing);
    const std::vector<std::string> left = namesIn(target());
    ASSERT_EQ(left.size(), 1u);
    EXPECT_TRUE(isLeftover(left.front()));

    SetUnpacker::removeLeftovers(target());
    EXPECT_EQ(namesIn(target()), std::vector<std::string>{});
    const UnpackOutcome again = unpack(parts);
    EXPECT_EQ(again.result, Result::Unpacked);
    EXPECT_EQ(readTree(target() + "/killed"), tree);
}

TEST_F(UnpackSafety, TheStagingFolderOfARunningUnpackingIsNoLeftover) {
    const StagingFolder running(target());
    SetUnpacker::removeLeftovers(target());
    const std::vector<std::string> left = namesIn(target());
    ASSERT_EQ(left.size(), 1u);
    EXPECT_TRUE(isLeftover(left.front()));
}
