#include "intake/LinkExtraction.h"

#include "service/DownloadMaker.h"
#include "support/Cp1251.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>

namespace tolvenka {

using namespace kestrune::text::literals;

namespace {

constexpr std::string_view marker = "http://";
constexpr std::string_view secureMarker = "https://";
constexpr std::size_t schemeLength = 4; // "http", the part before the colon
constexpr std::size_t copiedBytesBeyondText = 1024 * 1024;

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

// The length of the marker whose "://" starts at `colonAt`: 8 for
// "https://", 7 for "http://", in any letter case, or 0 for none. Setting
// the bit of lower case maps the letters of "https" from upper case and no
// other byte onto them.
std::size_t markerEndingAt(std::string_view text, std::size_t colonAt) {
    const auto letterBefore = [&](std::size_t back) {
        return static_cast<char>(text[colonAt - back] | 0x20);
    };
    const std::size_t schemeSize = colonAt >= 1 && letterBefore(1) == 's' ? 5 : 4;
    if (colonAt < schemeSize) {
        return 0;
    }
    const std::size_t skip = schemeSize - 4; // the "s"
    const bool isHttp = letterBefore(skip + 1) == 'p' && letterBefore(skip + 2) == 't' &&
                        letterBefore(skip + 3) == 't' && letterBefore(skip + 4) == 'h';
    return isHttp ? schemeSize + 3 : 0;
}

// The first colon in [from, to), or null. Addresses nested in a row put
// their colons a few bytes apart, where a look at each byte costs less than
// a call of memchr; beyond those few bytes memchr is quicker.
const char* nextColon(const char* from, const char* to) {
    constexpr std::ptrdiff_t looked = 16;
    const char* const near = to - from > looked ? from + looked : to;
    for (const char* at = from; at < near; ++at) {
        if (*at == ':') {
            return at;
        }
    }
    return near < to ? static_cast<const char*>(
                           std::memchr(near, ':', static_cast<std::size_t>(to - near)))
                     : nullptr;
}

// Where the search of a text ends: at `limit`, or before the first address
// that the limit would cut, which could be taken for a shorter one.
std::size_t searchEnd(std::string_view text, std::size_t limit) {
    if (limit >= text.size() || !isUrlCharacter(text[limit])) {
        return std::min(limit, text.size());
    }
    std::size_t runStart = limit;
    while (runStart > 0 && isUrlCharacter(text[runStart - 1])) {
        --runStart;
    }
    for (std::size_t at = runStart; at < limit; ++at) {
        if (markerAt(text, at, marker) || markerAt(text, at, secureMarker)) {
            return at;
        }
    }
    return limit;
}

} // namespace

FoundLinks extractLinks(std::string text, std::size_t maxBytes) {
    const std::size_t end = searchEnd(text, std::min(maxBytes, FoundLinks::maxTextBytes));
    FoundLinks found(std::move(text), end);
    const std::string_view view = found.text();
    const DownloadMaker& kinds = downloadMaker();
    const std::array<bool, 256>& hostLeads = kinds.hostLeads();
    // Download and nameless links are copied or hashed whole later; their
    // bytes beyond those of the text come only from nesting, a megabyte of
    // which any text may have (a link in another's redirect).
    const std::size_t copiedBytesAllowed = end + copiedBytesBeyondText;
    std::size_t copiedBytes = 0;
    // The first address of the run of the last one.
    std::size_t runFirst = 0;

    // The colon is the one marker character that letter case leaves alone and
    // that is rare in ordinary text, so the scan hops from colon to colon
    // with memchr and looks around each one. Neither marker can overlap
    // itself or the other, so visiting every colon finds every marker, the
    // nested ones included, in the order of their starts.
    const char* const begin = view.data();
    const char* const last = begin + end;
    const char* colon = begin + std::min(schemeLength, end);
    // Room for every address the text could hold, at once: a vector that
    // grew a step at a time would hold its old room beside its new one,
    // half as much again as the places themselves. Room that no address
    // takes is never touched, and costs the system no memory.
    found.reserve(end / marker.size() + 1);
    // Where the run of URL characters of the last address ends: an address
    // nested in it ends there too, and that run is not scanned again.
    std::size_t runEnd = 0;
    while ((colon = nextColon(colon, last)) != nullptr) {
        const std::size_t colonAt = static_cast<std::size_t>(colon - begin);
        ++colon;
        // Most colons of a text are no marker's: they are not followed by
        // "//".
        if (colonAt + 2 >= view.size() || view[colonAt + 1] != '/' || view[colonAt + 2] != '/') {
            continue;
        }
        const std::size_t markerSize = markerEndingAt(view, colonAt);
        if (markerSize == 0) {
            continue;
        }
        const std::size_t start = colonAt + 3 - markerSize;
        if (start + markerSize > end) {
            break;
        }
        if (start >= runEnd) {
            runFirst = found.count();
            runEnd = start + markerSize;
            while (runEnd < end && isUrlCharacter(view[runEnd])) {
                ++runEnd;
            }
        }
        // Most addresses are no kind's: their host tells at its first byte.
        const std::size_t hostStart = start + markerSize;
        const LinkClass kind =
            hostStart < runEnd && hostLeads[static_cast<unsigned char>(view[hostStart])]
                ? kinds.classify(view.substr(start, runEnd - start))
                : LinkClass::Other;
        if (kind != LinkClass::Other) {
            copiedBytes += runEnd - start;
            if (copiedBytes > copiedBytesAllowed) {
                // The search ends before the run: its addresses nest too
                // deep to be copied.
                found.cutBefore(runFirst);
                break;
            }
        }
        found.add(start, runEnd, kind);
    }
    return found;
}

std::string textCutMessage(std::size_t takenBytes) {
    constexpr std::size_t bytesPerMegabyte = 1024 * 1024;
    // Whole megabytes where they are whole or ten or more; else tenths, at
    // least one.
    const std::size_t tenths = std::max<std::size_t>(1, takenBytes * 10 / bytesPerMegabyte);
    const std::string figure =
        tenths >= 100 || tenths % 10 == 0
            ? std::to_string(tenths / 10)
            : std::to_string(tenths / 10) + "," + std::to_string(tenths % 10);
    return std::string("Текст слишком большой: взяты первые "_cp1251) + figure +
           std::string(" МБ"_cp1251);
}

} // namespace tolvenka
