#pragma once

#include <QString>
#include <functional>
#include <string>

namespace tolvenka {

// The choices kept the desktop's way rather than in the queue file, whose
// two option lines older programs read as they are: the speed limit and the
// watch on the clipboard. They live in "tolvenka/tolvenka.conf" under the
// user's configuration folder ($XDG_CONFIG_HOME, ~/.config by default), are
// read once and written at every change, each change into the file as it is
// then, with every other line of it kept. A missing, empty or broken file
// gives the defaults, and so does a value out of its range. A file that
// cannot be written leaves the choices in force for this run, and says so
// once.
//
// A setting is a `Key` in UserSettings.cpp, a field here, and a line in
// `read`.
class UserSettings {
public:
    // Where a setting is in the file: its group and its key.
    struct Key;

    static constexpr int maxSpeedLimit = 1'000'000;

    // Where the file is, as the environment says now.
    static QString defaultFilePath();

    explicit UserSettings(QString filePath = defaultFilePath());

    const QString& filePath() const { return path; }

    // Kilobytes (1024 bytes) per second, any from 0 to `maxSpeedLimit`; 0
    // for no limit.
    int speedLimit() const { return limit; }
    void setSpeedLimit(int kilobytesPerSecond);

    bool watchesClipboard() const { return watch; }
    void setWatchesClipboard(bool on);

    // Called with why (CP1251) at the first change of the run that could
    // not be written; never again in the run, since the choices hold all
    // the same and one word about it is enough.
    std::function<void(const std::string& reason)> onKeepFailed;

private:
    void read();
    // Writes `value` as the text of `key`, and tells the first failure.
    void keep(const Key& key, const std::string& value);
    // The same into the file as it is now; why not, or empty.
    std::string write(const Key& key, const std::string& value) const;
    // The whole file: 0, or the system's error number.
    int readFile(std::string& content) const;

    QString path;
    // `path` in CP1251; empty where it has no CP1251 form.
    std::string file;
    int limit = 0;
    bool watch = false;
    bool failureTold = false;
};

} // namespace tolvenka
