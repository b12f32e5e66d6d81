#include "tools/rar-volumes/Crc32.h"

#include <array>

namespace rarvolumes {

namespace {

constexpr std::array<std::uint32_t, 256> makeTable() {
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t byte = 0; byte < 256; ++byte) {
        std::uint32_t value = byte;
        for (int bit = 0; bit < 8; ++bit) {
            value = (value & 1u) != 0 ? (value >> 1) ^ 0xEDB88320u : value >> 1;
        }
        table[byte] = value;
    }
    return table;
}

constexpr std::array<std::uint32_t, 256> table = makeTable();

} // namespace

void Crc32::update(std::string_view bytes) {
    std::uint32_t crc = state;
    for (const char c : bytes) {
        crc = table[(crc ^ static_cast<unsigned char>(c)) & 0xFFu] ^ (crc >> 8);
    }
    state = crc;
}

std::uint32_t Crc32::of(std::string_view bytes) {
    Crc32 crc;
    crc.update(bytes);
    return crc.value();
}

} // namespace rarvolumes
