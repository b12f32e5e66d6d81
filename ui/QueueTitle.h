#pragma once

#include <QString>
#include <cstdint>
#include <functional>
#include <string>

namespace tolvenka {

// What the window's title says, and the tray's tooltip with it, of what the
// queue does, so that a task bar button or a tray icon tells it without the
// window: stopped ("Толвенка — остановлено"), waiting for the hours of the
// schedule ("Толвенка — ждёт расписания до 01:00"), the share of a transfer
// ("48 % — Толвенка"), or the time left of a wait the service imposed or of a
// countdown ("Ожидание 11:56 — Толвенка"), in that order. What changes comes
// first, so that a narrow button still shows it. The same, without the name,
// is what the status line adds after the queue's size.
//
// GUI thread.
class QueueTitle {
public:
    void setStopped(bool stopped);
    // The minute of the day the hours of the schedule begin; -1 when the
    // schedule holds nothing back.
    void setScheduleResumesAt(int minuteOfDay);
    // -1 when no transfer with a known size runs.
    void setTransferShare(int percent);
    // The wait shown, its caption (CP1251) and the whole seconds left; -1
    // when none.
    void setWait(std::int64_t secondsLeft, const std::string& caption = {});

    QString title() const;
    // The state alone, in the status line's words; empty when there is
    // nothing to add to the queue's size.
    QString state() const;

    // "M:SS", or "H:MM:SS" from an hour on.
    static QString durationText(std::int64_t seconds);

    // The title or the state changed.
    std::function<void()> onChange;

private:
    void changed();

    bool stopped = false;
    int scheduleResumesAt = -1;
    int transferShare = -1;
    std::int64_t waitLeft = -1;
    QString waitCaption;
    QString shownTitle = title();
    QString shownState;
};

} // namespace tolvenka
