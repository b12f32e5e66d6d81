#pragma once

#include "archives/UnpackedSetsRecord.h"

#include <set>

namespace tolvenka::archives {

// A record of unpacked sets that lasts as long as the object: for tests,
// and for a run whose lasting record could not be opened.
class MemoryUnpackedSetsRecord final : public UnpackedSetsRecord {
public:
    bool isUnpacked(const SetKey& key) const override {
        if (!key.partSizes.empty()) {
            return unpacked.count(key) != 0;
        }
        // Keys without sizes come first among those of their names.
        const auto next = unpacked.lower_bound(key);
        return next != unpacked.end() && next->folder == key.folder &&
               next->firstPartName == key.firstPartName;
    }
    void markUnpacked(const SetKey& key, const UnpackOutcome&) override { unpacked.insert(key); }

    std::size_t count() const { return unpacked.size(); }

private:
    std::set<SetKey> unpacked;
};

} // namespace tolvenka::archives
