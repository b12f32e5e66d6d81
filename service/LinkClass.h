#pragma once

#include <cstdint>

namespace tolvenka {

// What an address is to the download kinds: a link one of them takes, a
// link of a kind's form that it refuses only for want of a file name (worth
// telling the user about), or anything else.
enum class LinkClass : std::uint8_t { Other, Download, Nameless };

} // namespace tolvenka
