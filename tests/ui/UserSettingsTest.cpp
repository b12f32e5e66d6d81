#include "ui/UserSettings.h"

#include "tests/common/TestHelpers.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>

using testing_helpers::readFile;
using testing_helpers::TempDir;
using testing_helpers::writeFile;
using tolvenka::UserSettings;

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
          std::string("[General]\nspeedLimit=12abc\nwatchClipboard=2\n"),
          std::string(100 * 1024, 'x') + "\n[General]\nspeedLimit=300\n"}) {
        writeFile(file, content);
        expectDefaults(UserSettings(path()), content.substr(0, 40));
    }
    writeFile(file, "[General]\nspeedLimit= 1000000 \nwatchClipboard=TRUE\n");
    UserSettings edge(path());
    EXPECT_EQ(edge.speedLimit(), 1'000'000);
    EXPECT_TRUE(edge.watchesClipboard());
}

TEST_F(UserSettingsTest, AFileThatCannotBeReadOrWrittenLeavesTheChoicesForTheRun) {
    // A folder where the file should be: neither read nor replaced.
    std::filesystem::create_directories(file);
    UserSettings settings(path());
    expectDefaults(settings, "a folder");
    settings.setSpeedLimit(600);
    EXPECT_EQ(settings.speedLimit(), 600);
    EXPECT_TRUE(std::filesystem::is_directory(file));

    // A pipe would never end a read.
    std::filesystem::remove(file);
    ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0);
    expectDefaults(UserSettings(path()), "a pipe");
    std::filesystem::remove(file);

    // A file too large to be ours is replaced at the first change.
    writeFile(file, std::string(100 * 1024, 'x'));
    UserSettings(path()).setWatchesClipboard(true);
    EXPECT_EQ(readFile(file), "[General]\nspeedLimit=0\nwatchClipboard=true\n");
}
