#include <zo/strfuncs.h>

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "support/alloc_failure.h"
#include "text/text_modes.h"

using zotest::CodePage;
using zotest::len;
using zotest::u;
using zotest::Utf8Mode;

namespace {

// The case-insensitive order as described, one byte at a time: the reference for the
// block-wise implementation.
short referenceCompareCi(const std::string &a, const std::string &b) {
    const unsigned char *up = zo::plat::upperCaseTable();
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n;) {
        unsigned ca = static_cast<unsigned char>(a[i]), cb = static_cast<unsigned char>(b[i]);
        if (zo::plat::isLeadByte(static_cast<unsigned char>(ca))) {
            if (ca != cb)
                return ca < cb ? -1 : 1;
            if (i + 1 == n)
                break;
            unsigned ta = static_cast<unsigned char>(a[i + 1]), tb = static_cast<unsigned char>(b[i + 1]);
            if (ta != tb)
                return ta < tb ? -1 : 1;
            i += 2;
            continue;
        }
        if (up[ca] != up[cb])
            return up[ca] < up[cb] ? -1 : 1;
        ++i;
    }
    return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}

// Random text over a small alphabet that mixes letters of both cases, digits, non-ASCII
// bytes and (in a double-byte code page) lead bytes, so that case differences and
// character boundaries fall anywhere within and across 16-byte blocks.
std::string randomText(std::mt19937 &rng, size_t length) {
    static const char alphabet[] = "aAbBzZ09_[ \xE9\xC9\xFF\x9F\x83\x61\x41\x95\x5C";
    std::string text;
    for (size_t i = 0; i < length; ++i)
        text += alphabet[rng() % (sizeof alphabet - 1)];
    return text;
}

// Copies b with some letters of a swapped in case (so that the texts mostly agree).
std::string caseVariant(std::mt19937 &rng, std::string text) {
    for (char &c : text)
        if (rng() % 4 == 0) {
            if (c >= 'a' && c <= 'z')
                c = static_cast<char>(c - 32);
            else if (c >= 'A' && c <= 'Z')
                c = static_cast<char>(c + 32);
        }
    if (!text.empty() && rng() % 3 == 0)
        text[rng() % text.size()] = static_cast<char>("xX\x83Z"[rng() % 4]);
    return text;
}

void expectCompareCiMatchesReference(unsigned seed) {
    std::mt19937 rng(seed);
    for (int round = 0; round < 4000; ++round) {
        std::string a = randomText(rng, rng() % 70);
        std::string b = caseVariant(rng, a);
        if (rng() % 5 == 0)
            b.resize(rng() % (b.size() + 1));
        short expected = referenceCompareCi(a, b);
        ASSERT_EQ(strCompareCi(u(a), static_cast<uint32_t>(a.size()), u(b), static_cast<uint32_t>(b.size())), expected)
            << a << " | " << b;
        ASSERT_EQ(strEqualCi(u(a), static_cast<uint32_t>(a.size()), u(b), static_cast<uint32_t>(b.size())),
                  expected == 0 ? 1 : 0);
        // The terminated forms see the same texts when no lead byte sits just before the end.
        if (a.find('\0') == std::string::npos && b.find('\0') == std::string::npos &&
            (a.empty() || !zo::plat::isLeadByte(static_cast<unsigned char>(a.back())))) {
            ASSERT_EQ(strCompareCi(u(a), u(b)), expected) << a << " | " << b;
            ASSERT_EQ(strEqualCi(u(a), u(b)), expected == 0 ? 1 : 0);
        }
    }
}

} // namespace

// ---- Comparison -------------------------------------------------------------------------

TEST(StrFuncsCompare, BytewiseOrderAndLengthTieBreak) {
    EXPECT_EQ(strCompare(u("abc"), 3, u("abd"), 3), -1);
    EXPECT_EQ(strCompare(u("ab"), 2, u("abc"), 3), -1);
    EXPECT_EQ(strCompare(u("abc"), 3, u("ab"), 2), 1);
    EXPECT_EQ(strCompare(u("a\0b"), 3, u("a\0b"), 3), 0);
    EXPECT_EQ(strCompare(u("\xE9"), 1, u("z"), 1), 1); // unsigned bytes
    EXPECT_EQ(strCompare(u(""), 0, u(""), 0), 0);
}

TEST(StrFuncsCompare, CaseInsensitiveOrdersByUpperCase) {
    EXPECT_EQ(strCompareCi(u("Hello"), u("hELLO")), 0);
    EXPECT_EQ(strCompareCi(u("abc"), u("ABD")), -1);
    EXPECT_EQ(strCompareCi(u("ab"), u("ABC")), -1);
    EXPECT_EQ(strCompareCi(u("abc"), u("AB")), 1);
    // Folding to upper case puts '[' (0x5B) after every letter, '_' too.
    EXPECT_EQ(strCompareCi(u("["), u("a")), 1);
    EXPECT_EQ(strCompareCi(u("a_"), u("AZ")), 1);
    // Code page 1252 letters fold through Unicode; the micro sign and sharp s have no
    // single-byte upper case and stay.
    EXPECT_EQ(strCompareCi(u("caf\xE9"), u("CAF\xC9")), 0);
    EXPECT_EQ(strCompareCi(u("\xFF"), u("\x9F")), 0);
    EXPECT_EQ(strCompareCi(u("\x9A"), u("\x8A")), 0);
    EXPECT_NE(strCompareCi(u("\xB5"), u("\xDF")), 0);
    EXPECT_EQ(strEqualCi(u("SELECT"), u("select")), 1);
    EXPECT_EQ(strEqualCi(u("SELECT"), u("selects")), 0);
}

TEST(StrFuncsCompare, CountedCaseInsensitiveForms) {
    EXPECT_EQ(strCompareCi(u("abcX"), 3, u("ABCY"), 3), 0);
    EXPECT_EQ(strCompareCi(u("ab"), 2, u("ABc"), 3), -1);
    EXPECT_EQ(strCompareCi(u("a\0B"), 3, u("A\0b"), 3), 0); // NUL bytes are ordinary here
    EXPECT_EQ(strEqualCi(u("abc"), 3, u("ABC"), 3), 1);
    EXPECT_EQ(strEqualCi(u("abc"), 3, u("ABC"), 2), 0);
    EXPECT_EQ(strEqualCi(u(""), 0, u(""), 0), 1);
}

TEST(StrFuncsCompare, LongTextsDifferAnywhereAcrossBlocks) {
    std::string base(100, 'k');
    for (size_t at : {0u, 15u, 16u, 17u, 31u, 32u, 63u, 99u}) {
        std::string upper = base;
        upper[at] = 'L';
        EXPECT_EQ(strCompareCi(u(base), u(upper)), -1) << at;
        std::string caseOnly = base;
        caseOnly[at] = 'K';
        EXPECT_EQ(strCompareCi(u(base), u(caseOnly)), 0) << at;
        EXPECT_EQ(strCompareCi(u(base), 100, u(upper), 100), -1) << at;
        std::string shorter = base.substr(0, at);
        EXPECT_EQ(strCompareCi(u(shorter), u(base)), -1) << at;
    }
}

TEST(StrFuncsCompare, MatchesReferenceOnRandomTexts) { expectCompareCiMatchesReference(1); }

TEST(StrFuncsCompare, MatchesReferenceOnRandomTextsInCodePage932) {
    CodePage cp(932);
    ASSERT_TRUE(cp.ok());
    expectCompareCiMatchesReference(2);
}

TEST(StrFuncsCompare, DoubleByteCharactersCompareExactly) {
    CodePage cp(932);
    // 0x83 0x61 and 0x83 0x41 are different katakana: their ASCII-valued trail bytes are
    // never folded, also when the character straddles a 16-byte block.
    EXPECT_EQ(strCompareCi(u("\x83\x61"), u("\x83\x41")), 1);
    EXPECT_EQ(strEqualCi(u("\x83\x61"), u("\x83\x41")), 0);
    std::string a = std::string(15, 'x') + "\x83\x61" + std::string(20, 'y');
    std::string b = std::string(15, 'X') + "\x83\x41" + std::string(20, 'Y');
    EXPECT_EQ(strCompareCi(u(a), u(b)), 1);
    EXPECT_EQ(strEqualCi(u(a), static_cast<uint32_t>(a.size()), u(b), static_cast<uint32_t>(b.size())), 0);
    // Single bytes still fold; half-width katakana (0xB1) has no case.
    EXPECT_EQ(strCompareCi(u("abc\xB1"), u("ABC\xB1")), 0);
    // A lead byte orders by its own value against a single byte.
    EXPECT_EQ(strCompareCi(u("\x81\x40"), u("a")), 1);
    // A lead byte cut short by the end compares as far as it goes.
    EXPECT_EQ(strCompareCi(u("\x83"), u("\x83")), 0);
    EXPECT_EQ(strCompareCi(u("x\x83"), 2, u("X\x83\x41"), 3), -1);
}

TEST(StrFuncsCompare, CaseInsensitiveIgnoresUtf8Mode) {
    // These functions step by lead byte whatever the thread's mode: in code page 1252 the
    // bytes of a UTF-8 sequence fold like any other (0xA9 and 0x89 are not letters).
    Utf8Mode mode;
    EXPECT_EQ(strCompareCi(u("\xC3\xA9"), u("\xC3\x89")), 1);
    EXPECT_EQ(strEqualCi(u("ABC"), u("abc")), 1);
}

TEST(StrFuncsCompare, BlankPaddedComparison) {
    EXPECT_EQ(strComparePad(u("ab"), u("ab  ")), 0);
    EXPECT_EQ(strComparePad(u("ab  "), u("ab")), 0);
    EXPECT_EQ(strComparePad(u("ab"), u("ab\t")), -1);
    EXPECT_EQ(strComparePad(u("ab\t"), u("ab")), 1);
    // A non-blank in the longer text decides whatever its value, even below the blank.
    EXPECT_EQ(strComparePad(u("ab"), u("ab \x01")), -1);
    EXPECT_EQ(strComparePad(u("abc"), u("abd")), -1);
    EXPECT_EQ(strComparePad(u(""), u("   ")), 0);
}

TEST(StrFuncsCompare, MaxLengthComparison) {
    EXPECT_EQ(strCompareWithMaxLength(u("abcX"), u("abcY"), 3), 0);
    EXPECT_EQ(strCompareWithMaxLength(u("abcX"), u("abcY"), 4), -1);
    EXPECT_EQ(strCompareWithMaxLength(u("b"), u("abc"), 10), 1);
    EXPECT_EQ(strCompareWithMaxLength(u("ab"), u("ab"), 10), 0);
}

namespace {
short compareDoubles(double a, double b) {
    unsigned char ka[8], kb[8];
    std::memcpy(ka, &a, 8);
    std::memcpy(kb, &b, 8);
    return floatCompare(ka, kb);
}
} // namespace

TEST(StrFuncsCompare, FloatKeysOrderLikeTheirValues) {
    EXPECT_EQ(compareDoubles(-1.0, -2.0), 1);
    EXPECT_EQ(compareDoubles(-2.0, -1.0), -1);
    EXPECT_EQ(compareDoubles(1.0, 2.0), -1);
    EXPECT_EQ(compareDoubles(1.5, 1.25), 1);
    EXPECT_EQ(compareDoubles(-0.5, 0.5), -1);
    EXPECT_EQ(compareDoubles(3.25, 3.25), 0);
    EXPECT_EQ(compareDoubles(-0.0, 0.0), -1); // the sign bit decides
    EXPECT_EQ(compareDoubles(1e300, 1e-300), 1);
    EXPECT_EQ(compareDoubles(-1e300, -1e-300), -1);
}

TEST(StrFuncsCompare, LocaleCollation) {
    // Bytewise 'B' < 'a'; every locale's collation puts a before B.
    EXPECT_LT(strCompareIntl(u("a"), u("B")), 0);
    EXPECT_NE(strCompareIntl(u("abc"), u("ABC")), 0);
    EXPECT_EQ(strCompareCiIntl(u("abc"), u("ABC")), 0);
    EXPECT_NE(strCompareCiIntl(u("abc"), u("ab\xE9")), 0); // accents still count
    EXPECT_LT(strCompareIntl(u("cote"), u("c\xF4te")), 0);
    EXPECT_EQ(strCompareIntl(u("same"), u("same")), 0);
    // Counted texts end at their first NUL, as if copied and terminated.
    EXPECT_EQ(strCompareIntl(u("ab\0zz"), 5, u("ab\0yy"), 5), 0);
    EXPECT_EQ(strCompareCiIntl(u("AB"), 2, u("abc"), 2), 0);
    EXPECT_LT(strCompareCiIntl(u("AB"), 2, u("abc"), 3), 0);
}

TEST(StrFuncsCompare, LocaleCollationOfLongTextsAndWithoutMemory) {
    std::string a(3000, 'a'), b(3000, 'a');
    b[2999] = 'B';
    EXPECT_LT(strCompareIntl(u(a), static_cast<uint32_t>(a.size()), u(b), static_cast<uint32_t>(b.size())), 0);
    EXPECT_LT(strCompareCiIntl(u(a), u(b)), 0);
    zotest::NoMemory noMemory;
    // Without memory for the long texts' units the result is still an order, and nothing leaks.
    short withoutMemory = strCompareIntl(u(a), u(b));
    EXPECT_EQ(withoutMemory, static_cast<short>(-strCompareIntl(u(b), u(a))));
    EXPECT_EQ(strCompareIntl(u("abc"), u("abc")), 0);
}

TEST(StrFuncsCompare, LocaleCollationFromManyThreads) {
    std::vector<std::thread> threads;
    std::vector<int> failures(4, 0);
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([t, &failures] {
            for (int i = 0; i < 2000; ++i) {
                if (strCompareIntl(u("apple"), u("Banana")) >= 0 || strCompareCiIntl(u("MIX"), u("mix")) != 0)
                    ++failures[t];
            }
        });
    for (std::thread &thread : threads)
        thread.join();
    for (int f : failures)
        EXPECT_EQ(f, 0);
}

// ---- Copying and quoting ----------------------------------------------------------------

TEST(StrFuncsCopy, BoundedCopyCutsAndTerminates) {
    unsigned char dest[6];
    std::memset(dest, 'x', sizeof dest);
    strCopy(dest, sizeof dest, u("abcdefgh"));
    EXPECT_STREQ(reinterpret_cast<char *>(dest), "abcde");
    strCopy(dest, sizeof dest, u("ab"));
    EXPECT_STREQ(reinterpret_cast<char *>(dest), "ab");
    strCopy(dest, 1, u("abc"));
    EXPECT_EQ(dest[0], 0);
    unsigned char untouched = 'q';
    strCopy(&untouched, 0, u("abc"));
    EXPECT_EQ(untouched, 'q');
    unsigned char out[8];
    unsigned char *end = strCopy(out, u("abcdef"), 3);
    EXPECT_EQ(end, out + 3);
    EXPECT_STREQ(reinterpret_cast<char *>(out), "abc");
}

TEST(StrFuncsCopy, QuotingDoublesTheQuote) {
    unsigned char out[32];
    unsigned char *end = strCopyQuoted(out, u("a\"b"), 3, '"');
    EXPECT_STREQ(reinterpret_cast<char *>(out), "\"a\"\"b\"");
    EXPECT_EQ(end, out + 6);
    EXPECT_EQ(*end, 0);
    strCopyQuoted(out, u("it's"), '\'');
    EXPECT_STREQ(reinterpret_cast<char *>(out), "'it''s'");
    strCopyQuoted(out, u(""), '\'');
    EXPECT_STREQ(reinterpret_cast<char *>(out), "''");
    std::memcpy(out, "x=", 3);
    end = strCatQuoted(out, u("v'"), '\'');
    EXPECT_STREQ(reinterpret_cast<char *>(out), "x='v'''");
    EXPECT_EQ(end, out + 7);
}

TEST(StrFuncsCopy, QuotingKeepsDoubleByteCharactersWhole) {
    CodePage cp(932);
    unsigned char out[32];
    // 0x95 0x5C is one character whose trail byte equals the backslash quote.
    strCopyQuoted(out, u("\x95\x5C\\"), '\\');
    EXPECT_STREQ(reinterpret_cast<char *>(out), "\\\x95\x5C\\\\\\");
    // A lead byte in the last position is dropped.
    strCopyQuoted(out, u("a\x95"), 2, '\'');
    EXPECT_STREQ(reinterpret_cast<char *>(out), "'a'");
}

TEST(StrFuncsCopy, Unquoting) {
    unsigned char out[32];
    unsigned char *end = strCopyUnquoted(out, u("''"));
    EXPECT_EQ(end, out);
    EXPECT_EQ(out[0], 0);
    end = strCopyUnquoted(out, u("'it''s'"));
    EXPECT_STREQ(reinterpret_cast<char *>(out), "it's");
    EXPECT_EQ(end, out + 4);
    strCopyUnquoted(out, u("\"a\"\"\"\"b\""));
    EXPECT_STREQ(reinterpret_cast<char *>(out), "a\"\"b");
    // A single quote as the last inner byte: the copy stops at the inner end.
    strCopyUnquoted(out, u("'a''"), 4);
    EXPECT_STREQ(reinterpret_cast<char *>(out), "a'");
    strCopyUnquoted(out, u("'"), 1);
    EXPECT_EQ(out[0], 0);
}

TEST(StrFuncsCopy, UnquotingInCodePage932) {
    CodePage cp(932);
    unsigned char out[32];
    // The trail 0x5C of a double-byte character is not a quote even when the quote is '\'.
    strCopyUnquoted(out, u("\\\x95\x5C\\\\x\\"));
    EXPECT_STREQ(reinterpret_cast<char *>(out), "\x95\x5C\\x");
}

TEST(StrFuncsCopy, RemovingQuotesInPlace) {
    char text[32] = "'it''s'";
    EXPECT_EQ(strRemoveQuotes(u(text), 7, '\''), 4u);
    EXPECT_EQ(std::string(text, 4), "it's");
    std::strcpy(text, "'abc");
    EXPECT_EQ(strRemoveQuotes(u(text), 4, '\''), 4u);
    EXPECT_STREQ(text, "'abc");
    std::strcpy(text, "'a'b'");
    EXPECT_EQ(strRemoveQuotes(u(text), 5, '\''), 5u);
    EXPECT_STREQ(text, "'a'b'");
    std::strcpy(text, "'ab''");
    EXPECT_EQ(strRemoveQuotes(u(text), 5, '\''), 5u); // the pair would take the closing quote
    std::strcpy(text, "''");
    EXPECT_EQ(strRemoveQuotes(u(text), 2, '\''), 0u);
    std::strcpy(text, "'");
    EXPECT_EQ(strRemoveQuotes(u(text), 1, '\''), 1u);
    std::strcpy(text, "\"x\"\"y\"");
    strRemoveQuotes(u(text), '"');
    EXPECT_STREQ(text, "x\"y");
    std::strcpy(text, "abc");
    strRemoveQuotes(u(text), '"');
    EXPECT_STREQ(text, "abc");
}

TEST(StrFuncsCopy, RemovingQuotesStepsOverDoubleByteCharacters) {
    CodePage cp(932);
    char text[32] = "\\\x95\x5C\\";
    // The 0x5C inside 0x95 0x5C is not a quote: the text is properly quoted.
    EXPECT_EQ(strRemoveQuotes(u(text), 4, '\\'), 2u);
    EXPECT_EQ(std::string(text, 2), "\x95\x5C");
    // The last character is 0x95 0x5C, not a quote.
    std::strcpy(text, "\\a\x95\x5C");
    EXPECT_EQ(strRemoveQuotes(u(text), 4, '\\'), 4u);
}

// ---- Searching --------------------------------------------------------------------------

TEST(StrFuncsFind, ByteSearchesInCodePage1252) {
    const unsigned char *text = u("a,b,c");
    EXPECT_EQ(strFind(text, ','), text + 1);
    EXPECT_EQ(strFindAnsi(text, ','), text + 1);
    EXPECT_EQ(strFindReverse(text, ','), text + 3);
    EXPECT_EQ(strFind(text, ';'), nullptr);
    EXPECT_EQ(strFindReverse(text, ';'), nullptr);
    EXPECT_EQ(strFind(text, '\0'), nullptr);
    EXPECT_EQ(strFindReverse(text, '\0'), nullptr);
}

TEST(StrFuncsFind, ByteSearchesNeverMatchInsideDoubleByteCharacters) {
    CodePage cp(932);
    // 0x95 0x5C is one character; only the third byte is a backslash.
    const unsigned char *text = u("\x95\x5C\\\x95\x5C");
    EXPECT_EQ(strFind(text, '\\'), text + 2);
    EXPECT_EQ(strFindAnsi(text, '\\'), text + 2);
    EXPECT_EQ(strFindReverse(text, '\\'), text + 2);
    EXPECT_EQ(strFind(u("\x95\x5C"), '\\'), nullptr);
    EXPECT_EQ(strFind(text, 0x95), text);
    EXPECT_EQ(strFindReverse(text, 0x95), text + 3);
    // A lead byte cut short by the end does not carry the walk past the NUL.
    EXPECT_EQ(strFind(u("ab\x95"), '\\'), nullptr);
}

TEST(StrFuncsFind, Utf8ModeStepsByUtf8Characters) {
    Utf8Mode mode;
    // E2 80 A6 is one character; only the last 0x80 stands alone.
    const unsigned char *text = u("\xE2\x80\xA6\x80");
    EXPECT_EQ(strFind(text, 0x80), text + 3);
    EXPECT_EQ(strFindReverse(text, 0x80), text + 3);
    EXPECT_EQ(strFind(u("\xE2\x80\xA6"), 0x80), nullptr);
    // strFindAnsi steps by lead byte: in code page 1252 every byte is a character.
    EXPECT_EQ(strFindAnsi(text, 0x80), text + 1);
    // A four-byte lead is stepped one byte at a time.
    const unsigned char *emoji = u("\xF0\x9F\x98\x80");
    EXPECT_EQ(strFind(emoji, 0x9F), emoji + 1);
}

TEST(StrFuncsFind, OutsideQuotes) {
    const unsigned char *a = u("a,'b,c'");
    EXPECT_EQ(strFind(a, ',', '\'', 0, 0), a + 1);
    const unsigned char *b = u("'b,c',d");
    EXPECT_EQ(strFind(b, ',', '\'', 0, 0), b + 5);
    const unsigned char *c = u("\"x,y\" [p,q] 'r,s',t");
    EXPECT_EQ(strFind(c, ',', '"', '\'', '['), nullptr); // '[' opens a section closed by '['
    const unsigned char *d = u("\"x,y\" 'r,s',t");
    EXPECT_EQ(strFind(d, ',', '"', '\'', 0), d + 11);
    // The searched byte is tested before the quotes.
    const unsigned char *e = u("ab'cd'");
    EXPECT_EQ(strFind(e, '\'', '\'', 0, 0), e + 2);
    EXPECT_EQ(strFind(u("'a,b"), ',', '\'', 0, 0), nullptr); // unclosed section
}

TEST(StrFuncsFind, OutsideQuotesInCodePage932) {
    CodePage cp(932);
    // The trail 0x5C does not open a section quoted by backslashes.
    const unsigned char *text = u("\x95\x5C,x");
    EXPECT_EQ(strFind(text, ',', '\\', 0, 0), text + 2);
}

TEST(StrFuncsFind, TextSearch) {
    const unsigned char *text = u("the cat sat");
    EXPECT_EQ(strFind(text, 11, u("sat"), 3), text + 8);
    EXPECT_EQ(strFind(text, u("cat")), text + 4);
    EXPECT_EQ(strFind(text, 11, u("dog"), 3), nullptr);
    EXPECT_EQ(strFind(text, 11, u("cat"), 0), nullptr);
    EXPECT_EQ(strFind(text, u("")), nullptr);
    EXPECT_EQ(strFind(text, 2, u("the"), 3), nullptr);
    const unsigned char *withNul = u("a\0b\0c");
    EXPECT_EQ(strFind(withNul, 5, u("\0c"), 2), withNul + 3);
}

TEST(StrFuncsFind, TextSearchOnCharacterBoundaries) {
    {
        CodePage cp(932);
        const unsigned char *text = u("\x95\x5C\x95\x5Cx\\x");
        EXPECT_EQ(strFind(text, 7, u("\\x"), 2), text + 5);
        EXPECT_EQ(strFind(text, u("\\x")), text + 5);
        EXPECT_EQ(strFind(text, u("\x5C\x95")), nullptr);
        // Found right at the start, and as the whole text.
        EXPECT_EQ(strFind(text, 7, u("\x95\x5C"), 2), text);
        EXPECT_EQ(strFind(text, 7, text, 7), text);
    }
    Utf8Mode mode;
    const unsigned char *text = u("\xE2\x82\xAC\x82\xAC");
    EXPECT_EQ(strFind(text, 5, u("\x82\xAC"), 2), text + 3);
}

TEST(StrFuncsFind, LongTextsOnCharacterBoundaries) {
    // ASCII runs longer than a block around characters whose inner bytes look like the
    // searched ones.
    std::string run(37, 'a');
    {
        CodePage cp(932);
        std::string text = run + "\x95\x5C" + run + "\x95\x5C\\x" + run;
        size_t at = text.rfind("\\x");
        EXPECT_EQ(strFind(u(text), static_cast<uint32_t>(text.size()), u("\\x"), 2), u(text) + at);
        EXPECT_EQ(strFind(u(text), '\\'), u(text) + at);
        EXPECT_EQ(strFindReverse(u(text), '\\'), u(text) + at);
    }
    Utf8Mode mode;
    std::string text = run + "\xE2\x80\xA6" + run + "\x80" + run;
    size_t at = run.size() * 2 + 3;
    EXPECT_EQ(strFind(u(text), 0x80), u(text) + at);
    EXPECT_EQ(strFind(u(text), static_cast<uint32_t>(text.size()),
                      u("\x80"
                        "aa"),
                      3),
              u(text) + at);
}

TEST(StrFuncsFind, CaseInsensitiveTextSearch) {
    const unsigned char *text = u("Select * From Table");
    EXPECT_EQ(strFindCi(text, u("FROM")), text + 9);
    EXPECT_EQ(strFindCi(text, 19, u("table")), text + 14);
    EXPECT_EQ(strFindCi(text, 13, u("table"), 5), nullptr);
    EXPECT_EQ(strFindCi(text, u("")), nullptr);
    const unsigned char *accented = u("x caf\xE9");
    EXPECT_EQ(strFindCi(accented, u("CAF\xC9")), accented + 2);
}

TEST(StrFuncsFind, CaseInsensitiveSearchLeavesDoubleByteAndUtf8Alone) {
    {
        CodePage cp(932);
        // The trail bytes 0x61 and 0x41 belong to different characters.
        EXPECT_EQ(strFindCi(u("\x83\x61"), u("\x83\x41")), nullptr);
        const unsigned char *text = u("\x83\x61 abc");
        EXPECT_EQ(strFindCi(text, u("ABC")), text + 3);
    }
    Utf8Mode mode;
    // e-acute (C3 A9) and E-acute (C3 89) are not folded byte by byte in UTF-8 mode.
    EXPECT_EQ(strFindCi(u("\xC3\xA9"), u("\xC3\x89")), nullptr);
    const unsigned char *text = u("\xC3\xA9t\xC3\xA9 ABC");
    EXPECT_EQ(strFindCi(text, u("abc")), text + 6);
}

TEST(StrFuncsFind, CaseInsensitiveSearchWithoutMemory) {
    const unsigned char *text = u("Hello World");
    uint32_t points = zotest::forEachAllocationFailure([&](zotest::FailurePoint &point) {
        point.arm();
        unsigned char *found = strFindCi(text, u("WORLD"));
        if (point.disarm())
            EXPECT_EQ(found, nullptr);
        else
            EXPECT_EQ(found, text + 6);
    });
    EXPECT_EQ(points, 2u);
}

TEST(StrFuncsFind, CharacterClasses) {
    EXPECT_EQ(strContains(u("abc1"), 4, nullptr, StrLowerLetters), 0);
    EXPECT_EQ(strContains(u("abc1"), 4, nullptr, StrLowerLetters | StrDigits), 1);
    EXPECT_EQ(strContains(u("ABC_"), 4, u("_"), StrUpperLetters), 1);
    EXPECT_EQ(strContains(u(""), 0, nullptr, 0), 1);
    EXPECT_EQ(strContains(u("a\0"), 2, u("a"), 0), 0);
    EXPECT_EQ(strDoesNotContain(u("abc"), 3, u(";,"), StrDigits), 1);
    EXPECT_EQ(strDoesNotContain(u("ab;c"), 4, u(";,"), 0), 0);
    EXPECT_EQ(strDoesNotContain(u("abc"), 3, nullptr, StrUpperLetters | StrLowerLetters), 0);
    EXPECT_EQ(strDoesNotContain(u(""), 0, u("x"), 7), 1);
}

TEST(StrFuncsFind, CharacterClassesTestFirstBytes) {
    CodePage cp(932);
    // 0x82 0x60 is one character tested by its first byte; its trail is not a letter test.
    EXPECT_EQ(strContains(u("a\x82\x60"), 3, u("\x82"), StrLowerLetters), 1);
    EXPECT_EQ(strDoesNotContain(u("\x82\x61"), 2, nullptr, StrLowerLetters), 1);
}

// ---- Trimming ---------------------------------------------------------------------------

TEST(StrFuncsTrim, WhiteSpaceAndBlanks) {
    EXPECT_EQ(strRightTrim(u("ab \t"), 4), 2u);
    EXPECT_EQ(strRightTrimBlanks(u("ab \t"), 4), 4u);
    EXPECT_EQ(strRightTrimBlanks(u("ab  "), 4), 2u);
    EXPECT_EQ(strRightTrim(u(" \r\n\v\f"), 5), 0u);
    EXPECT_EQ(strRightTrim(u(""), 0), 0u);
    EXPECT_EQ(strRightTrim(u("a\xA0"), 2), 2u); // the no-break space is not C-locale space
    char text[16] = "abc \t\n";
    strRightTrim(u(text));
    EXPECT_STREQ(text, "abc");
    std::strcpy(text, "abc \t ");
    strRightTrimBlanks(u(text));
    EXPECT_STREQ(text, "abc \t");
    // The ideographic space counts only where 0x81 is a lead byte.
    EXPECT_EQ(strRightTrim(u("ab\x81\x40"), 4), 4u);
}

TEST(StrFuncsTrim, DoubleByteAndUtf8Characters) {
    {
        CodePage cp(932);
        EXPECT_EQ(strRightTrim(u("ab\x81\x40 \x81\x40"), 7), 2u);
        EXPECT_EQ(strRightTrimBlanks(u("ab\x81\x40 "), 5), 4u);
        // 0x81 0x20 is one (malformed) character, not a trailing blank.
        EXPECT_EQ(strRightTrim(u("a\x81\x20"), 3), 3u);
        EXPECT_EQ(strRightTrim(u("a\x81"), 2), 2u);
        char text[16] = "x\x95\x5C\x81\x40";
        strRightTrim(u(text));
        EXPECT_STREQ(text, "x\x95\x5C");
    }
    Utf8Mode mode;
    EXPECT_EQ(strRightTrim(u("a\xE2\x20\x20"), 4), 4u); // E2 20 20 is one character
    EXPECT_EQ(strRightTrim(u("a\xE2\x80\x83 "), 5), 4u);
}
