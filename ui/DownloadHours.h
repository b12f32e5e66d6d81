#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tolvenka {

// The hours of the day in which downloads may run: from `from` up to, not
// including, `to`, each in minutes since midnight. Hours may run over
// midnight (`from` after `to`); equal ones are the whole day. Off, they hold
// nothing back.
struct DownloadHours {
    static constexpr int minutesPerDay = 24 * 60;

    bool enabled = false;
    int from = 1 * 60;
    int to = 7 * 60;

    // Whether downloads may run at `minuteOfDay` (0 to 1439).
    bool allow(int minuteOfDay) const;
    // Whether some minutes of the day are outside the hours.
    bool holdsAnyBack() const { return enabled && from != to; }

    // "HH:MM" (or "H:MM") to minutes since midnight; none for anything else.
    static std::optional<int> parseTime(std::string_view text);
    // Minutes since midnight as "HH:MM".
    static std::string timeText(int minuteOfDay);

    bool operator==(const DownloadHours&) const = default;
};

} // namespace tolvenka
