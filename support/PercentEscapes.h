#pragma once

#include <string>
#include <string_view>

namespace kestrune::text {

// The bytes that the percent-escapes of `text` stand for; a "%" without two
// hex digits after it stays as it is.
std::string percentDecoded(std::string_view text);

// `text` (an address, or a part of one, with letters beyond ASCII as UTF-8)
// with its escapes in one spelling, so that two spellings of one address
// compare equal: the escape of an unreserved character (a letter or digit of
// ASCII, "-", ".", "_", "~") becomes that character, every other escape is
// written in upper-case hex, and whatever may not stand in an address as it
// is (a byte beyond ASCII, a space, a control byte, a quote, "<", ">", "\",
// "^", "`", "{", "|", "}") becomes the escape a browser sends. A "%" without
// two hex digits after it becomes "%25".
std::string normalizedEscapes(std::string_view text);

} // namespace kestrune::text
