#include <zo/bosenv.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const unsigned char *u(const char *s) { return reinterpret_cast<const unsigned char *>(s); }

TEST(BosEnv, ReadsValuesAndTreatsEmptyAsAbsent) {
    setenv("ZO_TEST_VALUE", "hello", 1);
    unsigned char *value = bosGetEnv(u("ZO_TEST_VALUE"));
    ASSERT_NE(value, nullptr);
    EXPECT_STREQ(reinterpret_cast<char *>(value), "hello");
    setenv("ZO_TEST_VALUE", "", 1);
    EXPECT_EQ(bosGetEnv(u("ZO_TEST_VALUE")), nullptr);
    unsetenv("ZO_TEST_VALUE");
    EXPECT_EQ(bosGetEnv(u("ZO_TEST_VALUE")), nullptr);
}

TEST(BosEnv, LongValuesAreCutToTheBuffer) {
    std::string big(1000, 'v');
    setenv("ZO_TEST_VALUE", big.c_str(), 1);
    unsigned char *value = bosGetEnv(u("ZO_TEST_VALUE"));
    unsetenv("ZO_TEST_VALUE");
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(std::strlen(reinterpret_cast<char *>(value)), 699u);
}

TEST(BosEnv, MachineAndUserNamesAreCutToSize) {
    char full[300] = {};
    ASSERT_EQ(bosGetMachineName(full, 299), ZoSuccess);
    ASSERT_GT(std::strlen(full), 0u);
    EXPECT_LE(std::strlen(full), 15u);
    char cut[3] = {'x', 'x', 'x'};
    ASSERT_EQ(bosGetMachineName(cut, 2), ZoSuccess);
    EXPECT_EQ(std::string(cut), std::string(full).substr(0, 2));

    ASSERT_EQ(bosGetHostUser(full, 299), ZoSuccess);
    ASSERT_GT(std::strlen(full), 0u);
    ASSERT_EQ(bosGetHostUser(cut, 1), ZoSuccess);
    EXPECT_EQ(std::string(cut), std::string(full).substr(0, 1));

    EXPECT_EQ(bosGetMachineName(nullptr, 10), ZoSuccess);
    EXPECT_EQ(bosGetHostUser(cut, 0), ZoSuccess);
}

} // namespace
