#include "platform/DirectoryLookup.h"

#include "platform/FileSystem.h"
#include "support/Cp1251.h"

#include <algorithm>
#include <dirent.h>
#include <filesystem>
#include <memory>

namespace platform {

bool DirectoryLookup::isDirectory(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    const std::string_view name = slash == std::string::npos
                                      ? std::string_view(path)
                                      : std::string_view(path).substr(slash + 1);
    // A path that ends in a separator, or names "." or "..", is asked as it
    // stands.
    if (name.empty() || name == "." || name == "..") {
        return platform::isDirectory(path);
    }
    const std::string_view folder = slash == std::string::npos ? std::string_view(".")
                                    : slash == 0               ? std::string_view("/")
                                                 : std::string_view(path).substr(0, slash);
    const std::optional<Folders>& folders = foldersIn(folder);
    if (!folders) {
        return platform::isDirectory(path); // a folder that cannot be listed
    }
    // Most folders that downloads go to hold no folders at all, and most
    // names are ASCII, the same in both encodings.
    if (folders->empty()) {
        return false;
    }
    const bool ascii = std::all_of(name.begin(), name.end(),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    return ascii ? folders->contains(name) : folders->contains(kestrune::text::toUtf8(name));
}

const std::optional<DirectoryLookup::Folders>& DirectoryLookup::foldersIn(std::string_view folder) {
    const auto known = listings.find(folder);
    if (known != listings.end()) {
        return known->second;
    }
    std::optional<Folders>& folders = listings[std::string(folder)];
    const std::string utf8Folder = kestrune::text::toUtf8(folder);
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(utf8Folder.c_str()), ::closedir);
    if (dir == nullptr) {
        // A folder that is not there holds no folders; one that cannot be
        // read is asked path by path.
        if (!platform::fileExists(std::string(folder))) {
            folders.emplace();
        }
        return folders;
    }
    folders.emplace();
    std::error_code error;
    while (const dirent* entry = ::readdir(dir.get())) {
        // Links and entries of unknown type are asked about: they are few.
        const bool isFolder =
            entry->d_type == DT_DIR ||
            ((entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) &&
             std::filesystem::is_directory(utf8Folder + "/" + entry->d_name, error));
        if (isFolder) {
            folders->insert(entry->d_name);
        }
    }
    return folders;
}

} // namespace platform
