#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>

namespace platform {

// Tells whether paths name existing folders, reading each parent folder once
// rather than asking the system about every path: a queue of a hundred
// thousand downloads in one folder costs one listing, not a hundred thousand
// look-ups. What it learnt is kept for its life, so it suits one pass over
// many paths (loading a queue), not a long watch.
class DirectoryLookup {
public:
    // `path` is CP1251, as the program holds it.
    bool isDirectory(const std::string& path);

private:
    struct Listing {
        std::set<std::string> folders;   // entries that are folders
        std::set<std::string> uncertain; // links and entries of unknown type
    };
    // The listing of `folder`; none when it cannot be read.
    const std::optional<Listing>& listingOf(const std::string& folder);

    std::map<std::string, std::optional<Listing>> listings;
};

} // namespace platform
