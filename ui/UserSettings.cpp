#include "ui/UserSettings.h"

#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <algorithm>
#include <optional>

namespace tolvenka {

namespace {

const QString speedLimitKey = QStringLiteral("speedLimit");
const QString watchClipboardKey = QStringLiteral("watchClipboard");

// Far beyond two short lines: such a file is no settings file of ours, and
// reading it whole would cost the start.
constexpr qint64 largestFileRead = 64 * 1024;

std::optional<int> speedLimitIn(const QVariant& value) {
    bool isNumber = false;
    const int number = value.toString().trimmed().toInt(&isNumber);
    if (!isNumber || number < 0 || number > UserSettings::maxSpeedLimit) {
        return std::nullopt;
    }
    return number;
}

std::optional<bool> switchIn(const QVariant& value) {
    const QString text = value.toString().trimmed().toLower();
    if (text == QLatin1String("true") || text == QLatin1String("1")) {
        return true;
    }
    if (text == QLatin1String("false") || text == QLatin1String("0")) {
        return false;
    }
    return std::nullopt;
}

} // namespace

QString UserSettings::defaultFilePath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/tolvenka/tolvenka.conf");
}

UserSettings::UserSettings(QString filePath)
    : path(std::move(filePath)) {
    read();
}

void UserSettings::read() {
    // A folder, a device or a pipe in its place would fail the reading, or
    // never end it.
    const QFileInfo file(path);
    if (!file.isFile() || file.size() > largestFileRead) {
        return;
    }
    const QSettings stored(path, QSettings::IniFormat);
    limit = speedLimitIn(stored.value(speedLimitKey)).value_or(limit);
    watch = switchIn(stored.value(watchClipboardKey)).value_or(watch);
}

void UserSettings::setSpeedLimit(int kilobytesPerSecond) {
    const int clamped = std::clamp(kilobytesPerSecond, 0, maxSpeedLimit);
    if (clamped != limit) {
        limit = clamped;
        write();
    }
}

void UserSettings::setWatchesClipboard(bool on) {
    if (on != watch) {
        watch = on;
        write();
    }
}

void UserSettings::write() const {
    const QFileInfo file(path);
    if (file.exists() && !file.isFile()) {
        return;
    }
    // Not ours (see `read`): replaced rather than read again.
    if (file.size() > largestFileRead) {
        QFile::remove(path);
    }
    QSettings stored(path, QSettings::IniFormat);
    stored.setValue(speedLimitKey, limit);
    stored.setValue(watchClipboardKey, watch);
    stored.sync();
}

} // namespace tolvenka
