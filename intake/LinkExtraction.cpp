#include "intake/LinkExtraction.h"

#include "service/DownloadMaker.h"
#include "support/Cp1251.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>

namespace tolvenka {

namespace {

constexpr std::string_view marker = "http://";
constexpr std::string_view secureMarker = "https://";
constexpr std::size_t schemeLength = 4; // "http", the part before the colon

// Whether a CP1251 byte beyond ASCII is a letter: all of them are Cyrillic.
constexpr bool isLetterBeyondAscii(unsigned char byte) {
    const char32_t codePoint = kestrune::text::cp1251CodePoint(byte);
    return codePoint >= 0x0400 && codePoint <= 0x04FF;
}

// The URL characters, upper-case letters included, so that one table lookup
// folds the case and tests the set at once. Letters beyond ASCII continue an
// address as they do in a browser's address bar: pages and chats write links
// with their letters, not with the escapes that go on the wire.
constexpr std::array<bool, 256> urlCharacters = [] {
    std::array<bool, 256> table{};
    for (const char c : std::string_view("abcdefghijklmnopqrstuvwxyz~1234567890-_+=/.:&%?#")) {
        table[static_cast<unsigned char>(c)] = true;
        if (c >= 'a' && c <= 'z') {
            table[static_cast<unsigned char>(c - 'a' + 'A')] = true;
        }
    }
    for (int byte = 0x80; byte < 0x100; ++byte) {
        table[static_cast<std::size_t>(byte)] =
            isLetterBeyondAscii(static_cast<unsigned char>(byte));
    }
    return table;
}();

bool isUrlCharacter(char c) {
    return urlCharacters[static_cast<unsigned char>(c)];
}

char asciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Whether `expected`, in any letter case, starts at `start`.
bool markerAt(std::string_view text, std::size_t start, std::string_view expected) {
    if (start + expected.size() > text.size()) {
        return false;
    }
    for (std::size_t i = 0; i < expected.size(); ++i) {
        if (asciiLower(text[start + i]) != expected[i]) {
            return false;
        }
    }
    return true;
}

std::size_t addressEnd(std::string_view text, std::size_t start, std::size_t markerSize) {
    std::size_t end = start + markerSize;
    while (end < text.size() && isUrlCharacter(text[end])) {
        ++end;
    }
    return end;
}

} // namespace

void extractLinks(std::string text, std::vector<std::string>& allLinks,
                  std::vector<std::string>& downloadLinks) {
    // The colon is the one marker character that letter case leaves alone and
    // that is rare in ordinary text, so the scan hops from colon to colon
    // with memchr and looks around each one. Neither marker can overlap
    // itself or the other, so visiting every colon finds every marker, the
    // nested ones included, in the order of their starts. The end of the text ends an
    // address, as any character outside the URL set does.
    const std::string_view view = text;
    const char* const begin = view.data();
    const char* const last = begin + view.size();
    const char* colon = begin + std::min(schemeLength, view.size());
    while ((colon = static_cast<const char*>(
                std::memchr(colon, ':', static_cast<std::size_t>(last - colon)))) != nullptr) {
        const std::size_t colonAt = static_cast<std::size_t>(colon - begin);
        ++colon;
        // "https://" and "http://" cannot both end at one colon.
        std::size_t start = colonAt - schemeLength;
        std::size_t markerSize = marker.size();
        if (colonAt > schemeLength && markerAt(view, colonAt - schemeLength - 1, secureMarker)) {
            start = colonAt - schemeLength - 1;
            markerSize = secureMarker.size();
        } else if (!markerAt(view, start, marker)) {
            continue;
        }
        const std::size_t end = addressEnd(view, start, markerSize);
        const std::string& address = allLinks.emplace_back(view.substr(start, end - start));
        if (!downloadMaker().kindOf(address).empty()) {
            downloadLinks.push_back(address);
        }
    }
}

} // namespace tolvenka
