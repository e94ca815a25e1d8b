// The host's local clock.
#pragma once

#include <cstdint>

#include <zo/zoexport.h>

namespace zo::plat {

// A broken-down time: calendar fields as people read them (month 1-12, four-digit year).
struct CalendarTime {
    uint16_t year, month, day, hour, minute, second, milliseconds;
};

// The current local time with milliseconds.
ZO_API void localNow(CalendarTime *out);
// Seconds since 1970-01-01 UTC broken down in UTC (no time zone applied); milliseconds 0.
ZO_API void utcFromSeconds(int64_t seconds, CalendarTime *out);

} // namespace zo::plat
