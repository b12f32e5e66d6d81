#pragma once

#include "archives/ArchiveSet.h"
#include "archives/SetId.h"
#include "archives/SetKey.h"
#include "archives/UnpackOutcome.h"
#include "support/Event.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace platform {
class GuiWakeUp;
}

namespace tolvenka::archives {

class UnpackThread;
class UnpackedSetsRecord;

// The sets whose parts have all arrived, unpacked in the order they came,
// one at a time, each on an UnpackThread, and each once: a set the record
// knows (unpacked in this run, an earlier one, or by another program into
// the same folder) is passed over, and the record learns of a set only when
// its content is in place, so that a set cut off by a kill is unpacked
// again at the next start, after what it left in its folder is removed.
//
// Encrypted sets try the passwords of their own text, then those of the
// settings. One that none opens waits for the user's answer, asked once:
// `provide` tries the answer, `decline` leaves the set packed; the queue
// never asks again by itself.
//
// Threads: GUI thread. The unpacking thread's progress and end are handed
// over to it.
class UnpackQueue {
public:
    enum class Stage : std::uint8_t {
        // In line, or unpacking.
        Waiting,
        Unpacking,
        Unpacked,
        // Stopped with `reason`; the set stays packed until a part arrives
        // anew.
        NotUnpacked,
        // No password opened it; waits for `provide` or `decline`.
        NeedsPassword,
    };
    struct Status {
        Stage stage = Stage::Waiting;
        // Why it is not unpacked (CP1251); empty otherwise.
        std::string reason;
    };

    // The set as its names give it when its turn comes, none when it is no
    // longer whole; its files are looked at here.
    using ArrivedSet = std::function<std::optional<ArchiveSet>(const SetId&)>;

    UnpackQueue(UnpackedSetsRecord& record, ArrivedSet arrivedSet);
    // Cancels the unpacking under way and waits for it, which is short: its
    // set is left packed and unrecorded.
    ~UnpackQueue();

    UnpackQueue(const UnpackQueue&) = delete;
    UnpackQueue& operator=(const UnpackQueue&) = delete;

    // The passwords every set tries after its own, in turn (the settings').
    void setPasswords(std::vector<std::string> passwords);
    // Whether a set's parts go to the desktop's trash once the whole set
    // unpacked without an error.
    void setTrashAfterUnpacking(bool trash) { trashParts = trash; }
    // Free bytes where a set unpacks (UnpackRequest::freeSpace); by
    // default what the file system says.
    void setFreeSpace(std::function<std::optional<std::uint64_t>(const std::string&)> query);

    // A set whose parts have all arrived, with the passwords its text gave.
    // One that waits, unpacks or waits for the user's answer is passed over.
    void add(const SetId& set, std::vector<std::string> passwords);
    // The user's answer for a set that no password opened: tried first,
    // then the others once more.
    void provide(const SetId& set, std::string password);
    // The user has no password for it: it stays packed.
    void decline(const SetId& set);

    // What became of a set in this run; null for one never added.
    const Status* statusOf(const SetId& set) const;
    // The share unpacked so far, 0 to 1, of the set that unpacks.
    std::optional<double> progressOf(const SetId& set) const;
    // The set that unpacks, if any.
    const SetId* unpacking() const;

    // GUI thread, each: a set's status or progress changed.
    kestrune::Event<const SetId&> onChange;
    // The unpacking of a set ended (every result but a cancel): the notice
    // of a set unpacked is `outcome.notice()`.
    kestrune::Event<const SetId&, const UnpackOutcome&> onFinished;
    // No password opened the set: ask the user, naming `setName`, and
    // answer with `provide` or `decline`.
    kestrune::Event<const SetId&, const std::string&> onPasswordNeeded;
    // A password opened a set that is not among the settings' passwords.
    kestrune::Event<const std::string&> onPasswordWorked;
    // A part of an unpacked set could not go to the trash and stays.
    kestrune::Event<const std::string&> onNotTrashed;

private:
    struct Job {
        SetId set;
        std::vector<std::string> ownPasswords;
        std::optional<std::string> answer;
    };
    struct Running;

    void enqueue(Job job);
    void scheduleStep();
    // Takes up the next set in line: unpacks it, or settles it at once
    // when it is not whole any more or was unpacked before.
    void step();
    void start(Job job, ArchiveSet set, SetKey key);
    void finish(UnpackOutcome outcome);
    void finishUnpacked(const Running& done, const UnpackOutcome& outcome);
    std::vector<std::string> passwordsFor(const Job& job) const;
    void setStatus(const SetId& set, Stage stage, std::string reason = {});

    UnpackedSetsRecord& record;
    const ArrivedSet arrivedSet;
    std::vector<std::string> settingsPasswords;
    bool trashParts = false;
    std::function<std::optional<std::uint64_t>(const std::string&)> freeSpace;

    std::deque<Job> waiting;
    std::map<SetId, Status> statuses;
    // The sets that wait for the user's answer, with their own passwords.
    std::map<SetId, std::vector<std::string>> awaitingAnswer;
    // Folders cleared of what killed unpackings left, once a run each.
    std::set<std::string> clearedFolders;
    bool stepPosted = false;

    // Made on this thread; the unpacking thread asks it for a repaint.
    std::unique_ptr<platform::GuiWakeUp> progressWakeUp;
    // Destroyed before the wake-up, so that no request comes after it.
    std::unique_ptr<Running> running;
    // Lets what the unpacking thread posts find whether the queue is there.
    std::shared_ptr<UnpackQueue*> self;
};

} // namespace tolvenka::archives
