#pragma once

#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>

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
    // The names (UTF-8) of the folders in `folder`; none when it cannot be
    // read.
    using Folders = std::set<std::string, std::less<>>;
    const std::optional<Folders>& foldersIn(std::string_view folder);

    // Looked up by views of the paths, so that a path asked about is not
    // copied.
    std::map<std::string, std::optional<Folders>, std::less<>> listings;
};

} // namespace platform
