#include "archives/SetId.h"

#include "archives/PartName.h"

namespace tolvenka::archives {

std::optional<SetId> SetId::of(const std::string& path) {
    const std::size_t nameStart = path.rfind('/') == std::string::npos ? 0 : path.rfind('/') + 1;
    const std::string_view fileName = std::string_view(path).substr(nameStart);
    if (!mayBePartName(fileName)) {
        return std::nullopt;
    }
    std::optional<PartName> part = partNameOf(fileName);
    if (!part) {
        return std::nullopt;
    }
    SetId id{path.substr(0, nameStart), std::move(part->base), std::move(part->family)};
    if (part->kind == SetKind::Lone && id.family != "rar") {
        // "/" is in no file's name, so no other family reads the same.
        id.family += '/';
        id.family += fileName;
    }
    return id;
}

std::string SetId::folder() const {
    if (folderPrefix.empty()) {
        return ".";
    }
    return folderPrefix.size() == 1 ? folderPrefix
                                    : folderPrefix.substr(0, folderPrefix.size() - 1);
}

} // namespace tolvenka::archives
