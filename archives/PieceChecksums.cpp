#include "archives/PieceChecksums.h"

#include <algorithm>
#include <libdeflate.h>
#include <zlib.h>

namespace tolvenka::archives {

PieceChecksums::PieceChecksums(const RarIndex::Entry& entry)
    : entry(entry) {}

std::optional<std::size_t> PieceChecksums::feed(std::string_view bytes) {
    // Each byte is summed once, into its piece; the whole entry's checksum
    // is made of the pieces' (a compressed entry is one piece here: its
    // pieces' checksums are of packed bytes, which are not seen).
    while (!bytes.empty()) {
        const bool lastPiece = !entry.stored || piece + 1 >= entry.pieces.size();
        const std::uint64_t room =
            lastPiece ? bytes.size() : entry.pieces[piece].length - pieceFilled;
        const std::size_t taken =
            static_cast<std::size_t>(std::min<std::uint64_t>(room, bytes.size()));
        pieceChecksum = libdeflate_crc32(pieceChecksum, bytes.data(), taken);
        pieceFilled += taken;
        bytes.remove_prefix(taken);
        if (!lastPiece && pieceFilled == entry.pieces[piece].length) {
            if (std::optional<std::size_t> failed = closePiece()) {
                return failed;
            }
        }
    }
    return std::nullopt;
}

std::optional<std::size_t> PieceChecksums::closePiece() {
    const RarIndex::Piece& done = entry.pieces[piece];
    const bool mismatch = done.checksum && *done.checksum != pieceChecksum;
    wholeChecksum = static_cast<std::uint32_t>(
        crc32_combine(wholeChecksum, pieceChecksum, static_cast<z_off_t>(pieceFilled)));
    ++piece;
    pieceFilled = 0;
    pieceChecksum = 0;
    if (mismatch) {
        return done.part;
    }
    return std::nullopt;
}

std::optional<std::size_t> PieceChecksums::finish() {
    if (entry.pieces.empty()) {
        return std::nullopt;
    }
    const std::uint32_t whole = static_cast<std::uint32_t>(
        crc32_combine(wholeChecksum, pieceChecksum, static_cast<z_off_t>(pieceFilled)));
    const RarIndex::Piece& last = entry.pieces.back();
    if (last.checksum && *last.checksum != whole) {
        return last.part;
    }
    return std::nullopt;
}

} // namespace tolvenka::archives
