#pragma once

#include <optional>
#include <string>
#include <unordered_set>

namespace platform {

// The names in one folder, read once, so that many paths in it are told
// taken or free without asking the system about each: a hundred thousand
// links offered at once cost one listing, not a hundred thousand look-ups.
// What it read is kept for its life, so it suits one pass over many paths,
// not a long watch.
class FolderListing {
public:
    // `folder` is CP1251, as the program holds it; "" is the current folder.
    explicit FolderListing(const std::string& folder);

    // Whether anything is at `path` (CP1251), as platform::isTaken tells. A
    // path outside the folder, or in one that could not be read, is asked of
    // the system.
    bool isTaken(const std::string& path) const;

private:
    std::string prefix; // the folder as paths in it begin, with its "/"
    // UTF-8, as the system gives them; none when the folder could not be read.
    std::optional<std::unordered_set<std::string>> names;
};

} // namespace platform
