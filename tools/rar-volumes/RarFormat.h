#pragma once

#include "tools/rar-volumes/RarEntry.h"

#include <cstdint>
#include <memory>
#include <string>

namespace rarvolumes {

enum class RarVersion { Rar4, Rar5 };

// The piece of an entry's data that one volume holds.
struct EntryPiece {
    std::uint64_t length = 0;
    // The length of the entry's whole data.
    std::uint64_t entryLength = 0;
    bool continuesFromPrevious = false;
    bool continuesInNext = false;
    // The checksum the header states: of this piece's bytes where the data
    // goes on in the next volume, of the whole entry in its last piece.
    std::uint32_t checksum = 0;
};

// The block headers of one version of the format. Each returns the bytes of
// a whole header, its own checksum included.
class RarFormat {
public:
    virtual ~RarFormat() = default;

    virtual std::string signature() const = 0;
    // `volumeIndex` counts from 0; `multivolume` is false for a lone archive.
    virtual std::string mainHeader(int volumeIndex, bool multivolume, bool numberedParts) const = 0;
    virtual std::string fileHeader(const RarEntry& entry, const EntryPiece& piece) const = 0;
    virtual std::string endHeader(bool multivolume, bool lastVolume) const = 0;
    // The bytes an entry's data area holds in this version: a file's
    // content, and in RAR 4 a symbolic link's target as well.
    virtual bool storesLinkTargetAsData() const = 0;

    static std::unique_ptr<RarFormat> make(RarVersion version);
};

} // namespace rarvolumes
