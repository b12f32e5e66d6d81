// The hours of the schedule, the watch that follows them on a wall clock
// the test moves, and the gate that stops the worker by them and by the
// user's stop.
#include "platform/WallClock.h"
#include "tests/common/TestHelpers.h"
#include "ui/DownloadHours.h"
#include "ui/DownloadingGate.h"
#include "ui/ScheduleWatch.h"
#include "ui/UserSettings.h"

#include <gtest/gtest.h>
#include <optional>

using testing_helpers::FakeWallClock;
using tolvenka::DownloadHours;
using tolvenka::DownloadingGate;
using tolvenka::ScheduleWatch;

namespace {

constexpr int hour = 60;

DownloadHours hours(int from, int to, bool enabled = true) {
    return DownloadHours{enabled, from, to};
}

} // namespace

TEST(DownloadHours, AllowTheMinutesFromTheStartUpToTheEndAlsoOverMidnight) {
    const struct {
        DownloadHours hours;
        int minute;
        bool allowed;
    } cases[] = {
        {hours(1 * hour, 7 * hour), 1 * hour, true},
        {hours(1 * hour, 7 * hour), 7 * hour - 1, true},
        {hours(1 * hour, 7 * hour), 7 * hour, false},
        {hours(1 * hour, 7 * hour), 0, false},
        {hours(23 * hour, 6 * hour), 23 * hour + 30, true},
        {hours(23 * hour, 6 * hour), 0, true},
        {hours(23 * hour, 6 * hour), 5 * hour + 59, true},
        {hours(23 * hour, 6 * hour), 6 * hour, false},
        {hours(23 * hour, 6 * hour), 12 * hour, false},
        {hours(5 * hour, 5 * hour), 12 * hour, true},        // the whole day
        {hours(1 * hour, 7 * hour, false), 12 * hour, true}, // off
    };
    for (const auto& [hours, minute, allowed] : cases) {
        EXPECT_EQ(hours.allow(minute), allowed)
            << hours.from << "-" << hours.to << " at " << minute;
    }
}

TEST(DownloadHours, TimesReadAsHoursAndMinutesAndNothingElse) {
    EXPECT_EQ(DownloadHours::parseTime("01:00"), 60);
    EXPECT_EQ(DownloadHours::parseTime("7:05"), 7 * hour + 5);
    EXPECT_EQ(DownloadHours::parseTime("23:59"), 24 * hour - 1);
    for (const char* bad : {"", "24:00", "12:60", "1200", "12:5", "-1:00", "+1:00", "ab:cd",
                            "12:00:00", ":30", "123:00"}) {
        EXPECT_EQ(DownloadHours::parseTime(bad), std::nullopt) << bad;
    }
    EXPECT_EQ(DownloadHours::timeText(60), "01:00");
    EXPECT_EQ(DownloadHours::timeText(24 * hour - 1), "23:59");
}

// One alarm, for the next edge; outside the hours the next edge is their
// start, inside it is their end, today or tomorrow.
TEST(ScheduleWatch, HoldsBackOutsideTheHoursAndWakesOnlyAtTheirEdges) {
    FakeWallClock clock;
    clock.now = FakeWallClock::at(22, 30);
    ScheduleWatch watch(clock, hours(23 * hour, 6 * hour));
    int changes = 0;
    watch.onChange = [&] {
        ++changes;
    };
    EXPECT_TRUE(watch.holdsBack()) << "a start outside the hours";
    EXPECT_EQ(clock.alarmAt, FakeWallClock::at(23, 0));

    ASSERT_TRUE(clock.ringAlarm());
    EXPECT_FALSE(watch.holdsBack());
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(clock.alarmAt, FakeWallClock::at(6, 0, 16)) << "over midnight, tomorrow";

    ASSERT_TRUE(clock.ringAlarm());
    EXPECT_TRUE(watch.holdsBack());
    EXPECT_EQ(clock.alarmAt, FakeWallClock::at(23, 0, 16));
    EXPECT_EQ(changes, 2);

    // An alarm that rings early (a clock set anew) only sets the next one.
    clock.now = FakeWallClock::at(22, 59, 16);
    clock.ring();
    EXPECT_TRUE(watch.holdsBack());
    EXPECT_EQ(changes, 2);
    EXPECT_EQ(clock.alarmAt, FakeWallClock::at(23, 0, 16));
}

TEST(ScheduleWatch, AChangeOfTheHoursIsLookedAtAtOnce) {
    FakeWallClock clock;
    clock.now = FakeWallClock::at(12, 0);
    ScheduleWatch watch(clock, hours(1 * hour, 7 * hour, false));
    EXPECT_FALSE(watch.holdsBack());
    EXPECT_FALSE(clock.alarmAt.has_value()) << "off: no alarm at all";

    watch.setHours(hours(1 * hour, 7 * hour));
    EXPECT_TRUE(watch.holdsBack());
    EXPECT_EQ(clock.alarmAt, FakeWallClock::at(1, 0, 16));
    watch.setHours(hours(11 * hour, 13 * hour));
    EXPECT_FALSE(watch.holdsBack()) << "a start inside the hours";
    EXPECT_EQ(clock.alarmAt, FakeWallClock::at(13, 0));
    watch.setHours(hours(8 * hour, 8 * hour));
    EXPECT_FALSE(watch.holdsBack());
    EXPECT_FALSE(clock.alarmAt.has_value()) << "the whole day has no edge";
}

// The user's stop is kept at once; the schedule is not kept as a stop.
TEST(DownloadingGate, IsOpenOnlyWithoutTheUsersStopAndInsideTheHours) {
    testing_helpers::TempDir folder;
    const QString file = QString::fromStdString(folder.file("tolvenka.conf"));
    FakeWallClock clock;
    clock.now = FakeWallClock::at(12, 0);
    tolvenka::UserSettings settings(file);
    DownloadingGate gate(settings, clock);
    bool told = false;
    gate.onChange = [&] {
        told = true;
    };
    const auto toldOf = [&](const std::function<void()>& step) {
        told = false;
        step();
        return told;
    };
    EXPECT_TRUE(gate.isOpen());
    EXPECT_TRUE(toldOf([&] { gate.stop(); }));
    EXPECT_FALSE(gate.isOpen());
    EXPECT_TRUE(tolvenka::UserSettings(file).isStopped());
    EXPECT_TRUE(toldOf([&] { gate.setDownloadHours(hours(1 * hour, 7 * hour)); }));
    EXPECT_TRUE(gate.waitsForSchedule());
    EXPECT_TRUE(toldOf([&] { gate.resume(); }));
    EXPECT_FALSE(tolvenka::UserSettings(file).isStopped());
    EXPECT_FALSE(gate.isOpen()) << "the hours still hold it back";

    EXPECT_TRUE(toldOf([&] { EXPECT_TRUE(clock.ringAlarm()); }));
    EXPECT_TRUE(gate.isOpen());
    EXPECT_EQ(tolvenka::UserSettings(file).downloadHours(), hours(1 * hour, 7 * hour));
}
