#include "tests/common/TestHelpers.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QEventLoop>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace testing_helpers {

std::int64_t FakeWallClock::at(int hours, int minutes, int day) {
    return QDateTime(QDate(2024, 1, day), QTime(hours, minutes)).toMSecsSinceEpoch();
}

void FakeWallClock::setAlarm(std::int64_t atMs, std::function<void()> onAlarm) {
    alarmAt = atMs;
    ring = std::move(onAlarm);
}

void FakeWallClock::cancelAlarm() {
    alarmAt.reset();
    ring = nullptr;
}

bool FakeWallClock::ringAlarm() {
    if (!alarmAt || !ring) {
        return false;
    }
    now = *alarmAt;
    const std::function<void()> call = ring;
    call();
    return true;
}

bool pumpUntil(const std::function<bool()>& done, int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs) {
            return done();
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

void pumpFor(int ms) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

FakeClock::FakeClock() {
    platform::setClockSource(this);
}

FakeClock::~FakeClock() {
    platform::setClockSource(nullptr);
}

void FakeClock::sleepMs(std::int64_t ms) {
    std::this_thread::yield();
    if (ms > 0) {
        now += ms;
        slept += ms;
    }
    if (onSleep) {
        onSleep(now.load());
    }
}

TempDir::TempDir() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "tolvenka-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot create a temporary folder");
    }
    dir = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
}

ScopedHome::ScopedHome() {
    if (const char* value = std::getenv("HOME")) {
        hadHome = true;
        previousHome = value;
    }
    if (const char* value = std::getenv("XDG_DATA_HOME")) {
        hadData = true;
        previousData = value;
    }
    std::filesystem::create_directories(home.file("data"));
    ::setenv("HOME", home.path().c_str(), 1);
    ::setenv("XDG_DATA_HOME", home.file("data").c_str(), 1);
}

ScopedHome::~ScopedHome() {
    const auto restore = [](const char* name, bool had, const std::string& value) {
        if (had) {
            ::setenv(name, value.c_str(), 1);
        } else {
            ::unsetenv(name);
        }
    };
    restore("HOME", hadHome, previousHome);
    restore("XDG_DATA_HOME", hadData, previousData);
}

std::ptrdiff_t TempDir::entryCount() const {
    return std::distance(std::filesystem::directory_iterator(dir),
                         std::filesystem::directory_iterator());
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

void writeFile(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

} // namespace testing_helpers
