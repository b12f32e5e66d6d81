#pragma once

#include "archives/PartName.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tolvenka::archives {

// The files of one archive, or of one file cut in pieces, known by their
// names: the parts that are there, in their order, and the numbers missing
// between them. Paths and names are CP1251.
class ArchiveSet {
public:
    struct Part {
        std::string path;
        // The part's place in the set, from 1: N of NAME.partN.rar and
        // NAME.EXT.00N; NAME.rar is 1, NAME.r00 2, NAME.r01 3, ...
        std::uint64_t position = 1;
    };

    // The set's name as the user reads it: NAME of NAME.part1.rar,
    // NAME.7z.001, NAME.tar.gz; NAME.EXT of the pieces of a plain file.
    const std::string& name() const { return setName; }
    // The folder the parts are in, as their paths give it ("" for none).
    const std::string& folder() const { return partsFolder; }
    SetKind kind() const { return setKind; }
    // False for the pieces of a plain file: unpacking joins them.
    bool isArchive() const { return archive; }
    // What a set that is no archive becomes: NAME.EXT.
    const std::string& joinedFileName() const { return wholeName; }

    // The parts that are there, in their order.
    const std::vector<Part>& parts() const { return partList; }
    std::vector<std::string> partPaths() const;
    bool contains(const std::string& path) const;

    // The places before the last part present that no part fills.
    std::vector<std::uint64_t> missingPositions() const;
    // "нет части 4", "нет частей 4, 7", or "" when none is missing.
    std::string missingPartsText() const;
    // The same for any places (ascending), the numbering's gaps or not.
    static std::string missingPartsText(const std::vector<std::uint64_t>& missing);

    // The name of the folder the set unpacks into where it holds more than
    // one thing at its top.
    std::string unpackFolderName() const;

    // Sorts paths of files into sets: each file that belongs to a set, in
    // its set; the others are left out. Sets come in the order of their
    // folders and names.
    static std::vector<ArchiveSet> group(const std::vector<std::string>& paths);
    // The set that `path` belongs to among `paths` (which holds it).
    static std::optional<ArchiveSet> containing(const std::string& path,
                                                const std::vector<std::string>& paths);

private:
    ArchiveSet() = default;

    std::string setName;
    std::string partsFolder;
    SetKind setKind = SetKind::Lone;
    bool archive = true;
    std::string wholeName;
    std::vector<Part> partList;
};

} // namespace tolvenka::archives
