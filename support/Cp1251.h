#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>

// The program holds every text as CP1251 bytes (the Windows Cyrillic code
// page): links, paths, captions, the queue file. These helpers convert at the
// edges: to UTF-8 where a text reaches the file system or a widget, from
// UTF-8 where one comes back.
namespace kestrune::text {

namespace detail {

// Unicode code points of the bytes 0x80 to 0xFF. 0x98 has no character of its
// own and maps to U+0098, so that every byte survives a round trip.
inline constexpr std::array<char16_t, 128> cp1251High = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, // 80
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F, // 88
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, // 90
    0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, // 98
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7, // A0
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407, // A8
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7, // B0
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457, // B8
    0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417, // C0
    0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F, // C8
    0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427, // D0
    0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F, // D8
    0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437, // E0
    0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F, // E8
    0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447, // F0
    0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F, // F8
};

// The CP1251 byte of a code point, or -1 when it has none.
constexpr int cp1251ByteOf(char32_t codePoint) {
    if (codePoint < 0x80) {
        return static_cast<int>(codePoint);
    }
    for (std::size_t i = 0; i < cp1251High.size(); ++i) {
        if (cp1251High[i] == codePoint) {
            return static_cast<int>(0x80 + i);
        }
    }
    return -1;
}

// Decodes one UTF-8 sequence at `pos`, advancing it. Malformed input yields
// U+FFFD and advances by one byte.
constexpr char32_t decodeUtf8(std::string_view utf8, std::size_t& pos) {
    const auto byte = [&](std::size_t i) {
        return static_cast<unsigned char>(utf8[i]);
    };
    const unsigned char lead = byte(pos);
    int length = 0;
    char32_t codePoint = 0;
    if (lead < 0x80) {
        ++pos;
        return lead;
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2;
        codePoint = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        codePoint = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4;
        codePoint = lead & 0x07;
    } else {
        ++pos;
        return 0xFFFD;
    }
    if (pos + static_cast<std::size_t>(length) > utf8.size()) {
        ++pos;
        return 0xFFFD;
    }
    for (int i = 1; i < length; ++i) {
        const unsigned char next = byte(pos + static_cast<std::size_t>(i));
        if ((next & 0xC0) != 0x80) {
            ++pos;
            return 0xFFFD;
        }
        codePoint = (codePoint << 6) | (next & 0x3F);
    }
    pos += static_cast<std::size_t>(length);
    return codePoint;
}

// The number of characters of a UTF-8 text, which is its CP1251 length.
consteval std::size_t cp1251Length(std::string_view utf8) {
    std::size_t length = 0;
    for (std::size_t pos = 0; pos < utf8.size(); ++length) {
        decodeUtf8(utf8, pos);
    }
    return length;
}

// A character without a CP1251 form reaches the throw, which no constant
// evaluation may run, so such a literal stops the build.
template <std::size_t Length>
consteval std::array<char, Length + 1> encodeCp1251(std::string_view utf8) {
    std::array<char, Length + 1> out{};
    std::size_t pos = 0;
    for (std::size_t i = 0; i < Length; ++i) {
        const int byte = cp1251ByteOf(decodeUtf8(utf8, pos));
        if (byte < 0) {
            throw "character without a CP1251 form in a CP1251 literal";
        }
        out[i] = static_cast<char>(byte);
    }
    return out;
}

// The conversions are free functions: clang 14 refuses a call to a consteval
// member function in the initialiser of a static member.
template <char... Utf8>
struct Cp1251Literal {
    static constexpr char utf8[] = {Utf8..., '\0'};
    static constexpr std::string_view text{utf8, sizeof...(Utf8)};
    static constexpr std::array<char, cp1251Length(text) + 1> bytes =
        encodeCp1251<cp1251Length(text)>(text);
};

} // namespace detail

// The character that a CP1251 byte stands for.
constexpr char32_t cp1251CodePoint(unsigned char byte) {
    return byte < 0x80 ? byte : detail::cp1251High[byte - 0x80];
}

// Converts CP1251 bytes to UTF-8.
std::string toUtf8(std::string_view cp1251);

// Converts UTF-8 to CP1251; a character without a CP1251 form becomes "?".
std::string fromUtf8(std::string_view utf8);

// Whether every character of the UTF-8 text has a CP1251 form.
bool isCp1251Representable(std::string_view utf8);

// The CP1251 byte of a character, or -1 when it has none.
int cp1251Byte(char32_t codePoint);

// Whether the text holds a control byte (C0 or DEL). ASCII is the same in
// CP1251 and UTF-8, so this answers for either. No stored field may hold
// one: a line feed in a folder name would break the queue file's lines.
bool hasControlByte(std::string_view text);

// Lower-cases CP1251 text: Latin and Cyrillic capitals (Ё included) become
// small letters; every other byte stays.
std::string toLowerCp1251(std::string_view cp1251);
char toLowerCp1251(char c);

namespace literals {

// "Текст"_cp1251 is the CP1251 form of a UTF-8 source literal, converted at
// compile time; a character without a CP1251 form does not compile.
//
// The literal takes its characters as a pack, an extension that both our
// compilers accept, rather than as one object of class type: clang 14 crashes
// when it prints a literal of the class form in a constant-evaluation note,
// which ordinary code like `path + std::string("файл"_cp1251)` provokes.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpedantic"
#ifdef __clang__
#pragma clang diagnostic ignored "-Wgnu-string-literal-operator-template"
#endif
template <typename Char, Char... Utf8>
constexpr std::string_view operator""_cp1251() {
    static_assert(std::is_same_v<Char, char>, "a CP1251 literal is made from a plain literal");
    constexpr const auto& bytes = detail::Cp1251Literal<Utf8...>::bytes;
    return {bytes.data(), bytes.size() - 1};
}
#pragma GCC diagnostic pop

} // namespace literals

} // namespace kestrune::text
