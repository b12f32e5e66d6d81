#pragma once

#include <string_view>

namespace http {

// ASCII-only helpers for protocol text; header names and tokens are ASCII
// whatever the code page of the program's own texts.

bool equalsIgnoringCase(std::string_view a, std::string_view b);
bool containsIgnoringCase(std::string_view text, std::string_view part);
std::string_view trimBlanks(std::string_view text);

inline bool isAsciiDigit(char c) {
    return c >= '0' && c <= '9';
}

} // namespace http
