#pragma once

#include "ui/DownloadHours.h"

#include <QString>
#include <functional>
#include <initializer_list>
#include <string>
#include <utility>

namespace tolvenka {

// The choices kept the desktop's way rather than in the queue file, whose
// two option lines older programs read as they are: the speed limit, the
// watch on the clipboard, whether downloading was stopped, the hours of the
// day downloads may run in, whether closing the window leaves the program in
// the tray, and the height of the input box. They live in "tolvenka/tolvenka.conf" under the
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

    // "Остановить загрузку" until "Продолжить загрузку", across runs.
    bool isStopped() const { return stopped; }
    void setStopped(bool on);

    const DownloadHours& downloadHours() const { return hours; }
    void setDownloadHours(const DownloadHours& chosen);

    bool closesToTray() const { return toTray; }
    void setClosesToTray(bool on);

    // Lines of text the input box shows at least, as the user dragged its
    // divider; 0 until the user does.
    int inputLines() const { return lines; }
    void setInputLines(int count);
    static constexpr int maxInputLines = 100;

    // Called with why (CP1251) at the first change of the run that could
    // not be written; never again in the run, since the choices hold all
    // the same and one word about it is enough.
    std::function<void(const std::string& reason)> onKeepFailed;

private:
    using Values = std::initializer_list<std::pair<const Key&, std::string>>;

    void read();
    // Writes each value as the text of its key, all at once, and tells the
    // first failure.
    void keep(Values values);
    // The same into the file as it is now; why not, or empty.
    std::string write(Values values) const;
    // The whole file: 0, or the system's error number.
    int readFile(std::string& content) const;

    QString path;
    // `path` in CP1251; empty where it has no CP1251 form.
    std::string file;
    int limit = 0;
    bool watch = false;
    bool stopped = false;
    DownloadHours hours;
    bool toTray = false;
    int lines = 0;
    bool failureTold = false;
};

} // namespace tolvenka
