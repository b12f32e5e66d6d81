#pragma once

#include "archives/SetKey.h"
#include "archives/UnpackOutcome.h"

namespace tolvenka::archives {

// Remembers which sets were unpacked, across runs and across programs that
// unpack into the same folders, so that no set is unpacked twice. The
// program keeps it with the history of what arrived.
//
// Threads: GUI thread.
class UnpackedSetsRecord {
public:
    virtual ~UnpackedSetsRecord() = default;

    // A key without sizes asks whether any set of that folder and first
    // part's name was unpacked: it is asked where the parts are gone (to the
    // trash, after their set unpacked), for what the set's rows show.
    virtual bool isUnpacked(const SetKey& key) const = 0;
    // Called once the set's content is in place, never before, so that a
    // set whose unpacking was cut off counts as not unpacked. `outcome`
    // tells what the record may keep beside the key: where the content
    // went, its files and bytes. No password is in it.
    virtual void markUnpacked(const SetKey& key, const UnpackOutcome& outcome) = 0;

protected:
    UnpackedSetsRecord() = default;
    UnpackedSetsRecord(const UnpackedSetsRecord&) = default;
    UnpackedSetsRecord& operator=(const UnpackedSetsRecord&) = default;
};

} // namespace tolvenka::archives
