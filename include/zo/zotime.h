// Local time stamps: reading the clock, fixed-width stamps, parsing and comparing.
#pragma once

#include <cstdint>

#include <zo/zoexport.h>
#include <zo/zoobject.h>

// A local time: day 1-31, month 1-12, four-digit year, hour 0-23, minute, second,
// milliseconds 0-999 (a parsed stamp keeps hundredths here, see ZoTime::initialize).
struct os_time {
    uint16_t day;
    uint16_t month;
    uint16_t year;
    uint16_t hour;
    uint16_t minute;
    uint16_t second;
    uint16_t milliseconds;
};

// Fills time from the local clock.
ZO_API void bosdate(os_time *time);

class ZO_API ZoTime : public ZoObject {
public:
    ZoTime() = default;

    // "HH:MM:SS.cc" (cc hundredths) of the current time and a terminator into out (12 bytes);
    // returns 11.
    static unsigned short getCurrentTimeStamp(unsigned char *out);
    // "MM:DD:YYYY:HH:MM:SS.cc" of the current time (not this object's) and a terminator
    // into out (23 bytes); returns 22.
    unsigned short getCurrentDayTimeStamp(unsigned char *out);
    // Sets this object to the current local time.
    void captureCurrentTimeStamp();
    // Parses a day-time stamp. The sub-second value is kept as read (hundredths). On a
    // malformed or out-of-range stamp the object is all zero and the status 1.
    ZoStatus initialize(const unsigned char *text);

    // 1 when all seven fields are equal.
    unsigned int operator==(const ZoTime &other) const;
    // 1 only when every field is smaller (larger) than the other's: a field-by-field test,
    // not a chronological order.
    unsigned int operator<(const ZoTime &other) const;
    unsigned int operator>(const ZoTime &other) const;
    // 1 when this time lies in a later calendar hour (day) than earlier.
    unsigned int anHourElapsed(const ZoTime &earlier) const;
    unsigned int aDayElapsed(const ZoTime &earlier) const;

    const os_time &time() const { return time_; }

private:
    os_time time_{};
};
