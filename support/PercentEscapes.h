#pragma once

#include <string>
#include <string_view>

namespace kestrune::text {

// The bytes that the percent-escapes of `text` stand for; a "%" without two
// hex digits after it stays as it is.
std::string percentDecoded(std::string_view text);

} // namespace kestrune::text
