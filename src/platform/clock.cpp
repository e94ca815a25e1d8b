#include "platform/clock.h"

#include <ctime>

namespace zo::plat {
namespace {

void fromTm(const std::tm &tm, uint16_t milliseconds, CalendarTime *out) {
    out->year = static_cast<uint16_t>(tm.tm_year + 1900);
    out->month = static_cast<uint16_t>(tm.tm_mon + 1);
    out->day = static_cast<uint16_t>(tm.tm_mday);
    out->hour = static_cast<uint16_t>(tm.tm_hour);
    out->minute = static_cast<uint16_t>(tm.tm_min);
    // A leap second reads as the last ordinary second of its minute.
    out->second = static_cast<uint16_t>(tm.tm_sec > 59 ? 59 : tm.tm_sec);
    out->milliseconds = milliseconds;
}

} // namespace

void localNow(CalendarTime *out) {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    std::tm tm{};
    localtime_r(&now.tv_sec, &tm);
    fromTm(tm, static_cast<uint16_t>(now.tv_nsec / 1000000), out);
}

void utcFromSeconds(int64_t seconds, CalendarTime *out) {
    std::time_t t = static_cast<std::time_t>(seconds);
    std::tm tm{};
    gmtime_r(&t, &tm);
    fromTm(tm, 0, out);
}

} // namespace zo::plat
