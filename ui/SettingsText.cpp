#include "ui/SettingsText.h"

#include <utility>

namespace tolvenka {

namespace {

constexpr std::string_view generalGroup = "General";

std::string_view trimmed(std::string_view text) {
    constexpr std::string_view blanks = " \t\r";
    const std::size_t start = text.find_first_not_of(blanks);
    if (start == std::string_view::npos) {
        return {};
    }
    return text.substr(start, text.find_last_not_of(blanks) - start + 1);
}

// The group that a header line ("[name]") opens; none for another line.
std::optional<std::string_view> groupOpenedBy(std::string_view line) {
    line = trimmed(line);
    const std::size_t close = line.find(']');
    if (!line.starts_with('[') || close == std::string_view::npos) {
        return std::nullopt;
    }
    return trimmed(line.substr(1, close - 1));
}

// The key of a "key=value" line; none for a blank line, a comment or a
// line without "=".
std::optional<std::string_view> keyOf(std::string_view line) {
    line = trimmed(line);
    const std::size_t equals = line.find('=');
    if (line.starts_with(';') || line.starts_with('#') || equals == std::string_view::npos) {
        return std::nullopt;
    }
    return trimmed(line.substr(0, equals));
}

} // namespace

SettingsText::SettingsText(std::string text)
    : content(std::move(text)) {}

SettingsText::Place SettingsText::find(std::string_view group, std::string_view key) const {
    Place place;
    bool inGroup = group == generalGroup;
    bool firstRunEnded = false;
    for (std::size_t start = 0; start < content.size();) {
        const std::size_t lineBreak = content.find('\n', start);
        const std::size_t end = lineBreak == std::string::npos ? content.size() : lineBreak;
        const std::size_t next = lineBreak == std::string::npos ? end : end + 1;
        const std::string_view line = std::string_view(content).substr(start, end - start);
        if (const std::optional<std::string_view> opened = groupOpenedBy(line)) {
            firstRunEnded = firstRunEnded || (inGroup && place.groupEnd != std::string::npos);
            inGroup = *opened == group;
            if (inGroup && place.groupEnd == std::string::npos) {
                place.groupEnd = next;
            }
        } else if (const std::optional<std::string_view> lineKey = keyOf(line);
                   inGroup && lineKey) {
            if (*lineKey == key && place.keyStart == std::string::npos) {
                place.keyStart = start;
                // A line break of CR LF stays one.
                place.keyEnd = line.ends_with('\r') ? end - 1 : end;
            }
            if (!firstRunEnded) {
                place.groupEnd = next;
            }
        }
        start = next;
    }
    return place;
}

std::optional<std::string> SettingsText::value(std::string_view group, std::string_view key) const {
    const Place place = find(group, key);
    if (place.keyStart == std::string::npos) {
        return std::nullopt;
    }
    const std::string_view line =
        std::string_view(content).substr(place.keyStart, place.keyEnd - place.keyStart);
    std::string_view text = trimmed(line.substr(line.find('=') + 1));
    if (text.size() >= 2 && text.starts_with('"') && text.ends_with('"')) {
        text = text.substr(1, text.size() - 2);
    }
    return std::string(text);
}

void SettingsText::setValue(std::string_view group, std::string_view key, std::string_view value) {
    const std::string line = std::string(key) + "=" + std::string(value);
    const Place place = find(group, key);
    if (place.keyStart != std::string::npos) {
        content.replace(place.keyStart, place.keyEnd - place.keyStart, line);
    } else if (place.groupEnd != std::string::npos) {
        insertLine(place.groupEnd, line);
    } else {
        // A blank line between groups, as the desktop writes them.
        if (!content.empty() && !content.ends_with("\n\n")) {
            insertLine(content.size(), {});
        }
        insertLine(content.size(), std::string(1, '[').append(group).append(1, ']'));
        insertLine(content.size(), line);
    }
}

// `at` is where a line starts, or the end of a text whose last line may
// lack its line break.
void SettingsText::insertLine(std::size_t at, const std::string& line) {
    const bool breakFirst = at > 0 && content[at - 1] != '\n';
    content.insert(at, (breakFirst ? "\n" : "") + line + "\n");
}

} // namespace tolvenka
