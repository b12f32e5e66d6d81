#include "platform/FolderListing.h"

#include "platform/FileSystem.h"
#include "support/Cp1251.h"

#include <dirent.h>
#include <memory>

namespace platform {

FolderListing::FolderListing(const std::string& folder)
    : prefix(folder.empty() || folder.back() == '/' ? folder : folder + "/") {
    const std::string utf8Folder =
        folder.empty() ? std::string(".") : kestrune::text::toUtf8(folder);
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(utf8Folder.c_str()), ::closedir);
    if (dir == nullptr) {
        // Nothing is in a folder that is not there; one that cannot be read
        // is asked path by path.
        if (!fileExists(folder.empty() ? std::string(".") : folder)) {
            names.emplace();
        }
        return;
    }
    names.emplace();
    while (const dirent* entry = ::readdir(dir.get())) {
        names->insert(entry->d_name);
    }
}

bool FolderListing::isTaken(const std::string& path) const {
    const bool inFolder = path.size() > prefix.size() &&
                          path.compare(0, prefix.size(), prefix) == 0 &&
                          path.find('/', prefix.size()) == std::string::npos;
    if (!names || !inFolder) {
        return platform::isTaken(path);
    }
    return names->count(kestrune::text::toUtf8(std::string_view(path).substr(prefix.size()))) != 0;
}

} // namespace platform
