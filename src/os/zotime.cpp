// Local time stamps.
#include <zo/zotime.h>

#include <cstring>

#include "platform/clock.h"

namespace {

// Writes value as `width` decimal digits (zero-padded, higher digits dropped).
unsigned char *putDigits(unsigned char *out, unsigned value, unsigned width) {
    for (unsigned i = width; i > 0; --i) {
        out[i - 1] = static_cast<unsigned char>('0' + value % 10);
        value /= 10;
    }
    return out + width;
}

// "HH:MM:SS.cc" of t, without a terminator.
unsigned char *putTime(unsigned char *out, const os_time &t) {
    out = putDigits(out, t.hour, 2);
    *out++ = ':';
    out = putDigits(out, t.minute, 2);
    *out++ = ':';
    out = putDigits(out, t.second, 2);
    *out++ = '.';
    return putDigits(out, t.milliseconds / 10u, 2);
}

bool isSpace(unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// A decimal number as the run-time library reads it: leading blanks, an optional sign,
// digits up to the first non-digit. Large values saturate; a negative value gives -1.
long long decimalAt(const unsigned char *p) {
    while (isSpace(*p))
        ++p;
    bool negative = *p == '-';
    if (*p == '-' || *p == '+')
        ++p;
    long long value = 0;
    for (; *p >= '0' && *p <= '9'; ++p)
        if (value < 1000000)
            value = value * 10 + (*p - '0');
    return negative && value != 0 ? -1 : value;
}

} // namespace

void bosdate(os_time *time) {
    zo::plat::CalendarTime now;
    zo::plat::localNow(&now);
    *time = os_time{now.day, now.month, now.year, now.hour, now.minute, now.second, now.milliseconds};
}

unsigned short ZoTime::getCurrentTimeStamp(unsigned char *out) {
    os_time now;
    bosdate(&now);
    *putTime(out, now) = '\0';
    return 11;
}

unsigned short ZoTime::getCurrentDayTimeStamp(unsigned char *out) {
    os_time now;
    bosdate(&now);
    unsigned char *p = putDigits(out, now.month, 2);
    *p++ = ':';
    p = putDigits(p, now.day, 2);
    *p++ = ':';
    p = putDigits(p, now.year, 4);
    *p++ = ':';
    *putTime(p, now) = '\0';
    return 22;
}

void ZoTime::captureCurrentTimeStamp() { bosdate(&time_); }

ZoStatus ZoTime::initialize(const unsigned char *text) {
    time_ = os_time{};
    // The numbers start at the text and after each of the five colons and the dot.
    const unsigned char *start[7] = {text};
    const unsigned char *p = text;
    for (int i = 1; i <= 6; ++p) {
        if (*p == '\0')
            return ZoFailure;
        if (*p == (i <= 5 ? ':' : '.'))
            start[i++] = p + 1;
    }
    static constexpr long long kLimit[7] = {12, 31, 2100, 23, 59, 59, 99};
    uint16_t value[7];
    for (int i = 0; i < 7; ++i) {
        long long v = decimalAt(start[i]);
        if (v < 0 || v > kLimit[i])
            return ZoFailure;
        value[i] = static_cast<uint16_t>(v);
    }
    time_ = os_time{value[1], value[0], value[2], value[3], value[4], value[5], value[6]};
    return ZoSuccess;
}

namespace {

// The fields in the order the comparisons list them.
void fieldsOf(const os_time &t, unsigned (&f)[7]) {
    f[0] = t.month, f[1] = t.day, f[2] = t.year, f[3] = t.hour, f[4] = t.minute, f[5] = t.second, f[6] = t.milliseconds;
}

template <class Test>
unsigned everyField(const os_time &a, const os_time &b, Test test) {
    unsigned fa[7], fb[7];
    fieldsOf(a, fa);
    fieldsOf(b, fb);
    for (int i = 0; i < 7; ++i)
        if (!test(fa[i], fb[i]))
            return 0;
    return 1;
}

// 1 when a's calendar fields, compared year first down to `depth` fields
// (year, month, day, hour), place it after b.
unsigned laterCalendar(const os_time &a, const os_time &b, int depth) {
    const unsigned fa[4] = {a.year, a.month, a.day, a.hour};
    const unsigned fb[4] = {b.year, b.month, b.day, b.hour};
    for (int i = 0; i < depth; ++i) {
        if (fa[i] != fb[i])
            return fa[i] > fb[i] ? 1 : 0;
    }
    return 0;
}

} // namespace

unsigned int ZoTime::operator==(const ZoTime &other) const {
    return everyField(time_, other.time_, [](unsigned a, unsigned b) { return a == b; });
}

unsigned int ZoTime::operator<(const ZoTime &other) const {
    return everyField(time_, other.time_, [](unsigned a, unsigned b) { return a < b; });
}

unsigned int ZoTime::operator>(const ZoTime &other) const {
    return everyField(time_, other.time_, [](unsigned a, unsigned b) { return a > b; });
}

unsigned int ZoTime::anHourElapsed(const ZoTime &earlier) const { return laterCalendar(time_, earlier.time_, 4); }

unsigned int ZoTime::aDayElapsed(const ZoTime &earlier) const { return laterCalendar(time_, earlier.time_, 3); }
