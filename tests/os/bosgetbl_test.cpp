#include <zo/bosfile.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/codepage.h"

namespace {

struct Line {
    short result;
    std::string text;
    unsigned short pos;
};

Line take(const std::string &text, unsigned short pos, unsigned short size = 80) {
    std::vector<unsigned char> line(size + 1u, 0xEE);
    short result = 0;
    bosgetbl(reinterpret_cast<const unsigned char *>(text.c_str()), &pos, line.data(), size, &result);
    std::string got = result == -1 ? "" : reinterpret_cast<char *>(line.data());
    return {result, got, pos};
}

std::vector<std::string> allLines(const std::string &text) {
    std::vector<std::string> lines;
    unsigned short pos = 0;
    for (int guard = 0; guard < 100; ++guard) {
        Line l = take(text, pos);
        if (l.result < 0)
            break;
        lines.push_back(l.text);
        pos = l.pos;
    }
    return lines;
}

TEST(BosGetLine, SplitsAtNewlinesDroppingCarriageReturns) {
    EXPECT_EQ(allLines("one\r\ntwo\n\nthree"), (std::vector<std::string>{"one", "two", "", "three"}));
    Line last = take("ab\ncd", 3);
    EXPECT_EQ(last.result, 2);
    EXPECT_EQ(last.pos, 5);
    EXPECT_EQ(take("ab\ncd", 5).result, -1);
}

TEST(BosGetLine, QuotedNewlinesStayInTheLine) {
    std::string text = "a\"b\nc\"d\r\nx";
    Line l = take(text, 0);
    EXPECT_EQ(l.result, 7);
    EXPECT_EQ(l.text, "a\"b\nc\"d");
    EXPECT_EQ(text[l.pos], 'x');
}

TEST(BosGetLine, InnerQuotesCloseOnTheirOwnCharacter) {
    // Inside "...", a ' opens an inner quote in which " does not close the outer one.
    EXPECT_EQ(allLines("\"a'\"\n'\"\nz\nnext"), (std::vector<std::string>{"\"a'\"\n'\"", "z", "next"}));
    // Inside '...', a " opens an inner quote that only another " closes.
    EXPECT_EQ(allLines("'x\"\n'\nnext"), (std::vector<std::string>{"'x\"\n'\nnext"}));
    EXPECT_EQ(allLines("'x\"\n\"'\nnext"), (std::vector<std::string>{"'x\"\n\"'", "next"}));
}

TEST(BosGetLine, CommentLinesKeepOnlyTheSemicolon) {
    Line l = take(";note\r\nvalue", 0);
    EXPECT_EQ(l.result, 1);
    EXPECT_EQ(l.text, ";");
    EXPECT_EQ(l.pos, 7);
    EXPECT_EQ(allLines("; it's \"quoted\nk=v"), (std::vector<std::string>{";", "k=v"}));
}

TEST(BosGetLine, EndOfFileMarkEndsTheText) {
    Line l = take("abc\x1A"
                  "def",
                  0);
    EXPECT_EQ(l.result, 3);
    EXPECT_EQ(l.pos, 3);
    EXPECT_EQ(take("abc\x1A"
                   "def",
                   3)
                  .result,
              -1);
    EXPECT_EQ(take("", 0).result, -1);
}

TEST(BosGetLine, LinesThatDoNotFitLeaveThePosition) {
    Line l = take("abcdef\nx", 0, 5);
    EXPECT_EQ(l.result, -2);
    EXPECT_EQ(l.pos, 0);
    EXPECT_EQ(l.text, "abcde");
    Line exact = take("abcde\nx", 0, 5);
    EXPECT_EQ(exact.result, 5);
    EXPECT_EQ(exact.text, "abcde");
    EXPECT_EQ(take("a", 0, 0).result, -2);
}

TEST(BosGetLine, DoubleByteCharactersAreTakenWhole) {
    zo::plat::setCodePageForTest(932);
    // 0x81 0x0A: the second byte is not a newline but the character's trail byte.
    std::string text = "a\x81\x0A"
                       "b\nc";
    Line l = take(text, 0);
    Line tight = take("ab\x81\x40", 0, 3);
    zo::plat::setCodePageForTest(1252);
    EXPECT_EQ(l.result, 4);
    EXPECT_EQ(l.text, "a\x81\x0A"
                      "b");
    EXPECT_EQ(tight.result, -2);
    EXPECT_EQ(tight.text, "ab");
    EXPECT_EQ(tight.pos, 0);
}

TEST(BosGetLine, ALeadByteBeforeTheTerminatorIsASingleByte) {
    zo::plat::setCodePageForTest(932);
    Line l = take("ab\x81", 0);
    zo::plat::setCodePageForTest(1252);
    EXPECT_EQ(l.result, 3);
    EXPECT_EQ(l.pos, 3);
}

TEST(BosGetLine, PositionsBeyond16BitsAreRefused) {
    std::string text(70000, 'x');
    Line l = take(text, 0, 65535);
    EXPECT_EQ(l.result, -2);
    EXPECT_EQ(l.pos, 0);
}

} // namespace
