// Link extraction on any text: every address it reports stands in the text,
// in order, as the whole run of URL characters after an "http://" or
// "https://" marker; every marker is reported; the download links are among
// them.
#include "intake/LinkExtraction.h"
#include "service/DownloadMaker.h"
#include "support/Cp1251.h"
#include "tests/fuzz/FuzzRegistry.h"
#include "tests/fuzz/FuzzSupport.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

using fuzzing::require;

namespace {

constexpr std::string_view markers[] = {"http://", "https://"};

char asciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// The length of the marker `text` starts with, or 0.
std::size_t markerLengthAt(std::string_view text) {
    for (const std::string_view marker : markers) {
        if (text.size() >= marker.size() &&
            std::equal(marker.begin(), marker.end(), text.begin(),
                       [](char wanted, char c) { return wanted == asciiLower(c); })) {
            return marker.size();
        }
    }
    return 0;
}

// A CP1251 byte that stands for a Cyrillic letter: its UTF-8 form starts
// with one of the lead bytes of the Cyrillic block, U+0400 to U+04FF.
bool isCyrillicLetter(char c) {
    const std::string utf8 = kestrune::text::toUtf8(std::string_view(&c, 1));
    const auto lead = static_cast<unsigned char>(utf8[0]);
    return utf8.size() == 2 && lead >= 0xD0 && lead <= 0xD3;
}

bool isUrlCharacter(char c) {
    const char lower = asciiLower(c);
    return (lower >= 'a' && lower <= 'z') || (c >= '0' && c <= '9') ||
           std::string_view("~-_+=/.:&%?#").find(c) != std::string_view::npos ||
           isCyrillicLetter(c);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzing::setUpRegistry();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const tolvenka::FoundLinks found = tolvenka::extractLinks(text);
    const std::string_view searched = std::string_view(found.text()).substr(0, found.takenBytes());
    require(found.text() == text, "the text is kept as it came");

    std::size_t markersFound = 0;
    for (std::size_t start = 0; start < searched.size(); ++start) {
        markersFound += markerLengthAt(searched.substr(start)) > 0 ? 1 : 0;
    }
    require(found.isCut() || found.count() == markersFound, "every marker starts one address");
    require(found.count() <= markersFound, "no address without its marker");

    // What is kept grows with the text, never faster: an address is a place
    // in it, and the links copied later cost at most the text's bytes.
    std::size_t copiedBytes = 0;
    std::size_t previousStart = 0;
    for (std::size_t index = 0; index < found.count(); ++index) {
        const std::string_view link = found.address(index);
        const auto start = static_cast<std::size_t>(link.data() - found.text().data());
        require(start + link.size() <= found.takenBytes(), "addresses stand in the searched text");
        require(index == 0 || start > previousStart, "addresses come in the order of their starts");
        previousStart = start;
        const std::size_t markerLength = markerLengthAt(link);
        require(markerLength > 0, "an address starts with a marker");
        for (std::size_t i = markerLength; i < link.size(); ++i) {
            require(isUrlCharacter(link[i]), "an address holds URL characters only");
        }
        const std::size_t end = start + link.size();
        require(end == text.size() || !isUrlCharacter(text[end]),
                "an address runs to the end of its URL characters");
        const bool isDownload = !tolvenka::downloadMaker().kindOf(link).empty();
        require(isDownload == (found.kindOf(index) == tolvenka::FoundLinks::Kind::Download),
                "a download link is one a kind accepts");
        if (found.kindOf(index) != tolvenka::FoundLinks::Kind::Other) {
            copiedBytes += link.size();
        }
    }
    require(copiedBytes <= text.size() + 1024 * 1024,
            "the links copied cost at most a megabyte more than the text");
    return 0;
}
