#include <zo/zotime.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

ZoTime parsedTime(const char *text) {
    ZoTime t;
    EXPECT_EQ(t.initialize(reinterpret_cast<const unsigned char *>(text)), ZoSuccess) << text;
    return t;
}

bool allZero(const ZoTime &t) {
    const os_time &f = t.time();
    return f.day == 0 && f.month == 0 && f.year == 0 && f.hour == 0 && f.minute == 0 && f.second == 0 &&
           f.milliseconds == 0;
}

TEST(ZoTimeParse, ReadsEveryField) {
    ZoTime t = parsedTime("12:31:2005:23:59:59.99");
    const os_time &f = t.time();
    EXPECT_EQ(f.month, 12);
    EXPECT_EQ(f.day, 31);
    EXPECT_EQ(f.year, 2005);
    EXPECT_EQ(f.hour, 23);
    EXPECT_EQ(f.minute, 59);
    EXPECT_EQ(f.second, 59);
    EXPECT_EQ(f.milliseconds, 99);
}

TEST(ZoTimeParse, OutOfRangeOrMalformedStampsClearTheTime) {
    const char *bad[] = {"12:31:2005:24:00:00.00",
                         "13:01:2005:00:00:00.00",
                         "01:32:2005:00:00:00.00",
                         "01:01:2101:00:00:00.00",
                         "01:01:2005:00:60:00.00",
                         "01:01:2005:00:00:60.00",
                         "01:01:2005:00:00:00.100",
                         "01:01:2005:00:00:00",
                         "01:01:2005.00:00:00:00",
                         "01:01:2005:00:00",
                         "",
                         "-1:01:2005:00:00:00.00",
                         "99999999999999999999:1:1:1:1:1.1"};
    for (const char *text : bad) {
        ZoTime t = parsedTime("01:02:2003:04:05:06.07");
        EXPECT_EQ(t.initialize(reinterpret_cast<const unsigned char *>(text)), ZoFailure) << text;
        EXPECT_TRUE(allZero(t)) << text;
    }
}

TEST(ZoTimeParse, NumbersStopAtTheFirstNonDigit) {
    ZoTime t = parsedTime(" 3x:7 :2005junk:1:2:3.4z");
    EXPECT_EQ(t.time().month, 3);
    EXPECT_EQ(t.time().day, 7);
    EXPECT_EQ(t.time().year, 2005);
    EXPECT_EQ(t.time().milliseconds, 4);
    EXPECT_EQ(parsedTime(":::::.").time().year, 0);
}

TEST(ZoTimeCompare, LessAndGreaterTestEveryField) {
    ZoTime a = parsedTime("01:01:2000:01:01:01.01");
    ZoTime b = parsedTime("02:02:2001:02:02:02.02");
    ZoTime c = parsedTime("01:02:2001:02:02:02.02"); // same month as a
    EXPECT_EQ(a < b, 1u);
    EXPECT_EQ(b > a, 1u);
    EXPECT_EQ(a < c, 0u); // chronologically earlier, but one field is equal
    EXPECT_EQ(c > a, 0u);
    // A later year with an earlier month is neither.
    ZoTime d = parsedTime("12:01:1999:01:01:01.01");
    ZoTime e = parsedTime("01:02:2000:02:02:02.02");
    EXPECT_EQ(d < e, 0u);
    EXPECT_EQ(e > d, 0u);
    EXPECT_EQ(a == parsedTime("01:01:2000:01:01:01.01"), 1u);
    EXPECT_EQ(a == b, 0u);
}

TEST(ZoTimeCompare, ElapsedHoursAndDaysFollowTheCalendar) {
    ZoTime lateEvening = parsedTime("12:31:2005:23:59:00.00");
    ZoTime midnight = parsedTime("01:01:2006:00:00:00.00");
    EXPECT_EQ(midnight.anHourElapsed(lateEvening), 1u);
    EXPECT_EQ(midnight.aDayElapsed(lateEvening), 1u);
    EXPECT_EQ(lateEvening.anHourElapsed(midnight), 0u);
    ZoTime morning = parsedTime("06:01:2005:00:00:00.00");
    ZoTime night = parsedTime("06:01:2005:23:59:00.00");
    EXPECT_EQ(night.aDayElapsed(morning), 0u);
    EXPECT_EQ(night.anHourElapsed(morning), 1u);
    EXPECT_EQ(parsedTime("06:01:2005:11:00:00.00").anHourElapsed(parsedTime("06:01:2005:10:59:00.00")), 1u);
    EXPECT_EQ(parsedTime("06:01:2005:10:59:00.00").anHourElapsed(parsedTime("06:01:2005:10:00:00.00")), 0u);
    // A later month of the same year with an earlier day.
    EXPECT_EQ(parsedTime("07:01:2005:00:00:00.00").aDayElapsed(parsedTime("06:30:2005:00:00:00.00")), 1u);
}

bool digitsAt(const std::string &s, std::initializer_list<int> positions) {
    for (int p : positions)
        if (s[p] < '0' || s[p] > '9')
            return false;
    return true;
}

TEST(ZoTimeStamps, HaveTheirFixedShapes) {
    unsigned char stamp[12];
    std::memset(stamp, 0xEE, sizeof stamp);
    EXPECT_EQ(ZoTime::getCurrentTimeStamp(stamp), 11);
    std::string s(reinterpret_cast<char *>(stamp));
    ASSERT_EQ(s.size(), 11u);
    EXPECT_TRUE(digitsAt(s, {0, 1, 3, 4, 6, 7, 9, 10}));
    EXPECT_EQ(s[2], ':');
    EXPECT_EQ(s[5], ':');
    EXPECT_EQ(s[8], '.');

    unsigned char day[23];
    std::memset(day, 0xEE, sizeof day);
    ZoTime t;
    EXPECT_EQ(t.getCurrentDayTimeStamp(day), 22);
    std::string d(reinterpret_cast<char *>(day));
    ASSERT_EQ(d.size(), 22u);
    ZoTime back;
    EXPECT_EQ(back.initialize(day), ZoSuccess);
    EXPECT_GE(back.time().year, 2020);
    EXPECT_TRUE(allZero(t));
}

TEST(ZoTimeStamps, CaptureReadsTheLocalClock) {
    ZoTime t;
    t.captureCurrentTimeStamp();
    os_time now;
    bosdate(&now);
    EXPECT_GE(t.time().year, 2020);
    EXPECT_GE(t.time().month, 1);
    EXPECT_LE(t.time().month, 12);
    EXPECT_LE(t.time().milliseconds, 999);
    EXPECT_LE(now.hour, 23);
}

} // namespace
