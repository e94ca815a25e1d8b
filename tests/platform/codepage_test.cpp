#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/codepage.h"
#include "platform/collate.h"
#include "platform/unicode.h"
#include "text/text_modes.h"

using zo::plat::ConvertStatus;
using zotest::CodePage;
using zotest::u;

namespace {

std::u16string toUnits(unsigned codePage, const std::string &text, ConvertStatus *status) {
    std::u16string units(text.size() + 4, u'\0');
    int32_t n = zo::plat::codePageToUcs2(codePage, u(text), static_cast<int32_t>(text.size()),
                                         reinterpret_cast<uint16_t *>(units.data()), static_cast<int32_t>(units.size()),
                                         status);
    units.resize(static_cast<size_t>(n));
    return units;
}

std::string toBytes(unsigned codePage, const std::u16string &units, ConvertStatus *status) {
    std::string bytes(units.size() * 2 + 4, '\0');
    int32_t n = zo::plat::ucs2ToCodePage(
        codePage, reinterpret_cast<const uint16_t *>(units.data()), static_cast<int32_t>(units.size()),
        reinterpret_cast<unsigned char *>(bytes.data()), static_cast<int32_t>(bytes.size()), status);
    bytes.resize(static_cast<size_t>(n));
    return bytes;
}

std::string mapped(void (*map)(unsigned char *, uint32_t), std::string text) {
    map(reinterpret_cast<unsigned char *>(text.data()), static_cast<uint32_t>(text.size()));
    return text;
}

} // namespace

TEST(PlatformCodePage, SingleByteCaseThroughUnicode) {
    using zo::plat::lowerByte;
    using zo::plat::upperByte;
    EXPECT_EQ(upperByte('a'), 'A');
    EXPECT_EQ(lowerByte('Z'), 'z');
    EXPECT_EQ(upperByte('['), '[');
    EXPECT_EQ(upperByte(0xE9), 0xC9); // e acute
    EXPECT_EQ(lowerByte(0xC9), 0xE9);
    EXPECT_EQ(upperByte(0xFF), 0x9F); // y diaeresis: its capital sits at 0x9F in 1252
    EXPECT_EQ(upperByte(0x9A), 0x8A); // s caron
    EXPECT_EQ(upperByte(0xB5), 0xB5); // micro sign: capital mu is not in 1252
    EXPECT_EQ(upperByte(0xDF), 0xDF); // sharp s has no single capital
    EXPECT_EQ(upperByte(0x81), 0x81); // undefined in 1252
    {
        CodePage cp(1251);
        EXPECT_EQ(upperByte(0xE0), 0xC0); // Cyrillic a
        EXPECT_EQ(lowerByte(0xA8), 0xB8); // Cyrillic io
    }
    {
        CodePage cp(1254);
        EXPECT_EQ(upperByte(0xFD), 'I'); // dotless i
        EXPECT_EQ(upperByte('i'), 'I');  // Unicode's own mapping, not Turkish rules
    }
    EXPECT_EQ(upperByte(0xE9), 0xC9); // back in 1252
}

TEST(PlatformCodePage, DoubleBytePageFoldsOnlySingleBytes) {
    CodePage cp(932);
    ASSERT_TRUE(zo::plat::hasLeadBytes());
    EXPECT_EQ(zo::plat::upperByte('q'), 'Q');
    EXPECT_EQ(zo::plat::upperByte(0x83), 0x83); // lead byte
    EXPECT_EQ(zo::plat::upperByte(0xB1), 0xB1); // half-width katakana
    EXPECT_EQ(zo::plat::oemCodePage(), 932u);
    // The buffer form leaves double-byte characters whole, trail bytes included.
    EXPECT_EQ(mapped(zo::plat::upperBuffer, "\x83\x61"
                                            "a\x95"),
              "\x83\x61"
              "A\x95");
    EXPECT_EQ(mapped(zo::plat::lowerBuffer, "\x82\x60"
                                            "AB"),
              "\x82\x60"
              "ab");
}

TEST(PlatformCodePage, SwitchingRebuildsTheTables) {
    EXPECT_FALSE(zo::plat::setCodePageForTest(65001));
    EXPECT_EQ(zo::plat::ansiCodePage(), 1252u);
    EXPECT_EQ(zo::plat::oemCodePage(), 437u);
    EXPECT_FALSE(zo::plat::hasLeadBytes());
    {
        CodePage cp(936);
        EXPECT_TRUE(zo::plat::isLeadByte(0xFE));
        EXPECT_EQ(zo::plat::ansiCodePage(), 936u);
    }
    EXPECT_FALSE(zo::plat::isLeadByte(0xFE));
    EXPECT_EQ(mapped(zo::plat::upperBuffer, "caf\xE9"), "CAF\xC9");
}

TEST(PlatformUnicode, SingleBytePageConversions) {
    ConvertStatus status;
    EXPECT_EQ(toUnits(1252, "A\x80\xE9", &status), u"A\u20AC\u00E9");
    EXPECT_EQ(status, ConvertStatus::Ok);
    EXPECT_EQ(toBytes(1252, u"A\u20AC\u00E9", &status), "A\x80\xE9");
    // Undefined bytes stand for the unit of the same value and convert back.
    EXPECT_EQ(toUnits(1252, "\x81", &status), u"\u0081");
    EXPECT_EQ(toBytes(1252, u"\u0081", &status), "\x81");
    // What the page cannot hold becomes '?'; NUL bytes are converted and counted.
    EXPECT_EQ(toBytes(1252, u"x\u4E00y", &status), "x?y");
    EXPECT_EQ(toUnits(1252, std::string("a\0b", 3), &status), std::u16string(u"a\0b", 3));
    // The OEM page 437.
    EXPECT_EQ(toUnits(437, "\x82", &status), u"\u00E9");
}

TEST(PlatformUnicode, DoubleBytePageConversions) {
    CodePage cp(932);
    ConvertStatus status;
    EXPECT_EQ(toUnits(932,
                      "\x95\x5C"
                      "a\xB1",
                      &status),
              u"\u8868a\uFF71");
    EXPECT_EQ(status, ConvertStatus::Ok);
    EXPECT_EQ(toBytes(932, u"\u8868a\uFF71", &status), "\x95\x5C"
                                                       "a\xB1");
    // A lead byte cut short by the end, and a unit the page lacks, become '?'.
    EXPECT_EQ(toUnits(932, "a\x95", &status), u"a?");
    EXPECT_EQ(toBytes(932, u"\u00E9x", &status), "?x");
    // Counting only.
    EXPECT_EQ(zo::plat::codePageToUcs2(932,
                                       u("\x95\x5C"
                                         "ab"),
                                       4, nullptr, 0, &status),
              3);
    const uint16_t units[] = {0x8868, 'a'};
    EXPECT_EQ(zo::plat::ucs2ToCodePage(932, units, 2, nullptr, 0, &status), 3);
}

TEST(PlatformUnicode, ArgumentsAndShortBuffers) {
    ConvertStatus status;
    uint16_t units[2];
    unsigned char bytes[2];
    EXPECT_EQ(zo::plat::codePageToUcs2(1252, nullptr, 3, units, 2, &status), 0);
    EXPECT_EQ(status, ConvertStatus::InvalidParameter);
    EXPECT_EQ(zo::plat::codePageToUcs2(1252, u("abc"), -1, units, 2, &status), 0);
    EXPECT_EQ(status, ConvertStatus::InvalidParameter);
    EXPECT_EQ(zo::plat::codePageToUcs2(1252, u("abc"), 3, nullptr, 2, &status), 0);
    EXPECT_EQ(status, ConvertStatus::InvalidParameter);
    // A short destination keeps what fits.
    EXPECT_EQ(zo::plat::codePageToUcs2(1252, u("abc"), 3, units, 2, &status), 0);
    EXPECT_EQ(status, ConvertStatus::InsufficientBuffer);
    EXPECT_EQ(units[0], 'a');
    EXPECT_EQ(units[1], 'b');
    const uint16_t src[] = {'x', 'y', 'z'};
    EXPECT_EQ(zo::plat::ucs2ToCodePage(1252, src, 3, bytes, 2, &status), 0);
    EXPECT_EQ(status, ConvertStatus::InsufficientBuffer);
    EXPECT_EQ(bytes[1], 'y');
    CodePage cp(932);
    // A double-byte character never goes in half.
    const uint16_t wide[] = {'a', 0x8868};
    EXPECT_EQ(zo::plat::ucs2ToCodePage(932, wide, 2, bytes, 2, &status), 0);
    EXPECT_EQ(status, ConvertStatus::InsufficientBuffer);
    EXPECT_EQ(zo::plat::codePageToUcs2(932,
                                       u("\x95\x5C\x95\x5C"
                                         "abc"),
                                       7, units, 2, &status),
              0);
    EXPECT_EQ(status, ConvertStatus::InsufficientBuffer);
    EXPECT_EQ(units[1], 0x8868);
}

TEST(PlatformUnicode, DoubleByteConversionsFromManyThreads) {
    CodePage cp(949);
    std::vector<std::thread> threads;
    std::vector<int> failures(6, 0);
    for (int t = 0; t < 6; ++t)
        threads.emplace_back([t, &failures] {
            for (int i = 0; i < 300; ++i) {
                ConvertStatus status;
                if (toBytes(949, toUnits(949, "\xB0\xA1 ok", &status), &status) != "\xB0\xA1 ok")
                    ++failures[t];
            }
        });
    for (std::thread &thread : threads)
        thread.join();
    for (int f : failures)
        EXPECT_EQ(f, 0);
}

TEST(PlatformCollate, LocaleNameFromTheEnvironment) {
    char name[32];
    auto localeOf = [&name](const char *all, const char *collate, const char *lang) {
        zo::plat::collationLocaleName(all, collate, lang, name, sizeof name);
        return std::string(name);
    };
    EXPECT_EQ(localeOf(nullptr, nullptr, nullptr), "");
    EXPECT_EQ(localeOf(nullptr, nullptr, "de_DE.UTF-8"), "de_DE");
    EXPECT_EQ(localeOf("", "sv_SE@euro", "de_DE"), "sv_SE");
    EXPECT_EQ(localeOf("fr_CA.ISO-8859-1", "sv_SE", "de_DE"), "fr_CA");
    EXPECT_EQ(localeOf("C", nullptr, "de_DE"), "");
    EXPECT_EQ(localeOf(nullptr, nullptr, "C.UTF-8"), "");
    EXPECT_EQ(localeOf(nullptr, "POSIX", nullptr), "");
    char small[4];
    zo::plat::collationLocaleName(nullptr, nullptr, "de_DE", small, sizeof small);
    EXPECT_STREQ(small, "de_");
}

TEST(PlatformCollate, ComparesAnsiTextByCollation) {
    EXPECT_LT(zo::plat::collateCompare(u("a"), 1, u("B"), 1, false), 0);
    EXPECT_GT(zo::plat::collateCompare(u("b"), 1, u("A"), 1, true), 0);
    EXPECT_EQ(zo::plat::collateCompare(u("\xC9t\xC9"), 3, u("\xE9t\xE9"), 3, true), 0);
    EXPECT_NE(zo::plat::collateCompare(u("\xC9t\xC9"), 3, u("\xE9t\xE9"), 3, false), 0);
    EXPECT_EQ(zo::plat::collateCompare(u(""), 0, u(""), 0, false), 0);
    // Released collators are opened again on the next comparison.
    zo::plat::codePageRelease();
    EXPECT_LT(zo::plat::collateCompare(u("a"), 1, u("b"), 1, false), 0);
}
