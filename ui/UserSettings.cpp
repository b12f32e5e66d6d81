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
constexpr UserSettings::Key stoppedKey{"General", "stopped"};
constexpr UserSettings::Key closeToTrayKey{"General", "closeToTray"};
constexpr UserSettings::Key scheduleOnKey{"schedule", "enabled"};
constexpr UserSettings::Key scheduleFromKey{"schedule", "from"};
constexpr UserSettings::Key scheduleToKey{"schedule", "to"};
constexpr UserSettings::Key inputLinesKey{"window", "inputLines"};

// A settings file is a few lines; anything much larger is something else,
// and reading it whole would cost the start its memory and time.
constexpr qint64 largestFileRead = 16 * 1024 * 1024;

std::optional<int> numberIn(const QString& text, int least, int most) {
    bool isNumber = false;
    const int number = text.toInt(&isNumber);
    if (!isNumber || number < least || number > most) {
        return std::nullopt;
    }
    return number;
}

const char* switchText(bool on) {
    return on ? "true" : "false";
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
    limit = numberIn(valueOf(speedLimitKey), 0, maxSpeedLimit).value_or(limit);
    watch = switchIn(valueOf(watchClipboardKey)).value_or(watch);
    stopped = switchIn(valueOf(stoppedKey)).value_or(stopped);
    toTray = switchIn(valueOf(closeToTrayKey)).value_or(toTray);
    lines = numberIn(valueOf(inputLinesKey), 0, maxInputLines).value_or(lines);
    // The hours count only whole: a time that cannot be read leaves them off.
    const std::optional<int> from =
        DownloadHours::parseTime(valueOf(scheduleFromKey).toStdString());
    const std::optional<int> to = DownloadHours::parseTime(valueOf(scheduleToKey).toStdString());
    if (from && to) {
        hours.from = *from;
        hours.to = *to;
        hours.enabled = switchIn(valueOf(scheduleOnKey)).value_or(false);
    }
}

void UserSettings::setSpeedLimit(int kilobytesPerSecond) {
    const int clamped = std::clamp(kilobytesPerSecond, 0, maxSpeedLimit);
    if (clamped != limit) {
        limit = clamped;
        keep({{speedLimitKey, std::to_string(limit)}});
    }
}

void UserSettings::setWatchesClipboard(bool on) {
    if (on != watch) {
        watch = on;
        keep({{watchClipboardKey, switchText(on)}});
    }
}

void UserSettings::setStopped(bool on) {
    if (on != stopped) {
        stopped = on;
        keep({{stoppedKey, switchText(on)}});
    }
}

void UserSettings::setDownloadHours(const DownloadHours& chosen) {
    if (chosen != hours) {
        hours = chosen;
        keep({{scheduleOnKey, switchText(hours.enabled)},
              {scheduleFromKey, DownloadHours::timeText(hours.from)},
              {scheduleToKey, DownloadHours::timeText(hours.to)}});
    }
}

void UserSettings::setClosesToTray(bool on) {
    if (on != toTray) {
        toTray = on;
        keep({{closeToTrayKey, switchText(on)}});
    }
}

void UserSettings::setInputLines(int count) {
    const int clamped = std::clamp(count, 0, maxInputLines);
    if (clamped != lines) {
        lines = clamped;
        keep({{inputLinesKey, std::to_string(lines)}});
    }
}

void UserSettings::keep(Values values) {
    const std::string reason = write(values);
    if (reason.empty() || std::exchange(failureTold, true)) {
        return;
    }
    if (onKeepFailed) {
        onKeepFailed(reason);
    }
}

// Read again first: what another program or the user wrote since, this one
// keeps too. A file that cannot be read is never written over.
std::string UserSettings::write(Values values) const {
    std::string content;
    const int readError = readFile(content);
    // None there yet, or not even its folder, which is made below where it
    // can be.
    if (readError != 0 && readError != ENOENT && readError != ENOTDIR) {
        return fileReadReason(readError);
    }
    SettingsText text(std::move(content));
    for (const auto& [key, value] : values) {
        text.setValue(key.group, key.name, value);
    }
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
