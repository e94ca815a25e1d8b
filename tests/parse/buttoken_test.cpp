#include <zo/buttoken.h>
#include <zo/ramalloc.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "support/alloc_failure.h"
#include "support/error_capture.h"
#include "text/text_modes.h"

using zotest::u;

namespace {

// Every token of the text, read with the flags into a buffer of outSize bytes.
std::vector<std::string> tokens(const std::string &text, uint16_t flags, uint32_t outSize = 64) {
    std::vector<std::string> out;
    const unsigned char *cursor = u(text);
    std::vector<unsigned char> buffer(outSize);
    for (int guard = 0; guard < 100; ++guard) {
        if (buttoken(buffer.data(), &cursor, flags, outSize) != ZoSuccess) {
            out.push_back("<fail>");
            break;
        }
        if (buffer[0] == 0)
            break;
        out.emplace_back(reinterpret_cast<char *>(buffer.data()));
    }
    return out;
}

using Tokens = std::vector<std::string>;

TEST(ButToken, TokensByKindAndMode) {
    struct Case {
        const char *text;
        uint16_t flags;
        Tokens expected;
    } cases[] = {
        {"  select * from t", 0, {"SELECT", "*", "FROM", "T"}},
        {"select x", ButTokenKeepCase, {"select", "x"}},
        {"'O''Brien' x", 0, {"'O'Brien'", "X"}},
        {"a<>b", 0, {"A", "<>", "B"}},
        {"a||b!=c<=d>=e!<f!>g**h*=i=*j",
         0,
         {"A", "||", "B", "!=", "C", "<=", "D", ">=", "E", "!<", "F", "!>", "G", "**", "H", "*=", "I", "=*", "J"}},
        {"x(+) = y", 0, {"X", "(+)", "=", "Y"}},
        {"C:\\dir\\x.txt,next", 1, {"C:\\DIR\\X.TXT", ",", "NEXT"}},
        {"C:\\dir\\x.txt,next", 1 | ButTokenKeepCase, {"C:\\dir\\x.txt", ",", "next"}},
        {"a`b c`d (e)|f", 1, {"A`B C`D", "(", "E", ")", "|", "F"}},
        {"{fn abs} x", 0, {"{fn abs}", "X"}},
        {"12.5e 3. .25 7..8", 0, {"12.5", "E", "3.", ".25", "7.", ".8"}},
        {"a_1 #t $u", 0, {"A_1", "#", "T", "$", "U"}},
        {"#tmp$1 a\\-b c\\x", 2, {"#TMP$1", "A\\-B", "C", "\\", "X"}},
        {"#tmp", 6, {"#TMP"}},
        {".a.b ..x 12.abc 1.5", 3, {".A.", "B", "..", "X", "12", ".ABC", "1.5"}},
        {"12:30:00 a.b:c :x", 4, {"12:30:00", "A.B:C", ":X"}},
        {"  go to the end, now", 5, {"GO TO THE END, NOW"}},
        {"?name ?1 ? x", 0, {"?name", "?", "1", "?", "X"}},
        {"x;y", 0, {"X", ";", "Y"}},
        {"x y", 99, {"X", "Y"}}, // an undefined mode reads as mode 0
        {"'a\"b' \"c'd\" `e`", 0, {"'a\"b'", "\"c'd\"", "`e`"}},
    };
    for (const Case &c : cases)
        EXPECT_EQ(tokens(c.text, c.flags), c.expected) << c.text << " mode " << c.flags;
}

TEST(ButToken, CursorAndEmptyTexts) {
    unsigned char out[16] = "junk";
    const unsigned char *empty = u("");
    const unsigned char *cursor = empty;
    ASSERT_EQ(buttoken(out, &cursor, 0, sizeof out), ZoSuccess);
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(cursor, empty);
    const unsigned char *blanks = u(" \t\r\n");
    cursor = blanks;
    ASSERT_EQ(buttoken(out, &cursor, 0, sizeof out), ZoSuccess);
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(cursor, blanks + 4);
    const unsigned char *text = u("  select *");
    cursor = text;
    ASSERT_EQ(buttoken(out, &cursor, 0, sizeof out), ZoSuccess);
    EXPECT_EQ(cursor, text + 8); // at the blank after the word
}

TEST(ButToken, MultiByteCharactersAreWordsAndNeverSplit) {
    {
        zotest::CodePage cp(932);
        // A kanji whose trail byte is '\', the ideographic space, half-width katakana.
        // Every multi-byte character is a word character, the ideographic space too.
        EXPECT_EQ(tokens("\x95\x5Cx\x81\x40y \xB1z", 0), (Tokens{"\x95\x5CX\x81\x40Y", "\xB1Z"}));
        EXPECT_EQ(tokens("\x81\x40\x81\x40q", 0), (Tokens{"Q"}));
        // A quote byte as a trail byte does not close a quoted string.
        EXPECT_EQ(tokens("'\x83\x27' q", 0), (Tokens{"'\x83\x27'", "Q"}));
        EXPECT_EQ(tokens("\x95\x5C\x95", 0, 3), (Tokens{"<fail>"})); // 2 bytes fit, the lead alone does not
    }
    zotest::Utf8Mode mode;
    EXPECT_EQ(tokens("\xC3\xA9t\xC3\xA9 \xE2\x82\xAC", 0), (Tokens{"\xC3\xA9T\xC3\xA9", "\xE2\x82\xAC"}));
}

TEST(ButToken, TokensThatDoNotFit) {
    zotest::ErrorCapture capture;
    const unsigned char *text = u("abcdefghij rest");
    const unsigned char *cursor = text;
    unsigned char out[24];
    EXPECT_EQ(buttoken(out, &cursor, 0, 5), ZoFailure);
    EXPECT_EQ(capture.lastNumber(), 2700);
    EXPECT_EQ(capture.lastText(), "The token abcd is too long.");
    EXPECT_EQ(cursor, text);
    // Dropping: the first 4 bytes, and the cursor after the whole token.
    ASSERT_EQ(buttoken(out, &cursor, ButTokenDrop, 5), ZoSuccess);
    EXPECT_STREQ(reinterpret_cast<char *>(out), "ABCD");
    EXPECT_EQ(cursor, text + 10);
    // Dropping within a quoted string still collapses its doubled quotes and finds its end.
    cursor = u("'a''b''c''d' x");
    ASSERT_EQ(buttoken(out, &cursor, ButTokenDrop, 6), ZoSuccess);
    EXPECT_STREQ(reinterpret_cast<char *>(out), "'a'b'");
    EXPECT_STREQ(reinterpret_cast<const char *>(cursor), " x");
    // Moving to the heap: the token's first byte, a NUL, then the block's address.
    const std::string longWord(100, 'w');
    cursor = u(longWord);
    ASSERT_EQ(buttoken(out, &cursor, ButTokenToHeap, 16), ZoSuccess);
    EXPECT_EQ(out[0], 'W');
    EXPECT_EQ(out[1], 0);
    unsigned char *heap;
    std::memcpy(&heap, out + 2, sizeof heap);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(heap)), std::string(100, 'W'));
    ramFree(heap);
    EXPECT_EQ(*cursor, 0);
    // An out too small to hold the address is not moved to the heap.
    cursor = u(longWord);
    EXPECT_EQ(buttoken(out, &cursor, ButTokenToHeap, 8), ZoFailure);
    EXPECT_EQ(capture.lastNumber(), 2700);
    // Without memory for the block the call fails and out holds the token so far.
    cursor = u(longWord);
    {
        zotest::NoMemory none;
        EXPECT_EQ(buttoken(out, &cursor, ButTokenToHeap, 16), ZoFailure);
    }
    EXPECT_EQ(std::string(reinterpret_cast<char *>(out)), std::string(15, 'w'));
}

TEST(ButToken, UnclosedQuotesAndBraces) {
    zotest::ErrorCapture capture;
    struct Case {
        const char *text;
        const char *token;
    } cases[] = {
        {"{fn", "{fn"},
        {"'abc", "'abc"},
        {"'", "'"},
        {"'abc''", "'abc'"}, // the doubled quote is a quote inside, not the closing one
    };
    for (const Case &c : cases) {
        const unsigned char *cursor = u(c.text);
        unsigned char out[32];
        EXPECT_EQ(buttoken(out, &cursor, 0, sizeof out), ZoFailure) << c.text;
        EXPECT_EQ(capture.lastNumber(), 2703) << c.text;
        EXPECT_EQ(capture.lastText(), std::string("The quoted text or brace group ") + c.token + " is not closed.");
        EXPECT_EQ(cursor, u(c.text)) << c.text;
    }
    // An unclosed string that went to the heap leaves no block behind.
    const std::string open = "'" + std::string(100, 'q');
    const unsigned char *cursor = u(open);
    unsigned char out[16];
    EXPECT_EQ(buttoken(out, &cursor, ButTokenToHeap, sizeof out), ZoFailure);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(out)), open.substr(0, 15));
}

TEST(ButXpand, GrowsInStepsAndKeepsTheCursor) {
    unsigned char *buffer = nullptr, *cursor = nullptr;
    uint16_t size = 0;
    ASSERT_EQ(butxpand(&buffer, &cursor, &size, 700), ZoSuccess);
    EXPECT_EQ(size, 1024);
    EXPECT_EQ(cursor, buffer);
    cursor = buffer + 1000;
    std::memcpy(buffer + 990, "0123456789", 10);
    ASSERT_EQ(butxpand(&buffer, &cursor, &size, 24), ZoSuccess);
    EXPECT_EQ(size, 1024); // room enough
    ASSERT_EQ(butxpand(&buffer, &cursor, &size, 100), ZoSuccess);
    EXPECT_EQ(size, 1536);
    EXPECT_EQ(cursor, buffer + 1000);
    EXPECT_EQ(std::memcmp(buffer + 990, "0123456789", 10), 0);
    {
        zotest::NoMemory none;
        unsigned char *before = buffer;
        EXPECT_EQ(butxpand(&buffer, &cursor, &size, 2000), ZoFailure);
        EXPECT_EQ(buffer, before);
        EXPECT_EQ(size, 1536);
    }
    // A size that would pass 65,535 fails instead of wrapping.
    cursor = buffer + size;
    EXPECT_EQ(butxpand(&buffer, &cursor, &size, 65000), ZoFailure);
    EXPECT_EQ(size, 1536);
    unsigned char *fresh = nullptr, *freshCursor = nullptr;
    uint16_t freshSize = 0;
    EXPECT_EQ(butxpand(&fresh, &freshCursor, &freshSize, 65535), ZoFailure);
    EXPECT_EQ(fresh, nullptr);
    ASSERT_EQ(butxpand(&fresh, &freshCursor, &freshSize, 65023), ZoSuccess);
    EXPECT_EQ(freshSize, 65024);
    ramFree(fresh);
    // A cursor outside the block is refused.
    cursor = buffer + size + 1;
    EXPECT_EQ(butxpand(&buffer, &cursor, &size, 1), ZoFailure);
    EXPECT_EQ(butxpand(nullptr, &cursor, &size, 1), ZoFailure);
    ramFree(buffer);
}

} // namespace
