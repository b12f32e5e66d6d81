#include "ui/UserSettings.h"

#include "engine/FailureReason.h"
#include "platform/FileSystem.h"
#include "ui/SettingsText.h"
#include "widgets/WidgetText.h"

#include <QFileInfo>
#include <QStandardPaths>
#include <algorithm>
#include <cerrno>
#include <optional>
#include <utility>

namespace tolvenka {

struct UserSettings::Key {
    std::string_view group;
    std::string_view name;
};

namespace {

constexpr UserSettings::Key speedLimitKey{"General", "speedLimit"};
constexpr UserSettings::Key watchClipboardKey{"General", "watchClipboard"};

// A settings file is a few lines; anything much larger is something else,
// and reading it whole would cost the start its memory and time.
constexpr qint64 largestFileRead = 16 * 1024 * 1024;

std::optional<int> speedLimitIn(const QString& text) {
    bool isNumber = false;
    const int number = text.toInt(&isNumber);
    if (!isNumber || number < 0 || number > UserSettings::maxSpeedLimit) {
        return std::nullopt;
    }
    return number;
}

std::optional<bool> switchIn(const QString& text) {
    const QString word = text.toLower();
    if (word == QLatin1String("true") || word == QLatin1String("1")) {
        return true;
    }
    if (word == QLatin1String("false") || word == QLatin1String("0")) {
        return false;
    }
    return std::nullopt;
}

} // namespace

QString UserSettings::defaultFilePath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/tolvenka/tolvenka.conf");
}

// The program's file calls take CP1251 paths.
UserSettings::UserSettings(QString filePath)
    : path(std::move(filePath))
    , file(toQString(fromQString(path)) == path ? fromQString(path) : std::string()) {
    read();
}

void UserSettings::read() {
    std::string content;
    if (readFile(content) != 0) {
        return;
    }
    const SettingsText text(std::move(content));
    const auto valueOf = [&text](const Key& key) {
        return QString::fromStdString(text.value(key.group, key.name).value_or(std::string()));
    };
    limit = speedLimitIn(valueOf(speedLimitKey)).value_or(limit);
    watch = switchIn(valueOf(watchClipboardKey)).value_or(watch);
}

void UserSettings::setSpeedLimit(int kilobytesPerSecond) {
    const int clamped = std::clamp(kilobytesPerSecond, 0, maxSpeedLimit);
    if (clamped != limit) {
        limit = clamped;
        keep(speedLimitKey, std::to_string(limit));
    }
}

void UserSettings::setWatchesClipboard(bool on) {
    if (on != watch) {
        watch = on;
        keep(watchClipboardKey, on ? "true" : "false");
    }
}

void UserSettings::keep(const Key& key, const std::string& value) {
    const std::string reason = write(key, value);
    if (reason.empty() || std::exchange(failureTold, true)) {
        return;
    }
    if (onKeepFailed) {
        onKeepFailed(reason);
    }
}

// Read again first: what another program or the user wrote since, this one
// keeps too. A file that cannot be read is never written over.
std::string UserSettings::write(const Key& key, const std::string& value) const {
    std::string content;
    const int readError = readFile(content);
    // None there yet, or not even its folder, which is made below where it
    // can be.
    if (readError != 0 && readError != ENOENT && readError != ENOTDIR) {
        return fileReadReason(readError);
    }
    SettingsText text(std::move(content));
    text.setValue(key.group, key.name, value);
    // A symbolic link stays a link, and the file it leads to is replaced
    // (or made); its folder is not made, for it is no folder of ours.
    int error = 0;
    if (!platform::createParentFolders(file, &error) ||
        !platform::replaceFileAtomically(file, text.text(), &error)) {
        return fileSaveReason(error);
    }
    return {};
}

int UserSettings::readFile(std::string& content) const {
    if (file.empty()) {
        return EILSEQ;
    }
    if (QFileInfo(path).size() > largestFileRead) {
        return EFBIG;
    }
    return platform::readPlainFile(file, content);
}

} // namespace tolvenka
