#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

namespace tolvenka {

// A download's link and the path its file goes to, in one block of memory:
// a long queue holds a hundred thousand of these pairs, and as two strings
// each pair would cost a third more.
class LinkAndTarget {
public:
    // Throws std::length_error for a text of 4 GiB or more.
    LinkAndTarget(std::string_view link, std::string_view target);

    std::string_view link() const { return {bytes.get(), linkSize}; }
    // Valid until the next `retarget`.
    std::string_view target() const { return {bytes.get() + linkSize, targetSize}; }

    // The link stays; views of the old target are no longer valid.
    void retarget(std::string_view newTarget);

private:
    void assign(std::string_view newLink, std::string_view newTarget);

    std::unique_ptr<char[]> bytes;
    std::uint32_t linkSize = 0;
    std::uint32_t targetSize = 0;
};

} // namespace tolvenka
