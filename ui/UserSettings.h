#pragma once

#include <QString>

namespace tolvenka {

// The two choices kept the desktop's way rather than in the queue file,
// whose two option lines older programs read as they are: the speed limit
// and the watch on the clipboard. They live in "tolvenka/tolvenka.conf" under
// the user's configuration folder ($XDG_CONFIG_HOME, ~/.config by default),
// are read once and written at every change. A missing, empty or broken file
// gives the defaults, and so does a value out of its range; a file that
// cannot be written leaves the choices in force for this run.
class UserSettings {
public:
    static constexpr int maxSpeedLimit = 1'000'000;

    // Where the file is, as the environment says now.
    static QString defaultFilePath();

    explicit UserSettings(QString filePath = defaultFilePath());

    const QString& filePath() const { return path; }

    // Kilobytes (1024 bytes) per second; 0 for no limit.
    int speedLimit() const { return limit; }
    void setSpeedLimit(int kilobytesPerSecond);

    bool watchesClipboard() const { return watch; }
    void setWatchesClipboard(bool on);

private:
    void read();
    void write() const;

    QString path;
    int limit = 0;
    bool watch = false;
};

} // namespace tolvenka
