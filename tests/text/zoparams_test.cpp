#include <zo/zoparams.h>

#include <gtest/gtest.h>

#include <string>

#include "support/alloc_failure.h"
#include "text/text_modes.h"

using zotest::u;

namespace {

std::string textOf(const ZoSubString &s) {
    return s.data() == nullptr ? std::string() : std::string(reinterpret_cast<const char *>(s.data()), s.length());
}

TEST(ZoParamStringTest, FillsEveryOccurrenceOfTheNumberedPlaceholder) {
    ZoParamString message;
    ASSERT_EQ(message.initialize("%s1 and %s1"), ZoSuccess);
    message << "x";
    EXPECT_EQ(textOf(message), "x and x");
    EXPECT_EQ(message.counter(), 1);
}

TEST(ZoParamStringTest, ValuesFillByNumberNotByPosition) {
    ZoParamString message;
    ASSERT_EQ(message.initialize("%n2 of %s1"), ZoSuccess);
    message << "files" << 3u;
    EXPECT_EQ(textOf(message), "3 of files");
    ASSERT_EQ(message.initialize("%n1/%n2/%n3"), ZoSuccess);
    EXPECT_EQ(message.counter(), 0) << "initialize restarts the count";
    message << int32_t{-5} << INT32_MIN << 0u;
    EXPECT_EQ(textOf(message), "-5/-2147483648/0");
}

TEST(ZoParamStringTest, ATypeLetterMismatchLeavesThePlaceholder) {
    ZoParamString message;
    ASSERT_EQ(message.initialize("[%s1][%n1]"), ZoSuccess);
    message << 7u;
    EXPECT_EQ(textOf(message), "[%s1][7]");
}

TEST(ZoParamStringTest, AMissingPlaceholderStillAdvancesTheCount) {
    ZoParamString message;
    ASSERT_EQ(message.initialize("only %s2"), ZoSuccess);
    message << "first";
    EXPECT_EQ(textOf(message), "only %s2");
    message << "second";
    EXPECT_EQ(textOf(message), "only second");
}

TEST(ZoParamStringTest, TenthValueFillsTheXFormOnly) {
    ZoParamString message;
    ASSERT_EQ(message.initialize("%s1|%s10|%sx10|%nx11"), ZoSuccess);
    message << "a";
    EXPECT_EQ(textOf(message), "a|a0|%sx10|%nx11") << "%s1 is a prefix of %s10, hence the x form";
    for (int i = 2; i <= 9; ++i)
        message << "-";
    message << "ten" << 11u;
    EXPECT_EQ(textOf(message), "a|a0|ten|11");
}

TEST(ZoParamStringTest, NullTextAndEmptyViewRemoveThePlaceholder) {
    ZoParamString message;
    ASSERT_EQ(message.initialize("<%s1><%s2><%s3>"), ZoSuccess);
    ASSERT_EQ(message.setParam(static_cast<const unsigned char *>(nullptr)), ZoSuccess);
    // An empty view whose pointer still addresses text inserts nothing.
    ASSERT_EQ(message.setParam(ZoSubString(u("ignored"), 0)), ZoSuccess);
    ASSERT_EQ(message.setParam(ZoSubString(u("view!"), 4)), ZoSuccess);
    EXPECT_EQ(textOf(message), "<><><view>");
}

// Values are inserted as they are; a later placeholder they happen to contain is a
// placeholder like any other.
TEST(ZoParamStringTest, AValueContainingALaterPlaceholderIsFilledByTheLaterValue) {
    ZoParamString message;
    ASSERT_EQ(message.initialize("%s1 %s2"), ZoSuccess);
    message << "%s2";
    message << "v";
    EXPECT_EQ(textOf(message), "v v");
}

TEST(ZoParamStringTest, AfterAFailureFurtherValuesAreIgnoredUntilInitialize) {
    ZoParamString message;
    ASSERT_EQ(message.initialize("%s1 %s2"), ZoSuccess);
    {
        zotest::NoMemory none;
        message << "a longer value";
    }
    EXPECT_TRUE(message.failed());
    EXPECT_EQ(textOf(message), "%s1 %s2") << "the failed replacement keeps the text";
    message << "b";
    EXPECT_EQ(textOf(message), "%s1 %s2");
    EXPECT_EQ(message.counter(), 1);
    ASSERT_EQ(message.initialize("%s1"), ZoSuccess);
    EXPECT_FALSE(message.failed());
    message << "ok";
    EXPECT_EQ(textOf(message), "ok");
}

TEST(ZoParamStringTest, FailedInitializeSetsTheFlag) {
    ZoParamString message;
    {
        zotest::NoMemory none;
        EXPECT_EQ(message.initialize(16u), ZoFailure);
    }
    EXPECT_TRUE(message.failed());
    message << "x";
    EXPECT_EQ(message.counter(), 0);
    ASSERT_EQ(message.initialize(16u), ZoSuccess);
    EXPECT_EQ(message.capacity(), 17u);
    EXPECT_EQ(message.length(), 0u);
}

TEST(ZoParamStringTest, EveryFillFailurePointKeepsTheText) {
    uint32_t points = zotest::forEachAllocationFailure([](zotest::FailurePoint &point) {
        ZoParamString message;
        ASSERT_EQ(message.initialize("%n1:%n1"), ZoSuccess);
        point.arm();
        ZoStatus status = message.setParam(uint32_t{123456});
        if (point.disarm()) {
            EXPECT_EQ(status, ZoFailure);
            EXPECT_TRUE(message.failed());
            EXPECT_EQ(textOf(message), "%n1:%n1");
        } else {
            EXPECT_EQ(status, ZoSuccess);
            EXPECT_EQ(textOf(message), "123456:123456");
        }
    });
    EXPECT_EQ(points, 1u);
}

TEST(ZoParamStringTest, ResetCounterRefillsFromOne) {
    ZoParamString message;
    ASSERT_EQ(message.initialize("%s1."), ZoSuccess);
    message << "a";
    ASSERT_EQ(message.concat(" then %s1"), ZoSuccess);
    message.resetCounter();
    message << "b";
    EXPECT_EQ(textOf(message), "a. then b");
}

TEST(ZoParamStringTest, PlaceholdersAfterDoubleByteCharactersAreFound) {
    zotest::CodePage cp932(932);
    ZoParamString message;
    // The lead byte 0x81 takes the '%' that follows it as its trail byte.
    ASSERT_EQ(message.initialize("\x81%s1 %s1"), ZoSuccess);
    message << "v";
    EXPECT_EQ(textOf(message), "\x81%s1 v");
}

} // namespace

namespace {

TEST(ZoParamStringQuoteTest, QuotedParamDoublesTheQuote) {
    ZoParamString message;
    ASSERT_EQ(message.initialize("name=%s1;"), ZoSuccess);
    ASSERT_EQ(message.setQuotedParam(u("O'Brien"), '\''), ZoSuccess);
    EXPECT_EQ(textOf(message), "name='O''Brien';");
    EXPECT_EQ(message.counter(), 1);
}

TEST(ZoParamStringQuoteTest, QuotedParamFailureSetsTheFlagAndKeepsTheText) {
    uint32_t points = zotest::forEachAllocationFailure([](zotest::FailurePoint &point) {
        ZoParamString message;
        ASSERT_EQ(message.initialize("[%s1]"), ZoSuccess);
        point.arm();
        ZoStatus status = message.setQuotedParam(u("a\"b"), '"');
        if (point.disarm()) {
            EXPECT_EQ(status, ZoFailure);
            EXPECT_TRUE(message.failed());
            EXPECT_EQ(textOf(message), "[%s1]");
        } else {
            EXPECT_EQ(status, ZoSuccess);
            EXPECT_EQ(textOf(message), "[\"a\"\"b\"]");
        }
    });
    EXPECT_EQ(points, 3u) << "the copy, its quoted form and the fill";
}

} // namespace
