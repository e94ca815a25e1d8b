#include <zo/zoarray.h>
#include <zo/zoscanne.h>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "support/alloc_failure.h"
#include "text/text_modes.h"
#include "support/status.h"

namespace {

const unsigned char *bytes(const char *text) { return reinterpret_cast<const unsigned char *>(text); }
using Tokens = std::vector<std::pair<int32_t, std::string>>;

std::string textOf(const ZoSubString &s) { return std::string(reinterpret_cast<const char *>(s.data()), s.length()); }

// Reads every token up to and including the end.
Tokens scanAll(ZoScanner &scanner, SearchType type = searchNormal) {
    Tokens out;
    for (;;) {
        ZoToken token;
        scanner.getToken(token, type);
        out.emplace_back(token.kind(), textOf(token));
        if (token.kind() == tokenEnd)
            return out;
    }
}

Tokens scanText(const std::string &text, SearchType type = searchNormal) {
    ZoScanner scanner(bytes(text.c_str()), static_cast<uint32_t>(text.size()));
    return scanAll(scanner, type);
}

constexpr int32_t kEq = '=';

TEST(ScannerTokens, WordsOperatorsAndRepeatableEnd) {
    ZoScanner scanner(bytes("a>=b"));
    EXPECT_EQ(scanAll(scanner), (Tokens{{tokenWord, "a"}, {0x3E3D, ">="}, {tokenWord, "b"}, {tokenEnd, ""}}));
    for (int i = 0; i < 3; ++i) {
        ZoToken token;
        scanner.getToken(token, searchNormal);
        EXPECT_EQ(token.kind(), tokenEnd);
        EXPECT_EQ(token.startOffset(), 4u);
        EXPECT_EQ(token.data(), scanner.text() + 4);
        EXPECT_TRUE(scanner.atEnd());
    }
}

TEST(ScannerTokens, EveryOperatorOfTheTable) {
    const std::pair<std::string, int32_t> table[] = {
        {"?", '?'},     {",", ','},     {"(", '('},     {")", ')'},     {".", '.'},     {"=", '='},     {"==", 0x3D3D},
        {"=*", 0x3D2A}, {"=<", 0x3D3C}, {"=>", 0x3D3E}, {"+", '+'},     {"++", 0x2B2B}, {"&", '&'},     {"&&", 0x2626},
        {"|", '|'},     {"||", 0x7C7C}, {"-", '-'},     {"--", 0x2D2D}, {"/", '/'},     {"//", 0x2F2F}, {"*", '*'},
        {"**", 0x2A2A}, {"*=", 0x2A3D}, {">", '>'},     {">=", 0x3E3D}, {"<", '<'},     {"<=", 0x3C3D}, {"<>", 0x3C3E},
        {"!", '!'},     {"!=", 0x213D}, {"!<", 0x213C}, {"!>", 0x213E}, {";", ';'},     {":", ':'},     {"{", '{'},
        {"}", '}'},     {"$", '$'},     {"#", '#'},     {"%", '%'},     {"@", '@'}};
    for (const auto &[text, kind] : table) {
        Tokens tokens = scanText(text + " x");
        ASSERT_EQ(tokens.size(), 3u) << text;
        EXPECT_EQ(tokens[0], (std::pair<int32_t, std::string>{kind, text})) << text;
    }
    EXPECT_EQ(zoOperatorCode('>', '='), 0x3E3D);
    // A NUL byte is the table's last entry: code 0, the kind tokenNone.
    const unsigned char nul[] = {'a', 0, 'b'};
    ZoScanner scanner(nul, 3);
    EXPECT_EQ(scanAll(scanner),
              (Tokens{{tokenWord, "a"}, {tokenNone, std::string(1, '\0')}, {tokenWord, "b"}, {tokenEnd, ""}}));
}

TEST(ScannerTokens, TwoCharacterOperatorsTakeOnlyTheirOwnSecondCharacter) {
    EXPECT_EQ(scanText("=>="), (Tokens{{0x3D3E, "=>"}, {kEq, "="}, {tokenEnd, ""}}));
    EXPECT_EQ(scanText("<<>"), (Tokens{{'<', "<"}, {0x3C3E, "<>"}, {tokenEnd, ""}}));
    EXPECT_EQ(scanText("!"), (Tokens{{'!', "!"}, {tokenEnd, ""}}));
    // Characters outside the table are one tokenOther each.
    EXPECT_EQ(scanText("[~\\"), (Tokens{{tokenOther, "["}, {tokenOther, "~"}, {tokenOther, "\\"}, {tokenEnd, ""}}));
}

TEST(ScannerTokens, QuotedStrings) {
    EXPECT_EQ(scanText("'it''s' x"), (Tokens{{tokenLiteral, "'it''s'"}, {tokenWord, "x"}, {tokenEnd, ""}}));
    EXPECT_EQ(scanText("'abc"), (Tokens{{tokenUnterminated, "'abc"}, {tokenEnd, ""}}));
    EXPECT_EQ(scanText("\"a'b\"`c\"`"), (Tokens{{tokenLiteral, "\"a'b\""}, {tokenLiteral, "`c\"`"}, {tokenEnd, ""}}));
    // A doubled quote at the very end is an escaped quote, so the string is unterminated.
    EXPECT_EQ(scanText("'a''"), (Tokens{{tokenUnterminated, "'a''"}, {tokenEnd, ""}}));
    EXPECT_EQ(scanText("''"), (Tokens{{tokenLiteral, "''"}, {tokenEnd, ""}}));

    ZoScanner scanner(bytes("'a' #b#"));
    scanner.setQuoteChars('#', 0, 0);
    EXPECT_EQ(scanAll(scanner),
              (Tokens{{'\'', "'"}, {tokenWord, "a"}, {'\'', "'"}, {tokenLiteral, "#b#"}, {tokenEnd, ""}}));
}

TEST(ScannerTokens, QuoteCharacterZeroTurnsQuotingOff) {
    const unsigned char text[] = {'a', 0, 'b', '\''};
    ZoScanner scanner(text, 4);
    scanner.setQuoteChars(0, 0, 0);
    EXPECT_EQ(
        scanAll(scanner),
        (Tokens{{tokenWord, "a"}, {tokenNone, std::string(1, '\0')}, {tokenWord, "b"}, {'\'', "'"}, {tokenEnd, ""}}));
}

TEST(ScannerTokens, Numbers) {
    EXPECT_EQ(scanText("3.14"), (Tokens{{tokenNumber, "3.14"}, {tokenEnd, ""}}));
    EXPECT_EQ(scanText("3.14 "), (Tokens{{tokenNumber, "3.14"}, {tokenEnd, ""}}));
    EXPECT_EQ(scanText("1.2.3"), (Tokens{{tokenNumber, "1.2"}, {tokenNumber, ".3"}, {tokenEnd, ""}}));
    EXPECT_EQ(scanText(".5"), (Tokens{{tokenNumber, ".5"}, {tokenEnd, ""}}));
    EXPECT_EQ(scanText("7."), (Tokens{{tokenNumber, "7."}, {tokenEnd, ""}}));
    EXPECT_EQ(scanText("12ab"), (Tokens{{tokenNumber, "12"}, {tokenWord, "ab"}, {tokenEnd, ""}}));
    EXPECT_EQ(scanText("a.b"), (Tokens{{tokenWord, "a"}, {'.', "."}, {tokenWord, "b"}, {tokenEnd, ""}}));

    ZoScanner scanner(bytes("3.14 .5"));
    scanner.decimalNumbers = false;
    EXPECT_EQ(
        scanAll(scanner),
        (Tokens{{tokenNumber, "3"}, {'.', "."}, {tokenNumber, "14"}, {'.', "."}, {tokenNumber, "5"}, {tokenEnd, ""}}));
    scanner.setScanString(bytes("3.14"), 4); // starting over switches decimal numbers back on
    EXPECT_TRUE(scanner.decimalNumbers);
}

TEST(ScannerTokens, OuterJoinAndParenGroups) {
    EXPECT_EQ(scanText("x(+)"), (Tokens{{tokenWord, "x"}, {tokenOuterJoin, "(+)"}, {tokenEnd, ""}}));
    EXPECT_EQ(scanText("(+"), (Tokens{{'(', "("}, {'+', "+"}, {tokenEnd, ""}}));

    ZoScanner scanner(bytes("x(+) (a, (b)) (a ')' b) (c"));
    scanner.groupParens = true;
    EXPECT_EQ(scanAll(scanner), (Tokens{{tokenWord, "x"},
                                        {tokenLiteral, "(+)"},
                                        {tokenLiteral, "(a, (b))"},
                                        {tokenLiteral, "(a ')' b)"},
                                        {tokenUnterminated, "(c"},
                                        {tokenEnd, ""}}));
    scanner.setScanString(bytes("(a 'b"), 5);
    EXPECT_EQ(scanAll(scanner), (Tokens{{tokenUnterminated, "(a 'b"}, {tokenEnd, ""}}));
}

TEST(ScannerTokens, BraceAndBracketGroups) {
    ZoScanner scanner(bytes("{fn x} {a{b}} [c] [d"));
    scanner.groupBraces = true;
    scanner.openBracketChar = '[';
    scanner.closeBracketChar = ']';
    EXPECT_EQ(scanAll(scanner), (Tokens{{tokenLiteral, "{fn x}"},
                                        {tokenLiteral, "{a{b}}"},
                                        {tokenLiteral, "[c]"},
                                        {tokenUnterminated, "[d"},
                                        {tokenEnd, ""}}));
    // One character for both ends closes at its next occurrence.
    scanner.setScanString(bytes("|a b| c"), 7);
    scanner.groupBraces = false;
    scanner.openBracketChar = scanner.closeBracketChar = '|';
    EXPECT_EQ(scanAll(scanner), (Tokens{{tokenLiteral, "|a b|"}, {tokenWord, "c"}, {tokenEnd, ""}}));
}

TEST(ScannerTokens, Comments) {
    ZoScanner scanner(bytes("a -- note\nb /* x */ c /*/ d */ e /* open"));
    scanner.recognizeComments = true;
    EXPECT_EQ(scanAll(scanner), (Tokens{{tokenWord, "a"},
                                        {tokenComment, "-- note"},
                                        {tokenWord, "b"},
                                        {tokenComment, "/* x */"},
                                        {tokenWord, "c"},
                                        {tokenComment, "/*/ d */"},
                                        {tokenWord, "e"},
                                        {tokenComment, "/* open"},
                                        {tokenEnd, ""}}));
    scanner.setScanString(bytes("--x"), 3);
    EXPECT_EQ(scanAll(scanner), (Tokens{{tokenComment, "--x"}, {tokenEnd, ""}}));
    EXPECT_EQ(scanText("a--b"), (Tokens{{tokenWord, "a"}, {0x2D2D, "--"}, {tokenWord, "b"}, {tokenEnd, ""}}));
}

TEST(ScannerTokens, CommentLineFeedIsConsumedButNotPartOfTheToken) {
    ZoScanner scanner(bytes("-- c\nx"));
    scanner.recognizeComments = true;
    ZoToken token;
    scanner.getToken(token, searchNormal);
    EXPECT_EQ(textOf(token), "-- c");
    EXPECT_EQ(scanner.position(), 5u);
}

TEST(ScannerTokens, PlainAndNameSearches) {
    EXPECT_EQ(scanText("C:\\dir\\file.txt, x", searchPlain),
              (Tokens{{tokenPlain, "C:\\dir\\file.txt"}, {',', ","}, {tokenPlain, "x"}, {tokenEnd, ""}}));
    EXPECT_EQ(scanText("a|b(c)/d", searchPlain), (Tokens{{tokenPlain, "a"},
                                                         {'|', "|"},
                                                         {tokenPlain, "b"},
                                                         {'(', "("},
                                                         {tokenPlain, "c"},
                                                         {')', ")"},
                                                         {'/', "/"},
                                                         {tokenPlain, "d"},
                                                         {tokenEnd, ""}}));
    EXPECT_EQ(scanText("#tmp$1 x", searchName), (Tokens{{tokenName, "#tmp$1"}, {tokenName, "x"}, {tokenEnd, ""}}));
    EXPECT_EQ(scanText("$x", searchName), (Tokens{{'$', "$"}, {tokenName, "x"}, {tokenEnd, ""}}));
    EXPECT_EQ(scanText("a#b", searchNormal), (Tokens{{tokenWord, "a"}, {'#', "#"}, {tokenWord, "b"}, {tokenEnd, ""}}));
}

TEST(ScannerTokens, ExtraWordCharactersAndWordBreaks) {
    ZoScanner scanner(bytes("@v-x @y"));
    zotest::ok(scanner.validFirstChars.initialize("@"));
    zotest::ok(scanner.validMiddleChars.initialize("-"));
    EXPECT_EQ(scanAll(scanner), (Tokens{{tokenWord, "@v-x"}, {tokenWord, "@y"}, {tokenEnd, ""}}));

    ZoScanner breaks(bytes("a b;c"));
    zotest::ok(breaks.wordBreakChars.initialize(";"));
    EXPECT_EQ(scanAll(breaks), (Tokens{{tokenWord, "a b"}, {';', ";"}, {tokenWord, "c"}, {tokenEnd, ""}}));
}

TEST(ScannerTokens, WhiteSpaceInValidFirstCharsStartsAWord) {
    ZoScanner scanner(bytes("a  b"));
    zotest::ok(scanner.validFirstChars.initialize(" "));
    EXPECT_EQ(scanAll(scanner), (Tokens{{tokenWord, "a"}, {tokenWord, " "}, {tokenWord, " b"}, {tokenEnd, ""}}));
}

TEST(ScannerTokens, Latin1LettersAreWordCharacters) {
    // 0xE9 is a letter in code page 1252; 0xD7 (multiplication sign) is not.
    EXPECT_EQ(
        scanText("caf\xE9 a\xD7"
                 "b"),
        (Tokens{{tokenWord, "caf\xE9"}, {tokenWord, "a"}, {tokenOther, "\xD7"}, {tokenWord, "b"}, {tokenEnd, ""}}));
}

TEST(ScannerTokens, PositionsPutBackAndTokensByOffset) {
    ZoScanner scanner(bytes("  ab  cd"));
    ZoToken token;
    scanner.getToken(token, searchNormal);
    EXPECT_EQ(token.startOffset(), 2u);
    EXPECT_EQ(scanner.position(), 4u);
    EXPECT_FALSE(scanner.atEnd());
    scanner.getToken(token, searchNormal);
    EXPECT_TRUE(scanner.atEnd());
    scanner.unGetToken(token);
    EXPECT_FALSE(scanner.atEnd());
    EXPECT_EQ(scanner.position(), 6u);
    scanner.getToken(token, searchNormal);
    EXPECT_EQ(textOf(token), "cd");

    ZoToken made;
    scanner.getToken(made, 2, 4);
    EXPECT_EQ(made.kind(), tokenNone);
    EXPECT_EQ(textOf(made), "ab  ");
    EXPECT_EQ(made.startOffset(), 2u);
    EXPECT_EQ(scanner.position(), 8u);
}

TEST(ScannerTokens, EmptyAndNullTexts) {
    ZoScanner none;
    EXPECT_EQ(scanAll(none), (Tokens{{tokenEnd, ""}}));
    ZoScanner blanks(bytes(" \t\r\n"));
    EXPECT_EQ(scanAll(blanks), (Tokens{{tokenEnd, ""}}));
}

TEST(ScannerTokens, CountedTextIsNotReadPastItsLength) {
    const char text[] = "abc'def";
    EXPECT_EQ(scanText(std::string(text, 2)), (Tokens{{tokenWord, "ab"}, {tokenEnd, ""}}));
    ZoScanner scanner(bytes(text), 5);
    EXPECT_EQ(scanAll(scanner), (Tokens{{tokenWord, "abc"}, {tokenUnterminated, "'d"}, {tokenEnd, ""}}));
}

// Common tokens take a direct path that must agree with the full rules; an extra word
// character that occurs nowhere in the text forces the full rules.
TEST(ScannerTokens, DirectPathAgreesWithTheFullRules) {
    const std::string texts[] = {
        "SELECT a.b, c1 FROM t WHERE x >= 10.5 AND y <> 'it''s' -- note\n/* c */ z(+) {d} [e] 'open",
        "a--b /*/ x */ 'q' \"r\" `s` 1.2.3 .5 7. == =* ++ && || ** *= !< !> :$#%@?", "-- \xEB\n x /* \xE3*/ y",
        "caf\xE9 \x82\xA0x '\x82`' 12\x81\x40", std::string("a\0b", 3), "(a, (b)) {c{d}} -x /y",
        // Words, numbers and blanks across the 16-byte blocks the direct path reads.
        "abcdefghijklmnopqrstuvwxyz0123456789_x                    y 123456789012345678.25 qq",
        "fifteen_chars_x, sixteen_chars_xy.z\t\n\r\v\fw xq'a'q \x80"
        "bcdefghijklmnop\xE9"};
    for (const std::string &text : texts) {
        for (unsigned flags = 0; flags < 64; ++flags) {
            for (int mode = 0; mode < 3; ++mode) {
                zotest::CodePage page(mode == 1 ? 932 : 1252);
                std::unique_ptr<zotest::Utf8Mode> utf8(mode == 2 ? new zotest::Utf8Mode : nullptr);
                ZoScanner direct(bytes(text.c_str()), static_cast<uint32_t>(text.size()));
                ZoScanner full(bytes(text.c_str()), static_cast<uint32_t>(text.size()));
                zotest::ok(full.validMiddleChars.initialize("\x01"));
                for (ZoScanner *s : {&direct, &full}) {
                    s->groupParens = flags & 1;
                    s->groupBraces = flags & 2;
                    s->recognizeComments = flags & 4;
                    s->decimalNumbers = flags & 8;
                    if (flags & 16)
                        s->openBracketChar = '[', s->closeBracketChar = ']';
                    if (flags & 32) // a quote character and a bracket that are word characters
                        s->setQuoteChars('q', '"', 0), s->openBracketChar = 'x', s->closeBracketChar = 'y';
                }
                EXPECT_EQ(scanAll(direct), scanAll(full)) << text << " flags " << flags << " mode " << mode;
            }
        }
    }
}

TEST(ScannerDelimited, ItemsQuotesAndTrimming) {
    ZoScanner scanner(bytes("  \"x,y\" , z"));
    ZoToken item;
    scanner.getDelimitedToken(item, ',');
    EXPECT_EQ(item.kind(), tokenDelimited);
    EXPECT_EQ(textOf(item), "\"x,y\"");
    ZoToken comma;
    scanner.getToken(comma, searchNormal);
    EXPECT_EQ(comma.kind(), ',');
    scanner.getDelimitedToken(item, ',');
    EXPECT_EQ(textOf(item), "z");
    scanner.getDelimitedToken(item, ',');
    EXPECT_EQ(item.kind(), tokenEnd);

    ZoScanner empty(bytes(",z"));
    empty.getDelimitedToken(item, ',');
    EXPECT_EQ(item.kind(), tokenNone);
    EXPECT_EQ(item.length(), 0u);
    EXPECT_EQ(item.startOffset(), 0u);
    EXPECT_EQ(empty.position(), 0u);
}

TEST(ScannerDelimited, OtherQuotesInsideAQuotedStretchAreOrdinary) {
    ZoScanner scanner(bytes("'say \"hi\";' ; next"));
    ZoToken item;
    scanner.getDelimitedToken(item, ';');
    EXPECT_EQ(textOf(item), "'say \"hi\";'");
    scanner.setScanString(bytes("a'b;c'd;e"), 9);
    scanner.getDelimitedToken(item, ';');
    EXPECT_EQ(textOf(item), "a'b;c'd");
}

TEST(ScannerDelimited, GroupsHideTheDelimiter) {
    ZoScanner scanner(bytes("f(a,b) {c,d},e"));
    scanner.groupParens = true;
    scanner.groupBraces = true;
    ZoToken item;
    scanner.getDelimitedToken(item, ',');
    EXPECT_EQ(textOf(item), "f(a,b) {c,d}");
}

TEST(ScannerLists, SplitsIntoViewsAndCopies) {
    ZoScanner scanner(bytes("a, 'b,c' ,,d"));
    ZoArray list;
    ASSERT_EQ(scanner.parseList(&list, ','), ZoSuccess);
    ASSERT_EQ(list.getCount(), 4u);
    EXPECT_EQ(textOf(*static_cast<ZoSubString *>(list.getAt(0))), "a");
    EXPECT_EQ(textOf(*static_cast<ZoSubString *>(list.getAt(1))), "'b,c'");
    EXPECT_EQ(textOf(*static_cast<ZoSubString *>(list.getAt(2))), "");
    EXPECT_EQ(textOf(*static_cast<ZoSubString *>(list.getAt(3))), "d");
    EXPECT_TRUE(list.getOptions() & ZoArray::OwnsContents);

    ZoScanner copies(bytes("x,"));
    ASSERT_EQ(copies.parseListZoString(&list, ','), ZoSuccess);
    ASSERT_EQ(list.getCount(), 2u);
    auto *first = static_cast<ZoString *>(list.getAt(0));
    EXPECT_EQ(textOf(*first), "x");
    EXPECT_EQ(first->data()[1], 0); // an owned, NUL-terminated copy
    EXPECT_EQ(textOf(*static_cast<ZoString *>(list.getAt(1))), "");

    ZoScanner empty(bytes(""));
    ASSERT_EQ(empty.parseList(&list, ','), ZoSuccess);
    EXPECT_EQ(list.getCount(), 1u);
}

TEST(ScannerLists, AllocationFailuresKeepTheItemsMadeSoFar) {
    for (bool copies : {false, true}) {
        uint32_t points = zotest::forEachAllocationFailure([&](zotest::FailurePoint &point) {
            ZoScanner scanner(bytes("a,b,c"));
            ZoArray list;
            point.arm();
            ZoStatus status = copies ? scanner.parseListZoString(&list, ',') : scanner.parseList(&list, ',');
            if (point.disarm()) {
                EXPECT_EQ(status, ZoFailure);
                EXPECT_LT(list.getCount(), 3u);
            } else {
                EXPECT_EQ(status, ZoSuccess);
                EXPECT_EQ(list.getCount(), 3u);
            }
        });
        EXPECT_GE(points, 3u);
    }
}

TEST(ScannerCompare, IsEqualOverSeveralWords) {
    ZoScanner scanner(bytes("ORDER  BY x"));
    ZoToken token;
    scanner.getToken(token, searchNormal);
    EXPECT_EQ(scanner.isEqual(token, bytes("ORDER BY")), 1u);
    EXPECT_EQ(textOf(token), "ORDER  BY");
    scanner.getToken(token, searchNormal);
    EXPECT_EQ(textOf(token), "x");

    scanner.setScanString(bytes("ORDER x"), 7);
    scanner.getToken(token, searchNormal);
    EXPECT_EQ(scanner.isEqual(token, bytes("ORDER BY")), 0u);
    EXPECT_EQ(textOf(token), "ORDER");
    EXPECT_EQ(scanner.position(), 5u);

    // At the end of the text a missing word is a mismatch and the end flag is cleared.
    scanner.setScanString(bytes("ORDER"), 5);
    scanner.getToken(token, searchNormal);
    EXPECT_EQ(scanner.isEqual(token, bytes("ORDER BY")), 0u);
    EXPECT_FALSE(scanner.atEnd());
}

TEST(ScannerCompare, CaseAndLength) {
    ZoScanner scanner(bytes("Select"));
    ZoToken token;
    scanner.getToken(token, searchNormal);
    EXPECT_EQ(scanner.isEqual(token, bytes("SELECT")), 0u);
    EXPECT_EQ(scanner.isEqualCi(token, bytes("SELECT")), 1u);
    EXPECT_EQ(scanner.isEqualCi(token, bytes("SELECTED")), 0u);
    EXPECT_EQ(scanner.isEqualCi(token, bytes("SEL")), 0u);
}

TEST(ScannerCompare, InSetAndWithin) {
    ZoScanner scanner(bytes("group by a"));
    ZoToken token;
    scanner.getToken(token, searchNormal);
    const unsigned char list[] = "ORDER BY\0GROUP BY\0";
    EXPECT_EQ(scanner.isInSet(token, list), 0u);
    EXPECT_EQ(scanner.isInSetCi(token, list), 1u);
    EXPECT_EQ(textOf(token), "group by");

    scanner.setScanString(bytes("select a from t where b"), 23);
    EXPECT_EQ(scanner.isTokenWithinCi(bytes("FROM T")), 1u);
    EXPECT_EQ(scanner.position(), 15u);
    EXPECT_EQ(scanner.isTokenWithin(bytes("nothing")), 0u);
    EXPECT_EQ(scanner.position(), 23u);
}

TEST(ScannerEdit, ChangeAndInsertFollowTheAttachedString) {
    ZoString text;
    ASSERT_EQ(text.initialize("select a from t"), ZoSuccess);
    ZoScanner scanner(&text);
    ZoToken select, a;
    scanner.getToken(select, searchNormal);
    scanner.getToken(a, searchNormal);

    ZoSubString longer(bytes("abc"), 3);
    ASSERT_EQ(scanner.changeToken(&a, longer), ZoSuccess);
    EXPECT_EQ(textOf(text), "select abc from t");
    EXPECT_EQ(scanner.position(), 10u);
    ZoToken next;
    scanner.getToken(next, searchNormal);
    EXPECT_EQ(textOf(next), "from");

    ZoSubString distinct(bytes("distinct "), 9);
    scanner.getToken(next, searchNormal); // t
    ASSERT_EQ(scanner.insertToken(&next, distinct), ZoSuccess);
    EXPECT_EQ(textOf(text), "select abc from distinct t");
    EXPECT_EQ(textOf(next), "t");
    EXPECT_EQ(next.startOffset(), 25u);
    EXPECT_EQ(scanner.position(), 26u);

    ZoSubString none;
    ASSERT_EQ(scanner.changeToken(&select, none), ZoSuccess); // an empty text deletes
    EXPECT_EQ(textOf(text), " abc from distinct t");
    EXPECT_EQ(scanner.position(), 20u);
    ASSERT_EQ(scanner.insertToken(&next, none), ZoSuccess);
    EXPECT_EQ(textOf(text), " abc from distinct t");
}

TEST(ScannerEdit, FailuresLeaveTheScannerAlone) {
    ZoScanner detached(bytes("a b"));
    ZoToken token;
    detached.getToken(token, searchNormal);
    ZoSubString x(bytes("x"), 1);
    EXPECT_EQ(detached.changeToken(&token, x), ZoFailure);
    EXPECT_EQ(detached.insertToken(&token, x), ZoFailure);

    ZoString text;
    ASSERT_EQ(text.initialize("a b"), ZoSuccess);
    ZoScanner scanner(&text);
    scanner.getToken(token, searchNormal);
    ZoSubString longer(bytes("a much longer word"), 18);
    {
        zotest::NoMemory noMemory;
        EXPECT_EQ(scanner.changeToken(&token, longer), ZoFailure);
        EXPECT_EQ(scanner.insertToken(&token, longer), ZoFailure);
    }
    EXPECT_EQ(textOf(text), "a b");
    EXPECT_EQ(scanner.position(), 1u);
    EXPECT_EQ(token.startOffset(), 0u);
}

TEST(ScannerMultiByte, DoubleByteCodePage932) {
    zotest::CodePage page(932);
    // 0x82 0xA0 is hiragana A; its trail byte 0x60 is the back quote of the ASCII range and
    // 0x81 0x40 is the ideographic space.
    const std::string word = "\x82\x60\x82\xA0";
    EXPECT_EQ(scanText("\x81\x40" + word + "x\x81\x40,y"),
              (Tokens{{tokenWord, word + "x\x81\x40"}, {',', ","}, {tokenWord, "y"}, {tokenEnd, ""}}));
    EXPECT_EQ(scanText("'" + word + "'"), (Tokens{{tokenLiteral, "'" + word + "'"}, {tokenEnd, ""}}));
    // Half-width katakana are single-byte letters of 932.
    EXPECT_EQ(scanText("\xB1\xB2 1"), (Tokens{{tokenWord, "\xB1\xB2"}, {tokenNumber, "1"}, {tokenEnd, ""}}));
    // A lead byte in the last position is one cut-short character, never read past.
    EXPECT_EQ(scanText("a \x82"), (Tokens{{tokenWord, "a"}, {tokenWord, "\x82"}, {tokenEnd, ""}}));

    const std::string list = "x , " + word + "\x81\x40 , y";
    ZoScanner scanner(bytes(list.c_str()));
    ZoToken item;
    scanner.getToken(item, searchNormal);
    scanner.getToken(item, searchNormal);
    scanner.getDelimitedToken(item, ',');
    EXPECT_EQ(textOf(item), word); // the ideographic space is trimmed
}

// A double-byte character right after "/*" may carry the '*' of a would-be "*/" as its
// trail byte: the comment does not end there, whichever path reads it.
TEST(ScannerMultiByte, CommentOpeningWithADoubleByteCharacter) {
    zotest::CodePage page(936);
    const std::string text = "/*\x8E*/x";
    ZoScanner direct(bytes(text.c_str()));
    direct.recognizeComments = true;
    ZoScanner general(bytes(text.c_str()));
    general.recognizeComments = true;
    zotest::ok(general.validMiddleChars.initialize("\x01")); // takes the general rules for every token
    const Tokens expected{{tokenComment, text}, {tokenEnd, ""}};
    EXPECT_EQ(scanAll(direct), expected);
    EXPECT_EQ(scanAll(general), expected);
}

TEST(ScannerMultiByte, Utf8Mode) {
    zotest::Utf8Mode utf8;
    const std::string e = "\xC3\xA9";         // 2 bytes
    const std::string kanji = "\xE6\xBC\xA2"; // 3 bytes
    EXPECT_EQ(scanText("a" + e + kanji + "1 b"),
              (Tokens{{tokenWord, "a" + e + kanji + "1"}, {tokenWord, "b"}, {tokenEnd, ""}}));
    // 0xF0 and above are one-byte characters; 0xF7 is no letter in 1252.
    EXPECT_EQ(scanText("\xF7x"), (Tokens{{tokenOther, "\xF7"}, {tokenWord, "x"}, {tokenEnd, ""}}));
    // A 3-byte lead cut by the end of the text.
    EXPECT_EQ(scanText("a\xE6\xBC"), (Tokens{{tokenWord, "a\xE6\xBC"}, {tokenEnd, ""}}));
    // In UTF-8 mode 0x81 0x40 is no space: 0x81 is a character of its own.
    EXPECT_EQ(scanText("\x81@"), (Tokens{{tokenOther, "\x81"}, {'@', "@"}, {tokenEnd, ""}}));
}

TEST(ScannerMultiByte, EachThreadReadsByItsOwnMode) {
    // The same bytes are one word in UTF-8 mode and a word plus a non-letter in 1252.
    const std::string text = "a\xE6\xBC\xA2 b";
    const Tokens utf8Tokens{{tokenWord, "a\xE6\xBC\xA2"}, {tokenWord, "b"}, {tokenEnd, ""}};
    const Tokens ansiTokens = scanText(text);
    ASSERT_NE(ansiTokens, utf8Tokens);
    std::vector<std::thread> threads;
    std::atomic<int> wrong{0};
    for (int i = 0; i < 4; ++i) {
        threads.emplace_back([&, i] {
            std::unique_ptr<zotest::Utf8Mode> utf8(i % 2 == 0 ? new zotest::Utf8Mode : nullptr);
            for (int k = 0; k < 200; ++k)
                if (scanText(text) != (i % 2 == 0 ? utf8Tokens : ansiTokens))
                    ++wrong;
        });
    }
    for (std::thread &thread : threads)
        thread.join();
    EXPECT_EQ(wrong.load(), 0);
}

} // namespace
