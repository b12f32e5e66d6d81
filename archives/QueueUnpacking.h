#pragma once

#include "archives/QueueSets.h"
#include "archives/UnpackQueue.h"
#include "support/Event.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tolvenka {
class Download;
class DownloadsSet;
} // namespace tolvenka

namespace tolvenka::archives {

class UnpackedSetsRecord;

// The queue's sets, each unpacked once after its last part arrived: what
// the window shows and wires of the archives. It follows the queue through
// the calls below, tells each set's rows what to read ("Набор: 3 из 6",
// "Набор неполон: нет части 4", "Распаковка 40 %", "Распакован",
// "Не распакован: <причина>"), and tells of each set unpacked, of a set
// whose part is gone, and of a set that asks for a password.
//
// Threads: GUI thread, but `noteStatusChange`. Made after the queue and the
// record, and destroyed before them; an unpacking under way at the end is
// cancelled, leaving the set packed and unrecorded.
class QueueUnpacking {
public:
    struct Options {
        // The settings' passwords, tried by every set after its own.
        std::vector<std::string> passwords;
        // "Удалять архивы после распаковки".
        bool trashAfterUnpacking = false;
        // Free bytes where a set unpacks; by default what the file system
        // says (UnpackRequest::freeSpace). Called on the unpacking thread.
        std::function<std::optional<std::uint64_t>(const std::string& folder)> freeSpace;
    };

    QueueUnpacking(const DownloadsSet& queue, UnpackedSetsRecord& record, Options options);
    ~QueueUnpacking();

    QueueUnpacking(const QueueUnpacking&) = delete;
    QueueUnpacking& operator=(const QueueUnpacking&) = delete;

    void setOptions(Options options);

    // From the queue's events: onSetChange (before the downloads that left
    // are deleted) and after a load; onStatusChange, from any thread.
    void syncMembers() { sets.syncMembers(); }
    void noteStatusChange(const Download* download) { sets.noteStatusChange(download); }
    // After the downloads of a confirmed text joined: the passwords that
    // text gives (archivePasswordsIn) and the one typed in the dialog.
    void setPasswords(const std::vector<const Download*>& downloads,
                      const std::vector<std::string>& passwords) {
        sets.setPasswords(downloads, passwords);
    }

    // The state of the set `download` belongs to, for its row; none for a
    // download that is no part of a set.
    std::optional<std::string> captionOf(const Download* download) const;
    // The same for a set; empty for one the queue does not hold.
    std::string captionOf(const SetId& set) const;
    // The share of its set unpacked so far (0 to 1), while it unpacks: for
    // the row's bar and the current-download box.
    std::optional<double> progressOf(const Download* download) const;
    std::optional<double> progressOf(const SetId& set) const { return unpacks.progressOf(set); }
    const SetId* setOf(const Download* download) const { return sets.setOf(download); }
    // The set that unpacks now, if any, with its name.
    const SetId* unpacking() const { return unpacks.unpacking(); }
    std::string nameOf(const SetId& set) const;

    // The user's answer to onPasswordNeeded.
    void provide(const SetId& set, std::string password) {
        unpacks.provide(set, std::move(password));
    }
    void decline(const SetId& set) { unpacks.decline(set); }

    // GUI thread, each. The rows of these downloads show something new.
    kestrune::Event<const std::vector<std::uint64_t>&> onRowsChange;
    // A set unpacked: its notice is `outcome.notice()`, its place
    // `outcome.placedAt`.
    kestrune::Event<const UnpackOutcome&> onUnpacked;
    // A set's part is gone at the service: "Набор неполон: нет части N"
    // (`missingText`), once a set; nothing of it is unpacked.
    kestrune::Event<const std::string& /*setName*/, const std::string& /*missingText*/>
        onIncomplete;
    // No password opened the set: ask "Пароль для «<набор>»", then
    // `provide` or `decline`.
    kestrune::Event<const SetId&, const std::string& /*setName*/> onPasswordNeeded;
    // A password opened a set and is not yet among the settings' ones.
    kestrune::Event<const std::string&> onPasswordWorked;
    // A part of a set that unpacked could not go to the trash, and stays.
    kestrune::Event<const std::string& /*path*/> onNotTrashed;

private:
    void rowsChanged(const SetId& set);

    QueueSets sets;
    UnpackQueue unpacks;
};

} // namespace tolvenka::archives
