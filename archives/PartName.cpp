#include "archives/PartName.h"

#include "support/Cp1251.h"

#include <array>

namespace tolvenka::archives {

namespace {

// Longest first, so that NAME.tar.gz is not read as NAME.tar plus ".gz".
constexpr std::array<std::string_view, 8> archiveExtensions = {
    ".tar.bz2", ".tar.gz", ".tar.xz", ".tgz", ".tar", ".zip", ".7z", ".rar",
};

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

bool allDigits(std::string_view text) {
    if (text.empty()) {
        return false;
    }
    for (const char c : text) {
        if (!isDigit(c)) {
            return false;
        }
    }
    return true;
}

// More digits than any part count needs would overflow; such a name is no
// part.
std::optional<std::uint64_t> numberOf(std::string_view digits) {
    std::size_t first = digits.find_first_not_of('0');
    if (first == std::string_view::npos) {
        return 0;
    }
    if (digits.size() - first > 9) {
        return std::nullopt;
    }
    std::uint64_t number = 0;
    for (const char c : digits.substr(first)) {
        number = number * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return number;
}

bool isUsableBase(std::string_view base) {
    return !base.empty() && base != "." && base != "..";
}

// The archive extension that `lowerName` ends with, where a name is left
// before it.
std::optional<std::string_view> archiveExtensionOf(std::string_view lowerName) {
    for (const std::string_view extension : archiveExtensions) {
        if (lowerName.size() > extension.size() && lowerName.ends_with(extension)) {
            return extension;
        }
    }
    return std::nullopt;
}

// The length of the copy number " (N)" that `stem` ends with, or 0: what a
// file gets for a name that was taken where it arrived.
std::size_t copySuffixLength(std::string_view stem) {
    if (!stem.ends_with(')')) {
        return 0;
    }
    const std::size_t open = stem.rfind(" (");
    if (open == std::string_view::npos) {
        return 0;
    }
    const std::string_view digits = stem.substr(open + 2, stem.size() - open - 3);
    return allDigits(digits) && digits.size() <= 9 ? stem.size() - open : 0;
}

std::optional<PartName> rarPartOf(std::string_view name, std::string_view lower) {
    if (!lower.ends_with(".rar")) {
        return std::nullopt;
    }
    std::string_view stem = lower.substr(0, lower.size() - 4);
    const std::size_t copy = copySuffixLength(stem);
    stem.remove_suffix(copy);
    const std::size_t marker = stem.rfind(".part");
    if (marker == std::string_view::npos || !allDigits(stem.substr(marker + 5))) {
        return std::nullopt;
    }
    const std::optional<std::uint64_t> number = numberOf(stem.substr(marker + 5));
    const std::string_view base = name.substr(0, marker);
    if (!number || !isUsableBase(base)) {
        return std::nullopt;
    }
    std::string setName = std::string(base) + std::string(name.substr(stem.size(), copy));
    std::string wholeName = setName + ".rar";
    return PartName{std::move(setName),  "part.rar", SetKind::RarParts, *number, true,
                    std::move(wholeName)};
}

// NAME.r00 to NAME.r99, then NAME.s00 and on: the letter counts hundreds.
std::optional<PartName> oldStyleRarPartOf(std::string_view name, std::string_view lower) {
    if (lower.size() < 5) {
        return std::nullopt;
    }
    const std::string_view suffix = lower.substr(lower.size() - 4);
    if (suffix[0] != '.' || suffix[1] < 'r' || suffix[1] > 'z' || !isDigit(suffix[2]) ||
        !isDigit(suffix[3])) {
        return std::nullopt;
    }
    const std::string_view base = name.substr(0, name.size() - 4);
    if (!isUsableBase(base)) {
        return std::nullopt;
    }
    const auto hundreds = static_cast<std::uint64_t>(suffix[1] - 'r');
    const auto units = static_cast<std::uint64_t>((suffix[2] - '0') * 10 + (suffix[3] - '0'));
    return PartName{std::string(base),          "rar", SetKind::RarOldStyle,
                    hundreds * 100 + units + 1, true,  std::string(base) + ".rar"};
}

std::optional<PartName> numberedPartOf(std::string_view name, std::string_view lower) {
    const std::size_t dot = lower.rfind('.');
    if (dot == std::string_view::npos || lower.size() - dot - 1 < 3 ||
        !allDigits(lower.substr(dot + 1))) {
        return std::nullopt;
    }
    const std::optional<std::uint64_t> number = numberOf(lower.substr(dot + 1));
    const std::size_t copy = copySuffixLength(lower.substr(0, dot));
    const std::string_view copySuffix = name.substr(dot - copy, copy);
    const std::string_view whole = name.substr(0, dot - copy);
    const std::string_view wholeLower = lower.substr(0, dot - copy);
    const std::size_t extensionDot = whole.rfind('.');
    // NAME.EXT.001: a piece of a file that has a name and an extension.
    if (!number || extensionDot == std::string_view::npos || extensionDot == 0 ||
        extensionDot + 1 == whole.size()) {
        return std::nullopt;
    }
    if (const std::optional<std::string_view> extension = archiveExtensionOf(wholeLower)) {
        const std::string_view base = whole.substr(0, whole.size() - extension->size());
        if (!isUsableBase(base)) {
            return std::nullopt;
        }
        std::string setName = std::string(base) + std::string(copySuffix);
        std::string wholeName = setName + std::string(whole.substr(base.size()));
        return PartName{
            std::move(setName),  std::string(*extension) + ".#", SetKind::Numbered, *number, true,
            std::move(wholeName)};
    }
    // The copy number goes where a copy of the whole file would have it.
    std::string joined = std::string(whole.substr(0, extensionDot)) + std::string(copySuffix) +
                         std::string(whole.substr(extensionDot));
    return PartName{joined, ".#", SetKind::Numbered, *number, false, joined};
}

std::optional<PartName> loneArchiveOf(std::string_view name, std::string_view lower) {
    const std::optional<std::string_view> extension = archiveExtensionOf(lower);
    if (!extension) {
        return std::nullopt;
    }
    const std::string_view base = name.substr(0, name.size() - extension->size());
    if (!isUsableBase(base)) {
        return std::nullopt;
    }
    // A lone NAME.rar is the first of NAME.r00, NAME.r01, ... once those
    // come, so it shares their family.
    std::string family = *extension == ".rar" ? "rar" : std::string(*extension);
    return PartName{std::string(base), std::move(family), SetKind::Lone, 0, true,
                    std::string(name)};
}

bool equalsIgnoringAsciiCase(std::string_view text, std::string_view lower) {
    if (text.size() != lower.size()) {
        return false;
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if ((c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c) != lower[i]) {
            return false;
        }
    }
    return true;
}

} // namespace

bool mayBePartName(std::string_view fileName) {
    const std::size_t dot = fileName.rfind('.');
    if (dot == std::string_view::npos) {
        return false;
    }
    const std::string_view extension = fileName.substr(dot + 1);
    if (allDigits(extension)) {
        return extension.size() >= 3;
    }
    if (extension.size() == 3 && isDigit(extension[1]) && isDigit(extension[2])) {
        const char letter = extension[0];
        if ((letter >= 'r' && letter <= 'z') || (letter >= 'R' && letter <= 'Z')) {
            return true;
        }
    }
    for (const std::string_view known : {"rar", "zip", "7z", "tar", "gz", "xz", "bz2", "tgz"}) {
        if (equalsIgnoringAsciiCase(extension, known)) {
            return true;
        }
    }
    return false;
}

std::optional<PartName> partNameOf(std::string_view fileName) {
    if (fileName.find('/') != std::string_view::npos) {
        return std::nullopt;
    }
    const std::string lower = kestrune::text::toLowerCp1251(fileName);
    for (const auto recognise : {rarPartOf, oldStyleRarPartOf, numberedPartOf, loneArchiveOf}) {
        if (std::optional<PartName> part = recognise(fileName, lower)) {
            return part;
        }
    }
    return std::nullopt;
}

} // namespace tolvenka::archives
