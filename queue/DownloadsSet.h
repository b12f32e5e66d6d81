#pragma once

#include "engine/Download.h"
#include "support/Event.h"

#include <atomic>
#include <istream>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace platform {
class Timer;
}

namespace tolvenka {

// The download queue: the ordered downloads the program knows (it owns
// them), one current-download entry per worker slot, and the events that the
// list panel follows. Membership changes only on the GUI thread; a download
// that is current in a slot is never deleted, so a worker can run it safely.
class DownloadsSet {
public:
    DownloadsSet(int slotCount, int workTimerIntervalMs);
    ~DownloadsSet();

    DownloadsSet(const DownloadsSet&) = delete;
    DownloadsSet& operator=(const DownloadsSet&) = delete;

    int count() const { return static_cast<int>(downloads.size()); }
    std::vector<Download*>::const_iterator begin() const { return downloads.begin(); }
    std::vector<Download*>::const_iterator end() const { return downloads.end(); }

    int slotCount() const { return static_cast<int>(currentDownloads.size()); }
    // Any thread.
    Download* currentDownload(int slot) const;
    // Any thread. The first slot whose entry is `download`, or -1.
    int slotOf(const Download* download) const;

    // GUI thread. The first Queued download of the kind becomes the slot's
    // entry (null when there is none); fires onCurrentDownloadChange first.
    Download* pickNext(int slot, const std::string& kindName);
    // Any thread. Empties the slot; no event.
    void releaseSlot(int slot);

    // GUI thread. Adds a download for the link if a kind accepts it.
    void add(const std::string& link, const std::string& folder);
    void add(const std::string& kindName, const std::string& link, const std::string& folder);

    // GUI thread. Remove the Complete / NotFound downloads that are current in
    // no slot, then fire onSetChange.
    void clearComplete();
    void clearNotFound();
    // GUI thread. False, and nothing changes, while any slot is busy.
    bool clearAll();

    // GUI thread. Replaces the contents by the records of a queue file. The
    // emptying announces itself like `clearAll`; the loaded downloads do not.
    std::istream& load(std::istream& in);
    // Writes every download's record in queue order.
    void save(std::ostream& out) const;

    // A download of the set changed its state; the slot is -1 when it is
    // current in none. Fires on the thread that changed the state.
    kestrune::Event<Download*, int> onStatusChange;
    // Every work-timer tick, for each current download that is Downloading.
    kestrune::Event<Download*, int> onWork;
    kestrune::Event<DownloadsSet*> onSetChange;
    kestrune::Event<int, Download*> onCurrentDownloadChange;

private:
    // Tests hand the set downloads of kinds that the registry does not know.
    friend class DownloadsSetTestAccess;

    void append(Download* download);
    void forwardStatusChange(Download* download);
    bool isCurrent(const Download* download) const;
    void removeAllIn(Download::State state);
    void onWorkTimer();

    std::vector<Download*> downloads;
    std::vector<std::atomic<Download*>> currentDownloads;
    std::unique_ptr<platform::Timer> workTimer;
};

} // namespace tolvenka
