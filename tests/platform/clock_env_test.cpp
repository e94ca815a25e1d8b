#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "platform/clock.h"
#include "platform/env.h"

namespace plat = zo::plat;

namespace {

TEST(PlatformClock, UtcBreakdownIgnoresTheTimeZone) {
    const char *saved = std::getenv("TZ");
    setenv("TZ", "Asia/Tokyo", 1);
    plat::CalendarTime t;
    plat::utcFromSeconds(1110238200, &t); // 2005-03-07 23:30:00 UTC, the 8th in Tokyo
    if (saved != nullptr)
        setenv("TZ", saved, 1);
    else
        unsetenv("TZ");
    EXPECT_EQ(t.year, 2005);
    EXPECT_EQ(t.month, 3);
    EXPECT_EQ(t.day, 7);
    EXPECT_EQ(t.hour, 23);
    EXPECT_EQ(t.minute, 30);
    EXPECT_EQ(t.second, 0);
}

TEST(PlatformEnv, ValuesAreCutToTheBuffer) {
    setenv("ZO_TEST_ENV", "abcdef", 1);
    char out[4];
    EXPECT_TRUE(plat::environmentValue("ZO_TEST_ENV", out, sizeof out));
    EXPECT_STREQ(out, "abc");
    unsetenv("ZO_TEST_ENV");
    EXPECT_FALSE(plat::environmentValue("ZO_TEST_ENV", out, sizeof out));
    char host[3];
    EXPECT_TRUE(plat::machineName(host, sizeof host));
    EXPECT_LE(std::strlen(host), 2u);
    char user[1];
    EXPECT_FALSE(plat::userName(user, sizeof user));
}

} // namespace
