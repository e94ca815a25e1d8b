#include <zo/cvwchar.h>
#include <zo/ramalloc.h>

#include <gtest/gtest.h>
#include <iconv.h>
#include <unicode/ucnv.h>

#include <cstring>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "support/alloc_failure.h"
#include "text/cvlimits.h"
#include "text/text_modes.h"

using zotest::CodePage;

namespace {

using Units = std::u16string;
using Bytes = std::string;

int32_t sz(size_t n) { return static_cast<int32_t>(n); }

// ---- The library's conversions as string functions --------------------------------------

// Runs a conversion into a destination of `room` elements (filled with 0x5A first, so that
// what it writes beyond its count shows) and keeps the elements it counts.
template <class Out, class Src, class Convert>
std::basic_string<Out> convert(Convert conversion, const Src &src, size_t room, ZoConvertReturn *code,
                               int32_t *written) {
    std::basic_string<Out> dest(room + 1, static_cast<Out>(0x5A));
    int32_t n = 0;
    ZoConvertReturn c = conversion(dest.data(), sz(room), src.data(), sz(src.size()), &n);
    dest.resize(static_cast<size_t>(n > 0 ? n : 0));
    if (code != nullptr)
        *code = c;
    if (written != nullptr)
        *written = n;
    return dest;
}

Bytes toUtf8(const Units &w, size_t room, ZoConvertReturn *code = nullptr, int32_t *written = nullptr) {
    auto f = [](char *d, int32_t size, const char16_t *s, int32_t n, int32_t *wr) {
        return cvUCS2ToUTF8(reinterpret_cast<unsigned char *>(d), size, reinterpret_cast<const uint16_t *>(s), n, wr);
    };
    return convert<char>(f, w, room, code, written);
}

Units fromUtf8(const Bytes &b, size_t room, ZoConvertReturn *code = nullptr) {
    auto f = [](char16_t *d, int32_t size, const char *s, int32_t n, int32_t *wr) {
        return cvUTF8ToUCS2(reinterpret_cast<uint16_t *>(d), size, reinterpret_cast<const unsigned char *>(s), n, wr);
    };
    return convert<char16_t>(f, b, room, code, nullptr);
}

Bytes toAnsi(const Units &w, size_t room, ZoConvertReturn *code = nullptr) {
    auto f = [](char *d, int32_t size, const char16_t *s, int32_t n, int32_t *wr) {
        return cvUCS2ToAnsi(d, size, reinterpret_cast<const uint16_t *>(s), n, nullptr, wr, 0);
    };
    return convert<char>(f, w, room, code, nullptr);
}

Units fromAnsi(const Bytes &b, size_t room, ZoConvertReturn *code = nullptr) {
    auto f = [](char16_t *d, int32_t size, const char *s, int32_t n, int32_t *wr) {
        return cvAnsiToUCS2(reinterpret_cast<uint16_t *>(d), size, s, n, nullptr, wr, 0);
    };
    return convert<char16_t>(f, b, room, code, nullptr);
}

using ByteConversion = ZoConvertReturn (*)(unsigned char *, int32_t, const unsigned char *, int32_t, const uint16_t *,
                                           int32_t *, int32_t);

// cvUTF8ToAnsi or cvAnsiToUTF8.
Bytes bytesVia(ByteConversion conversion, const Bytes &b, size_t room, ZoConvertReturn *code = nullptr,
               int32_t *written = nullptr) {
    auto f = [conversion](char *d, int32_t size, const char *s, int32_t n, int32_t *wr) {
        return conversion(reinterpret_cast<unsigned char *>(d), size, reinterpret_cast<const unsigned char *>(s), n,
                          nullptr, wr, 0);
    };
    return convert<char>(f, b, room, code, written);
}

// ---- The anchors: glibc iconv and ICU ----------------------------------------------------

// An iconv descriptor kept open for many conversions.
class Iconv {
public:
    Iconv(const char *to, const char *from) : cd_(iconv_open(to, from)) {}
    ~Iconv() {
        if (ok())
            iconv_close(cd_);
    }
    Iconv(const Iconv &) = delete;
    Iconv &operator=(const Iconv &) = delete;
    bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
    // The whole input converted, or nothing when iconv refuses any of it.
    std::optional<Bytes> operator()(const Bytes &in) const {
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        Bytes out(in.size() * 4 + 8, '\0');
        char *ip = const_cast<char *>(in.data()), *op = out.data();
        size_t il = in.size(), ol = out.size();
        if (iconv(cd_, &ip, &il, &op, &ol) == static_cast<size_t>(-1))
            return std::nullopt;
        out.resize(out.size() - ol);
        return out;
    }

private:
    iconv_t cd_;
};

Bytes unitBytes(const Units &w) { return Bytes(reinterpret_cast<const char *>(w.data()), w.size() * 2); }
Units bytesUnits(const Bytes &b) { return Units(reinterpret_cast<const char16_t *>(b.data()), b.size() / 2); }

std::string pageName(unsigned page) { return "CP" + std::to_string(page); }

// ---- Edge cases ---------------------------------------------------------------------------

TEST(CvUtf8, EncodesUnitsInOneToThreeBytes) {
    ZoConvertReturn code;
    int32_t written;
    EXPECT_EQ(toUtf8(u"\u20AC", 8, &code, &written), "\xE2\x82\xAC");
    EXPECT_EQ(code, ZoConvertOk);
    EXPECT_EQ(written, 3);
    // A unit that does not fit is not written at all.
    EXPECT_EQ(toUtf8(u"\u20AC", 2, &code, &written), "");
    EXPECT_EQ(code, ZoConvertTruncated);
    EXPECT_EQ(written, 0);
    // A NUL is written and ends the conversion without being counted.
    unsigned char out[8] = {};
    const uint16_t withNul[] = {'A', 0, 'B'};
    EXPECT_EQ(cvUCS2ToUTF8(out, 8, withNul, 3, &written), ZoConvertOk);
    EXPECT_EQ(written, 1);
    EXPECT_EQ(Bytes(reinterpret_cast<char *>(out), 3), Bytes("A\0\0", 3));
    // A surrogate pair is two three-byte sequences.
    EXPECT_EQ(toUtf8(u"\U0001F600", 8), "\xED\xA0\xBD\xED\xB8\x80");
}

TEST(CvUtf8, DecodesWithoutLookingPastTheSource) {
    EXPECT_EQ(fromUtf8("\xC3\xA9", 4), u"\u00E9");
    // Four-byte sequences are not decoded: their bytes are units.
    EXPECT_EQ(fromUtf8("\xF0\x9F\x98\x80", 8), Units(u"\u00F0\u009F\u0098\u0080"));
    // A sequence cut short by the end of the source: the bytes there are units of their own.
    EXPECT_EQ(fromUtf8("a\xE2\x82", 8), Units(u"a\u00E2\u0082"));
    EXPECT_EQ(fromUtf8("a\xC3", 8), Units(u"a\u00C3"));
    // Continuation bytes are not checked; a stray one is its own unit.
    EXPECT_EQ(fromUtf8("\xC3(\x80", 8), Units(u"\u00E8\u0080"));
    ZoConvertReturn code;
    EXPECT_EQ(fromUtf8("abc", 2, &code), u"ab");
    EXPECT_EQ(code, ZoConvertTruncated);
    // A sequence that decodes to 0 ends the source as a 0 byte does, also amid a long text
    // (found by fuzzing: the bulk loop counted it).
    for (const Bytes &nul : {Bytes("\xC0\x80", 2), Bytes("\xE0\x80\x80", 3), Bytes("\xC0\0", 2)}) {
        const Bytes text = "!" + nul + std::string(40, 'x');
        uint16_t units[64];
        int32_t written = -1;
        ASSERT_EQ(
            cvUTF8ToUCS2(units, 64, reinterpret_cast<const unsigned char *>(text.data()), sz(text.size()), &written),
            ZoConvertOk);
        EXPECT_EQ(written, 1);
        EXPECT_EQ(units[1], 0);
        EXPECT_EQ(bytesVia(cvUTF8ToAnsi, text, 64, &code, &written), "!");
        EXPECT_EQ(code, ZoConvertOk);
    }
}

TEST(CvConvert, InvalidArgumentsGiveFourAndNoCount) {
    unsigned char bytes[4];
    uint16_t units[4];
    const uint16_t src[] = {'a'};
    int32_t written = 77;
    EXPECT_EQ(cvUCS2ToUTF8(bytes, 4, src, 0, &written), ZoConvertInvalid);
    EXPECT_EQ(written, 0);
    EXPECT_EQ(cvUCS2ToUTF8(nullptr, 4, src, 1, &written), ZoConvertInvalid);
    EXPECT_EQ(cvUCS2ToUTF8(bytes, 4, src, 1, nullptr), ZoConvertInvalid);
    EXPECT_EQ(cvUTF8ToUCS2(units, 0, bytes, 1, &written), ZoConvertInvalid);
    EXPECT_EQ(cvUTF8ToUCS2(units, 4, nullptr, 1, &written), ZoConvertInvalid);
    EXPECT_EQ(cvUCS2ToAnsi(reinterpret_cast<char *>(bytes), -1, src, 1, nullptr, &written, 0), ZoConvertInvalid);
    EXPECT_EQ(cvAnsiToUnicode(units, 4, "a", 0, nullptr, &written, 0), ZoConvertInvalid);
    EXPECT_EQ(cvUnicodeToAnsi(nullptr, 4, src, 1, nullptr, &written, 0), ZoConvertInvalid);
    EXPECT_EQ(cvUTF8ToAnsi(bytes, 4, reinterpret_cast<const unsigned char *>("a"), 0, nullptr, &written, 0),
              ZoConvertInvalid);
    EXPECT_EQ(cvAnsiToUTF8(bytes, 0, reinterpret_cast<const unsigned char *>("a"), 1, nullptr, &written, 0),
              ZoConvertInvalid);
    EXPECT_EQ(written, 0);
    EXPECT_EQ(setConversionReturnLength(ZoConvertInvalid, 17), 0);
    EXPECT_EQ(setConversionReturnLength(ZoConvertFailed, 17), 0);
    EXPECT_EQ(setConversionReturnLength(ZoConvertTruncated, 17), 17);
    EXPECT_EQ(setConversionReturnLength(ZoConvertOk, 17), 17);
}

TEST(CvConvert, AsciiPrefixThatDoesNotFitIsReportedCut) {
    ZoConvertReturn code;
    int32_t written;
    EXPECT_EQ(bytesVia(cvUTF8ToAnsi, "abcdefghij", 4, &code, &written), "abcd");
    EXPECT_EQ(code, ZoConvertTruncated);
    EXPECT_EQ(written, 4);
    // A prefix that fills the destination exactly, with more source after it.
    EXPECT_EQ(bytesVia(cvAnsiToUTF8, "abcd\xE9", 4, &code, &written), "abcd");
    EXPECT_EQ(code, ZoConvertTruncated);
    // Exactly the room needed: no terminator is asked for that the source does not hold.
    EXPECT_EQ(bytesVia(cvAnsiToUTF8, "ab\xE9", 4, &code, &written), "ab\xC3\xA9");
    EXPECT_EQ(code, ZoConvertOk);
    EXPECT_EQ(bytesVia(cvUTF8ToAnsi, "ab\xC3\xA9", 3, &code), "ab\xE9");
    EXPECT_EQ(code, ZoConvertOk);
    // A NUL ends the source, in the prefix or after it.
    EXPECT_EQ(bytesVia(cvAnsiToUTF8, Bytes("ab\0cd", 5), 8, &code, &written), "ab");
    EXPECT_EQ(code, ZoConvertOk);
    unsigned char out[8] = {1, 1, 1, 1, 1, 1, 1, 1};
    EXPECT_EQ(cvAnsiToUTF8(out, 8, reinterpret_cast<const unsigned char *>("\xE9\0x"), 3, nullptr, &written, 0),
              ZoConvertOk);
    EXPECT_EQ(written, 2);
    EXPECT_EQ(Bytes(reinterpret_cast<char *>(out), 3), Bytes("\xC3\xA9\0", 3));
}

TEST(CvConvert, PlatformConversionsStopAtANulAndKeepWholeCharacters) {
    ZoConvertReturn code;
    EXPECT_EQ(fromAnsi(Bytes("a\0b", 3), 4, &code), u"a");
    EXPECT_EQ(code, ZoConvertOk);
    EXPECT_EQ(toAnsi(u"x\u4E00y", 8), "x?y");
    CodePage cp(932);
    // A double-byte character that does not fit whole is not written, nor counted.
    EXPECT_EQ(toAnsi(u"a\u8868", 2, &code), "a");
    EXPECT_EQ(code, ZoConvertTruncated);
    EXPECT_EQ(fromAnsi("\x95\x5C\x95\x5C", 1, &code), u"\u8868");
    EXPECT_EQ(code, ZoConvertTruncated);
}

// A lone lead byte at the end of a double-byte source, or one followed by a byte that
// cannot follow it, is a character of its own ('?'); the byte after it is read on its own.
TEST(CvConvert, LeadByteCutShortIsACharacterOfItsOwn) {
    CodePage cp(932);
    for (uint32_t limit : {zo::text::kWholeTextLimit, 0u}) {
        uint32_t before = zo::text::setWholeTextLimitForTest(limit);
        EXPECT_EQ(bytesVia(cvAnsiToUTF8, "\xB1x\x95", 16), "\xEF\xBD\xB1x?");
        EXPECT_EQ(bytesVia(cvAnsiToUTF8, "\x95\n", 16), "?\n");
        EXPECT_EQ(fromAnsi("a\x95", 4), u"a?");
        EXPECT_EQ(bytesVia(cvUTF8ToAnsi, "\xE8\xA1\xA8\xE8\xA1", 16), "\x95\x5C??");
        zo::text::setWholeTextLimitForTest(before);
    }
}

TEST(CvUcs2, UtilitiesCountCopyAndDuplicate) {
    const uint16_t text[] = {'a', 0x4E00, 'b', 0};
    EXPECT_EQ(cvUCS2Len(text), 3u);
    EXPECT_EQ(cvUnicodeLen(nullptr), 0u);
    EXPECT_EQ(cvAsciiLenOfUnicodeStr(text), 3u); // '?' for the ideograph
    {
        CodePage cp(936);
        EXPECT_EQ(cvAsciiLenOfUnicodeStr(text), 4u);
    }
    uint16_t *dup = cvUnicodeDup(text);
    ASSERT_NE(dup, nullptr);
    EXPECT_EQ(wcsCompare(dup, text), 0);
    ramFree(dup);
    {
        zotest::NoMemory none;
        EXPECT_EQ(cvUnicodeDup(text), nullptr);
    }
    uint16_t dest[4] = {9, 9, 9, 9};
    EXPECT_EQ(cvUnicodeCopy(dest, text), 3u);
    EXPECT_EQ(dest[3], 9); // no terminator
    const uint16_t empty[] = {0};
    EXPECT_EQ(cvUnicodeCopy(dest, empty), 0u);
    EXPECT_EQ(cvUnicodeCopy(nullptr, text), 0u);
}

TEST(Wcs, CaseMappingComesFromUnicode) {
    Units text = u"stra\u00DFe \u03C3\u03C2 \u0131i \U00010428x";
    EXPECT_EQ(wcsUpper(reinterpret_cast<uint16_t *>(text.data())), text.size());
    // Simple mappings: sharp s stays, both sigmas become capital sigma, the dotless i
    // becomes I; a surrogate pair maps as its character.
    EXPECT_EQ(text, u"STRA\u00DFE \u03A3\u03A3 II \U00010400X");
    EXPECT_EQ(wcsLower(reinterpret_cast<uint16_t *>(text.data())), text.size());
    EXPECT_EQ(text, u"stra\u00DFe \u03C3\u03C3 ii \U00010428x");
    Units lone = u"\xD801q";
    wcsUpper(reinterpret_cast<uint16_t *>(lone.data()));
    EXPECT_EQ(lone, u"\xD801Q");
    uint16_t empty[] = {0};
    EXPECT_EQ(wcsUpper(empty), 0u);
}

TEST(Wcs, CopyCompareAndFind) {
    auto w = [](const char16_t *s) { return reinterpret_cast<const uint16_t *>(s); };
    uint16_t buffer[16];
    wcsCopy(buffer, w(u"ab"));
    wcsCat(buffer, w(u"cd"));
    EXPECT_EQ(wcsLen(buffer), 4u);
    EXPECT_EQ(wcsCompare(buffer, w(u"abcd")), 0);
    uint16_t padded[5] = {9, 9, 9, 9, 9};
    wcsCopy(padded, w(u"xy"), 4);
    EXPECT_EQ(Units(reinterpret_cast<char16_t *>(padded), 5), Units(u"xy\0\0\x09", 5));
    wcsCopy(padded, w(u"abcdef"), 3);
    EXPECT_EQ(padded[2], 'c');
    EXPECT_EQ(padded[3], 0);

    struct Case {
        const char16_t *a, *b;
        short exact, blind;
    } cases[] = {
        {u"abc", u"abc", 0, 0}, {u"abc", u"ABC", 1, 0},       {u"ab", u"abc", -1, -1}, {u"_", u"a", -1, -1},
        {u"_", u"A", 1, -1},    {u"\u00E9", u"\u00C9", 1, 1}, {u"\xFFFF", u"a", 1, 1}, {u"Zebra", u"apple", -1, 1},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(wcsCompare(w(c.a), w(c.b)), c.exact);
        EXPECT_EQ(wcsCompareCi(w(c.a), w(c.b)), c.blind);
        EXPECT_EQ(wcsEqual(w(c.a), w(c.b)), c.exact == 0);
        EXPECT_EQ(wcsEqualCi(w(c.a), w(c.b)), c.blind == 0);
    }
    // The counted forms compare the common length only.
    EXPECT_EQ(wcsCompare(w(u"abc"), 3, w(u"abd"), 2), 0);
    EXPECT_EQ(wcsEqualCi(w(u"ABx"), 2, w(u"abcd"), 4), 1);
    EXPECT_EQ(wcsCompareCi(w(u"b"), 1, w(u"A"), 1), 1);

    const uint16_t *text = w(u"banana");
    EXPECT_EQ(wcsFind(text, w(u"nan")), text + 2);
    EXPECT_EQ(wcsFind(text, w(u"")), text);
    EXPECT_EQ(wcsFind(text, w(u"bananas")), nullptr);
    EXPECT_EQ(wcsFind(text, static_cast<unsigned char>('a')), text + 1);
    EXPECT_EQ(wcsFind(text, 'a', strFindLast), text + 5);
    EXPECT_EQ(wcsFind(text, 'z', strFindLast), nullptr);
    EXPECT_EQ(wcsFind(text, static_cast<unsigned char>(0)), nullptr);
    EXPECT_EQ(Units(reinterpret_cast<const char16_t *>(text)), u"banana"); // not reversed
    EXPECT_EQ(wcsCharNext(text), text + 1);
    EXPECT_EQ(wcsCharNext(text, 4), text + 4);
}

// ---- UTF-8 against iconv over every unit ----------------------------------------------------

// Every unit that is not a surrogate half encodes as iconv encodes it and decodes back;
// surrogate halves are three bytes each, and a pair is what ICU's CESU-8 makes of it
// (iconv refuses halves: they are no characters of UTF-8).
TEST(CvUtf8Differential, EveryUnitAgainstIconvAndCesu8) {
    Iconv encode("UTF-8", "UTF-16LE"), decode("UTF-16LE", "UTF-8");
    ASSERT_TRUE(encode.ok() && decode.ok());
    for (uint32_t unit = 1; unit < 0x10000; ++unit) {
        const Units w(1, static_cast<char16_t>(unit));
        const Bytes ours = toUtf8(w, 3);
        const bool half = unit >= 0xD800 && unit <= 0xDFFF;
        if (!half) {
            ASSERT_EQ(std::optional<Bytes>(ours), encode(unitBytes(w))) << std::hex << unit;
            ASSERT_EQ(bytesUnits(*decode(ours)), w);
        } else {
            ASSERT_FALSE(encode(unitBytes(w)).has_value());
            ASSERT_EQ(ours.size(), 3u);
        }
        ASSERT_EQ(fromUtf8(ours, 2), w) << std::hex << unit;
    }
    // Random texts of units from every range but the surrogates.
    std::mt19937 texts(11);
    for (int round = 0; round < 300; ++round) {
        Units w;
        for (size_t n = texts() % 300; n > 0; --n) {
            const uint32_t unit = 1 + texts() % (texts() % 2 ? 0x7F : 0xFFFE);
            w += static_cast<char16_t>(unit >= 0xD800 && unit <= 0xDFFF ? unit - 0x800 : unit);
        }
        const Bytes utf8 = toUtf8(w, w.size() * 3);
        ASSERT_EQ(std::optional<Bytes>(utf8), encode(unitBytes(w)));
        ASSERT_EQ(fromUtf8(utf8, w.size()), w);
    }
    UErrorCode error = U_ZERO_ERROR;
    UConverter *cesu = ucnv_open("CESU-8", &error);
    ASSERT_TRUE(U_SUCCESS(error));
    std::mt19937 rng(7);
    for (int i = 0; i < 2000; ++i) {
        const Units pair = {static_cast<char16_t>(0xD800 + rng() % 0x400),
                            static_cast<char16_t>(0xDC00 + rng() % 0x400)};
        char expected[16];
        error = U_ZERO_ERROR;
        int32_t n =
            ucnv_fromUChars(cesu, expected, sizeof expected, reinterpret_cast<const UChar *>(pair.data()), 2, &error);
        ASSERT_TRUE(U_SUCCESS(error));
        ASSERT_EQ(toUtf8(pair, 8), Bytes(expected, static_cast<size_t>(n)));
        ASSERT_EQ(fromUtf8(Bytes(expected, static_cast<size_t>(n)), 4), pair);
    }
    ucnv_close(cesu);
}

// ---- The ANSI code pages against iconv -----------------------------------------------------

struct PageMaps {
    std::vector<std::optional<Bytes>> ofUnit; // iconv's bytes for every unit
    std::vector<char16_t> encodable;          // units iconv can write in the page
};

// What iconv makes of every unit alone, in the active page.
PageMaps mapEveryUnit(unsigned page) {
    Iconv toPage(pageName(page).c_str(), "UTF-16LE");
    PageMaps maps;
    maps.ofUnit.resize(0x10000);
    for (uint32_t unit = 1; unit < 0x10000; ++unit) {
        maps.ofUnit[unit] = toPage(unitBytes(Units(1, static_cast<char16_t>(unit))));
        if (maps.ofUnit[unit])
            maps.encodable.push_back(static_cast<char16_t>(unit));
    }
    return maps;
}

class CvAnsiDifferential : public testing::TestWithParam<unsigned> {};

// Every unit to the page: iconv's bytes where iconv has them, '?' else, except that a
// single-byte page keeps the units of its undefined bytes as those bytes (so they
// round-trip, as the bytes become those units).
TEST_P(CvAnsiDifferential, EveryUnitToThePage) {
    const unsigned page = GetParam();
    CodePage cp(page);
    ASSERT_TRUE(cp.ok());
    const PageMaps maps = mapEveryUnit(page);
    const bool singleByte = !zo::plat::hasLeadBytes();
    for (uint32_t unit = 1; unit < 0x10000; ++unit) {
        const Bytes ours = toAnsi(Units(1, static_cast<char16_t>(unit)), 2);
        if (maps.ofUnit[unit]) {
            ASSERT_EQ(ours, *maps.ofUnit[unit]) << std::hex << unit;
        } else if (singleByte && unit >= 0x80 && unit <= 0xFF &&
                   fromAnsi(Bytes(1, static_cast<char>(unit)), 1) == Units(1, static_cast<char16_t>(unit))) {
            ASSERT_EQ(ours, Bytes(1, static_cast<char>(unit))) << std::hex << unit;
        } else {
            ASSERT_EQ(ours, "?") << std::hex << unit;
        }
    }
}

// Every byte and every lead and trail pair from the page: iconv's unit where iconv has
// one; else '?' for the character (in a single-byte page the byte's own value), where a
// pair whose second byte follows no lead byte of the page is the lead alone.
TEST_P(CvAnsiDifferential, EveryCharacterFromThePage) {
    const unsigned page = GetParam();
    CodePage cp(page);
    Iconv fromPage("UTF-16LE", pageName(page).c_str());
    std::vector<bool> trail(256, false);
    std::vector<std::optional<Units>> pairs(0x10000);
    for (unsigned lead = 0x80; lead < 256; ++lead)
        if (zo::plat::isLeadByte(static_cast<unsigned char>(lead)))
            for (unsigned t = 0; t < 256; ++t) {
                auto units = fromPage(Bytes{static_cast<char>(lead), static_cast<char>(t)});
                if (units && units->size() == 2) {
                    pairs[lead * 256 + t] = bytesUnits(*units);
                    trail[t] = true;
                }
            }
    for (unsigned b = 1; b < 256; ++b) {
        const Bytes one(1, static_cast<char>(b));
        auto expected = fromPage(one);
        Units ours = fromAnsi(one, 2);
        if (expected && expected->size() == 2)
            ASSERT_EQ(ours, bytesUnits(*expected)) << std::hex << b;
        else
            ASSERT_EQ(ours, zo::plat::hasLeadBytes() ? u"?" : Units(1, static_cast<char16_t>(b))) << std::hex << b;
        if (!zo::plat::isLeadByte(static_cast<unsigned char>(b)))
            continue;
        for (unsigned t = 1; t < 256; ++t) {
            const Bytes two{static_cast<char>(b), static_cast<char>(t)};
            Units got = fromAnsi(two, 4);
            if (pairs[b * 256 + t])
                ASSERT_EQ(got, *pairs[b * 256 + t]) << std::hex << b << ' ' << t;
            else if (trail[t])
                ASSERT_EQ(got, u"?") << std::hex << b << ' ' << t;
            else
                ASSERT_EQ(got, u"?" + fromAnsi(Bytes(1, static_cast<char>(t)), 2)) << std::hex << b << ' ' << t;
        }
    }
}

// Random texts of characters the page has, mixed with ASCII: each of the conversions gives
// what iconv gives on the same bytes, through the temporary buffer and character by
// character alike.
TEST_P(CvAnsiDifferential, RandomMixedTexts) {
    const unsigned page = GetParam();
    CodePage cp(page);
    const PageMaps maps = mapEveryUnit(page);
    Iconv toPage(pageName(page).c_str(), "UTF-16LE"), pageToUnits("UTF-16LE", pageName(page).c_str()),
        pageToUtf8("UTF-8", pageName(page).c_str()), utf8ToPage(pageName(page).c_str(), "UTF-8");
    std::mt19937 rng(page);
    for (int round = 0; round < 300; ++round) {
        Units units;
        const size_t length = rng() % 200;
        for (size_t i = 0; i < length; ++i)
            units += rng() % 3 == 0 ? static_cast<char16_t>(0x20 + rng() % 0x5F)
                                    : maps.encodable[rng() % maps.encodable.size()];
        const Bytes ansi = *toPage(unitBytes(units));
        ASSERT_EQ(toAnsi(units, ansi.size() + 1), ansi);
        if (ansi.empty())
            continue;
        const Units back = bytesUnits(*pageToUnits(ansi));
        const Bytes utf8 = *pageToUtf8(ansi);
        ASSERT_EQ(fromAnsi(ansi, back.size()), back);
        for (uint32_t limit : {zo::text::kWholeTextLimit, 0u}) {
            uint32_t before = zo::text::setWholeTextLimitForTest(limit);
            ZoConvertReturn code;
            ASSERT_EQ(bytesVia(cvAnsiToUTF8, ansi, utf8.size(), &code), utf8);
            ASSERT_EQ(code, ZoConvertOk);
            ASSERT_EQ(std::optional<Bytes>(bytesVia(cvUTF8ToAnsi, utf8, utf8.size(), &code)), utf8ToPage(utf8));
            ASSERT_EQ(code, ZoConvertOk);
            zo::text::setWholeTextLimitForTest(before);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Pages, CvAnsiDifferential, testing::Values(1252u, 1250u, 932u, 936u, 949u, 950u));

// ---- Short destinations: the longest run of whole characters that fits -------------------

// Start offsets of the characters of a UTF-8 output, or of an ANSI output by lead bytes.
std::vector<size_t> utf8Starts(const Bytes &b) {
    std::vector<size_t> starts;
    for (size_t i = 0; i < b.size(); ++i)
        if ((static_cast<unsigned char>(b[i]) & 0xC0) != 0x80)
            starts.push_back(i);
    starts.push_back(b.size());
    return starts;
}

std::vector<size_t> ansiStarts(const Bytes &b) {
    std::vector<size_t> starts;
    for (size_t i = 0; i < b.size(); i += zo::plat::isLeadByte(static_cast<unsigned char>(b[i])) ? 2 : 1)
        starts.push_back(i);
    starts.push_back(b.size());
    return starts;
}

// The output into `room` bytes is the full output cut at the last character start that
// fits, reported as cut when anything was left out.
void expectCutAtCharacter(const Bytes &full, const std::vector<size_t> &starts, size_t room, const Bytes &cut,
                          ZoConvertReturn code) {
    size_t fit = 0;
    for (size_t s : starts)
        if (s <= room)
            fit = s;
    ASSERT_EQ(cut, full.substr(0, fit)) << "room " << room;
    ASSERT_EQ(code, fit < full.size() ? ZoConvertTruncated : ZoConvertOk) << "room " << room;
}

TEST(CvConvert, ShortDestinationsKeepWholeCharacters) {
    CodePage cp(932);
    const Units units = u"ab\u8868c\uFF71\u4E00\u4E00xyz\u3042";
    const Bytes ansi = toAnsi(units, 64);
    const Bytes utf8 = toUtf8(units, 64);
    for (uint32_t limit : {zo::text::kWholeTextLimit, 0u}) {
        uint32_t before = zo::text::setWholeTextLimitForTest(limit);
        for (size_t room = 1; room <= utf8.size(); ++room) {
            ZoConvertReturn code;
            Bytes cut = bytesVia(cvAnsiToUTF8, ansi, room, &code);
            expectCutAtCharacter(utf8, utf8Starts(utf8), room, cut, code);
            cut = toUtf8(units, room, &code);
            expectCutAtCharacter(utf8, utf8Starts(utf8), room, cut, code);
            if (room > ansi.size())
                continue;
            cut = bytesVia(cvUTF8ToAnsi, utf8, room, &code);
            expectCutAtCharacter(ansi, ansiStarts(ansi), room, cut, code);
            cut = toAnsi(units, room, &code);
            expectCutAtCharacter(ansi, ansiStarts(ansi), room, cut, code);
        }
        zo::text::setWholeTextLimitForTest(before);
    }
}

// ---- The two ways of the three-way conversions ----------------------------------------------

// A source above the whole-text limit is converted character by character, with the same
// result as through the buffer; so is one whose buffer cannot be had.
TEST(CvConvert, LargeSourcesAndNoMemoryConvertByCharacter) {
    CodePage cp(932);
    Bytes ansi = "x";
    while (ansi.size() <= zo::text::kWholeTextLimit + 16)
        ansi += "abc \x95\x5C\xB1\x82\xA0 def\x81";
    uint32_t before = zo::text::setWholeTextLimitForTest(UINT32_MAX / 4);
    const Bytes utf8 = bytesVia(cvAnsiToUTF8, ansi, ansi.size() * 3);
    const Bytes back = bytesVia(cvUTF8ToAnsi, utf8, ansi.size());
    zo::text::setWholeTextLimitForTest(before);
    ZoConvertReturn code;
    EXPECT_EQ(bytesVia(cvAnsiToUTF8, ansi, ansi.size() * 3, &code), utf8);
    EXPECT_EQ(code, ZoConvertOk);
    EXPECT_EQ(bytesVia(cvUTF8ToAnsi, utf8, ansi.size(), &code), back);
    EXPECT_EQ(code, ZoConvertOk);
    const Bytes small = "\xB1 \x95\x5C and more";
    const Bytes smallUtf8 = bytesVia(cvAnsiToUTF8, small, 64);
    zotest::NoMemory none;
    EXPECT_EQ(bytesVia(cvAnsiToUTF8, small, 64, &code), smallUtf8);
    EXPECT_EQ(code, ZoConvertOk);
    EXPECT_EQ(bytesVia(cvUTF8ToAnsi, smallUtf8, 64, &code), small);
    EXPECT_EQ(code, ZoConvertOk);
}

} // namespace
