#include "platform/DirectoryLookup.h"

#include "platform/FileSystem.h"
#include "support/Cp1251.h"

#include <dirent.h>
#include <memory>

namespace platform {

bool DirectoryLookup::isDirectory(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    // A path that ends in a separator, or names "." or "..", is asked as it
    // stands.
    if (name.empty() || name == "." || name == "..") {
        return platform::isDirectory(path);
    }
    const std::string folder = slash == std::string::npos ? std::string(".")
                               : slash == 0               ? std::string("/")
                                                          : path.substr(0, slash);
    const std::optional<Listing>& listing = listingOf(folder);
    if (!listing) {
        return platform::isDirectory(path); // a folder that cannot be listed
    }
    const std::string utf8Name = kestrune::text::toUtf8(name);
    if (listing->uncertain.contains(utf8Name)) {
        return platform::isDirectory(path);
    }
    return listing->folders.contains(utf8Name);
}

const std::optional<DirectoryLookup::Listing>&
DirectoryLookup::listingOf(const std::string& folder) {
    const auto known = listings.find(folder);
    if (known != listings.end()) {
        return known->second;
    }
    std::optional<Listing>& listing = listings[folder];
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(kestrune::text::toUtf8(folder).c_str()),
                                                  ::closedir);
    if (dir == nullptr) {
        // A folder that is not there holds no folders; one that cannot be
        // read is asked path by path.
        if (!platform::fileExists(folder)) {
            listing.emplace();
        }
        return listing;
    }
    listing.emplace();
    while (const dirent* entry = ::readdir(dir.get())) {
        if (entry->d_type == DT_DIR) {
            listing->folders.insert(entry->d_name);
        } else if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
            listing->uncertain.insert(entry->d_name);
        }
    }
    return listing;
}

} // namespace platform
