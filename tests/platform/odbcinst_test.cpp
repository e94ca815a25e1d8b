// The host's ODBC installer library: the argument rules met on the way in, failures turned
// into defaults on the way out, and the real library loaded by its Windows name.
#include <gtest/gtest.h>

#include <zo/pertask.h>

#include <cstring>
#include <string>

#include "platform/module.h"
#include "platform/odbcinst.h"
#include "support/private_profiles.h"

namespace {

namespace plat = zo::plat;
using zotest::u;

// What the fake installer was called with, and what it answers.
struct Call {
    std::string section, key, defaultValue;
    bool sectionNull, keyNull;
    int size;
    int answer;
} g_call;

int fakeGet(const char *section, const char *key, const char *defaultValue, char *out, int size, const char *) {
    g_call.sectionNull = section == nullptr;
    g_call.keyNull = key == nullptr;
    g_call.section = section ? section : "";
    g_call.key = key ? key : "";
    g_call.defaultValue = defaultValue ? defaultValue : "<null>";
    g_call.size = size;
    if (g_call.answer >= 0)
        std::strcpy(out, "answer");
    return g_call.answer;
}

std::string callFake(const char *section, const char *key, const char *def, uint32_t size, uint32_t *n) {
    unsigned char out[64];
    std::memset(out, 0x55, sizeof out);
    *n = plat::installerGetString(reinterpret_cast<void *>(&fakeGet), reinterpret_cast<const unsigned char *>(section),
                                  reinterpret_cast<const unsigned char *>(key),
                                  reinterpret_cast<const unsigned char *>(def), out, size, "ODBC.INI");
    return std::string(reinterpret_cast<char *>(out), *n + 2 <= sizeof out ? *n + 2 : sizeof out);
}

TEST(OdbcInstaller, ArgumentsAreMadeAcceptable) {
    uint32_t n;
    g_call.answer = 6;
    callFake("S", "", nullptr, 64, &n);
    EXPECT_TRUE(g_call.keyNull); // an empty key asks for the list
    EXPECT_EQ(g_call.defaultValue, "");
    callFake("", "K", "d", 64, &n);
    EXPECT_TRUE(g_call.sectionNull);
    callFake("S", "K", "d", 64, &n);
    EXPECT_FALSE(g_call.keyNull);
    EXPECT_EQ(g_call.size, 64);
    EXPECT_EQ(n, 6u);
}

TEST(OdbcInstaller, FailuresGiveTheDefault) {
    uint32_t n;
    g_call.answer = -1;
    EXPECT_EQ(callFake("S", "K", "fallback", 64, &n), std::string("fallback\0\x55", 10));
    EXPECT_EQ(n, 8u);
    EXPECT_EQ(callFake("S", "K", "fallback", 4, &n), std::string("fal\0\x55", 5));
    EXPECT_EQ(callFake("S", nullptr, "fallback", 64, &n), std::string("\0\0", 2)); // an empty list
    EXPECT_EQ(n, 0u);
    g_call.answer = 6;
    g_call.size = 0;
    EXPECT_EQ(callFake("S", "K", "fallback", 1, &n), std::string("\0\x55", 2)); // too small to ask
    EXPECT_EQ(g_call.size, 0);
    unsigned char untouched = 0x55;
    EXPECT_EQ(
        plat::installerGetString(reinterpret_cast<void *>(&fakeGet), u("S"), u("K"), u("d"), &untouched, 0, "ODBC.INI"),
        0u);
    EXPECT_EQ(untouched, 0x55);
}

TEST(OdbcInstaller, TheHostLibraryReadsAndWritesDataSources) {
    zotest::PrivateProfiles env(zotest::fastTempBase());
    void *library = plat::moduleLoad(u("odbccp32.dll"), mdsLeadByteLengthTable());
    ASSERT_NE(library, nullptr) << "libodbcinst.so.2 is not installed";
    void *get = plat::moduleSymbol(library, plat::kInstallerGetSymbol);
    void *write = plat::moduleSymbol(library, plat::kInstallerWriteSymbol);
    ASSERT_NE(get, nullptr);
    ASSERT_NE(write, nullptr);
    EXPECT_EQ(plat::installerWriteString(write, u("ZoPlatDsn"), u("Driver"), u("ZoDriver"), "ODBC.INI"), 1);
    EXPECT_EQ(plat::installerWriteString(write, nullptr, u("Driver"), u("x"), "ODBC.INI"), 0);
    EXPECT_NE(env.dir().read("odbc.ini").find("Driver=ZoDriver"), std::string::npos);
    unsigned char out[64];
    EXPECT_EQ(plat::installerGetString(get, u("ZoPlatDsn"), u("Driver"), nullptr, out, sizeof out, "ODBC.INI"), 8u);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(out)), "ZoDriver");
    EXPECT_EQ(plat::installerGetString(get, u("ZoPlatDsn"), u(""), nullptr, out, sizeof out, "ODBC.INI"), 7u);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(out), 8), std::string("Driver\0\0", 8));
    plat::moduleFree(library);
}

} // namespace
