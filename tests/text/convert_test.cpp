// Numbers and decimal text, hexadecimal text, scrambling.
#include <gtest/gtest.h>

#include <zo/cntdblib.h>
#include <zo/convert.h>
#include <zo/zoerror.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "platform/codepage.h"

#include "support/error_capture.h"

namespace {

const unsigned char *u(const char *s) { return reinterpret_cast<const unsigned char *>(s); }
std::string str(const unsigned char *s) { return reinterpret_cast<const char *>(s); }

// Each test runs with its own keep-all error list and the resource library loaded.
class ConvertTest : public ::testing::Test {
protected:
    void TearDown() override { zo::plat::setCodePageForTest(1252); }
    unsigned short lastNumber() { return capture.lastNumber(); }
    std::string lastText() { return capture.lastText(); }
    zotest::ErrorCapture capture;
};

// ---- numbers to text

TEST_F(ConvertTest, NumbersToText) {
    unsigned char out[16];
    EXPECT_EQ(convert(out, uint32_t{0}), 1);
    EXPECT_EQ(str(out), "0");
    EXPECT_EQ(convert(out, uint32_t{4294967295u}), 10);
    EXPECT_EQ(str(out), "4294967295");
    EXPECT_EQ(convert(out, int32_t{-5}), 2);
    EXPECT_EQ(str(out), "-5");
    EXPECT_EQ(convert(out, int32_t{INT32_MIN}), 11);
    EXPECT_EQ(str(out), "-2147483648");
    for (uint32_t v : {7u, 10u, 99u, 100u, 101u, 12345u, 1000000u})
        EXPECT_EQ((convert(out, v), str(out)), std::to_string(v));
}

TEST_F(ConvertTest, FixedWidthFields) {
    unsigned char out[32];
    EXPECT_EQ(convert(out, 5, 42u, 0), 2);
    EXPECT_EQ(str(out), "   42");
    EXPECT_EQ(convert(out, 5, 42u, 1), 2);
    EXPECT_EQ(str(out), "42   ");
    EXPECT_EQ(convert(out, 3, 1000u, 0), 0);
    EXPECT_EQ(str(out), "** ");
    EXPECT_EQ(convert(out, 3, 1000u, 1), 0);
    EXPECT_EQ(str(out), "** ");
    EXPECT_EQ(convert(out, 4, 0u, 0), 1);
    EXPECT_EQ(str(out), "   0");
    EXPECT_EQ(convert(out, 3, 999u, 0), 3);
    EXPECT_EQ(str(out), "999");
    // Wider than ten places: the digits keep to the last ten (right) or the first (left).
    EXPECT_EQ(convert(out, 12, 4294967295u, 0), 10);
    EXPECT_EQ(str(out), "  4294967295");
    EXPECT_EQ(convert(out, 12, 7u, 1), 1);
    EXPECT_EQ(str(out), "7           ");
    EXPECT_EQ(convert(out, 0, 7u, 0), 0);
    EXPECT_EQ(str(out), "");
}

// ---- text to numbers

TEST_F(ConvertTest, UnsignedLimitsAndBlanks) {
    uint32_t v = 77;
    EXPECT_EQ(convert(u("4294967295"), &v), ZoSuccess);
    EXPECT_EQ(v, 4294967295u);
    EXPECT_EQ(convert(u("+  42  "), &v), ZoSuccess);
    EXPECT_EQ(v, 42u);
    EXPECT_EQ(convert(u("\t+ +\n7\r\n"), &v), ZoSuccess);
    EXPECT_EQ(v, 7u);
    EXPECT_EQ(convert(u(""), &v), ZoSuccess);
    EXPECT_EQ(v, 0u);
    EXPECT_EQ(convert(u("  + "), &v), ZoSuccess);
    EXPECT_EQ(v, 0u);
    EXPECT_EQ(convert(u("00000000000000000001"), &v), ZoSuccess); // leading zeros never overflow
    EXPECT_EQ(v, 1u);
    EXPECT_TRUE(capture.list.getCount() == 0);
}

TEST_F(ConvertTest, UnsignedFailuresReportTheTextAndKeepTheOutput) {
    uint32_t v = 77;
    EXPECT_EQ(convert(u("4294967296"), &v), ZoFailure);
    EXPECT_EQ(lastNumber(), 2701);
    EXPECT_EQ(lastText(), "The number 4294967296 is out of range.");
    EXPECT_EQ(convert(u("42949672950"), &v), ZoFailure);
    EXPECT_EQ(lastNumber(), 2701);
    EXPECT_EQ(convert(u("4x2"), &v), ZoFailure);
    EXPECT_EQ(lastNumber(), 2702);
    EXPECT_EQ(lastText(), "The text 4x2 is not a number.");
    for (const char *bad : {"4 2", "-1", "1+", "0x10", "1.5"}) {
        EXPECT_EQ(convert(u(bad), &v), ZoFailure) << bad;
        EXPECT_EQ(lastNumber(), 2702) << bad;
    }
    EXPECT_EQ(v, 77u);
}

TEST_F(ConvertTest, SignedLimits) {
    int32_t v = 77;
    EXPECT_EQ(convert(u("-2147483648"), &v), ZoSuccess);
    EXPECT_EQ(v, INT32_MIN);
    EXPECT_EQ(convert(u(" 2147483647"), &v), ZoSuccess);
    EXPECT_EQ(v, INT32_MAX);
    EXPECT_EQ(convert(u("  - + 12 "), &v), ZoSuccess); // blanks and plus signs after the minus
    EXPECT_EQ(v, -12);
    EXPECT_EQ(convert(u("-"), &v), ZoSuccess);
    EXPECT_EQ(v, 0);
    v = 77;
    EXPECT_EQ(convert(u("-2147483649"), &v), ZoFailure);
    EXPECT_EQ(lastNumber(), 2701);
    EXPECT_EQ(convert(u("2147483648"), &v), ZoFailure);
    EXPECT_EQ(lastNumber(), 2701);
    EXPECT_EQ(convert(u("+-1"), &v), ZoFailure); // the minus must come before any plus
    EXPECT_EQ(lastNumber(), 2702);
    EXPECT_EQ(convert(u("--1"), &v), ZoFailure);
    EXPECT_EQ(lastNumber(), 2702);
    EXPECT_EQ(v, 77);
}

TEST_F(ConvertTest, NarrowForms) {
    uint16_t us = 1;
    int16_t ss = 1;
    unsigned char uc = 1;
    char sc = 1;
    EXPECT_EQ(convert(u("65535"), &us), ZoSuccess);
    EXPECT_EQ(us, 65535);
    EXPECT_EQ(convert(u("65536"), &us), ZoFailure);
    EXPECT_EQ(lastNumber(), 2701);
    EXPECT_EQ(convert(u("-32768"), &ss), ZoSuccess);
    EXPECT_EQ(ss, -32768);
    EXPECT_EQ(convert(u("32768"), &ss), ZoFailure);
    EXPECT_EQ(convert(u("-32769"), &ss), ZoFailure);
    EXPECT_EQ(ss, -32768);
    EXPECT_EQ(convert(u("255"), &uc), ZoSuccess);
    EXPECT_EQ(uc, 255);
    EXPECT_EQ(convert(u("256"), &uc), ZoFailure);
    EXPECT_EQ(convert(u("-128"), &sc), ZoSuccess);
    EXPECT_EQ(sc, -128);
    EXPECT_EQ(convert(u("127"), &sc), ZoSuccess);
    EXPECT_EQ(sc, 127);
    EXPECT_EQ(convert(u("128"), &sc), ZoFailure);
    EXPECT_EQ(lastNumber(), 2701);
    EXPECT_EQ(sc, 127);
    EXPECT_EQ(convert(u("99999999999"), &sc), ZoFailure); // beyond 32 bits as well
    EXPECT_EQ(lastNumber(), 2701);
}

TEST_F(ConvertTest, CountedForms) {
    uint16_t us = 0;
    uint32_t ul = 0;
    EXPECT_EQ(convert(u("123456"), 3, &us), ZoSuccess);
    EXPECT_EQ(us, 123);
    EXPECT_EQ(convert(u("4294967295999"), 10, &ul), ZoSuccess);
    EXPECT_EQ(ul, 4294967295u);
    EXPECT_EQ(convert(u("12\0"
                        "99"),
                      5, &ul),
              ZoSuccess); // a NUL ends the text
    EXPECT_EQ(ul, 12u);
    EXPECT_EQ(convert(u("70000"), 5, &us), ZoFailure);
    EXPECT_EQ(lastText(), "The number 70000 is out of range.");
    EXPECT_EQ(convert(u("12ab"), 3, &ul), ZoFailure);
    EXPECT_EQ(lastText(), "The text 12a is not a number."); // the parameter is the counted text
    // More than 79 bytes of blanks around a number are read in full.
    std::string wide(100, ' ');
    wide[90] = '5';
    EXPECT_EQ(convert(u(wide.c_str()), static_cast<unsigned short>(wide.size()), &ul), ZoSuccess);
    EXPECT_EQ(ul, 5u);
}

TEST_F(ConvertTest, IdeographicSpaceIsABlankInDoubleByteCodePages) {
    uint32_t v = 0;
    const char *text = "\x81\x40"
                       "12\x81\x40";
    EXPECT_EQ(convert(u(text), &v), ZoFailure); // 1252: 0x81 is no lead byte
    ASSERT_TRUE(zo::plat::setCodePageForTest(932));
    EXPECT_EQ(convert(u(text), &v), ZoSuccess);
    EXPECT_EQ(v, 12u);
    int32_t s = 0;
    EXPECT_EQ(convert(u("\x81\x40-\x81\x40"
                        "3"),
                      &s),
              ZoSuccess);
    EXPECT_EQ(s, -3);
    EXPECT_EQ(convert(u("1\x81"), &v), ZoFailure); // a lone lead byte is not a blank
    EXPECT_EQ(lastNumber(), 2702);
}

// Every number survives the trip through text, checked against the standard library.
TEST_F(ConvertTest, RoundTripsAgreeWithTheStandardLibrary) {
    std::mt19937 random(7);
    unsigned char out[16];
    for (int i = 0; i < 20000; ++i) {
        uint32_t value = random() >> (random() % 32);
        convert(out, value);
        ASSERT_EQ(str(out), std::to_string(value));
        uint32_t back = 0;
        ASSERT_EQ(convert(out, &back), ZoSuccess);
        ASSERT_EQ(back, value);
        auto signedValue = static_cast<int32_t>(value);
        convert(out, signedValue);
        ASSERT_EQ(str(out), std::to_string(signedValue));
        int32_t signedBack = 0;
        ASSERT_EQ(convert(out, &signedBack), ZoSuccess);
        ASSERT_EQ(signedBack, signedValue);
    }
}

// ---- hexadecimal

TEST_F(ConvertTest, HexifyNumbers) {
    unsigned char out[32];
    EXPECT_EQ(hexify(out, 0u, 0), 1u);
    EXPECT_EQ(str(out), "0");
    EXPECT_EQ(hexify(out, 255u, 4), 4u);
    EXPECT_EQ(str(out), "00FF");
    EXPECT_EQ(hexify(out, 0xDEADBEEFu, 2), 8u);
    EXPECT_EQ(str(out), "DEADBEEF");
    EXPECT_EQ(hexify(out, 0x1Au, 12), 12u);
    EXPECT_EQ(str(out), "00000000001A");
    EXPECT_EQ(hexify(out, 0x10000000u, 0), 8u);
    EXPECT_EQ(str(out), "10000000");
}

TEST_F(ConvertTest, HexifyBytesAndInPlace) {
    const unsigned char bytes[] = {0x01, 0xAB, 0x00, 0xF0};
    unsigned char out[16];
    std::memset(out, '#', sizeof out);
    EXPECT_EQ(hexify(out, bytes, 2), 4u);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(out), 5), "01AB#"); // no NUL
    unsigned char buffer[16] = {0x01, 0xAB, 0x00, 0xF0};
    EXPECT_EQ(hexifyHuge(buffer, buffer, 4), 8u);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(buffer), 8), "01AB00F0");

    unsigned char wide[16] = {0x01, 0xAB};
    EXPECT_EQ(wideHexify(wide, wide, 2), 8u);
    const unsigned char expected[] = {'0', 0, '1', 0, 'A', 0, 'B', 0};
    EXPECT_EQ(std::memcmp(wide, expected, sizeof expected), 0);
}

TEST_F(ConvertTest, DehexifyBothCasesOddLengthAndInPlace) {
    unsigned char out[8] = {};
    EXPECT_EQ(dehexify(out, u("01abCD"), 6), ZoSuccess);
    EXPECT_EQ(out[0], 0x01);
    EXPECT_EQ(out[1], 0xAB);
    EXPECT_EQ(out[2], 0xCD);
    EXPECT_EQ(dehexifyHuge(out, u("7"), 1), ZoSuccess);
    EXPECT_EQ(out[0], 0x70);
    unsigned char text[] = "FF0a";
    EXPECT_EQ(dehexify(text, text, 4), ZoSuccess);
    EXPECT_EQ(text[0], 0xFF);
    EXPECT_EQ(text[1], 0x0A);
    EXPECT_TRUE(capture.list.getCount() == 0);
}

TEST_F(ConvertTest, DehexifyRefusesOtherCharactersAndLeavesTheOutput) {
    unsigned char out[4] = {9, 9, 9, 9};
    EXPECT_EQ(dehexify(out, u("01G2"), 4), ZoFailure);
    EXPECT_EQ(lastNumber(), 2708);
    EXPECT_FALSE(lastText().empty());
    EXPECT_EQ(out[0], 9);
    uint32_t len = 5;
    EXPECT_EQ(dehexify(out, u("0 "), 2, 0, &len), ZoFailure);
    EXPECT_EQ(len, 5u);
    EXPECT_EQ(wideDehexify(out, u("0\0x\0"), 4), ZoFailure);
    EXPECT_EQ(isHexString(u("09afAF"), 6), 1);
    EXPECT_EQ(isHexString(u("09afAFg"), 7), 0);
    EXPECT_EQ(isHexString(u(""), 0), 1);
}

TEST_F(ConvertTest, DehexifyDoublingAByte) {
    unsigned char out[16] = {};
    uint32_t len = 0;
    EXPECT_EQ(dehexify(out, u("27412727"), 8, 0x27, &len), ZoSuccess);
    EXPECT_EQ(len, 7u);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(out), len), "''A''''");
    // In place: the output catches up with the text but never overtakes it.
    unsigned char text[] = "2727";
    EXPECT_EQ(dehexify(text, text, 4, 0x27, &len), ZoSuccess);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(text), len), "''''");
    EXPECT_EQ(dehexify(out, u("2"), 1, 0x20, nullptr), ZoSuccess);
    EXPECT_EQ(out[0], 0x20);
    EXPECT_EQ(out[1], 0x20);
}

TEST_F(ConvertTest, WideDehexifyAndRoundTrip) {
    std::vector<unsigned char> bytes(64);
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<unsigned char>(i * 37 + 11);
    std::vector<unsigned char> buffer(bytes.size() * 4);
    std::copy(bytes.begin(), bytes.end(), buffer.begin());
    EXPECT_EQ(wideHexify(buffer.data(), buffer.data(), 64), 256u);
    EXPECT_EQ(wideDehexify(buffer.data(), buffer.data(), 256), ZoSuccess);
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), buffer.begin()));
    unsigned char odd[2] = {};
    EXPECT_EQ(wideDehexify(odd, u("A\0B\0C\0"), 6), ZoSuccess);
    EXPECT_EQ(odd[0], 0xAB);
    EXPECT_EQ(odd[1], 0xC0);
}

// ---- scrambling

TEST_F(ConvertTest, ModeOneAndTwoComplement) {
    unsigned char buffer[] = {0x00, 0x0D, 0x0A, 0x41, 0xFF};
    encrypt(buffer, 5, 1, nullptr);
    const unsigned char one[] = {0xFF, 0xF2, 0xF5, 0xBE, 0x00};
    EXPECT_EQ(std::memcmp(buffer, one, 5), 0);
    decrypt(buffer, 5, 1, nullptr);
    const unsigned char plain[] = {0x00, 0x0D, 0x0A, 0x41, 0xFF};
    EXPECT_EQ(std::memcmp(buffer, plain, 5), 0);

    unsigned char text[] = "ab\r\ncd\r\n";
    encrypt(text, 8, 2, nullptr);
    EXPECT_EQ(text[2], '\r');
    EXPECT_EQ(text[3], '\n');
    EXPECT_EQ(text[0], static_cast<unsigned char>(~'a'));
    decrypt(text, 8, 2, nullptr);
    EXPECT_EQ(str(text), "ab\r\ncd\r\n");

    unsigned char same[] = "xyz";
    encrypt(same, 3, 4, nullptr); // other modes: unchanged
    EXPECT_EQ(str(same), "xyz");
}

TEST_F(ConvertTest, ModeTwoLosesTwoBytesAndTheCheckRefusesThem) {
    unsigned char text[] = {'a', 0xF2, 'b', 0xF5};
    EXPECT_EQ(checkScrambleReversible(text, 4, 1), ZoSuccess);
    EXPECT_EQ(checkScrambleReversible(text, 4, 3), ZoSuccess);
    EXPECT_EQ(checkScrambleReversible(text, 4, 2), ZoFailure);
    EXPECT_EQ(lastNumber(), 2711);
    EXPECT_NE(lastText().find("offset 1 "), std::string::npos) << lastText();
    EXPECT_EQ(checkScrambleReversible(u("plain\r\ntext"), 11, 2), ZoSuccess);
    // What the check protects against: the two bytes come back as CR and LF.
    encrypt(text, 4, 2, nullptr);
    decrypt(text, 4, 2, nullptr);
    const unsigned char after[] = {'a', 0x0D, 'b', 0x0A};
    EXPECT_EQ(std::memcmp(text, after, 4), 0);
}

TEST_F(ConvertTest, ModeThreeRestoresEveryLengthAndKey) {
    std::mt19937 random(3);
    const char *keys[] = {nullptr, "", "k", "ab", "key", "long key of many bytes"};
    for (const char *key : keys)
        for (uint32_t n : {1u, 2u, 3u, 4u, 7u, 8u, 33u}) {
            std::vector<unsigned char> plain(n);
            for (auto &b : plain)
                b = static_cast<unsigned char>(random());
            std::vector<unsigned char> buffer = plain;
            encrypt(buffer.data(), n, 3, u(key));
            if (n > 1) {
                EXPECT_NE(buffer, plain) << n;
            }
            decrypt(buffer.data(), n, 3, u(key));
            EXPECT_EQ(buffer, plain) << "n " << n << " key " << (key ? key : "null");
        }
}

TEST_F(ConvertTest, ModeThreeKeyRules) {
    auto scrambled = [](const char *key) {
        unsigned char buffer[] = "pairs of bytes";
        encrypt(buffer, 14, 3, u(key));
        return std::string(reinterpret_cast<char *>(buffer), 14);
    };
    // Only the first four key bytes count.
    EXPECT_EQ(scrambled("abcdXYZ"), scrambled("abcdQRS"));
    EXPECT_NE(scrambled("abcd"), scrambled("abce"));
    // A short key ends at its NUL; what follows comes from the built-in key.
    EXPECT_NE(scrambled("ab"), scrambled(nullptr));
    EXPECT_EQ(scrambled(""), scrambled(std::string("\0zzz", 4).c_str()));
    // One byte: exclusive or with key byte 0.
    unsigned char one[] = {0x55};
    encrypt(one, 1, 3, u("\x0F"));
    EXPECT_EQ(one[0], 0x5A);
    encrypt(one, 0, 3, u("x")); // nothing to do
    EXPECT_EQ(one[0], 0x5A);
}

} // namespace
