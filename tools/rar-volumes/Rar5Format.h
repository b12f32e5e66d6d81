#pragma once

#include "tools/rar-volumes/RarFormat.h"

namespace rarvolumes {

// RAR 5.0: headers of variable-length integers, each led by the CRC-32 of
// the rest of it; Unix attributes; links as redirection records.
class Rar5Format : public RarFormat {
public:
    std::string signature() const override;
    std::string mainHeader(int volumeIndex, bool multivolume, bool numberedParts) const override;
    std::string fileHeader(const RarEntry& entry, const EntryPiece& piece) const override;
    std::string endHeader(bool multivolume, bool lastVolume) const override;
    bool storesLinkTargetAsData() const override { return false; }
};

} // namespace rarvolumes
