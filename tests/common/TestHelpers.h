#pragma once

#include "platform/Clock.h"
#include "platform/WallClock.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace testing_helpers {

// Processes GUI-thread events until `done` holds or `timeoutMs` passes.
// Returns whether `done` held.
bool pumpUntil(const std::function<bool()>& done, int timeoutMs = 5000);

// Processes GUI-thread events for about `ms` milliseconds.
void pumpFor(int ms);

// A clock that tests move by hand. Sleeping on it advances it at once (after
// a yield, so that other threads get a turn), so a wait of minutes takes no
// time; `onSleep` lets a test act when the clock passes a point.
class FakeClock : public platform::ClockSource {
public:
    FakeClock();
    ~FakeClock() override;

    std::int64_t nowMs() override { return now.load(); }
    void sleepMs(std::int64_t ms) override;
    void advance(std::int64_t ms) { now += ms; }
    void set(std::int64_t ms) { now = ms; }
    std::int64_t totalSleptMs() const { return slept.load(); }

    std::function<void(std::int64_t now)> onSleep;

private:
    std::atomic<std::int64_t> now{1'000'000};
    std::atomic<std::int64_t> slept{0};
};

// A wall clock that tests set by hand, with the one alarm its owner asked
// for, which the test rings by moving the clock to it.
class FakeWallClock : public platform::WallClock {
public:
    // Local time on a winter day, away from any change of summer time.
    static std::int64_t at(int hours, int minutes, int day = 15);

    std::int64_t nowMs() override { return now; }
    void setAlarm(std::int64_t atMs, std::function<void()> onAlarm) override;
    void cancelAlarm() override;
    // Moves the clock to the alarm and rings it; false without one.
    bool ringAlarm();

    std::int64_t now = at(12, 0);
    std::optional<std::int64_t> alarmAt;
    std::function<void()> ring;
};

// A fresh folder under the system's temporary folder, removed with its
// contents when the object dies. `path()` ends without a separator.
class TempDir {
public:
    TempDir();
    ~TempDir();
    const std::string& path() const { return dir; }
    std::string file(const std::string& name) const { return dir + "/" + name; }
    // How many files and folders it holds (no temporary file left behind?).
    std::ptrdiff_t entryCount() const;

private:
    std::string dir;
};

// The user's home and data folders (HOME, XDG_DATA_HOME) in a fresh
// folder for the object's life, so that what goes to the desktop's trash
// lands in the test's own trash, `trashFiles()`, on the test's disk.
class ScopedHome {
public:
    ScopedHome();
    ~ScopedHome();
    ScopedHome(const ScopedHome&) = delete;
    ScopedHome& operator=(const ScopedHome&) = delete;

    const std::string& path() const { return home.path(); }
    std::string trashFiles() const { return home.file("data/Trash/files"); }

private:
    TempDir home;
    std::string previousHome;
    std::string previousData;
    bool hadHome = false;
    bool hadData = false;
};

std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& content);

} // namespace testing_helpers
