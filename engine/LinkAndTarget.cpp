#include "engine/LinkAndTarget.h"

#include <algorithm>
#include <limits>
#include <stdexcept>

namespace tolvenka {

namespace {

std::uint32_t sizeOf(std::string_view text) {
    if (text.size() > std::numeric_limits<std::uint32_t>::max()) {
        throw std::length_error("a link or a path of 4 GiB or more");
    }
    return static_cast<std::uint32_t>(text.size());
}

} // namespace

LinkAndTarget::LinkAndTarget(std::string_view link, std::string_view target) {
    assign(link, target);
}

void LinkAndTarget::retarget(std::string_view newTarget) {
    assign(link(), newTarget);
}

// The new block is made whole before the old one goes: the texts may be
// views of it.
void LinkAndTarget::assign(std::string_view newLink, std::string_view newTarget) {
    const std::uint32_t newLinkSize = sizeOf(newLink);
    const std::uint32_t newTargetSize = sizeOf(newTarget);
    auto newBytes =
        std::make_unique_for_overwrite<char[]>(std::size_t{newLinkSize} + newTargetSize);
    std::copy(newTarget.begin(), newTarget.end(),
              std::copy(newLink.begin(), newLink.end(), newBytes.get()));
    bytes = std::move(newBytes);
    linkSize = newLinkSize;
    targetSize = newTargetSize;
}

} // namespace tolvenka
