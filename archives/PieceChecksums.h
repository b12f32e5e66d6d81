#pragma once

#include "archives/RarIndex.h"

#include <cstdint>
#include <optional>
#include <string_view>

namespace tolvenka::archives {

// Checks an entry's bytes, as they are unpacked, against the checksums its
// RAR headers state: a stored entry volume by volume, so that a mismatch
// names the part it is in, and as a whole at its end; a compressed one as a
// whole. CRC-32 by libdeflate (several GB/s), pieces joined by zlib.
class PieceChecksums {
public:
    explicit PieceChecksums(const RarIndex::Entry& entry);

    // The next bytes of the entry. Returns the part (from 0) whose checksum
    // failed once a piece is complete, or nothing.
    std::optional<std::size_t> feed(std::string_view bytes);
    // The entry's data has ended: the last checksum, where not yet checked.
    std::optional<std::size_t> finish();

private:
    std::optional<std::size_t> closePiece();

    const RarIndex::Entry& entry;
    std::size_t piece = 0;
    std::uint64_t pieceFilled = 0;
    std::uint32_t pieceChecksum = 0;
    std::uint32_t wholeChecksum = 0;
};

} // namespace tolvenka::archives
