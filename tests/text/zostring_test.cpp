#include <zo/cntdblib.h>
#include <zo/strfuncs.h>
#include <zo/zoarray.h>
#include <zo/zoerror.h>
#include <zo/zostring.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "support/all_or_nothing.h"
#include "support/alloc_failure.h"
#include "text/text_modes.h"

using zotest::u;

namespace {

std::string textOf(const ZoSubString &s) {
    return s.data() == nullptr ? std::string() : std::string(reinterpret_cast<const char *>(s.data()), s.length());
}

// The text and, when the buffer has room, the NUL after it.
void expectText(const ZoString &s, const std::string &expected) {
    EXPECT_EQ(textOf(s), expected);
    ASSERT_NE(s.data(), nullptr);
    ASSERT_LT(s.length(), s.capacity());
    EXPECT_EQ(s.data()[s.length()], 0) << "no terminating NUL";
}

void init(ZoString &s, const std::string &text) {
    ASSERT_EQ(s.initialize(u(text.c_str()), static_cast<uint32_t>(text.size())), ZoSuccess);
}

// Runs `grow` on a string holding `before` with each of its allocations failing in turn:
// every failure must return 1 and keep the text; the run without failure must give `after`.
template <class Grow>
void expectAtomicGrowth(const std::string &before, const std::string &after, Grow grow) {
    zotest::AllOrNothing<ZoString, std::string> growth{
        .setUp = [&](ZoString &s) { init(s, before); },
        .state = [](const ZoString &s) { return textOf(s); },
        .step = grow,
        .after = [&](const ZoString &s) { EXPECT_EQ(textOf(s), after); },
    };
    EXPECT_GE(growth.run(zotest::allocationFailure()), 1u) << "the operation was expected to allocate";
}

TEST(ZoStringTest, FreshStringHasNoBufferAndOwnsWhatItWillGrow) {
    ZoString s;
    EXPECT_EQ(s.length(), 0u);
    EXPECT_EQ(s.data(), nullptr);
    EXPECT_TRUE(s.ownsBuffer());
    EXPECT_FALSE(s.isWide());
}

TEST(ZoStringTest, InitializeCopiesIntoAnExactTerminatedBuffer) {
    ZoString s;
    ASSERT_EQ(s.initialize(u("a\0b"), 3), ZoSuccess);
    EXPECT_EQ(s.length(), 3u);
    EXPECT_EQ(s.secondLength(), 3u);
    EXPECT_EQ(s.capacity(), 4u);
    expectText(s, std::string("a\0b", 3));
    // A second initialisation replaces the first (the old buffer is freed, not leaked),
    // even when the new text comes from the old buffer.
    ASSERT_EQ(s.initialize(s.data() + 2, 1), ZoSuccess);
    expectText(s, "b");
    ASSERT_EQ(s.initialize(static_cast<const unsigned char *>(nullptr)), ZoSuccess);
    expectText(s, "");
}

TEST(ZoStringTest, InitializeFailureLeavesAnEmptyStringWithoutBuffer) {
    ZoString s;
    init(s, "old");
    {
        zotest::NoMemory none;
        EXPECT_EQ(s.initialize(u("new")), ZoFailure);
    }
    EXPECT_EQ(s.data(), nullptr);
    EXPECT_EQ(s.length(), 0u);
    EXPECT_EQ(s.concat(u("again")), ZoSuccess);
    expectText(s, "again");
}

TEST(ZoStringTest, WideInitializeCountsCharactersAndKeepsTheFlag) {
    const uint16_t wide[] = {0x41, 0x3042, 0x42, 0};
    ZoString s;
    ASSERT_EQ(s.initialize(wide), ZoSuccess);
    EXPECT_EQ(s.length(), 3u);
    EXPECT_EQ(s.secondLength(), 6u);
    EXPECT_EQ(s.capacity(), 4u);
    EXPECT_FALSE(s.isWide());
    EXPECT_EQ(std::memcmp(s.data(), wide, 8), 0) << "text and a 16-bit NUL";

    ZoString room;
    ASSERT_EQ(room.initialize(5u, 1), ZoSuccess);
    EXPECT_EQ(room.length(), 0u);
    EXPECT_EQ(room.capacity(), 6u);
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(room.data()[i], 0);
}

TEST(ZoStringTest, BorrowedBufferIsUsedInPlaceButNeverGrownOrFreed) {
    unsigned char buffer[8] = "abc";
    {
        ZoString s;
        s.initializeWithBuffer(buffer, sizeof buffer, 3);
        EXPECT_FALSE(s.ownsBuffer());
        ASSERT_EQ(s.concat(u("de")), ZoSuccess);
        EXPECT_EQ(s.data(), buffer);
        EXPECT_EQ(std::string(reinterpret_cast<char *>(buffer)), "abcde");
        EXPECT_EQ(s.concat(u("fgh")), ZoFailure) << "needs 9 bytes of 8";
        EXPECT_EQ(textOf(s), "abcde");
        EXPECT_EQ(s.data(), buffer);
        // After unInitialize nothing is borrowed any more: growth allocates.
        s.unInitialize();
        EXPECT_TRUE(s.ownsBuffer());
        ASSERT_EQ(s.concat(u("x")), ZoSuccess);
        expectText(s, "x");
    }
    EXPECT_EQ(std::string(reinterpret_cast<char *>(buffer)), "abcde");
}

// Growing a borrowed buffer is refused with error 2716 and leaves the buffer alone.
TEST(ZoStringTest, GrowingABorrowedBufferReportsError2716) {
    ZoErrorList list;
    ZoErrorKeeper::setErrorList(&list);
    mdsPerTaskInit();
    unsigned char buffer[4] = "abc";
    ZoString s;
    s.initializeWithBuffer(buffer, sizeof buffer, 3);
    EXPECT_EQ(s.concat('d'), ZoFailure);
    EXPECT_EQ(ZoErrorKeeper::getLastErrorNumber(), 2716);
    ASSERT_NE(ZoErrorKeeper::getLastError(), nullptr);
    EXPECT_STREQ(reinterpret_cast<const char *>(ZoErrorKeeper::getLastError()->getErrorText()),
                 "The string cannot grow: its buffer belongs to the caller.");
    EXPECT_EQ(std::string(reinterpret_cast<char *>(buffer), 4), std::string("abc\0", 4));
    EXPECT_EQ(s.data(), buffer);
    EXPECT_EQ(s.capacity(), 4u);
    // Edits that fit report nothing.
    ZoErrorKeeper::clearLastError();
    EXPECT_EQ(s.changeBytes(0, 1, u("A"), 1), ZoSuccess);
    EXPECT_EQ(ZoErrorKeeper::getLastError(), nullptr);
    mdsPerTaskTerm();
    EXPECT_EQ(ZoErrorKeeper::giveUpErrorList(), &list);
}

TEST(ZoStringTest, ConcatGrowsToTheExactSizeNeeded) {
    ZoString s;
    ASSERT_EQ(s.concat(65535u), ZoSuccess);
    expectText(s, "65535");
    EXPECT_EQ(s.capacity(), 16u);
    ASSERT_EQ(s.concat(u("abcdefghijk")), ZoSuccess);
    EXPECT_EQ(s.capacity(), 17u);
    ASSERT_EQ(s.concat('!'), ZoSuccess);
    EXPECT_EQ(s.capacity(), 18u);
    expectText(s, "65535abcdefghijk!");
}

TEST(ZoStringTest, ConcatNumbersCoverZeroSignAndExtremes) {
    ZoString s;
    ASSERT_EQ(s.concat(0u), ZoSuccess);
    ASSERT_EQ(s.concat(int32_t{-7}), ZoSuccess);
    ASSERT_EQ(s.concat(INT32_MIN), ZoSuccess);
    ASSERT_EQ(s.concat(UINT32_MAX), ZoSuccess);
    ASSERT_EQ(s.concat(INT32_MAX), ZoSuccess);
    expectText(s, "0-7-214748364842949672952147483647");
}

TEST(ZoStringTest, ConcatOfItsOwnBytesSurvivesReallocation) {
    ZoString s;
    init(s, "abcdef");
    ASSERT_EQ(s.concat(s.data() + 1, 4), ZoSuccess);
    expectText(s, "abcdefbcde");
    ASSERT_EQ(s.concat(s.data()), ZoSuccess);
    expectText(s, "abcdefbcdeabcdefbcde");
}

TEST(ZoStringTest, GrowingOperationsKeepTheOldTextWhenMemoryRunsOut) {
    expectAtomicGrowth("ab", "abc", [](ZoString &s) { return s.concat('c'); });
    expectAtomicGrowth("ab", "ab12", [](ZoString &s) { return s.concat(12u); });
    expectAtomicGrowth("ab", "ab-3", [](ZoString &s) { return s.concat(int32_t{-3}); });
    expectAtomicGrowth("ab", "abxyz", [](ZoString &s) { return s.concat(u("xyz")); });
    expectAtomicGrowth("abcd", "aXYZd", [](ZoString &s) { return s.changeBytes(1, 2, u("XYZ"), 0); });
    // The inserted bytes come from the string itself: a copy is made first.
    expectAtomicGrowth("abcd", "abcdbcd", [](ZoString &s) { return s.changeBytes(4, 0, s.data() + 1, 3); });
    expectAtomicGrowth("a-b-c", "a--b--c", [](ZoString &s) { return s.replaceSubString(u("-"), u("--")); });
    expectAtomicGrowth("a-b-c", "a--b-c", [](ZoString &s) { return s.replaceSubString(u("b"), 1, s.data() + 1, 2); });
}

TEST(ZoStringTest, ChangeBytesReplacesInsertsAndDeletes) {
    ZoString s;
    init(s, "abcd");
    ASSERT_EQ(s.changeBytes(1, 2, u("XYZ"), 0), ZoSuccess);
    expectText(s, "aXYZd");
    EXPECT_EQ(s.length(), 5u);
    ASSERT_EQ(s.changeBytes(1, 3, nullptr, 0), ZoSuccess);
    expectText(s, "ad");
    ASSERT_EQ(s.changeBytes(2, 0, u("ef"), 2), ZoSuccess);
    expectText(s, "adef");
    ASSERT_EQ(s.changeBytes(0, 1, u("A"), 1), ZoSuccess);
    expectText(s, "Adef");
    // Null source with a length opens a gap whose bytes are left as they were.
    ASSERT_EQ(s.changeBytes(0, 0, nullptr, 2), ZoSuccess);
    EXPECT_EQ(s.length(), 6u);
    EXPECT_EQ(textOf(s).substr(2), "Adef");
}

TEST(ZoStringTest, ChangeBytesRefusesARangeOutsideTheText) {
    ZoString s;
    init(s, "abc");
    EXPECT_EQ(s.changeBytes(4, 0, u("x"), 1), ZoFailure);
    EXPECT_EQ(s.changeBytes(2, 2, u("x"), 1), ZoFailure);
    EXPECT_EQ(s.changeBytes(1, UINT32_MAX, nullptr, 0), ZoFailure);
    expectText(s, "abc");
    ASSERT_EQ(s.changeBytes(3, 0, u("d"), 1), ZoSuccess) << "appending at the end is in range";
    expectText(s, "abcd");
}

TEST(ZoStringTest, ChangeBytesTakesBytesFromItsOwnTail) {
    ZoString s;
    init(s, "0123456789");
    // The source lies in the part that moves.
    ASSERT_EQ(s.changeBytes(0, 1, s.data() + 7, 3), ZoSuccess);
    expectText(s, "789123456789");
    ASSERT_EQ(s.changeBytes(0, 5, s.data() + 9, 1), ZoSuccess);
    expectText(s, "73456789");
}

TEST(ZoStringTest, ReplaceResumesAfterTheInsertedText) {
    ZoString s;
    init(s, "aba");
    ASSERT_EQ(s.replaceSubString(u("a"), u("aa")), ZoSuccess);
    expectText(s, "aabaa");
    ASSERT_EQ(s.replaceSubString(u("aa"), u("a")), ZoSuccess);
    expectText(s, "aba");
    ASSERT_EQ(s.replaceSubString(u("b"), nullptr), ZoSuccess);
    expectText(s, "aa");
    ASSERT_EQ(s.replaceSubString(u("zz"), u("y")), ZoSuccess) << "no occurrence is success";
    expectText(s, "aa");
    ASSERT_EQ(s.replaceSubString(u(""), u("y")), ZoSuccess) << "an empty pattern never occurs";
    expectText(s, "aa");
    ASSERT_EQ(s.replaceSubString(u("aaa"), u("y")), ZoSuccess) << "longer than the text";
    expectText(s, "aa");
}

TEST(ZoStringTest, ReplaceOverlappingOccurrencesLeftToRight) {
    ZoString s;
    init(s, "aaaaa");
    ASSERT_EQ(s.replaceSubString(u("aa"), u("b")), ZoSuccess);
    expectText(s, "bba");
    init(s, "xaaaax");
    ASSERT_EQ(s.replaceSubString(u("aa"), u("<aa>")), ZoSuccess);
    expectText(s, "x<aa><aa>x");
}

TEST(ZoStringTest, ReplaceWithEqualLengthNeedsNoGrowth) {
    ZoString s;
    init(s, "a.b.c");
    uint32_t capacity = s.capacity();
    zotest::NoMemory none;
    ASSERT_EQ(s.replaceSubString(u("."), u(",")), ZoSuccess);
    ASSERT_EQ(s.replaceSubString(u(","), nullptr), ZoSuccess);
    expectText(s, "abc");
    EXPECT_EQ(s.capacity(), capacity);
}

TEST(ZoStringTest, ReplaceInABorrowedBufferWorksInPlaceWhenItFits) {
    unsigned char buffer[10] = "a-b";
    ZoString s;
    s.initializeWithBuffer(buffer, sizeof buffer, 3);
    ASSERT_EQ(s.replaceSubString(u("-"), u("---")), ZoSuccess);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(buffer)), "a---b");
    EXPECT_EQ(s.replaceSubString(u("-"), u("---")), ZoFailure) << "11 bytes do not fit";
    EXPECT_EQ(std::string(reinterpret_cast<char *>(buffer)), "a---b");
}

TEST(ZoStringTest, ReplaceViewedPartUsesItsPlaceInTheString) {
    ZoString s;
    init(s, "key=value");
    ZoSubString part(s.data() + 4, 5);
    ASSERT_EQ(s.replaceSubString(&part, u("v2"), 0), ZoSuccess);
    expectText(s, "key=v2");
    ZoSubString outside(u("elsewhere"), 4);
    EXPECT_EQ(s.replaceSubString(&outside, u("x"), 1), ZoFailure);
    expectText(s, "key=v2");
}

TEST(ZoStringTest, DoubleByteCharactersAreNeverMatchedByTheirTrailByte) {
    zotest::CodePage cp932(932);
    // 0x81 0x40 is the ideographic space; its trail byte is '@'.
    ZoString s;
    init(s, "\x81@@\x81@");
    EXPECT_EQ(s.findChar('@', 0), 2u);
    EXPECT_EQ(s.countChar('@'), 1u);
    EXPECT_EQ(s.findSubString(u("@"), 0), 2u);
    EXPECT_EQ(s.findSubString(u("@"), 3), 5u) << "from 3 the next character starts at 3";
    ASSERT_EQ(s.replaceSubString(u("@"), u("[at]")), ZoSuccess);
    expectText(s, "\x81@[at]\x81@");
    // A character-aligned occurrence of a double-byte pattern is found.
    EXPECT_EQ(s.findSubString(u("\x81@"), 1), 6u);
}

TEST(ZoStringTest, Utf8ModeStepsOverWholeCharacters) {
    zotest::Utf8Mode utf8;
    // U+20AC is E2 82 AC; U+00E9 is C3 A9.
    ZoString s;
    init(s, "\xE2\x82\xAC\xC3\xA9\x82");
    EXPECT_EQ(s.findChar(0x82, 0), 5u) << "only the stray continuation byte is a character";
    EXPECT_EQ(s.findChar(0xAC, 0), s.length());
    EXPECT_EQ(s.countChar(0x82), 1u);
    EXPECT_EQ(s.findSubString(u("\xA9"), 0), s.length());
    ASSERT_EQ(s.replaceSubString(u("\xC3\xA9"), u("e")), ZoSuccess);
    expectText(s, "\xE2\x82\xAC"
                  "e\x82");
}

TEST(ZoSubStringTest, FindAndCountStopAtTheirBounds) {
    ZoSubString view(u("a,b,c\0,d"), 8);
    EXPECT_EQ(view.findChar(',', 0), 1u);
    EXPECT_EQ(view.findChar(',', 2), 3u);
    EXPECT_EQ(view.findChar(',', 8), 8u);
    EXPECT_EQ(view.findChar(0x12C, 0), 8u) << "a value above 255 is never a first byte";
    EXPECT_EQ(view.countChar(','), 2u) << "counting stops at the 0 byte";
    EXPECT_EQ(view.findSubString(u(",d"), 0), 6u);
    EXPECT_EQ(view.findSubString(u(",d"), 7), 8u) << "no room left for the pattern";
    ZoSubString empty;
    EXPECT_EQ(empty.findChar('a', 0), 0u);
    EXPECT_EQ(empty.findSubString(u("a"), 0), 0u);
    EXPECT_EQ(empty.countChar('a'), 0u);
}

TEST(ZoSubStringTest, CountCharIsNotLimitedTo16Bits) {
    std::string many(70000, 'x');
    ZoSubString view(u(many.c_str()), static_cast<uint32_t>(many.size()));
    EXPECT_EQ(view.countChar('x'), 70000u);
}

TEST(ZoSubStringTest, IndexInSetMatchesWholeByteTexts) {
    const unsigned char *values[] = {u("ab"), u("abc"), u(""), u("abc")};
    EXPECT_EQ(ZoSubString(u("abcd"), 3).indexInSet(values, 4), 1);
    EXPECT_EQ(ZoSubString(u("ab"), 2).indexInSet(values, 4), 0);
    EXPECT_EQ(ZoSubString(u("x"), 0).indexInSet(values, 4), 2);
    EXPECT_EQ(ZoSubString(u("ABC"), 3).indexInSet(values, 4), 4) << "case matters";
}

TEST(ZoSubStringTest, IndexInSetOnWideTextComparesTheCommonPrefix) {
    const uint16_t text[] = {'a', 'b', 'c'};
    const uint16_t ab[] = {'a', 'b', 0}, abx[] = {'a', 'b', 'x', 'y', 0}, abcd[] = {'a', 'b', 'c', 'd', 0};
    const unsigned char *values[] = {reinterpret_cast<const unsigned char *>(abx),
                                     reinterpret_cast<const unsigned char *>(abcd),
                                     reinterpret_cast<const unsigned char *>(ab)};
    ZoSubString view;
    view.setWide(true);
    view.set(reinterpret_cast<const unsigned char *>(text), 3);
    EXPECT_EQ(view.secondLength(), 6u);
    EXPECT_EQ(view.indexInSet(values, 3), 1);
    EXPECT_EQ(view.indexInSet(values + 2, 1), 0) << "the value is a prefix of the text";
}

TEST(ZoSubStringTest, RightBlankTrimDropsTrailingWhiteSpaceBytes) {
    ZoSubString view(u("a b \t\r\n\v\f "), 10);
    view.rightBlankTrim();
    EXPECT_EQ(textOf(view), "a b");
    ZoSubString blanks(u("   "), 3);
    blanks.rightBlankTrim();
    EXPECT_EQ(blanks.length(), 0u);
    ZoSubString other(u("x\xA0"), 2);
    other.rightBlankTrim();
    EXPECT_EQ(other.length(), 2u) << "no-break space is not white space to the C runtime";
}

TEST(ZoSubStringTest, RightBlankTrimKeepsTheIdeographicSpace) {
    zotest::CodePage cp932(932);
    ZoSubString view(u("a\x81\x40 "), 4);
    view.rightBlankTrim();
    EXPECT_EQ(textOf(view), "a\x81\x40");
}

std::vector<std::string> linesOf(const ZoSubString &text) {
    ZoArray lines;
    lines.setDeleteContents(true);
    EXPECT_EQ(text.getLines(&lines), ZoSuccess);
    std::vector<std::string> result;
    for (uint32_t i = 0; i < lines.getCount(); ++i)
        result.push_back(textOf(*static_cast<ZoString *>(lines.getAt(i))));
    return result;
}

TEST(ZoSubStringTest, GetLinesSkipsEmptyLinesAndKeepsALastOpenOne) {
    std::string text = "a\r\n\r\nbb\rx\n\r\nc";
    EXPECT_EQ(linesOf(ZoSubString(u(text.c_str()), static_cast<uint32_t>(text.size()))),
              (std::vector<std::string>{"a", "bb\rx\n", "c"}));
    EXPECT_EQ(linesOf(ZoSubString(u("\r\n\r\n"), 4)), std::vector<std::string>{});
    EXPECT_EQ(linesOf(ZoSubString(u("x\r\n"), 3)), std::vector<std::string>{"x"});
    EXPECT_EQ(linesOf(ZoSubString()), std::vector<std::string>{});
}

TEST(ZoSubStringTest, GetLinesDoesNotNeedRoomForATerminatingNul) {
    // The view ends exactly at the end of its storage (ASan checks no byte is written past it).
    std::vector<unsigned char> storage = {'a', '\r', '\n', 'b'};
    ZoSubString view(storage.data(), 4);
    EXPECT_EQ(linesOf(view), (std::vector<std::string>{"a", "b"}));
}

TEST(ZoSubStringTest, GetLinesKeepsTheLinesMadeBeforeAFailure) {
    ZoSubString text(u("one\r\ntwo\r\nthree"), 15);
    uint32_t points = zotest::forEachAllocationFailure([&](zotest::FailurePoint &point) {
        ZoArray lines;
        lines.setDeleteContents(true);
        point.arm();
        ZoStatus status = text.getLines(&lines);
        if (point.disarm()) {
            EXPECT_EQ(status, ZoFailure);
            EXPECT_LT(lines.getCount(), 3u);
        } else {
            EXPECT_EQ(status, ZoSuccess);
            EXPECT_EQ(lines.getCount(), 3u);
        }
    });
    EXPECT_GE(points, 6u) << "a string and its buffer per line, plus the array";
}

TEST(ZoSubStringTest, CopyQuotedStrUnquotesUpToTheClosingQuote) {
    ZoString out;
    init(out, "<");
    ZoSubString quoted(u("'it''s' rest"), 12);
    ASSERT_EQ(quoted.copyQuotedStr(&out), ZoSuccess);
    expectText(out, "<it's");
    EXPECT_GE(out.capacity(), 1u + 12u + 1u);
    ZoSubString unterminated(u("\"ab\"\""), 5);
    ASSERT_EQ(unterminated.copyQuotedStr(&out), ZoSuccess);
    expectText(out, "<it'sab\"");
}

TEST(ZoSubStringTest, CopyQuotedStrCopiesDoubleByteCharactersWhole) {
    zotest::CodePage cp932(932);
    // 0x81 0x27 is not a character of 932, but a lead byte always takes the next byte.
    ZoSubString quoted(u("'\x81'x'"), 5);
    ZoString out;
    ASSERT_EQ(quoted.copyQuotedStr(&out), ZoSuccess);
    expectText(out, "\x81'x");
    ZoSubString cut(u("'a\x81"), 3);
    ZoString tail;
    ASSERT_EQ(cut.copyQuotedStr(&tail), ZoSuccess);
    // A lead byte at the end is copied without reading beyond the view.
    expectText(tail, "a\x81");
}

TEST(ZoSubStringTest, CopyQuotedStrFromItsOwnTarget) {
    ZoString s;
    init(s, "'ab'");
    ZoSubString self(s.data(), s.length());
    ASSERT_EQ(self.copyQuotedStr(&s), ZoSuccess);
    expectText(s, "'ab'ab");
    expectAtomicGrowth("x", "x", [](ZoString &target) {
        ZoSubString quoted(u("''"), 2);
        return quoted.copyQuotedStr(&target);
    });
}

} // namespace

namespace {

std::string lineBreaksInserted(const std::string &text, uint32_t width, unsigned char q1 = 0, unsigned char q2 = 0,
                               unsigned char q3 = 0) {
    ZoString s;
    init(s, text);
    EXPECT_EQ(s.insertLineBreaks(width, q1, q2, q3), ZoSuccess);
    return textOf(s);
}

std::string lineBreaksRemoved(const std::string &text, unsigned char q1 = 0, unsigned char q2 = 0,
                              unsigned char q3 = 0) {
    ZoString s;
    init(s, text);
    EXPECT_EQ(s.removeLineBreaks(q1, q2, q3), ZoSuccess);
    return textOf(s);
}

TEST(ZoStringLinesTest, ForceEolAddsOnlyTheMissingPairs) {
    ZoString s;
    init(s, "x\r\n");
    ASSERT_EQ(s.forceEol(2), ZoSuccess);
    expectText(s, "x\r\n\r\n");
    init(s, "x\r\n\r\n\r\n");
    ASSERT_EQ(s.forceEol(2), ZoSuccess);
    expectText(s, "x\r\n\r\n\r\n");
    init(s, "x\n\r");
    ASSERT_EQ(s.forceEol(1), ZoSuccess);
    expectText(s, "x\n\r\r\n");
    ZoString empty;
    ASSERT_EQ(empty.forceEol(0), ZoSuccess);
    EXPECT_EQ(empty.data(), nullptr);
    ASSERT_EQ(empty.forceEol(1), ZoSuccess);
    expectText(empty, "\r\n");
    expectAtomicGrowth("a", "a\r\n\r\n\r\n", [](ZoString &t) { return t.forceEol(3); });
}

TEST(ZoStringLinesTest, InsertLineBreaksBreaksAtTheLastBlankBeforeTheWidth) {
    EXPECT_EQ(lineBreaksInserted("aaa bbb ccc", 5), "aaa\r\nbbb\r\nccc");
    EXPECT_EQ(lineBreaksInserted("aa bb cc dd", 5), "aa bb\r\ncc dd");
    EXPECT_EQ(lineBreaksInserted("aaa bbb", 7), "aaa bbb") << "width >= length";
    EXPECT_EQ(lineBreaksInserted("abcdefgh ij", 4), "abcdefgh\r\nij") << "no blank: the line stays long";
    EXPECT_EQ(lineBreaksInserted(" abcdef", 3), " abcdef") << "a blank at the start never breaks";
}

TEST(ZoStringLinesTest, InsertLineBreaksNeverBreaksInsideQuotes) {
    EXPECT_EQ(lineBreaksInserted("a 'x y z' b", 5, '\''), "a\r\n'x y z'\r\nb");
    EXPECT_EQ(lineBreaksInserted("a 'x y z' b", 5), "a 'x\r\ny z'\r\nb");
    EXPECT_EQ(lineBreaksInserted("a \"x'y z\" b", 5, '\'', '"'), "a\r\n\"x'y z\"\r\nb")
        << "only the opening quote byte closes a section";
}

TEST(ZoStringLinesTest, InsertLineBreaksKeepsDoubleByteCharactersWhole) {
    zotest::CodePage cp932(932);
    // 0x83 0x5B is one character whose trail byte is '[' (a quote byte here): it neither
    // opens a section nor is split.
    EXPECT_EQ(lineBreaksInserted("\x83[\x83[ \x83[ b", 5, '['), "\x83[\x83[\r\n\x83[ b");
}

TEST(ZoStringLinesTest, InsertLineBreaksFailureLeavesTheText) {
    expectAtomicGrowth("aaa bbb ccc", "aaa\r\nbbb\r\nccc", [](ZoString &s) { return s.insertLineBreaks(5, 0, 0, 0); });
    // A borrowed buffer too small for the result fails and keeps its text.
    unsigned char buffer[13] = "aaa bbb ccc";
    ZoString s;
    s.initializeWithBuffer(buffer, sizeof buffer, 11);
    EXPECT_EQ(s.insertLineBreaks(5, 0, 0, 0), ZoFailure);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(buffer)), "aaa bbb ccc");
    EXPECT_EQ(s.data(), buffer);
}

TEST(ZoStringLinesTest, RemoveLineBreaksJoinsRunsWithOneBlank) {
    EXPECT_EQ(lineBreaksRemoved("a\r\n\r\nb"), "a b");
    EXPECT_EQ(lineBreaksRemoved("a\r\nb\r\nc\r\n\r\n"), "a b c");
    EXPECT_EQ(lineBreaksRemoved("\r\na"), " a");
    EXPECT_EQ(lineBreaksRemoved("a\rb\n"), "a\rb\n") << "lone CR or LF stay";
    EXPECT_EQ(lineBreaksRemoved("'a\r\nb'\r\nc", '\''), "'a\r\nb' c");
}

TEST(ZoStringLinesTest, RemoveLineBreaksNeedsNoMemory) {
    ZoString s;
    init(s, "a\r\nb");
    zotest::NoMemory none;
    ASSERT_EQ(s.removeLineBreaks(0, 0, 0), ZoSuccess);
    expectText(s, "a b");
}

TEST(ZoStringLinesTest, LineOperationsInUtf8Mode) {
    zotest::Utf8Mode utf8;
    // The trail byte 0xA7 of U+00A7 is the quote byte: it must not open a section.
    EXPECT_EQ(lineBreaksRemoved("\xC2\xA7\r\nx", 0xA7), "\xC2\xA7 x");
    EXPECT_EQ(lineBreaksInserted("\xC2\xA7\xC2\xA7 ab", 4, 0xA7), "\xC2\xA7\xC2\xA7\r\nab");
}

} // namespace

namespace {

// The search against a plain walk of the stepping rule, over random texts rich in lead
// bytes, trail-like bytes and ASCII runs (the search skips ASCII and resynchronises).
uint32_t referenceFind(const std::string &text, uint32_t start, const std::string &pattern) {
    const unsigned char *charLength = mdsCharLengthTable();
    for (uint32_t pos = start; pos + pattern.size() <= text.size();
         pos += charLength[static_cast<unsigned char>(text[pos])])
        if (text.compare(pos, pattern.size(), pattern) == 0)
            return pos;
    return static_cast<uint32_t>(text.size());
}

void compareWithReference(uint32_t seed) {
    std::srand(seed);
    const unsigned char alphabet[] = {'a', 'b', '@', ' ', 0x81, 0x82, 0xE0, 0xE3, 0xC3, 0xA9, 0x40, 0x80, 0xF0};
    for (int round = 0; round < 400; ++round) {
        std::string text;
        int length = std::rand() % 200;
        for (int i = 0; i < length; ++i) {
            // Long ASCII runs now and then, so that the skipping paths are taken.
            if (std::rand() % 16 == 0)
                text.append(std::rand() % 48, 'a');
            text += static_cast<char>(alphabet[std::rand() % sizeof alphabet]);
        }
        std::string pattern;
        for (int i = 1 + std::rand() % 3; i > 0; --i)
            pattern += static_cast<char>(alphabet[std::rand() % sizeof alphabet]);
        uint32_t start = text.empty() ? 0 : std::rand() % text.size();
        ZoSubString view(u(text.c_str()), static_cast<uint32_t>(text.size()));
        ASSERT_EQ(view.findSubString(u(pattern.c_str()), start), referenceFind(text, start, pattern))
            << "round " << round << " start " << start;
        ASSERT_EQ(view.findChar(static_cast<unsigned char>(pattern[0]), start),
                  referenceFind(text, start, pattern.substr(0, 1)));
    }
}

TEST(ZoSubStringSearchTest, AgreesWithAPlainWalkInEveryMode) {
    compareWithReference(1);
    {
        zotest::CodePage cp932(932);
        compareWithReference(2);
    }
    {
        zotest::CodePage cp936(936);
        compareWithReference(3);
    }
    zotest::Utf8Mode utf8;
    compareWithReference(4);
}

} // namespace

namespace {

TEST(ZoSubStringCompareTest, HashFoldsCaseOverTheFirstFiveBytes) {
    ZoSubString lower(u("abcdef"), 6), upper(u("ABCDEx"), 6);
    EXPECT_EQ(lower.hash(), 335u);
    EXPECT_EQ(upper.hash(), 335u);
    EXPECT_EQ(ZoSubString(u("ab"), 2).hash(), 65u + 66u);
    EXPECT_EQ(ZoSubString().hash(), 0u);
    // The case mapping stops at an embedded 0 byte, as it does on a terminated text.
    EXPECT_EQ(ZoSubString(u("a\0b"), 3).hash(), 65u + 0u + 98u);
}

TEST(ZoSubStringCompareTest, HashLeavesDoubleByteCharactersAlone) {
    zotest::CodePage cp932(932);
    // 0x82 0x61 is one character: its trail byte 'a' is not upper-cased.
    EXPECT_EQ(ZoSubString(u("\x82\x61x"), 3).hash(), 0x82u + 0x61u + 'X');
}

TEST(ZoSubStringCompareTest, ByteTextsCompareIgnoringCaseShorterFirst) {
    ZoSubString abc(u("abc"), 3), ABCD(u("ABCD"), 4), ABC(u("ABC"), 3), abd(u("abd"), 3);
    EXPECT_EQ(abc.compare(&ABCD), -1);
    EXPECT_EQ(ABCD.compare(&abc), 1);
    EXPECT_EQ(abc.compare(&ABC), 0);
    EXPECT_EQ(abd.compare(&ABC), 1);
    EXPECT_EQ(ZoSubString().compare(&abc), -1);
    EXPECT_EQ(abc.compare(nullptr), 1);
}

TEST(ZoSubStringCompareTest, WideTextsCompareTheCommonLengthFoldingOnlyAToZ) {
    const uint16_t ab[] = {'a', 'b'}, ABC[] = {'A', 'B', 'C'}, agrave[] = {0xE0}, Agrave[] = {0xC0};
    auto wide = [](const uint16_t *units, uint32_t n) {
        ZoSubString view;
        view.setWide(true);
        view.set(reinterpret_cast<const unsigned char *>(units), n);
        return view;
    };
    ZoSubString x = wide(ab, 2), y = wide(ABC, 3), z = wide(agrave, 1), w = wide(Agrave, 1);
    EXPECT_EQ(x.compare(&y), 0) << "no tie-break on length";
    EXPECT_EQ(z.compare(&w), 1) << "only A-Z fold";
    const uint16_t valueAB[] = {'A', 'B', 0};
    const unsigned char *values[] = {reinterpret_cast<const unsigned char *>(valueAB)};
    EXPECT_EQ(x.indexInSetCi(values, 1), 0);
    EXPECT_EQ(x.indexInSet(values, 1), 1);
}

TEST(ZoSubStringCompareTest, IndexInSetCiMatchesWholeTextsIgnoringCase) {
    const unsigned char *values[] = {u("SELEC"), u("Select"), u("select")};
    EXPECT_EQ(ZoSubString(u("SELECT"), 6).indexInSetCi(values, 3), 1);
    EXPECT_EQ(ZoSubString(u("SELECTED"), 8).indexInSetCi(values, 3), 3);
}

TEST(ZoSubStringQuoteTest, CopiesQuoteWithApostrophesWhateverTheArgument) {
    ZoSubString text(u("it's"), 4);
    unsigned char out[2 * 4 + 3];
    EXPECT_EQ(text.getCopyQuoted(out, '"'), out);
    EXPECT_STREQ(reinterpret_cast<char *>(out), "'it''s'");
    ZoSubString quoted(u("\"a\"\"b\""), 6);
    unsigned char plain[7];
    EXPECT_EQ(quoted.getCopyUnquoted(plain), plain);
    EXPECT_STREQ(reinterpret_cast<char *>(plain), "a\"b");
    EXPECT_STREQ(reinterpret_cast<char *>(ZoSubString().getCopyUnquoted(plain)), "");
}

TEST(ZoStringQuoteTest, AddQuotesDoublesTheQuoteAndGrowsExactly) {
    ZoString s;
    init(s, "O'Brien");
    ASSERT_EQ(s.addQuotes('\''), ZoSuccess);
    expectText(s, "'O''Brien'");
    EXPECT_EQ(s.capacity(), 7u + 1u + 3u);
    s.removeQuotes();
    expectText(s, "O'Brien");
    ZoString empty;
    ASSERT_EQ(empty.addQuotes('"'), ZoSuccess);
    expectText(empty, "\"\"");
    empty.removeQuotes();
    expectText(empty, "");
    ZoString none;
    none.removeQuotes();
    EXPECT_EQ(none.data(), nullptr);
    expectAtomicGrowth("a'b", "'a''b'", [](ZoString &t) { return t.addQuotes('\''); });
}

TEST(ZoStringQuoteTest, AddQuotesNeverDoublesInsideADoubleByteCharacter) {
    zotest::CodePage cp932(932);
    ZoString s;
    // 0x83 takes the apostrophe after it as its trail byte.
    init(s, "\x83''");
    ASSERT_EQ(s.addQuotes('\''), ZoSuccess);
    expectText(s, "'\x83''''");
    s.removeQuotes();
    expectText(s, "\x83''");
}

TEST(ZoStringQuoteTest, AddQuotedBytesAppendsAndMayQuoteItself) {
    ZoString s;
    init(s, "x=");
    ASSERT_EQ(s.addQuotedBytes(ZoSubString(u("a\"b"), 3), '"'), ZoSuccess);
    expectText(s, "x=\"a\"\"b\"");
    ZoSubString self(s.data(), 1);
    ASSERT_EQ(s.addQuotedBytes(self, '\''), ZoSuccess);
    expectText(s, "x=\"a\"\"b\"'x'");
    expectAtomicGrowth("k=", "k='v'''", [](ZoString &t) { return t.addQuotedBytes(ZoSubString(u("v'"), 2), '\''); });
}

// Round trips over random texts of whole characters: quoting then unquoting gives the text
// back, and removing the quotes in place agrees.
void quotingRoundTrips(uint32_t seed, bool doubleByte) {
    std::srand(seed);
    const unsigned char singles[] = {'a', 'Z', ' ', '\'', '"', 0x40, 0x5C, 0xA0, 0xFF};
    const unsigned char leads[] = {0x81, 0x83, 0x9F, 0xE0, 0xFC};
    const unsigned char trails[] = {0x40, 0x5C, 0x7E, 0x80, 0xFC, '\''};
    for (int round = 0; round < 500; ++round) {
        std::string text;
        for (int n = std::rand() % 24; n > 0; --n) {
            if (doubleByte && std::rand() % 3 == 0) {
                text += static_cast<char>(leads[std::rand() % sizeof leads]);
                text += static_cast<char>(trails[std::rand() % sizeof trails]);
            } else {
                unsigned char b = singles[std::rand() % sizeof singles];
                text += static_cast<char>(doubleByte && zo::plat::isLeadByte(b) ? 'a' : b);
            }
        }
        const unsigned char quote = std::rand() % 2 ? '\'' : '"';
        std::vector<unsigned char> quoted(2 * text.size() + 3);
        unsigned char *end = strCopyQuoted(quoted.data(), u(text), static_cast<uint32_t>(text.size()), quote);
        uint32_t quotedLength = static_cast<uint32_t>(end - quoted.data());
        std::vector<unsigned char> back(quotedLength + 1);
        unsigned char *backEnd = strCopyUnquoted(back.data(), quoted.data(), quotedLength);
        ASSERT_EQ(std::string(reinterpret_cast<char *>(back.data()), backEnd - back.data()), text) << round;
        uint32_t removed = strRemoveQuotes(quoted.data(), quotedLength, quote);
        ASSERT_EQ(std::string(reinterpret_cast<char *>(quoted.data()), removed), text) << round;

        ZoString s;
        init(s, text);
        ASSERT_EQ(s.addQuotes(quote), ZoSuccess);
        EXPECT_EQ(s.length(), quotedLength);
        s.removeQuotes();
        ASSERT_EQ(textOf(s), text) << round;
    }
}

TEST(ZoStringQuoteTest, QuotingRoundTripsOverRandomTexts) {
    quotingRoundTrips(11, false);
    zotest::CodePage cp932(932);
    quotingRoundTrips(12, true);
}

TEST(ZoStringQuoteTest, QuotingRoundTripsInUtf8Mode) {
    zotest::Utf8Mode utf8;
    quotingRoundTrips(13, false);
}

} // namespace
