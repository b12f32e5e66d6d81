#pragma once

#include "support/Event.h"
#include "ui/DownloadHours.h"

#include <cstdint>

namespace platform {
class WallClock;
}

namespace tolvenka {

// Follows the download hours on the wall clock, in local time: whether the
// present moment is outside them, and a word when that changes. One alarm,
// for the next edge of the hours, and nothing in between; a clock set anew
// or a change of the hours is looked at again at once.
//
// GUI thread.
class ScheduleWatch {
public:
    explicit ScheduleWatch(platform::WallClock& clock, DownloadHours hours = {});
    ~ScheduleWatch();

    ScheduleWatch(const ScheduleWatch&) = delete;
    ScheduleWatch& operator=(const ScheduleWatch&) = delete;

    const DownloadHours& hours() const { return downloadHours; }
    void setHours(const DownloadHours& hours);

    // Whether downloads wait now: the hours are on and it is outside them.
    bool holdsBack() const { return outside; }
    // When the next edge of the hours comes (milliseconds since the epoch);
    // -1 when none is to come.
    std::int64_t nextEdgeMs() const { return nextEdge; }

    // `holdsBack` changed.
    kestrune::Event<> onChange;

private:
    void look();

    platform::WallClock& clock;
    DownloadHours downloadHours;
    bool outside = false;
    std::int64_t nextEdge = -1;
};

} // namespace tolvenka
