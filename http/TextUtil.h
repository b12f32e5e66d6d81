#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace http {

// ASCII-only helpers for protocol text; header names and tokens are ASCII
// whatever the code page of the program's own texts.

bool equalsIgnoringCase(std::string_view a, std::string_view b);
bool containsIgnoringCase(std::string_view text, std::string_view part);
std::string_view trimBlanks(std::string_view text);
// ASCII letters in lower case; other bytes (CP1251 letters too) as they are.
std::string lowerAscii(std::string_view text);

// A host as an address writes it: an IPv6 address in brackets.
std::string bracketedHost(std::string_view host);
// "host:port", an IPv6 host in brackets.
std::string hostWithPort(std::string_view host, std::uint16_t port);

// A port as an address writes it: 1 to 65535 in at most five digits, or
// nothing.
std::optional<std::uint16_t> portNumber(std::string_view text);

inline bool isAsciiDigit(char c) {
    return c >= '0' && c <= '9';
}

} // namespace http
