#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace tolvenka {

// The text of a settings file in the desktop's INI form, changed a value at
// a time and otherwise kept byte for byte: groups, keys and comments that
// the program does not know stay as they were, where they were. Keys before
// the first group header are in "General", as the desktop's reader has it.
class SettingsText {
public:
    explicit SettingsText(std::string text = {});

    // The value of `key` in `group`, without the blanks around it and the
    // quotes, if it is quoted; none when the key is missing. Of several, the
    // first, which `setValue` changes.
    std::optional<std::string> value(std::string_view group, std::string_view key) const;
    // Rewrites the line of `key` in `group`, or adds one at the end of the
    // group, or the group at the end of the text.
    void setValue(std::string_view group, std::string_view key, std::string_view value);

    const std::string& text() const { return content; }

private:
    // Where the line of a key is, up to its line break (npos for none), and
    // where a new key of the group goes: after its first run of keys (npos
    // where the group is missing).
    struct Place {
        std::size_t keyStart = std::string::npos;
        std::size_t keyEnd = std::string::npos;
        std::size_t groupEnd = std::string::npos;
    };
    Place find(std::string_view group, std::string_view key) const;
    void insertLine(std::size_t at, const std::string& line);

    std::string content;
};

} // namespace tolvenka
