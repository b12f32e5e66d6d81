#pragma once

#include "engine/Download.h"

#include <cstdint>
#include <string>

namespace tolvenka {

// What the worker needs of the queue it runs, and all it knows of it. The
// queue implements it; every call comes on the GUI thread but those said to
// come from any thread.
class DownloadQueue {
public:
    // The next download of the kind for the slot to run, or null; it stays
    // the slot's until `releaseSlot`, and is not deleted meanwhile.
    virtual Download* pickNext(int slot, const std::string& kindName) = 0;
    // Right after a pick of the kind that found nothing: when the first
    // download of that kind that waits for its next try is due (clock
    // time), or -1 when none waits.
    virtual std::int64_t nextDueMs(const std::string& kindName) const = 0;
    // Any thread.
    virtual void releaseSlot(int slot) = 0;
    // The slot's run ended: it lets go of its download, which may be
    // deleted then (one removed while it ran).
    virtual void finishRun(int slot) = 0;
    // Removes the completed downloads that no slot holds.
    virtual void clearComplete() = 0;
    // Worker thread, inside the run of a download the slot holds: its file
    // arrived (see Download::ArrivalReport).
    virtual void fileArrived(Download& download, const Download::ArrivedFile& file) = 0;

    // Worker thread. Waits until the queue changed since the last wait
    // returned, until `deadlineMs` (clock time; -1: none), or until
    // `wakeWorkers`.
    virtual void waitForWork(std::int64_t deadlineMs) = 0;
    // Any thread. Ends every `waitForWork` under way, or the next one.
    virtual void wakeWorkers() = 0;

protected:
    DownloadQueue() = default;
    ~DownloadQueue() = default;
    DownloadQueue(const DownloadQueue&) = default;
    DownloadQueue& operator=(const DownloadQueue&) = default;
};

} // namespace tolvenka
