#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tolvenka::archives {

// How the files of one set are named.
enum class SetKind : std::uint8_t {
    // A whole archive in one file: NAME.zip, NAME.7z, NAME.rar, NAME.tar,
    // NAME.tar.gz, NAME.tar.xz, NAME.tar.bz2, NAME.tgz.
    Lone,
    // NAME.part1.rar, NAME.part2.rar, ... (any zero padding).
    RarParts,
    // NAME.rar, NAME.r00, NAME.r01, ..., NAME.r99, NAME.s00, ...
    RarOldStyle,
    // NAME.EXT.001, NAME.EXT.002, ...: bytes cut in pieces, which joined
    // make NAME.EXT (an archive, or any other file).
    Numbered,
};

// What a file's name says about the set it belongs to. Names are CP1251.
struct PartName {
    // NAME: the set's name, as written.
    std::string base;
    // With the folder and `base`, tells the set apart: files of one set
    // have the same, in any letter case of their suffixes.
    std::string family;
    SetKind kind = SetKind::Lone;
    // The number the name carries: N of .partN.rar and .NNN; of the old
    // RAR style 0 for NAME.rar and 1 for .r00, 2 for .r01, ...; 0 when lone.
    std::uint64_t number = 0;
    // Whether the set's files make an archive to unpack, rather than one
    // plain file cut in pieces.
    bool isArchive = true;
    // The name of what the pieces of a Numbered set make when joined
    // (NAME.EXT); the lone archive's own name otherwise.
    std::string wholeName;
};

// What `fileName` (no folder) says, or nothing for a file that is no part
// of any set. A lone NAME.rar is a set of one until a NAME.r00 joins it;
// NAME.part1.rar never is a lone archive.
//
// A part that arrived beside a file of its own name was given the name's
// first free copy number before its extension ("NAME.part1 (1).rar",
// "NAME.7z (1).001"); such copies make a set of their own, "NAME (1)",
// never one with the parts whose names they repeat.
std::optional<PartName> partNameOf(std::string_view fileName);

// Whether `fileName` may be a part at all, told from its extension alone
// without copying it: false for nearly every file that is none, and never
// for one that is. A long queue's names go through this first.
bool mayBePartName(std::string_view fileName);

} // namespace tolvenka::archives
