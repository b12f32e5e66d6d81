#include "platform/FileSystem.h"

#include "platform/DirectoryLookup.h"
#include "platform/FileOutput.h"
#include "platform/FileReplacement.h"
#include "platform/FolderListing.h"
#include "support/Cp1251.h"
#include "tests/common/TestHelpers.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <functional>
#include <future>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>

using namespace kestrune::text::literals;
using testing_helpers::readFile;
using testing_helpers::TempDir;
using testing_helpers::writeFile;

TEST(FileSystem, Cp1251PathsReachTheSystemAsUtf8) {
    TempDir dir;
    const std::string folder = dir.path() + std::string("/Загрузки"_cp1251);
    std::filesystem::create_directory(dir.path() + "/Загрузки");
    EXPECT_TRUE(platform::isDirectory(folder));
    EXPECT_FALSE(platform::isDirectory(folder + "/none"));

    const std::string file = folder + std::string("/файл.txt"_cp1251);
    platform::FileOutput out;
    ASSERT_TRUE(out.create(file));
    out.stream() << "abc";
    ASSERT_TRUE(out.close());
    EXPECT_FALSE(out.create(file)) << "what is there is not ours to write";
    EXPECT_EQ(out.error(), EEXIST);
    EXPECT_EQ(readFile(dir.path() + "/Загрузки/файл.txt"), "abc");
    EXPECT_TRUE(platform::fileExists(file));
    EXPECT_FALSE(platform::isDirectory(file));

    const std::string renamed = folder + std::string("/другой.txt"_cp1251);
    writeFile(dir.path() + "/Загрузки/другой.txt", "taken");
    EXPECT_EQ(platform::renameWithoutReplacing(file, renamed), EEXIST);
    std::filesystem::remove(dir.path() + "/Загрузки/другой.txt");
    EXPECT_EQ(platform::renameWithoutReplacing(file, renamed), 0);
    EXPECT_FALSE(platform::fileExists(file));
    EXPECT_TRUE(platform::removeFile(renamed));
    EXPECT_FALSE(platform::removeFile(renamed));
}

// A file made with its mark is named only once marked; written in many
// pieces, which go to the disk as they come, it is whole when closed.
TEST(FileSystem, AMarkedFileIsNamedMarkedAndWrittenWhole) {
    TempDir dir;
    const std::string file = dir.file("big.part");
    platform::FileOutput out;
    ASSERT_TRUE(out.create(file, "user.test.mark", "link"));
    const bool marks = platform::markOf(file, "user.test.mark") == "link";
    EXPECT_FALSE(out.create(file, "user.test.mark", "link")) << "never over a file";
    EXPECT_EQ(out.error(), EEXIST);
    std::filesystem::remove(file);
    ASSERT_TRUE(out.create(file, "user.test.mark", "link"));
    EXPECT_EQ(platform::markOf(file, "user.test.mark") == "link", marks);
    if (marks) {
        // A mark longer than a first look takes, and one that is not there.
        const std::string longValue(2000, 'v');
        ASSERT_TRUE(out.mark("user.test.long", longValue));
        EXPECT_EQ(platform::markOf(file, "user.test.long"), longValue);
        EXPECT_EQ(platform::markOf(file, "user.test.none"), std::nullopt);
        EXPECT_EQ(platform::markOf(dir.file("missing"), "user.test.mark"), std::nullopt);
    }
    std::string expected;
    for (int piece = 0; piece < 1000; ++piece) {
        const std::string bytes(40'000 + piece, static_cast<char>('a' + piece % 26));
        out.stream() << bytes;
        expected += bytes;
    }
    ASSERT_TRUE(out.close());
    EXPECT_TRUE(readFile(file) == expected);
}

TEST(FileSystem, AtomicReplaceWritesTheWholeContent) {
    TempDir dir;
    const std::string path = dir.file("downloads.txt");
    writeFile(path, "old");
    ASSERT_TRUE(platform::replaceFileAtomically(path, "new content"));
    EXPECT_EQ(readFile(path), "new content");
    // No temporary file is left behind.
    EXPECT_EQ(dir.entryCount(), 1);
}

TEST(FileSystem, AFailedRenameLeavesTheOldFileWhole) {
    TempDir dir;
    // A non-empty folder at the target path makes the rename fail.
    const std::string path = dir.file("target");
    std::filesystem::create_directory(path);
    writeFile(path + "/inside", "keep");
    EXPECT_FALSE(platform::replaceFileAtomically(path, "new"));
    EXPECT_EQ(readFile(path + "/inside"), "keep");
    EXPECT_EQ(dir.entryCount(), 1);
}

TEST(FileSystem, AFullDiskLeavesTheOldFileWhole) {
    TempDir dir;
    const std::string path = dir.file("downloads.txt");
    writeFile(path, "old content");

    // A file-size limit makes writes fail the way a full disk does.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit limited = old;
    limited.rlim_cur = 4;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    const bool replaced = platform::replaceFileAtomically(path, std::string(4096, 'x'));
    setrlimit(RLIMIT_FSIZE, &old);

    EXPECT_FALSE(replaced);
    EXPECT_EQ(readFile(path), "old content");
    EXPECT_EQ(dir.entryCount(), 1);
}

// A content written as it is made can fail on its own side too.
TEST(FileSystem, AWriterThatFailsOrThrowsLeavesTheOldFileWhole) {
    TempDir dir;
    const std::string path = dir.file("downloads.txt");
    writeFile(path, "old content");
    EXPECT_FALSE(platform::replaceFileAtomically(path, [](std::ostream& out) {
        out << "half";
        out.setstate(std::ios::failbit);
    }));
    EXPECT_THROW(platform::replaceFileAtomically(path,
                                                 [](std::ostream& out) {
                                                     out << "half";
                                                     throw std::bad_alloc();
                                                 }),
                 std::bad_alloc);
    EXPECT_EQ(readFile(path), "old content");
    EXPECT_EQ(dir.entryCount(), 1);
}

TEST(FileSystem, AReadOnlyFileIsLeftAsItWas) {
    TempDir dir;
    const std::string path = dir.file("downloads.txt");
    writeFile(path, "old");
    std::filesystem::permissions(path, std::filesystem::perms::owner_read);
    EXPECT_FALSE(platform::replaceFileAtomically(path, "new"));
    EXPECT_EQ(readFile(path), "old");
    EXPECT_EQ(std::filesystem::status(path).permissions(), std::filesystem::perms::owner_read);
}

TEST(FileSystem, ASymbolicLinkStaysALinkAndWhatItPointsToIsReplaced) {
    TempDir dir;
    std::filesystem::create_directory(dir.file("real"));
    writeFile(dir.file("real/queue.txt"), "old");
    std::filesystem::create_symlink("real/queue.txt", dir.file("downloads.txt"));
    ASSERT_TRUE(platform::replaceFileAtomically(dir.file("downloads.txt"), "new"));
    EXPECT_TRUE(std::filesystem::is_symlink(dir.file("downloads.txt")));
    EXPECT_EQ(readFile(dir.file("real/queue.txt")), "new");
}

TEST(FileSystem, OnlyTheTemporaryFilesOfInterruptedSavesAreRemoved) {
    TempDir dir;
    const std::vector<std::string> interrupted = {"downloads.txt.tmp-a1B2c3",
                                                  "downloads.txt.tmp-ZZZZZZ"};
    const std::vector<std::string> others = {"downloads.txt", "downloads.txt.tmp-12345",
                                             "downloads.txt.tmp-1234567", "other.txt.tmp-abcdef",
                                             "downloads.txt.tmp-ab.def"};
    for (const auto& name : interrupted) {
        writeFile(dir.file(name), "x");
    }
    for (const auto& name : others) {
        writeFile(dir.file(name), "x");
    }
    platform::removeInterruptedSaves(dir.file("downloads.txt"));
    for (const auto& name : interrupted) {
        EXPECT_FALSE(std::filesystem::exists(dir.file(name))) << name;
    }
    for (const auto& name : others) {
        EXPECT_TRUE(std::filesystem::exists(dir.file(name))) << name;
    }
}

// A pipe without a writer would hold a reader for ever: it is refused at
// once, like a folder; a plain file is read whole.
TEST(FileSystem, OnlyAPlainFileIsReadAndNothingElseIsWaitedFor) {
    testing_helpers::TempDir dir;
    const std::string pipe = dir.file("pipe");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    std::string content = "left";
    EXPECT_EQ(platform::readPlainFile(pipe, content), EINVAL);
    EXPECT_EQ(platform::fileKindOf(pipe), platform::FileKind::Pipe);
    std::ifstream stream;
    EXPECT_FALSE(platform::openForReading(stream, pipe));
    EXPECT_EQ(platform::readPlainFile(dir.path(), content), EINVAL);
    EXPECT_EQ(platform::readPlainFile(dir.file("absent"), content), ENOENT);
    testing_helpers::writeFile(dir.file("plain"), std::string(200'000, 'x'));
    EXPECT_EQ(platform::readPlainFile(dir.file("plain"), content), 0);
    EXPECT_EQ(content.size(), 200'000U);
}

TEST(DirectoryLookup, AnswersAsTheSystemDoesForEveryKindOfPath) {
    TempDir dir;
    std::filesystem::create_directory(dir.file("folder"));
    std::filesystem::create_directory(dir.file("Папка"));
    writeFile(dir.file("file"), "");
    std::filesystem::create_directory_symlink("folder", dir.file("link"));
    std::filesystem::create_symlink("file", dir.file("fileLink"));
    platform::DirectoryLookup folders;
    for (const std::string& name :
         {std::string("folder"), std::string("Папка"), std::string("file"), std::string("link"),
          std::string("fileLink"), std::string("missing"), std::string("folder/"),
          std::string("missing/x"), std::string("folder/.."), std::string("file/x")}) {
        const std::string path = kestrune::text::fromUtf8(dir.file(name));
        EXPECT_EQ(folders.isDirectory(path), platform::isDirectory(path)) << name;
    }
    EXPECT_TRUE(folders.isDirectory(kestrune::text::fromUtf8(dir.file("Папка"))));
}

TEST(FolderListing, AnswersAsTheSystemDoesForPathsInItAndOutside) {
    TempDir dir;
    std::filesystem::create_directory(dir.file("folder"));
    writeFile(dir.file("file"), "");
    writeFile(dir.file("Файл.txt"), "");
    std::filesystem::create_symlink("nowhere", dir.file("dangling"));
    const std::string folder = kestrune::text::fromUtf8(dir.path());
    for (const platform::FolderListing& listing :
         {platform::FolderListing(folder), platform::FolderListing(folder + "/")}) {
        for (const std::string& name :
             {std::string("folder"), std::string("file"), std::string("Файл.txt"),
              std::string("dangling"), std::string("missing"), std::string("folder/x"),
              std::string("file.part")}) {
            const std::string path = kestrune::text::fromUtf8(dir.file(name));
            EXPECT_EQ(listing.isTaken(path), platform::isTaken(path)) << name;
        }
        EXPECT_TRUE(listing.isTaken(kestrune::text::fromUtf8(dir.file("Файл.txt"))));
    }
    // Read once: what comes later is not seen in the folder, but elsewhere.
    const platform::FolderListing listing(folder);
    writeFile(dir.file("later"), "");
    EXPECT_FALSE(listing.isTaken(folder + "/later"));
    writeFile(dir.file("folder/later"), "");
    EXPECT_TRUE(listing.isTaken(folder + "/folder/later"));
    EXPECT_FALSE(platform::FolderListing(folder + "/missing").isTaken(folder + "/missing/x"));
}

// Written in pieces on a thread of its own, a replacement takes the place
// of the file; one given up, or one that cannot be written, leaves it as it
// was and no temporary file behind.
TEST(FileReplacement, ReplacesTheFileInPiecesOrLeavesItAsItWas) {
    TempDir dir;
    const std::string file = dir.file("queue.txt");
    writeFile(file, "old");
    const auto replace = [&](const std::function<void(platform::FileReplacement&)>& use) {
        std::promise<int> done;
        {
            platform::FileReplacement replacement(file, [&](int error) { done.set_value(error); });
            use(replacement);
        }
        return done.get_future().get();
    };
    EXPECT_EQ(replace([](platform::FileReplacement& replacement) {
                  replacement.append("new ");
                  replacement.append("content");
                  replacement.finish();
              }),
              0);
    EXPECT_EQ(readFile(file), "new content");
    std::atomic<bool> toldOfGivenUp{false};
    {
        platform::FileReplacement givenUp(file, [&](int) { toldOfGivenUp = true; });
        givenUp.append("half");
        givenUp.giveUp();
    }
    EXPECT_EQ(readFile(file), "new content");
    std::filesystem::permissions(file, std::filesystem::perms::owner_read);
    EXPECT_EQ(replace([](platform::FileReplacement& replacement) {
                  replacement.append("refused");
                  replacement.finish();
              }),
              EACCES);
    std::filesystem::permissions(file, std::filesystem::perms::owner_all);
    EXPECT_EQ(readFile(file), "new content");
    // The thread let go removes its temporary file on its own, telling nobody.
    for (int tries = 0; tries < 500 && dir.entryCount() != 1; ++tries) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(dir.entryCount(), 1);
    EXPECT_FALSE(toldOfGivenUp.load());
}

TEST(FileSystem, AFileMovedToTheTrashCanBeRestoredFromThere) {
    const testing_helpers::ScopedHome home;
    TempDir dir;
    const std::string file = dir.path() + std::string("/часть.rar"_cp1251);
    writeFile(dir.path() + "/часть.rar", "part");
    ASSERT_TRUE(platform::moveToTrash(file));
    EXPECT_FALSE(platform::isTaken(file));
    EXPECT_EQ(readFile(home.trashFiles() + "/часть.rar"), "part");
    // Where nothing is, nothing goes; a second file of the name keeps both.
    EXPECT_FALSE(platform::moveToTrash(file));
    writeFile(dir.path() + "/часть.rar", "again");
    ASSERT_TRUE(platform::moveToTrash(file));
    EXPECT_EQ(readFile(home.trashFiles() + "/часть.rar"), "part");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(home.trashFiles()),
                            std::filesystem::directory_iterator()),
              2);
}
