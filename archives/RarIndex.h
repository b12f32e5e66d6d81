#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tolvenka::archives {

// What the headers of a RAR set (RAR 4 or 5, one or more volumes) state
// about its entries, read here rather than through libarchive: libarchive
// 3.6 checks no checksum of a stored RAR entry and reads past RAR 5's
// encryption records as if the data were plain.
struct RarIndex {
    // One volume's share of an entry's data.
    struct Piece {
        std::size_t part = 0; // index into the set's parts
        std::uint64_t length = 0;
        // The CRC-32 the header states: of this piece's bytes where the data
        // goes on in the next volume, of the whole entry in its last piece.
        std::optional<std::uint32_t> checksum;
    };
    struct Entry {
        std::string name; // as stored: UTF-8 in RAR 5 and in RAR 4's Unicode names
        bool encrypted = false;
        // Stored, not compressed: the pieces' bytes are the entry's own.
        bool stored = false;
        std::vector<Piece> pieces;
    };

    bool headersEncrypted = false;
    // In the order of the archive, one for each entry libarchive reports.
    std::vector<Entry> entries;

    bool anyEncrypted() const;

    // Reads the headers of the parts (UTF-8 paths, in order); nothing when
    // they are not a RAR archive or cannot be read this way, in which case
    // libarchive's own checks are all there are.
    static std::optional<RarIndex> read(const std::vector<std::string>& partPaths);
    // Whether the file starts as a RAR 5 archive does.
    static bool isRar5(const std::string& path);
};

} // namespace tolvenka::archives
