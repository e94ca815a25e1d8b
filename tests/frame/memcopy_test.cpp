#include <zo/ramalloc.h>

#include <gtest/gtest.h>

#include <cstring>
#include <numeric>
#include <vector>

namespace {

TEST(BlockCopy, ForwardCopyWithOverlapBelowSourceIsSafe) {
    unsigned char buf[] = "abcdefgh";
    memCopyHuge(buf, buf + 2, 6);
    EXPECT_EQ(std::memcmp(buf, "cdefghgh", 8), 0);
}

TEST(BlockCopy, ForwardCopyOverlappingAboveSourceRepeatsThePattern) {
    // Copying first byte to last with the destination one byte above replicates byte 0.
    unsigned char buf[] = "abcdefgh";
    memCopyHuge(buf + 1, buf, 7);
    EXPECT_EQ(std::memcmp(buf, "aaaaaaaa", 8), 0);
}

TEST(BlockCopy, BackwardCopyWithOverlapAboveSourceIsSafe) {
    unsigned char buf[] = "abcdefgh";
    BUTMMCPD(buf + 2, buf, 6);
    EXPECT_EQ(std::memcmp(buf, "ababcdef", 8), 0);
    unsigned char other[] = "abcdefgh";
    BUTMMCPD(other, other + 1, 7); // below the source: last byte first repeats the last
    EXPECT_EQ(std::memcmp(other, "hhhhhhhh", 8), 0);
}

TEST(BlockCompare, UnsignedOrderAndZeroLength) {
    const unsigned char a[] = {1, 0x80};
    const unsigned char b[] = {1, 0x7F};
    EXPECT_EQ(BUTMMCMP(a, b, 2), 1);
    EXPECT_EQ(BUTMMCMP(b, a, 2), -1);
    EXPECT_EQ(BUTMMCMP(a, b, 1), 0);
    EXPECT_EQ(BUTMMCMP(a, b, 0), 0);
}

TEST(BlockSwap, ExchangesAreasLongerThanTheBuffer) {
    std::vector<unsigned char> a(1300), b(1300);
    std::iota(a.begin(), a.end(), 0);
    std::iota(b.begin(), b.end(), 100);
    auto a0 = a, b0 = b;
    BUTMMSWP(a.data(), b.data(), 1300);
    EXPECT_EQ(a, b0);
    EXPECT_EQ(b, a0);
}

TEST(BlockFill, FillsExactlyCountBytes) {
    unsigned char buf[12];
    std::memset(buf, 'x', sizeof buf);
    BUTU8FIL(buf + 1, 0xAB, 7);
    EXPECT_EQ(buf[0], 'x');
    for (int i = 1; i <= 7; ++i)
        EXPECT_EQ(buf[i], 0xAB);
    EXPECT_EQ(buf[8], 'x');
}

TEST(BlockStrings, LengthCopyConcatCompare) {
    char buf[32] = "";
    EXPECT_EQ(BUTSTLEN("hello"), 5u);
    char *end = BUTSTCPY(buf, "abc");
    EXPECT_EQ(end, buf + 3);
    EXPECT_EQ(*end, '\0');
    BUTSTCAT(buf, "def");
    EXPECT_STREQ(buf, "abcdef");
    EXPECT_EQ(BUTSTCMP("abc", "abd"), -1);
    EXPECT_EQ(BUTSTCMP("abc", "abc"), 0);
    EXPECT_EQ(BUTSTCMP("ab\x80", "ab\x7F"), 1);
    EXPECT_EQ(BUTSTCMP("ab", "abc"), -1);
}

TEST(SpinFlag, TakesOnceAndNeverWaits) {
    uint32_t flag = 0;
    EXPECT_EQ(bosMemLock(&flag), 1u);
    EXPECT_EQ(flag, 1u);
    EXPECT_EQ(bosMemLock(&flag), 0u);
    EXPECT_EQ(flag, 1u);
    bosMemUnLock(&flag);
    EXPECT_EQ(flag, 0u);
}

} // namespace
