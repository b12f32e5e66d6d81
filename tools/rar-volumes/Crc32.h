#pragma once

#include <cstdint>
#include <string_view>

namespace rarvolumes {

// The CRC-32 of zip and RAR (polynomial 0xEDB88320, reflected, inverted at
// both ends), kept running over data that arrives in pieces.
class Crc32 {
public:
    void update(std::string_view bytes);
    std::uint32_t value() const { return ~state; }

    static std::uint32_t of(std::string_view bytes);

private:
    std::uint32_t state = 0xFFFFFFFFu;
};

} // namespace rarvolumes
