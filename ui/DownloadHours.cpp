#include "ui/DownloadHours.h"

#include <charconv>

namespace tolvenka {

bool DownloadHours::allow(int minuteOfDay) const {
    if (!holdsAnyBack()) {
        return true;
    }
    if (from < to) {
        return minuteOfDay >= from && minuteOfDay < to;
    }
    return minuteOfDay >= from || minuteOfDay < to;
}

std::optional<int> DownloadHours::parseTime(std::string_view text) {
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos || colon == 0 || colon > 2 || text.size() != colon + 3) {
        return std::nullopt;
    }
    const auto number = [](std::string_view digits) -> std::optional<int> {
        int value = 0;
        const char* end = digits.data() + digits.size();
        const auto [stop, error] = std::from_chars(digits.data(), end, value);
        if (error != std::errc() || stop != end || digits.starts_with('+') ||
            digits.starts_with('-')) {
            return std::nullopt;
        }
        return value;
    };
    const std::optional<int> hours = number(text.substr(0, colon));
    const std::optional<int> minutes = number(text.substr(colon + 1));
    if (!hours || !minutes || *hours > 23 || *minutes > 59) {
        return std::nullopt;
    }
    return *hours * 60 + *minutes;
}

std::string DownloadHours::timeText(int minuteOfDay) {
    const int hours = minuteOfDay / 60;
    const int minutes = minuteOfDay % 60;
    return std::string{static_cast<char>('0' + hours / 10), static_cast<char>('0' + hours % 10),
                       ':', static_cast<char>('0' + minutes / 10),
                       static_cast<char>('0' + minutes % 10)};
}

} // namespace tolvenka
