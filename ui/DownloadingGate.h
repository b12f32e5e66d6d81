#pragma once

#include "support/Event.h"

#include <memory>

namespace platform {
class WallClock;
}

namespace tolvenka {

class ScheduleWatch;
class SimpleDownloadThread;
class UserSettings;
struct DownloadHours;

// Whether the worker may download. Not after "Остановить загрузку" until
// "Продолжить загрузку": the stop is kept in the settings at once, so that it
// holds across a close, a termination signal and a kill. And not outside the
// hours of the schedule. Either stops a transfer under way the way the button
// always has: the worker is paused, the transfer aborted, and the download
// goes back to its place in the queue.
//
// GUI thread.
class DownloadingGate {
public:
    DownloadingGate(UserSettings& settings, platform::WallClock& clock);
    ~DownloadingGate();

    DownloadingGate(const DownloadingGate&) = delete;
    DownloadingGate& operator=(const DownloadingGate&) = delete;

    // The queue's worker, just started (null: none). Paused at once where
    // the gate is shut, before it can take a download: its picks wait for
    // the GUI thread.
    void attach(SimpleDownloadThread* worker);

    // The user's buttons.
    void stop();
    void resume();

    bool isStoppedByUser() const;
    // Outside the hours of the schedule.
    bool waitsForSchedule() const;
    bool isOpen() const { return !isStoppedByUser() && !waitsForSchedule(); }
    const DownloadHours& downloadHours() const;
    // Kept in the settings, and looked at again at once.
    void setDownloadHours(const DownloadHours& hours);

    // Any of the three above changed.
    kestrune::Event<> onChange;

private:
    void apply();

    UserSettings& settings;
    std::unique_ptr<ScheduleWatch> schedule;
    SimpleDownloadThread* worker = nullptr;
};

} // namespace tolvenka
