#include "archives/FolderParts.h"

#include "archives/PartName.h"
#include "support/Cp1251.h"

#include <filesystem>

namespace tolvenka::archives {

using kestrune::text::fromUtf8;
using kestrune::text::toUtf8;

FolderParts::FolderParts(const std::string& folderPrefix) {
    namespace fs = std::filesystem;
    std::error_code error;
    fs::directory_iterator item(
        folderPrefix.empty() ? fs::path(".") : fs::path(toUtf8(folderPrefix)), error);
    for (; !error && item != fs::directory_iterator(); item.increment(error)) {
        const std::string systemName = item->path().filename().string();
        if (!mayBePartName(systemName)) {
            continue;
        }
        // The program names its files in CP1251; a name without that form
        // is none of its downloads' and no path of the program can name it.
        const std::string name = fromUtf8(systemName);
        std::error_code kindError;
        if (toUtf8(name) != systemName || !item->is_regular_file(kindError)) {
            continue;
        }
        std::string path = folderPrefix + name;
        if (std::optional<SetId> set = SetId::of(path)) {
            sets[std::move(*set)].push_back(std::move(path));
        }
    }
}

const std::vector<std::string>& FolderParts::pathsOf(const SetId& set) const {
    static const std::vector<std::string> none;
    const auto found = sets.find(set);
    return found == sets.end() ? none : found->second;
}

} // namespace tolvenka::archives
