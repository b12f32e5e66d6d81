#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace rarvolumes {

// One entry of a RAR archive as the generator writes it, stored (method 0).
// The last fields make hostile archives: what a header states need not be
// what the data is.
struct RarEntry {
    enum class Kind { File, Folder, Symlink, HardLink, Fifo, CharDevice };

    // UTF-8, "/" between folders, exactly as the header stores it.
    std::string name;
    Kind kind = Kind::File;
    // A file's bytes, unless `sourcePath` names a file to take them from
    // (large files are read in pieces, never held whole).
    std::string content;
    std::string sourcePath;
    // What a symbolic link points at, or the entry a hard link repeats.
    std::string linkTarget;
    // Unix permission bits, set-user and set-group bits included.
    std::uint32_t permissions = 0644;
    std::int64_t modifiedAt = 1'700'000'000;

    // The unpacked size the header states, where it is to differ from the
    // data's.
    std::optional<std::uint64_t> declaredSize;
    // The header states a checksum that the data does not have.
    bool wrongChecksum = false;
    // The header marks the data encrypted; the data stays as it is.
    bool encrypted = false;
};

} // namespace rarvolumes
