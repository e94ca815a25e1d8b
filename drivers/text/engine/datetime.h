// Dates and times as the engine keeps them: ISO text ("2024-03-01", "13:45:00",
// "2024-03-01 13:45:00" with an optional fraction), which orders and compares as text.
#pragma once

#include <string>
#include <string_view>

namespace zotext {

// YYYY-MM-DD with a month 1-12 and a day that exists in that month.
bool isIsoDate(std::string_view text);
// HH:MM:SS with hours 0-23, minutes and seconds 0-59.
bool isIsoTime(std::string_view text);
// A date, one blank, a time, and optionally '.' and 1-9 digits of fraction.
bool isIsoTimestamp(std::string_view text);

// The current local date, time and timestamp in those forms.
std::string currentDate();
std::string currentTimestamp();

} // namespace zotext
