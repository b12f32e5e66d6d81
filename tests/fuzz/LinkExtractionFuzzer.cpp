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
    std::vector<std::string> allLinks;
    std::vector<std::string> downloadLinks;
    tolvenka::extractLinks(text, allLinks, downloadLinks);

    std::size_t markersFound = 0;
    for (std::size_t start = 0; start < text.size(); ++start) {
        markersFound += markerLengthAt(std::string_view(text).substr(start)) > 0 ? 1 : 0;
    }
    require(allLinks.size() == markersFound, "every marker starts one address");

    std::size_t searchFrom = 0;
    for (const std::string& link : allLinks) {
        const std::size_t markerLength = markerLengthAt(link);
        require(markerLength > 0, "an address starts with a marker");
        for (std::size_t i = markerLength; i < link.size(); ++i) {
            require(isUrlCharacter(link[i]), "an address holds URL characters only");
        }
        const std::size_t start = text.find(link, searchFrom);
        require(start != std::string::npos, "addresses stand in the text in their order");
        const std::size_t end = start + link.size();
        require(end == text.size() || !isUrlCharacter(text[end]),
                "an address runs to the end of its URL characters");
        searchFrom = start + 1;
    }

    std::size_t next = 0;
    for (const std::string& link : downloadLinks) {
        while (next < allLinks.size() && allLinks[next] != link) {
            ++next;
        }
        require(next < allLinks.size(), "download links are a subsequence of all links");
        require(!tolvenka::downloadMaker().kindOf(link).empty(), "a download link has a kind");
        ++next;
    }
    return 0;
}
