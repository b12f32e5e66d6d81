#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace servicesim {

bool equalsIgnoringCase(std::string_view a, std::string_view b);
std::string_view trimmed(std::string_view text);
// A non-empty run of decimal digits that fits 64 bits, else nothing.
std::optional<std::uint64_t> parseDecimal(std::string_view text);
bool isDigits(std::string_view text);

} // namespace servicesim
