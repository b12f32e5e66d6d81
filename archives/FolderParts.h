#pragma once

#include "archives/SetId.h"

#include <map>
#include <string>
#include <vector>

namespace tolvenka::archives {

// The files in one folder whose names make them parts of sets, sorted by
// set: read once, so that all the sets in a folder cost one listing of it,
// and most names are passed over by their extension. Parts that arrived in
// an earlier run, whose downloads have left the queue, are found here.
class FolderParts {
public:
    // `folderPrefix` as SetId holds it (CP1251). A folder that cannot be
    // read holds no parts.
    explicit FolderParts(const std::string& folderPrefix);

    // The paths (CP1251) of the plain files of `set` in the folder.
    const std::vector<std::string>& pathsOf(const SetId& set) const;

private:
    std::map<SetId, std::vector<std::string>> sets;
};

} // namespace tolvenka::archives
