#include "archives/SetKey.h"

#include "support/Cp1251.h"

#include <filesystem>

namespace tolvenka::archives {

std::string SetKey::text() const {
    std::string line = folder + "\t" + firstPartName + "\t";
    for (std::size_t i = 0; i < partSizes.size(); ++i) {
        if (i > 0) {
            line += ',';
        }
        line += std::to_string(partSizes[i]);
    }
    return line;
}

SetKey SetKey::named(const ArchiveSet& set) {
    SetKey key;
    key.folder = set.folder();
    if (!set.parts().empty()) {
        const std::string& first = set.parts().front().path;
        key.firstPartName =
            first.substr(first.rfind('/') == std::string::npos ? 0 : first.rfind('/') + 1);
    }
    return key;
}

std::optional<SetKey> SetKey::of(const ArchiveSet& set) {
    if (set.parts().empty()) {
        return std::nullopt;
    }
    SetKey key = named(set);
    for (const ArchiveSet::Part& part : set.parts()) {
        const std::filesystem::path file(kestrune::text::toUtf8(part.path));
        std::error_code error;
        if (!std::filesystem::is_regular_file(file, error)) {
            return std::nullopt;
        }
        const std::uintmax_t size = std::filesystem::file_size(file, error);
        if (error) {
            return std::nullopt;
        }
        key.partSizes.push_back(size);
    }
    return key;
}

} // namespace tolvenka::archives
