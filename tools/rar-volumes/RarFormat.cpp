#include "tools/rar-volumes/RarFormat.h"

#include "tools/rar-volumes/Rar4Format.h"
#include "tools/rar-volumes/Rar5Format.h"

namespace rarvolumes {

std::unique_ptr<RarFormat> RarFormat::make(RarVersion version) {
    if (version == RarVersion::Rar4) {
        return std::make_unique<Rar4Format>();
    }
    return std::make_unique<Rar5Format>();
}

} // namespace rarvolumes
