#pragma once

#include "archives/ArchiveSet.h"

#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tolvenka::archives {

// What tells one set from every other in the record of the sets that were
// unpacked: its folder, its first part's name and the sizes of its parts.
// The same parts added again have the same sizes, and are the set unpacked
// before; another upload under the same name, whose old parts the user
// deleted, almost never has them all. Texts are CP1251.
struct SetKey {
    // As the parts' paths give it (ArchiveSet::folder).
    std::string folder;
    std::string firstPartName;
    // In the parts' order; empty where the parts are gone and their sizes
    // are not known.
    std::vector<std::uint64_t> partSizes;

    auto operator<=>(const SetKey&) const = default;

    // The three on one line, tab between, sizes with commas: for a store
    // that keys by text. No stored path holds a tab.
    std::string text() const;

    // The key of `set` from its parts' files; none when one of them is no
    // plain file there.
    static std::optional<SetKey> of(const ArchiveSet& set);
    // The key of `set` without sizes, from its names alone.
    static SetKey named(const ArchiveSet& set);
};

} // namespace tolvenka::archives
