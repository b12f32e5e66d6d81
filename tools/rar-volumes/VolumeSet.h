#pragma once

#include "tools/rar-volumes/RarEntry.h"
#include "tools/rar-volumes/RarFormat.h"

#include <cstdint>
#include <string>
#include <vector>

namespace rarvolumes {

struct VolumeOptions {
    RarVersion version = RarVersion::Rar5;
    // The most bytes one volume may hold; 0 makes one archive, no volume.
    std::uint64_t volumeSize = 0;
    // NAME.rar, NAME.r00, NAME.r01, ... instead of NAME.partN.rar (RAR 4).
    bool oldStyleNames = false;
    // The digits of N in NAME.partN.rar; 0: as many as the last N has.
    int partDigits = 0;
};

// Writes the entries as a stored RAR archive beside `basePath` (NAME,
// without ".rar"), cut into volumes where the options say so, and returns
// the paths of the volumes in their order. Throws std::runtime_error when a
// file cannot be read or written, std::invalid_argument when the entries
// do not fit the format or a volume cannot hold a header.
std::vector<std::string> writeRarVolumes(const std::string& basePath,
                                         const std::vector<RarEntry>& entries,
                                         const VolumeOptions& options);

} // namespace rarvolumes
