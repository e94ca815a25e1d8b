// ZoIni: a profile bound to an object, its typed entries, and its use while closed.
#include <gtest/gtest.h>

#include <zo/messages.h>
#include <zo/zoini.h>

#include <cstring>
#include <string>

#include "support/alloc_failure.h"
#include "support/error_capture.h"
#include "support/private_profiles.h"

namespace {

using zotest::u;

std::string text(const unsigned char *s) { return reinterpret_cast<const char *>(s); }

TEST(ZoIni, ReadsAndWritesEntriesOfItsProfile) {
    zotest::PrivateProfiles env;
    ZoIni ini;
    ASSERT_EQ(ini.open(u("DRIVER.INI")), ZoSuccess);
    EXPECT_EQ(ini.writeEntry(u("Settings"), u("Host"), u("db.example")), ZoSuccess);
    unsigned char out[32];
    EXPECT_EQ(ini.getEntry(u("settings"), u("host"), out, sizeof out, u("none")), ZoSuccess);
    EXPECT_EQ(text(out), "db.example");
    EXPECT_EQ(ini.getEntry(u("Settings"), u("Missing"), out, sizeof out, u("none")), ZoSuccess);
    EXPECT_EQ(text(out), "none");
    EXPECT_EQ(ini.getEntry(u("Settings"), u("Host"), out, 3, u("none")), ZoSuccess);
    EXPECT_EQ(text(out), "db");
    EXPECT_EQ(env.dir().read("windows/DRIVER.INI"), "[Settings]\nHost=db.example\n");
    // The name can be changed by opening again.
    ASSERT_EQ(ini.open(u("OTHER.INI")), ZoSuccess);
    EXPECT_EQ(ini.getEntry(u("Settings"), u("Host"), out, sizeof out, u("none")), ZoSuccess);
    EXPECT_EQ(text(out), "none");
}

TEST(ZoIni, ShortEntries) {
    zotest::PrivateProfiles env;
    env.dir().write("windows/NUM.INI", "[N]\ntwelve=12\nblank= 7 \namp=&5\nword=abc\nbig=70000\nneg=-5\nempty=\n");
    zotest::ErrorCapture errors; // the conversion records why a text is no number
    ZoIni ini;
    ASSERT_EQ(ini.open(u("NUM.INI")), ZoSuccess);
    struct Case {
        const char *key;
        short expected;
    } cases[] = {
        {"twelve", 12}, {"blank", 7}, {"missing", -1}, {"amp", -1}, {"word", -1}, {"big", 4464}, // 70000 cut to 16 bits
        {"neg", -1},    {"empty", 0},                                                            // no digits: 0
    };
    for (const Case &c : cases) {
        short value = 99;
        EXPECT_EQ(ini.getEntry(u("N"), u(c.key), &value, -1), ZoSuccess);
        EXPECT_EQ(value, c.expected) << c.key;
    }
}

TEST(ZoIni, UsedWhileClosedGivesDefaultsAndRecordsWhy) {
    zotest::PrivateProfiles env;
    zotest::ErrorCapture errors;
    ZoIni ini;
    unsigned char out[8];
    std::memset(out, 0x55, sizeof out);
    EXPECT_EQ(ini.getEntry(u("S"), u("K"), out, 4, u("default")), ZoSuccess);
    EXPECT_EQ(text(out), "def"); // cut to the buffer
    EXPECT_EQ(out[4], 0x55);
    EXPECT_EQ(errors.lastNumber(), static_cast<unsigned short>(ZoMessage::ProfileNotOpen));
    short number = 0;
    EXPECT_EQ(ini.getEntry(u("S"), u("K"), &number, 17), ZoSuccess);
    EXPECT_EQ(number, 17);
    EXPECT_EQ(ini.writeEntry(u("S"), u("K"), u("v")), ZoSuccess);
    EXPECT_EQ(ini.deleteEntry(u("S"), u("K")), ZoSuccess);
    EXPECT_EQ(errors.list.getCount(), 4u);
    EXPECT_EQ(errors.lastText(), "The profile file is not open.");
    // After close it is closed again.
    ASSERT_EQ(ini.open(u("X.INI")), ZoSuccess);
    EXPECT_EQ(ini.close(), ZoSuccess);
    EXPECT_EQ(ini.writeEntry(u("S"), u("K"), u("v")), ZoSuccess);
    EXPECT_EQ(errors.list.getCount(), 5u);
    EXPECT_FALSE(std::filesystem::exists(env.windows("X.INI")));
}

// deleteEntry acts only when a file of the profile's name exists, so on a profile kept in
// the registry it deletes only beside a file of that name.
TEST(ZoIni, DeleteEntryNeedsAFileOfThatName) {
    zotest::PrivateProfiles env(zotest::fastTempBase());
    zotest::InDirectory inside(env.dir().host());
    ZoIni ini;
    ASSERT_EQ(ini.open(u("ZOLIB.INI")), ZoSuccess);
    EXPECT_EQ(ini.writeEntry(u("S"), u("K"), u("v")), ZoSuccess);
    unsigned char out[8];
    EXPECT_EQ(ini.deleteEntry(u("S"), u("K")), ZoSuccess);
    EXPECT_EQ(ini.getEntry(u("S"), u("K"), out, sizeof out, u("gone")), ZoSuccess);
    EXPECT_EQ(text(out), "v");
    env.dir().write("ZOLIB.INI", "");
    EXPECT_EQ(ini.deleteEntry(u("S"), u("K")), ZoSuccess);
    EXPECT_EQ(ini.getEntry(u("S"), u("K"), out, sizeof out, u("gone")), ZoSuccess);
    EXPECT_EQ(text(out), "gone");
}

TEST(ZoIni, OpenWithoutMemoryFails) {
    ZoIni ini;
    ASSERT_EQ(ini.open(u("FIRST.INI")), ZoSuccess);
    uint32_t points = zotest::forEachAllocationFailure([&](zotest::FailurePoint &point) {
        point.arm();
        ZoStatus opened = ini.open(u("SECOND.INI"));
        if (point.disarm())
            EXPECT_EQ(opened, ZoFailure);
        else
            EXPECT_EQ(opened, ZoSuccess);
    });
    EXPECT_EQ(points, 1u);
}

} // namespace
