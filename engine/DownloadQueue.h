#pragma once

#include <string>

namespace tolvenka {

class Download;

// What the worker needs of the queue it runs, and all it knows of it. The
// queue implements it; every call comes on the GUI thread but `releaseSlot`,
// which may come from any thread.
class DownloadQueue {
public:
    // The next download of the kind for the slot to run, or null; it stays
    // the slot's until `releaseSlot`, and is not deleted meanwhile.
    virtual Download* pickNext(int slot, const std::string& kindName) = 0;
    virtual void releaseSlot(int slot) = 0;
    // Removes the completed downloads that no slot holds.
    virtual void clearComplete() = 0;

protected:
    DownloadQueue() = default;
    ~DownloadQueue() = default;
    DownloadQueue(const DownloadQueue&) = default;
    DownloadQueue& operator=(const DownloadQueue&) = default;
};

} // namespace tolvenka
