#include "platform/LockFile.h"

#include "platform/QueueLock.h"
#include "tests/common/TestHelpers.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <optional>

using Outcome = platform::LockFile::Outcome;
using testing_helpers::TempDir;
using testing_helpers::writeFile;

TEST(LockFile, AFileNoLiveProgramHoldsIsTakenOverWhateverItSays) {
    TempDir dir;
    const std::string path = dir.file("downloads.txt.lock");
    // Empty or cut short by a power loss; written on another host, naming a
    // process id that a live program (init) has now.
    for (const std::string left : {"", "12", "1\nelsewhere\n"}) {
        writeFile(path, left);
        platform::LockFile lock(path);
        EXPECT_EQ(lock.tryLock(), Outcome::Locked) << left;
    }
}

TEST(LockFile, ALiveHolderRefusesOthersUntilItLetsGo) {
    TempDir dir;
    const std::string path = dir.file("downloads.txt.lock");
    std::optional<platform::LockFile> holder(std::in_place, path);
    ASSERT_EQ(holder->tryLock(), Outcome::Locked);
    platform::LockFile other(path);
    EXPECT_EQ(other.tryLock(), Outcome::HeldByAnother);
    holder.reset();
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_EQ(other.tryLock(), Outcome::Locked);
}

TEST(QueueLock, TwoFoldersThatLinkOneQueueShareItsLock) {
    TempDir dir;
    for (const char* folder : {"queue", "one", "two"}) {
        std::filesystem::create_directory(dir.file(folder));
    }
    writeFile(dir.file("queue/downloads.txt"), "1\r\n/\r\n");
    std::filesystem::create_symlink("../queue/downloads.txt", dir.file("one/downloads.txt"));
    std::filesystem::create_symlink(dir.file("queue/downloads.txt"), dir.file("two/downloads.txt"));

    platform::QueueLock first(dir.file("one/downloads.txt"), {});
    ASSERT_EQ(first.tryLock(), Outcome::Locked);
    platform::QueueLock second(dir.file("two/downloads.txt"), {});
    EXPECT_EQ(second.tryLock(), Outcome::HeldByAnother);
    EXPECT_EQ(second.path(), dir.file("queue/downloads.txt.lock"));
}

TEST(QueueLock, WhereNoLockCanBeMadeBesideTheQueueTheRuntimeFolderHoldsIt) {
    TempDir dir;
    // A folder where the lock file would go stands for a read-only folder,
    // which permission bits do not make for root.
    std::filesystem::create_directory(dir.file("downloads.txt.lock"));
    std::filesystem::create_directory(dir.file("run"));
    const std::string queue = dir.file("downloads.txt");

    platform::QueueLock first(queue, dir.file("run"));
    ASSERT_EQ(first.tryLock(), Outcome::Locked);
    EXPECT_EQ(std::filesystem::path(first.path()).parent_path(), dir.file("run"));
    platform::QueueLock second(queue, dir.file("run"));
    EXPECT_EQ(second.tryLock(), Outcome::HeldByAnother);
    // With no runtime folder either, there is no lock to be had.
    platform::QueueLock nowhere(queue, {});
    EXPECT_EQ(nowhere.tryLock(), Outcome::Unavailable);
}
