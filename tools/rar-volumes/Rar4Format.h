#pragma once

#include "tools/rar-volumes/RarFormat.h"

namespace rarvolumes {

// RAR 2.9 to 4.x: fixed little-endian headers led by the low half of their
// CRC-32; Unix attributes; a symbolic link's target as its data. The format
// has no hard links.
class Rar4Format : public RarFormat {
public:
    std::string signature() const override;
    std::string mainHeader(int volumeIndex, bool multivolume, bool numberedParts) const override;
    std::string fileHeader(const RarEntry& entry, const EntryPiece& piece) const override;
    std::string endHeader(bool multivolume, bool lastVolume) const override;
    bool storesLinkTargetAsData() const override { return true; }
};

} // namespace rarvolumes
