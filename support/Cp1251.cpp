#include "support/Cp1251.h"

#include <algorithm>

namespace kestrune::text {

namespace {

void appendUtf8(std::string& out, char32_t codePoint) {
    if (codePoint < 0x80) {
        out += static_cast<char>(codePoint);
    } else if (codePoint < 0x800) {
        out += static_cast<char>(0xC0 | (codePoint >> 6));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (codePoint >> 12));
        out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    }
}

constexpr char32_t lowerCodePoint(char32_t c) {
    if (c >= U'A' && c <= U'Z') {
        return c + 0x20;
    }
    if (c >= 0x0400 && c <= 0x040F) { // Ѐ..Џ, Ё among them
        return c + 0x50;
    }
    if (c >= 0x0410 && c <= 0x042F) { // А..Я
        return c + 0x20;
    }
    if (c == 0x0490) { // Ґ
        return 0x0491;
    }
    return c;
}

constexpr std::array<char, 256> makeLowerTable() {
    std::array<char, 256> table{};
    for (int byte = 0; byte < 256; ++byte) {
        const char32_t codePoint =
            byte < 0x80 ? static_cast<char32_t>(byte) : detail::cp1251High[byte - 0x80];
        const int lower = detail::cp1251ByteOf(lowerCodePoint(codePoint));
        table[byte] = static_cast<char>(lower < 0 ? byte : lower);
    }
    return table;
}

constexpr std::array<char, 256> lowerTable = makeLowerTable();

} // namespace

std::string toUtf8(std::string_view cp1251) {
    std::string out;
    out.reserve(cp1251.size() * 2);
    for (const char c : cp1251) {
        const auto byte = static_cast<unsigned char>(c);
        appendUtf8(out, byte < 0x80 ? byte : detail::cp1251High[byte - 0x80]);
    }
    return out;
}

std::string fromUtf8(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t pos = 0; pos < utf8.size();) {
        const int byte = cp1251Byte(detail::decodeUtf8(utf8, pos));
        out += byte < 0 ? '?' : static_cast<char>(byte);
    }
    return out;
}

bool isCp1251Representable(std::string_view utf8) {
    for (std::size_t pos = 0; pos < utf8.size();) {
        if (cp1251Byte(detail::decodeUtf8(utf8, pos)) < 0) {
            return false;
        }
    }
    return true;
}

int cp1251Byte(char32_t codePoint) {
    // А to я, most of what a Russian text holds, lie in one run.
    if (codePoint >= 0x0410 && codePoint <= 0x044F) {
        return static_cast<int>(0xC0 + (codePoint - 0x0410));
    }
    return detail::cp1251ByteOf(codePoint);
}

bool hasControlByte(std::string_view text) {
    return std::any_of(text.begin(), text.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte < 0x20 || byte == 0x7F;
    });
}

char toLowerCp1251(char c) {
    return lowerTable[static_cast<unsigned char>(c)];
}

std::string toLowerCp1251(std::string_view cp1251) {
    std::string out(cp1251);
    for (char& c : out) {
        c = toLowerCp1251(c);
    }
    return out;
}

} // namespace kestrune::text
