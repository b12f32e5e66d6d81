#pragma once

#include "engine/Download.h"
#include "engine/DownloadQueue.h"
#include "platform/Bell.h"
#include "support/Event.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <istream>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace platform {
class GuiWakeUp;
class Timer;
} // namespace platform

namespace tolvenka {

// The download queue: the ordered downloads the program knows (it owns
// them), one current-download entry per worker slot, and the events that the
// list panel follows. Membership changes only on the GUI thread; a download
// that is current in a slot is never deleted, so a worker can run it safely.
//
// Every download gets a serial number when it joins, higher than any before
// and never reused, by which a view tells its downloads apart. Downloads
// join at the end; the user may move them around.
class DownloadsSet final : public DownloadQueue {
public:
    using Downloads = std::vector<std::unique_ptr<Download>>;

    DownloadsSet(int slotCount, int workTimerIntervalMs);
    ~DownloadsSet();

    DownloadsSet(const DownloadsSet&) = delete;
    DownloadsSet& operator=(const DownloadsSet&) = delete;

    // GUI thread, like everything that reads the membership.
    int count() const { return static_cast<int>(downloads.size()); }
    Downloads::const_iterator begin() const { return downloads.begin(); }
    Downloads::const_iterator end() const { return downloads.end(); }
    Download* at(int index) const { return downloads[static_cast<std::size_t>(index)].get(); }
    std::uint64_t serialAt(int index) const { return serials[static_cast<std::size_t>(index)]; }
    // The place of `download` in the queue, or -1.
    int indexOf(const Download* download) const;

    // Any thread. Moves on with every change of the membership and of any
    // download's state: what the queue file holds may have changed.
    std::uint64_t changeCount() const { return changes.load(); }
    // Any thread. Moves on with every change of what the queue file holds:
    // the membership, the order, a download's record.
    std::uint64_t recordsChangeCount() const { return recordsChanges.load(); }
    // GUI thread. Moves on whenever the members, their order or which of
    // them are leaving change: what an index names may have changed.
    std::uint64_t layoutChangeCount() const { return layoutChanges; }

    int slotCount() const { return static_cast<int>(currentDownloads.size()); }
    // Any thread.
    Download* currentDownload(int slot) const;
    // Any thread. The first slot whose entry is `download`, or -1.
    int slotOf(const Download* download) const;

    // GUI thread. The first download of the kind that is due (queued, or
    // failed and due for its next try; never a held one) becomes the slot's
    // entry (null when there is none); fires onCurrentDownloadChange first.
    // When nothing changed since a search that found none and no try has
    // come due, the queue is not searched again, so an idle worker costs
    // nothing however long it is.
    Download* pickNext(int slot, const std::string& kindName) override;
    std::int64_t nextDueMs(const std::string& kindName) const override;
    // Any thread. Empties the slot; no event.
    void releaseSlot(int slot) override;
    // GUI thread. Also lets a download removed while it ran leave.
    void finishRun(int slot) override;
    // Worker thread: told through onFileArrived.
    void fileArrived(Download& download, const Download::ArrivedFile& file) override;
    void waitForWork(std::int64_t deadlineMs) override;
    void wakeWorkers() override;
    // GUI thread. Of the downloads that wait for their next try after a
    // failure, the one due first; null when none waits.
    const Download* nextToRetry() const;

    // GUI thread. Adds a download for each link that a kind accepts, in
    // order, then fires onSetChange once. A file never goes where another
    // download of the set or anything on disk already is: it takes the
    // first free name.
    void add(const std::vector<std::string>& links, const std::string& folder);
    void add(const std::string& link, const std::string& folder);
    void add(const std::string& kindName, const std::string& link, const std::string& folder);
    // GUI thread. Adds a download made elsewhere.
    void add(std::unique_ptr<Download> download);

    // GUI thread. Remove the Complete / NotFound downloads that are current in
    // no slot, then fire onSetChange.
    void clearComplete() override;
    void clearNotFound();
    // GUI thread. False, and nothing changes, while any slot is busy.
    bool clearAll();
    // GUI thread. Removes these members (others are passed over), then fires
    // onSetChange once. One that a slot holds is aborted and leaves once no
    // slot holds it; meanwhile it is neither picked nor saved. Files on disk
    // are never touched.
    void remove(const std::vector<const Download*>& leavers);

    // GUI thread. Every download that stopped with an error, and that no
    // slot holds, goes back to the queue for one more try; held ones stay.
    void retryStopped();
    // GUI thread. Holds these downloads back (a running one is aborted and
    // goes back to the queue, held), or lets them go again, a stopped one
    // with a new try.
    void hold(const std::vector<const Download*>& chosen);
    void release(const std::vector<const Download*>& chosen);

    enum class Move { Up, Down, ToTop, ToBottom };
    // GUI thread. Moves these members (in queue order among themselves) one
    // place up or down, past the others, or to the top or the bottom. A
    // running download keeps running. False when nothing moved.
    bool move(const std::vector<const Download*>& chosen, Move where);
    // GUI thread. Moves these members, in queue order, to stand before the
    // member at `index` among the rest (the end for count()).
    bool moveBefore(const std::vector<const Download*>& chosen, int index);
    // GUI thread. Each of these that no slot holds and whose file has not
    // arrived gets its target in `folder`, under the file name it had, or
    // the first free one there. The number moved.
    int moveToFolder(const std::vector<const Download*>& chosen, const std::string& folder);
    // GUI thread. For each link, whether a download of the set that is
    // neither complete nor not found has the same file, however either link
    // is spelt (see DownloadMaker::identityOf).
    std::vector<bool> holdsUnfinished(const std::vector<std::string>& links) const;
    // GUI thread. The same for a download that is complete.
    std::vector<bool> holdsComplete(const std::vector<std::string>& links) const;
    // GUI thread. Those of these that stopped with an error or were not
    // found, and that no slot holds, go back to the queue.
    void retry(const std::vector<const Download*>& downloads);

    // GUI thread. Replaces the contents by the records of a queue file. The
    // emptying announces itself like `clearAll`; the loaded downloads do not.
    std::istream& load(std::istream& in);
    // Any thread: the downloads of the records of a queue file, for `adopt`.
    // The registry of download kinds must exist.
    static Downloads readRecords(std::istream& in);
    // GUI thread. Replaces the contents by downloads read elsewhere, as
    // `load` does.
    void adopt(Downloads loaded);
    // Writes every download's record in queue order.
    void save(std::ostream& out) const;
    // Writes the records of the downloads at `from` up to, not including,
    // `to`, as `save` does.
    void save(std::ostream& out, int from, int to) const;

    // A download of the set changed its state; the slot is -1 when it is
    // current in none. Fires on the thread that changed the state.
    kestrune::Event<Download*, int> onStatusChange;
    // A download's file arrived (see Download::ArrivalReport). Fires on the
    // thread that runs the download; set it before any worker runs.
    kestrune::Event<Download*, const Download::ArrivedFile&> onFileArrived;
    // Every work-timer tick, for each current download that is Downloading.
    // The timer ticks only while some current download is.
    kestrune::Event<Download*, int> onWork;
    // On the GUI thread, soon after the contents changed (members, order,
    // states, held or not, targets); changes close together fire it once.
    kestrune::Event<> onChanged;
    // GUI thread. The members or their order changed. Downloads that left
    // are deleted only after it has fired, so that whoever follows the set
    // can let go of them while they are still whole.
    kestrune::Event<DownloadsSet*> onSetChange;
    kestrune::Event<int, Download*> onCurrentDownloadChange;

private:
    // Adds downloads for the links, of `kindName` or else of the kind each
    // link is; true when any was added.
    bool addLinks(const std::vector<std::string>& links, const std::string& folder,
                  const std::string* kindName);
    void append(std::unique_ptr<Download> download);
    // Appends without counting a change: a load counts one for them all.
    void join(std::unique_ptr<Download> download);
    // The contents changed in a way the queue file or a worker may care
    // about: counted, and a waiting worker looks again. Only a change of
    // the records is counted for the queue file.
    void changed(bool recordsChanged = true);
    // A test for whether a path is taken by a member or by anything on disk,
    // over the members' targets as they are now.
    class TakenPaths;
    // Puts the members at `moved` (ascending indexes) before the member now
    // at `before` among the rest.
    void reorder(const std::vector<std::size_t>& moved, std::size_t before);
    std::vector<std::size_t> indexesOf(const std::vector<const Download*>& chosen) const;
    // For each link, whether a download of the set in a state `inState`
    // picks has the same file.
    std::vector<bool> holds(const std::vector<std::string>& links,
                            const std::function<bool(Download::State)>& inState) const;
    void forwardStatusChange(Download* download);
    bool isCurrent(const Download* download) const;
    bool isLeaving(std::size_t index) const;
    void removeAllIn(Download::State state);
    // Takes the members the predicate picks and no slot holds out of the
    // list. The caller deletes them after it has fired onSetChange.
    template <typename Predicate>
    Downloads takeIdle(Predicate picks);
    // Queues again the downloads `picks` names that no slot holds.
    template <typename Predicate>
    void requeueIdle(Predicate picks);
    // Removes the leavers no slot holds any more; fires onSetChange if any.
    void removeIdleLeavers();
    void onWorkTimer();
    // GUI thread, soon after a change.
    void onChangeNoted();
    bool isAnyCurrentDownloading() const;

    Downloads downloads;
    std::vector<std::uint64_t> serials; // one per download, ascending
    // Every member's onStatusChange: one handler, shared by them all.
    kestrune::Event<Download*> statusForwarding;
    // Removed while a slot held them: members until it lets go. Serial
    // numbers, since they are never reused. Usually empty.
    std::vector<std::uint64_t> leavingSerials;
    std::uint64_t nextSerial = 0;
    std::atomic<std::uint64_t> changes{0};
    std::atomic<std::uint64_t> recordsChanges{0};
    std::uint64_t layoutChanges = 0;
    std::vector<std::atomic<Download*>> currentDownloads;
    // The last search that found nothing to run: the change count it saw and
    // the kind it looked for. GUI thread.
    std::uint64_t fruitlessSearchAt = 0;
    std::string fruitlessSearchKind;
    bool fruitlessSearch = false;
    // What that search saw waiting for a next try: when the first is due.
    std::int64_t fruitlessSearchNextDue = -1;
    // Rung at every change, for a worker that waits for work.
    mutable platform::Bell workBell;
    std::unique_ptr<platform::Timer> workTimer;
    std::unique_ptr<platform::GuiWakeUp> changeNoted;
};

} // namespace tolvenka
