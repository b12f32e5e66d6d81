#pragma once

#include "archives/ArchiveSet.h"
#include "archives/SetId.h"
#include "engine/Download.h"
#include "support/Event.h"

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

namespace platform {
class GuiWakeUp;
}

namespace tolvenka {
class DownloadsSet;
}

namespace tolvenka::archives {

class FolderParts;

// The sets that the queue's downloads make, known by their target files'
// names (the paths they really have, "name (1).ext" included), together
// with the parts of each that arrived earlier and left the queue (files of
// the set's names in its folder); how far each set is; and when all of a
// set's parts are there, or one of them is gone at the service.
//
// A queue at rest costs nothing. A download's change of state costs about
// its own set; a change of the members walks the queue's serial numbers
// once and reads the file names of the downloads that joined only, most of
// which are passed over by their extension. A set's folder is read when the
// set forms and when one of its parts arrives.
//
// Threads: GUI thread, but `noteStatusChange`. It follows the queue only
// through the calls its owner makes from the queue's events, and must go
// before the queue does.
class QueueSets {
public:
    // How far one set is.
    struct Summary {
        std::string name;
        // The places up to the last part known, gaps included, and those of
        // them whose part is there.
        std::uint64_t partsKnown = 0;
        std::uint64_t partsArrived = 0;
        // The places that no part fills, or whose part the service says is
        // gone (ascending).
        std::vector<std::uint64_t> missing;
        bool partGone = false;

        bool operator==(const Summary&) const = default;
        bool allArrived() const { return missing.empty() && partsArrived == partsKnown; }
        // "Набор: 3 из 6", or "Набор неполон: нет части 4".
        std::string caption() const;
    };

    explicit QueueSets(const DownloadsSet& queue);
    ~QueueSets();

    QueueSets(const QueueSets&) = delete;
    QueueSets& operator=(const QueueSets&) = delete;

    // GUI thread. Brings the sets in line with the queue's members: call it
    // from the queue's onSetChange, which comes before the downloads that
    // left are deleted, and after the queue was loaded. State changes
    // noted so far are taken first.
    void syncMembers();
    // Any thread (the queue's onStatusChange): the state of `download`
    // changed. Noted here, taken on the GUI thread soon after.
    void noteStatusChange(const Download* download);
    // GUI thread. Takes the state changes noted so far now.
    void takeNotedChanges();

    // GUI thread. The set of `download`, null for one whose file is no part.
    const SetId* setOf(const Download* download) const;
    const Summary* summaryOf(const SetId& set) const;
    // The serial numbers of the set's downloads: the rows that show it.
    std::vector<std::uint64_t> serialsOf(const SetId& set) const;

    // GUI thread, after the downloads joined: the passwords that the text
    // their links came from gives. Their sets try them first. Only kept for
    // the run, so that no password reaches the queue file.
    void setPasswords(const std::vector<const Download*>& downloads,
                      const std::vector<std::string>& passwords);
    // The passwords given for the set's downloads, each once, in order.
    std::vector<std::string> passwordsOf(const SetId& set) const;

    // GUI thread. The whole set as its parts' names give it, when every
    // part has arrived; none otherwise. Its files are not looked at.
    std::optional<ArchiveSet> arrivedSet(const SetId& set) const;

    // GUI thread. What a set's rows show changed.
    kestrune::Event<const SetId&> onSetChange;
    // GUI thread. Every part of the set is there: once, and again only
    // after one of its parts arrives anew.
    kestrune::Event<const SetId&> onAllArrived;
    // GUI thread. The service says a part of the set is gone: once a set.
    kestrune::Event<const SetId&> onPartGone;

private:
    struct TrackedSet;
    using Sets = std::map<SetId, TrackedSet>;

    struct Member {
        std::uint64_t serial = 0;
        std::string path;
        Sets::iterator set;
        Download::State state = Download::State::Queued;
        // The pass of syncMembers that saw it last.
        std::uint64_t seenInPass = 0;
        std::vector<std::string> passwords;
    };

    struct TrackedSet {
        std::vector<const Download*> members;
        // Its parts' files in its folder when it was last read.
        std::vector<std::string> filesOnDisk;
        Summary summary;
        bool toldAllArrived = false;
        bool toldPartGone = false;
    };

    void track(const Download* download, std::uint64_t serial);
    void drop(std::unordered_map<const Download*, Member>::iterator member);
    // Follows the member's download to its present target: the member as
    // it is now, null where the file is no part any more.
    Member* followTarget(const Download* download, Member& member);
    void followState(Member& member, Download::State state);
    // Follows the noted changes, leaving the sets to `settle`.
    void followNoted();
    // The whole set as its members and files give it; none when it has
    // neither.
    std::optional<ArchiveSet> wholeSet(const TrackedSet& set) const;
    void summarise(const SetId& id);
    // Reads the folders of the sets that asked for it and summarises the
    // sets touched, telling what changed.
    void settle();
    const FolderParts& listingOf(const std::string& folderPrefix);

    const DownloadsSet& queue;
    std::unordered_map<const Download*, Member> members;
    Sets sets;
    // Serial numbers from this one on have not been seen.
    std::uint64_t firstUnseenSerial = 0;
    std::uint64_t pass = 0;
    // Since the last settle: the sets to summarise, and of them those
    // whose folder is to be read again.
    std::set<SetId> touched;
    std::set<SetId> toList;
    // Folders read during one settle, each once.
    std::map<std::string, std::unique_ptr<FolderParts>> listings;

    // Each state as it was told, so that a failure and a new arrival told
    // close together are both seen.
    struct NotedState {
        const Download* download;
        Download::State state;
    };
    std::mutex notedMutex;
    std::vector<NotedState> noted; // guarded by notedMutex
    std::unique_ptr<platform::GuiWakeUp> notedWakeUp;
};

} // namespace tolvenka::archives
