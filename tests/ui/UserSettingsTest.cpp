#include "ui/UserSettings.h"

#include "support/Cp1251.h"
#include "tests/common/TestHelpers.h"

#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <iostream>
#include <linux/fs.h>
#include <optional>
#include <string>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using testing_helpers::readFile;
using testing_helpers::TempDir;
using testing_helpers::writeFile;
using tolvenka::UserSettings;
using namespace kestrune::text::literals;

namespace {

// A settings file in a folder of its own; not made until a test writes it.
class UserSettingsTest : public ::testing::Test {
protected:
    QString path() const { return QString::fromStdString(file); }

    TempDir folder;
    const std::string file = folder.file("tolvenka/tolvenka.conf");
};

void expectDefaults(const UserSettings& settings, const std::string& what) {
    EXPECT_EQ(settings.speedLimit(), 0) << what;
    EXPECT_FALSE(settings.watchesClipboard()) << what;
}

} // namespace

TEST_F(UserSettingsTest, AreWrittenAtEachChangeAndReadBack) {
    UserSettings settings(path());
    expectDefaults(settings, "no file");
    EXPECT_FALSE(std::filesystem::exists(file)) << "nothing is written before a change";
    settings.setSpeedLimit(300);
    settings.setWatchesClipboard(true);
    UserSettings later(path());
    EXPECT_EQ(later.speedLimit(), 300);
    EXPECT_TRUE(later.watchesClipboard());
    EXPECT_EQ(readFile(file), "[General]\nspeedLimit=300\nwatchClipboard=true\n");

    // What else the file holds stays.
    writeFile(file, "[General]\nspeedLimit=300\nwatchClipboard=true\n\n[Other]\nkept=1\n");
    UserSettings(path()).setSpeedLimit(0);
    EXPECT_EQ(readFile(file), "[General]\nspeedLimit=0\nwatchClipboard=true\n\n[Other]\nkept=1\n");
}

TEST_F(UserSettingsTest, AnEmptyOrBrokenFileOrAValueOutOfRangeGivesTheDefaults) {
    std::filesystem::create_directories(folder.file("tolvenka"));
    const std::string binary("\x00\xff\x01[\n=\x7f\r\n\x80", 10);
    for (const std::string& content :
         {std::string(), binary, std::string("[General\nspeedLimit"),
          std::string("speedLimit=-50\nwatchClipboard=maybe\n"),
          std::string("[General]\nspeedLimit=1000050\nwatchClipboard=\n"),
          std::string("[General]\nspeedLimit=12abc\nwatchClipboard=2\n")}) {
        writeFile(file, content);
        expectDefaults(UserSettings(path()), content.substr(0, 40));
    }
    writeFile(file, "[General]\nspeedLimit= 1000000 \nwatchClipboard=TRUE\n");
    UserSettings edge(path());
    EXPECT_EQ(edge.speedLimit(), 1'000'000);
    EXPECT_TRUE(edge.watchesClipboard());
}

namespace {

// A folder nobody may write into: its permission bits, and for root, whom
// they do not bind, the file system's flag that binds everybody.
class ReadOnlyFolder {
public:
    explicit ReadOnlyFolder(std::string path)
        : folder(std::move(path)) {
        std::filesystem::permissions(folder, std::filesystem::perms::owner_read |
                                                 std::filesystem::perms::owner_exec);
        made = ::geteuid() != 0 || setImmutable(true);
    }
    ~ReadOnlyFolder() {
        setImmutable(false);
        std::filesystem::permissions(folder, std::filesystem::perms::owner_all);
    }
    bool made = false;

private:
    bool setImmutable(bool on) {
        const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
        int flags = 0;
        bool done = fd >= 0 && ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
        flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
        done = done && ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
        ::close(fd);
        return done;
    }

    std::string folder;
};

// Each path under `folder` with a link's target or a plain file's text.
std::string snapshot(const std::string& folder) {
    std::string listed;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
        listed += entry.path().string() + ": " +
                  (entry.is_symlink()        ? std::filesystem::read_symlink(entry).string()
                   : entry.is_regular_file() ? readFile(entry.path())
                                             : "") +
                  "\n";
    }
    return listed;
}

} // namespace

// A change is kept (its file's text then given), or told once with its
// reason, leaving the folder as it was; either way it holds for the run.
TEST_F(UserSettingsTest, AChangeIsKeptWhereItCanBeAndToldOnceWhereNot) {
    std::string large = "; by hand\n[General]\nspeedLimit=300\nsize=large\n\n[Other]\n";
    while (large.size() < 100 * 1024) {
        large += "key=\"a value\" ; kept\n";
    }
    std::string largeChanged = large;
    largeChanged.replace(largeChanged.find("300\nsize=large\n"), 15,
                         "75\nsize=large\nwatchClipboard=true\n");
    const std::string denied("нет доступа к файлу"_cp1251);
    const std::string notAFile("это не обычный файл"_cp1251);
    std::optional<ReadOnlyFolder> readOnly;
    using Make = std::function<void(const std::string& folder, const std::string& file)>;
    const struct {
        std::string situation;
        Make make;
        std::string reason;
        std::string kept;
    } cases[] = {
        {"a read-only folder", [&](auto folder, auto) { readOnly.emplace(folder); }, denied, ""},
        {"a read-only file",
         [](auto, auto file) {
             writeFile(file, "[General]\nspeedLimit=300\n");
             std::filesystem::permissions(file, std::filesystem::perms::owner_read);
         },
         denied, ""},
        {"a link to a file not yet made",
         [](auto folder, auto file) {
             std::filesystem::create_symlink(folder + "/elsewhere", file);
         },
         "", "[General]\nwatchClipboard=true\nspeedLimit=75\n"},
        {"a link into a missing folder",
         [](auto folder, auto file) {
             std::filesystem::create_symlink(folder + "/gone/settings", file);
         },
         std::string("нет папки для файла"_cp1251), ""},
        {"a large file of foreign lines", [&](auto, auto file) { writeFile(file, large); }, "",
         largeChanged},
        {"a folder in the file's place",
         [](auto, auto file) { std::filesystem::create_directory(file); }, notAFile, ""},
        // Which would never end a read.
        {"a pipe", [](auto, auto file) { ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0); }, notAFile,
         ""},
        {"a file too large to be settings",
         [](auto, auto file) {
             writeFile(file, "");
             std::filesystem::resize_file(file, 17 * 1024 * 1024);
         },
         std::string("файл слишком велик"_cp1251), ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.situation);
        TempDir dir;
        const std::string at = dir.file("tolvenka/tolvenka.conf");
        std::filesystem::create_directories(dir.file("tolvenka"));
        c.make(dir.file("tolvenka"), at);
        if (readOnly && !readOnly->made) {
            std::cerr << "skipped: root, and no immutable folders here\n";
            readOnly.reset();
            continue;
        }
        const bool isLink = std::filesystem::is_symlink(at);
        const std::string before = snapshot(dir.path());
        UserSettings settings(QString::fromStdString(at));
        std::vector<std::string> told;
        settings.onKeepFailed = [&](const std::string& reason) {
            told.push_back(reason);
        };
        settings.setWatchesClipboard(true);
        settings.setSpeedLimit(75);
        EXPECT_EQ(told, c.reason.empty() ? std::vector<std::string>()
                                         : std::vector<std::string>{c.reason});
        EXPECT_EQ(settings.speedLimit(), 75);
        readOnly.reset();
        EXPECT_EQ(std::filesystem::is_symlink(at), isLink);
        if (c.reason.empty()) {
            EXPECT_EQ(readFile(at), c.kept);
        } else {
            EXPECT_EQ(snapshot(dir.path()), before);
        }
    }
}

// The stop, the tray option, the hours and the input box's lines are kept
// like the rest; the hours as one group, whole or not at all.
TEST_F(UserSettingsTest, TheStopTheTrayTheHoursAndTheInputLinesAreKeptAndReadBack) {
    UserSettings settings(path());
    EXPECT_FALSE(settings.isStopped());
    EXPECT_FALSE(settings.closesToTray());
    EXPECT_EQ(settings.downloadHours(), tolvenka::DownloadHours{});
    EXPECT_FALSE(settings.downloadHours().enabled);
    EXPECT_EQ(settings.inputLines(), 0);
    settings.setStopped(true);
    settings.setClosesToTray(true);
    settings.setDownloadHours(tolvenka::DownloadHours{true, 23 * 60, 6 * 60 + 30});
    settings.setInputLines(7);
    EXPECT_EQ(readFile(file), "[General]\nstopped=true\ncloseToTray=true\n\n[schedule]\n"
                              "enabled=true\nfrom=23:00\nto=06:30\n\n[window]\ninputLines=7\n");
    UserSettings later(path());
    EXPECT_TRUE(later.isStopped());
    EXPECT_TRUE(later.closesToTray());
    EXPECT_EQ(later.downloadHours(), (tolvenka::DownloadHours{true, 23 * 60, 6 * 60 + 30}));
    EXPECT_EQ(later.inputLines(), 7);

    for (const char* broken :
         {"[schedule]\nenabled=true\nfrom=25:00\nto=06:00\n",
          "[schedule]\nenabled=true\nto=06:00\n",
          "[schedule]\nenabled=yes\nfrom=01:00\nto=06:00\n[window]\ninputLines=101\n",
          "[General]\nstopped=1x\ncloseToTray=\n[window]\ninputLines=-1\n"}) {
        writeFile(file, broken);
        UserSettings read(path());
        EXPECT_FALSE(read.downloadHours().enabled) << broken;
        EXPECT_FALSE(read.isStopped()) << broken;
        EXPECT_FALSE(read.closesToTray()) << broken;
        EXPECT_EQ(read.inputLines(), 0) << broken;
    }
}
