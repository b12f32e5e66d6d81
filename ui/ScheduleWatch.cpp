#include "ui/ScheduleWatch.h"

#include "platform/WallClock.h"

#include <QDateTime>
#include <utility>

namespace tolvenka {

namespace {

constexpr std::int64_t msPerMinute = 60'000;

int minuteOfDay(const QDateTime& moment) {
    return moment.time().hour() * 60 + moment.time().minute();
}

// The first moment after `nowMs` at which the local clock reads
// `minuteOfDay`: today or tomorrow, whatever the length of the day (a change
// of summer time makes it 23 or 25 hours).
std::int64_t nextOccurrence(std::int64_t nowMs, int minute) {
    const QDateTime now = QDateTime::fromMSecsSinceEpoch(nowMs);
    const QTime at(minute / 60, minute % 60);
    for (int days = 0; days <= 2; ++days) {
        const QDateTime candidate(now.date().addDays(days), at);
        if (candidate.isValid() && candidate.toMSecsSinceEpoch() > nowMs) {
            return candidate.toMSecsSinceEpoch();
        }
    }
    // A time the day skips, twice over: looked at again in a minute.
    return nowMs + msPerMinute;
}

} // namespace

ScheduleWatch::ScheduleWatch(platform::WallClock& clock, DownloadHours hours)
    : clock(clock)
    , downloadHours(hours) {
    look();
}

ScheduleWatch::~ScheduleWatch() {
    clock.cancelAlarm();
}

void ScheduleWatch::setHours(const DownloadHours& hours) {
    downloadHours = hours;
    look();
}

void ScheduleWatch::look() {
    const std::int64_t now = clock.nowMs();
    const bool wasOutside = std::exchange(
        outside, !downloadHours.allow(minuteOfDay(QDateTime::fromMSecsSinceEpoch(now))));
    if (downloadHours.holdsAnyBack()) {
        nextEdge = nextOccurrence(now, outside ? downloadHours.from : downloadHours.to);
        clock.setAlarm(nextEdge, [this] { look(); });
    } else {
        nextEdge = -1;
        clock.cancelAlarm();
    }
    if (outside != wasOutside) {
        onChange();
    }
}

} // namespace tolvenka
