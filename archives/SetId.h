#pragma once

#include <compare>
#include <optional>
#include <string>

namespace tolvenka::archives {

// Which set a file belongs to, told from its path alone: files with the
// same are parts of one set. Texts are CP1251.
struct SetId {
    // The folder as the paths in it begin: "/d/", "/", or "" for the
    // current folder.
    std::string folderPrefix;
    // The set's name (PartName::base).
    std::string name;
    // How its parts are named (PartName::family). A lone archive other than
    // a .rar is a set of its own whatever lies beside it, so it holds the
    // file's own name as well.
    std::string family;

    auto operator<=>(const SetId&) const = default;

    // The set of the file at `path`, none for a file that is no part.
    static std::optional<SetId> of(const std::string& path);
    // The folder as the system takes it: "/d", "/" or ".".
    std::string folder() const;
};

} // namespace tolvenka::archives
