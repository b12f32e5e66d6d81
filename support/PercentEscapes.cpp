#include "support/PercentEscapes.h"

#include "support/HexDigit.h"

namespace kestrune::text {

namespace {

bool isUnreserved(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~';
}

// The reserved characters, which mean something in an address as they
// stand, and so differ from their escapes.
bool isReserved(unsigned char c) {
    return std::string_view(":/?#[]@!$&'()*+,;=").find(static_cast<char>(c)) !=
           std::string_view::npos;
}

void appendEscape(std::string& text, unsigned char byte) {
    constexpr std::string_view hexDigits = "0123456789ABCDEF";
    text.append({'%', hexDigits[byte >> 4], hexDigits[byte & 0x0F]});
}

} // namespace

std::string percentDecoded(std::string_view text) {
    std::string bytes;
    bytes.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const int high = i + 2 < text.size() && text[i] == '%' ? hexDigitValue(text[i + 1]) : -1;
        const int low = high >= 0 ? hexDigitValue(text[i + 2]) : -1;
        if (low >= 0) {
            bytes += static_cast<char>(high * 16 + low);
            i += 2;
        } else {
            bytes += text[i];
        }
    }
    return bytes;
}

std::string normalizedEscapes(std::string_view text) {
    std::string normalized;
    normalized.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        const int high = i + 2 < text.size() && c == '%' ? hexDigitValue(text[i + 1]) : -1;
        const int low = high >= 0 ? hexDigitValue(text[i + 2]) : -1;
        if (low >= 0) {
            const auto escaped = static_cast<unsigned char>(high * 16 + low);
            if (isUnreserved(escaped)) {
                normalized += static_cast<char>(escaped);
            } else {
                appendEscape(normalized, escaped);
            }
            i += 2;
        } else if (isUnreserved(c) || isReserved(c)) {
            normalized += static_cast<char>(c);
        } else {
            appendEscape(normalized, c);
        }
    }
    return normalized;
}

} // namespace kestrune::text
