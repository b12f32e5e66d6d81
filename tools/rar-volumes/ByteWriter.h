#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace rarvolumes {

// Little-endian fields and RAR 5's variable-length integers, appended to a
// header under construction.
class ByteWriter {
public:
    void u8(std::uint32_t value) { bytes += static_cast<char>(value & 0xFFu); }
    void u16(std::uint32_t value) {
        u8(value);
        u8(value >> 8);
    }
    void u32(std::uint32_t value) {
        u16(value & 0xFFFFu);
        u16(value >> 16);
    }
    // Seven bits a byte, lowest first, the top bit saying that more follow.
    void vint(std::uint64_t value) {
        while (value >= 0x80) {
            u8(static_cast<std::uint32_t>(value & 0x7Fu) | 0x80u);
            value >>= 7;
        }
        u8(static_cast<std::uint32_t>(value));
    }
    void raw(std::string_view data) { bytes += data; }

    const std::string& str() const { return bytes; }

private:
    std::string bytes;
};

} // namespace rarvolumes
