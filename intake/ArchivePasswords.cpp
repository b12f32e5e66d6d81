#include "intake/ArchivePasswords.h"

#include "support/Cp1251.h"

#include <algorithm>
#include <array>
#include <optional>

namespace tolvenka {

namespace {

using namespace kestrune::text::literals;
using kestrune::text::toLowerCp1251;

// No archive password is longer; a longer "password" is prose.
constexpr std::size_t longestPassword = 128;
// "пароль к архиву": the words that may stand before the separator.
constexpr int mostWordsBetween = 3;
constexpr std::size_t longestTag = 200;

// CP1251 bytes of the marks the rules below name.
constexpr char noBreakSpace = '\xA0';
constexpr char enDash = '\x96';
constexpr char emDash = '\x97';

bool isWordByte(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' ||
           byte >= 0xC0 || byte == 0xA8 || byte == 0xB8; // А..я, Ё, ё
}

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == noBreakSpace;
}

bool isLineEnd(char c) {
    return c == '\n' || c == '\r';
}

bool matchesAt(std::string_view text, std::size_t pos, std::string_view lowerWord) {
    if (text.size() - pos < lowerWord.size()) {
        return false;
    }
    for (std::size_t i = 0; i < lowerWord.size(); ++i) {
        if (toLowerCp1251(text[pos + i]) != lowerWord[i]) {
            return false;
        }
    }
    return true;
}

// The closing quotes of an opening one (a quote may close with its
// typographic twin); empty for a byte that opens none.
std::string_view closingQuotesOf(char c) {
    switch (c) {
    case '"':
        return "\"\x94\x93";
    case '\'':
        return "'\x92";
    case '`':
        return "`";
    case '\xAB': // «
        return "\xBB";
    case '\x93': // “
    case '\x84': // „
        return "\x94\x93";
    case '\x91': // ‘
        return "\x92\x91";
    default:
        return {};
    }
}

bool isQuote(char c) {
    return !closingQuotesOf(c).empty() || c == '\xBB' || c == '\x94' || c == '\x92';
}

bool isKnownForumTag(std::string_view lowerName) {
    static constexpr std::array<std::string_view, 16> names = {
        "b",    "i",       "u",    "s",   "color",  "size", "font",  "quote",
        "code", "spoiler", "hide", "url", "center", "left", "right", "highlight",
    };
    return std::find(names.begin(), names.end(), lowerName) != names.end();
}

// Where markup that starts at `pos` ends: an HTML tag, a forum tag ("[b]",
// "[color=red]"), or the stars of bold text; `pos` itself when none starts.
std::size_t markupEnd(std::string_view text, std::size_t pos) {
    const char first = text[pos];
    if (first == '*') {
        return pos + 1;
    }
    if (first != '<' && first != '[') {
        return pos;
    }
    const char close = first == '<' ? '>' : ']';
    std::size_t end = pos + 1;
    while (end < text.size() && end - pos <= longestTag && text[end] != close &&
           !isLineEnd(text[end])) {
        ++end;
    }
    if (end >= text.size() || text[end] != close || end == pos + 1) {
        return pos;
    }
    const std::string_view inside = text.substr(pos + 1, end - pos - 1);
    if (first == '<') {
        const char c = inside.front();
        const bool tag = c == '/' || c == '!' || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        return tag ? end + 1 : pos;
    }
    std::string_view name = inside.substr(inside.front() == '/' ? 1 : 0);
    name = name.substr(0, name.find('='));
    return isKnownForumTag(toLowerCp1251(name)) ? end + 1 : pos;
}

// Passes over blanks ("&nbsp;" too) and markup on the line.
std::size_t skipFiller(std::string_view text, std::size_t pos) {
    while (pos < text.size()) {
        std::size_t next = pos;
        if (isBlank(text[pos])) {
            next = pos + 1;
        } else if (matchesAt(text, pos, "&nbsp;")) {
            next = pos + 6;
        } else {
            next = markupEnd(text, pos);
        }
        if (next == pos) {
            break;
        }
        pos = next;
    }
    return pos;
}

// What comes before a label: the start of a line, a blank, markup or a
// quote; never part of an address ("/pass-", "&pass=") or of a word.
bool mayPrecedeLabel(char c) {
    return !isWordByte(c) && std::string_view("/-_=?&%.#~+@:").find(c) == std::string_view::npos;
}

// Where "пароль", "password" or "pass" that starts at `pos` ends, standing
// as a word of its own.
std::optional<std::size_t> labelEnd(std::string_view text, std::size_t pos) {
    if (pos > 0 && !mayPrecedeLabel(text[pos - 1])) {
        return std::nullopt;
    }
    for (const std::string_view label : {"password"_cp1251, "пароль"_cp1251, "pass"_cp1251}) {
        const std::size_t end = pos + label.size();
        if (matchesAt(text, pos, label) && (end == text.size() || !isWordByte(text[end]))) {
            return end;
        }
    }
    return std::nullopt;
}

bool isConnectingWord(std::string_view word) {
    const std::string lower = toLowerCp1251(word);
    for (const std::string_view stem :
         {"архив"_cp1251, "archiv"_cp1251, "файл"_cp1251, "file"_cp1251, "rar"_cp1251}) {
        if (std::string_view(lower).starts_with(stem)) {
            return true;
        }
    }
    for (const std::string_view preposition :
         {"к"_cp1251, "ко"_cp1251, "на"_cp1251, "для"_cp1251, "от"_cp1251, "to"_cp1251,
          "for"_cp1251, "of"_cp1251, "the"_cp1251, "on"_cp1251}) {
        if (lower == preposition) {
            return true;
        }
    }
    return false;
}

// A hyphen separates only with a blank beside it: "pass - x", never
// "pass-through".
bool separatesAt(std::string_view text, std::size_t pos) {
    const char c = text[pos];
    if (c == ':' || c == '=' || c == enDash || c == emDash) {
        return true;
    }
    if (c != '-') {
        return false;
    }
    const bool blankBefore = pos > 0 && isBlank(text[pos - 1]);
    const bool blankAfter = pos + 1 < text.size() && isBlank(text[pos + 1]);
    return blankBefore || blankAfter;
}

// After a label: where its separator ends, past blanks, markup and a few
// words such as "к архиву" on the same line.
std::optional<std::size_t> separatorEnd(std::string_view text, std::size_t pos) {
    for (int words = 0;; ++words) {
        pos = skipFiller(text, pos);
        if (pos >= text.size()) {
            return std::nullopt;
        }
        if (separatesAt(text, pos)) {
            return pos + 1;
        }
        if (!isWordByte(text[pos]) || words == mostWordsBetween) {
            return std::nullopt;
        }
        std::size_t end = pos;
        while (end < text.size() && end - pos <= longestPassword && isWordByte(text[end])) {
            ++end;
        }
        if (!isConnectingWord(text.substr(pos, end - pos))) {
            return std::nullopt;
        }
        pos = end;
    }
}

bool saysNone(std::string_view password) {
    const std::string lower = toLowerCp1251(password);
    for (const std::string_view none :
         {"нет"_cp1251, "нету"_cp1251, "отсутствует"_cp1251, "не"_cp1251, "без"_cp1251,
          "none"_cp1251, "no"_cp1251, "nopass"_cp1251, "-"_cp1251, std::string_view(&emDash, 1)}) {
        if (lower == none) {
            return true;
        }
    }
    return false;
}

std::string_view withoutQuotes(std::string_view text) {
    while (!text.empty() && isQuote(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isQuote(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

// The password that starts at `pos` after the separator, or empty.
std::string_view passwordAt(std::string_view text, std::size_t pos) {
    pos = skipFiller(text, pos);
    if (pos >= text.size()) {
        return {};
    }
    if (const std::string_view closers = closingQuotesOf(text[pos]); !closers.empty()) {
        for (std::size_t end = pos + 1;
             end < text.size() && end - pos <= longestPassword + 1 && !isLineEnd(text[end]);
             ++end) {
            if (closers.find(text[end]) != std::string_view::npos) {
                return text.substr(pos + 1, end - pos - 1);
            }
        }
    }
    std::size_t end = pos;
    while (end < text.size() && end - pos <= longestPassword && !isBlank(text[end]) &&
           !isLineEnd(text[end]) && !matchesAt(text, end, "&nbsp;") &&
           !((text[end] == '<' || text[end] == '[') && markupEnd(text, end) != end)) {
        ++end;
    }
    return end - pos > longestPassword ? std::string_view()
                                       : withoutQuotes(text.substr(pos, end - pos));
}

bool mayStartLabel(char c) {
    const char lower = toLowerCp1251(c);
    return lower == 'p' || lower == "п"_cp1251.front();
}

} // namespace

std::vector<std::string> archivePasswordsIn(std::string_view text) {
    std::vector<std::string> passwords;
    for (std::size_t pos = 0; pos < text.size(); ++pos) {
        if (!mayStartLabel(text[pos])) {
            continue;
        }
        const std::optional<std::size_t> label = labelEnd(text, pos);
        if (!label) {
            continue;
        }
        const std::optional<std::size_t> separator = separatorEnd(text, *label);
        if (!separator) {
            continue;
        }
        const std::string_view password = passwordAt(text, *separator);
        if (password.empty() || saysNone(password)) {
            continue;
        }
        if (std::find(passwords.begin(), passwords.end(), password) == passwords.end()) {
            passwords.emplace_back(password);
        }
        pos = *separator;
    }
    return passwords;
}

} // namespace tolvenka
