#include <zo/convert.h>
#include <zo/zofileby.h>

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "platform/file.h"
#include "support/error_capture.h"
#include "support/status.h"
#include "support/temp_dir.h"

using zotest::TempDir;
using zotest::u;
namespace plat = zo::plat;

namespace {

struct FaultsCleared {
    ~FaultsCleared() { plat::fileTestClearFaults(); }
};

class LineReader : public ::testing::Test {
protected:
    // Writes the contents and opens a reader on them.
    void open(const std::string &contents, uint32_t bufferSize, int keepEol = 1) {
        dir.write("f.txt", contents);
        ASSERT_EQ(reader.openFile(u(dir.windows("f.txt")), bufferSize), ZoSuccess);
        reader.keepEol = keepEol;
    }
    std::string next() {
        ZoSubString line;
        zotest::ok(reader.getNextLine(line));
        return std::string(reinterpret_cast<const char *>(line.data()), line.length());
    }

    zotest::ErrorCapture errors;
    TempDir dir;
    ZoFileByLine reader;
};

TEST_F(LineReader, LinesEndOnlyAtCrLf) {
    open("a\r\nb", 64, 0);
    EXPECT_EQ(next(), "a");
    EXPECT_EQ(reader.lineOffset, 0u);
    EXPECT_EQ(next(), "b");
    EXPECT_EQ(reader.lineOffset, 3u);
    EXPECT_EQ(reader.lineComplete, 1);
    EXPECT_EQ(reader.atEnd, 0);
    EXPECT_EQ(next(), "");
    EXPECT_EQ(reader.atEnd, 1);
    EXPECT_EQ(next(), ""); // and so on at the end
    EXPECT_EQ(reader.atEnd, 1);

    open("a\r\nb", 64);
    EXPECT_EQ(next(), "a\r\n");
    EXPECT_EQ(next(), "b");

    open("one\ntwo\rthree\r\n\r\nlast\r", 64);
    EXPECT_EQ(next(), "one\ntwo\rthree\r\n");
    EXPECT_EQ(next(), "\r\n");
    EXPECT_EQ(next(), "last\r");
    EXPECT_EQ(reader.highWater, 22u);
}

TEST_F(LineReader, LongLinesComeInPiecesHoldingBackFourBytes) {
    std::string longLine(40, 'x');
    open(longLine + "\r\nshort\r\n", 16);
    std::vector<std::pair<std::string, int>> pieces;
    while (true) {
        std::string piece = next();
        if (reader.atEnd)
            break;
        pieces.emplace_back(piece, reader.lineComplete);
    }
    std::vector<std::pair<std::string, int>> expected = {{std::string(12, 'x'), 0},
                                                         {std::string(12, 'x'), 0},
                                                         {std::string(12, 'x'), 0},
                                                         {"xxxx\r\n", 1},
                                                         {"short\r\n", 1}};
    EXPECT_EQ(pieces, expected);

    ZoFileByLine tiny;
    dir.write("g.txt", "abcdefghijklmnopqrstuvwxyz");
    ASSERT_EQ(tiny.openFile(u(dir.windows("g.txt")), 2), ZoSuccess);
    EXPECT_EQ(tiny.bufferSize, ZoFileByLine::MinBufferSize);
}

TEST_F(LineReader, UngetGivesTheSameLineAndLowersTheHighWaterMark) {
    open("first\r\nsecond\r\nthird\r\n", 64);
    EXPECT_EQ(next(), "first\r\n");
    EXPECT_EQ(next(), "second\r\n");
    EXPECT_EQ(reader.highWater, 15u);
    reader.ungetLine();
    EXPECT_EQ(reader.highWater, 7u);
    EXPECT_EQ(next(), "second\r\n");
    EXPECT_EQ(reader.lineOffset, 7u);
    EXPECT_EQ(reader.highWater, 15u);
    // A line below the high-water mark does not move it when given back.
    reader.seekOffset = 0;
    EXPECT_EQ(next(), "first\r\n");
    reader.ungetLine();
    EXPECT_EQ(reader.highWater, 15u);
    EXPECT_EQ(next(), "first\r\n");
}

TEST_F(LineReader, SeekingInsideTheBufferReadsNothing) {
    FaultsCleared cleared;
    open("alpha\r\nbeta\r\ngamma\r\n", 64);
    EXPECT_EQ(next(), "alpha\r\n");
    EXPECT_EQ(next(), "beta\r\n");
    plat::fileTestInjectFault(plat::FileOp::Read, 1, plat::FileFault::Fail);
    reader.seekOffset = 0;
    EXPECT_EQ(next(), "alpha\r\n"); // a read would have failed
    reader.seekOffset = 13;
    EXPECT_EQ(next(), "gamma\r\n");
    // Outside the buffer the file is read again; a failed read may be repeated.
    plat::fileTestClearFaults();
    ZoFileByLine small;
    dir.write("g.txt", "0123456789\r\nabcdefghij\r\nKLMNOPQRST\r\n");
    ASSERT_EQ(small.openFile(u(dir.windows("g.txt")), 16), ZoSuccess);
    ZoSubString line;
    zotest::ok(small.getNextLine(line));
    zotest::ok(small.getNextLine(line));
    zotest::ok(small.getNextLine(line));
    EXPECT_EQ(std::string(reinterpret_cast<char *>(line.data()), line.length()), "KLMNOPQRST\r\n");
    small.seekOffset = 0;
    plat::fileTestInjectFault(plat::FileOp::Read, 1, plat::FileFault::Fail);
    EXPECT_EQ(small.getNextLine(line), ZoFailure);
    EXPECT_EQ(small.getNextLine(line), ZoSuccess);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(line.data()), line.length()), "0123456789\r\n");
    EXPECT_EQ(small.lineOffset, 0u);
}

TEST_F(LineReader, LinesAreUnscrambledOneByOne) {
    std::string plain = "SELECT 1\r\nFROM t\r\n";
    std::string scrambled = plain;
    encrypt(reinterpret_cast<unsigned char *>(scrambled.data()), static_cast<uint32_t>(scrambled.size()), 2, nullptr);
    open("Header\r\n" + scrambled, 64);
    EXPECT_EQ(next(), "Header\r\n");
    reader.scrambleMode = 2;
    EXPECT_EQ(next(), "SELECT 1\r\n");
    EXPECT_EQ(next(), "FROM t\r\n");
    EXPECT_EQ(reader.lineOffset, 18u);
}

TEST_F(LineReader, NonBlankLinesSkipWhiteSpaceOnlyLines) {
    open(" \t\r\n\r\n  x \r\n\r\n", 64);
    ZoSubString line;
    zotest::ok(reader.getNextNonBlankLine(line));
    EXPECT_EQ(std::string(reinterpret_cast<char *>(line.data()), line.length()), "  x \r\n");
    zotest::ok(reader.getNextNonBlankLine(line));
    EXPECT_EQ(reader.atEnd, 1);
    EXPECT_EQ(line.length(), 0u);
}

TEST_F(LineReader, ClosedReaderAndMissingFileFail) {
    ZoSubString line;
    EXPECT_EQ(reader.getNextLine(line), ZoFailure);
    EXPECT_EQ(reader.openFile(u(dir.windows("none.txt")), 64), ZoFailure);
    EXPECT_EQ(reader.handle, 0);
    open("x", 64);
    zotest::ok(reader.closeFile());
    EXPECT_EQ(reader.getNextLine(line), ZoFailure);
}

// Random files read with random buffers and random jumps back: the pieces always join to
// the file, every offset is where the piece lies, and a jump to a line's start reads that
// line again.
TEST_F(LineReader, RandomFilesReadBackExactly) {
    std::mt19937 rng(17);
    for (int round = 0; round < 60; ++round) {
        std::string contents;
        size_t size = rng() % 600;
        while (contents.size() < size) {
            switch (rng() % 6) {
            case 0: contents += "\r\n"; break;
            case 1: contents += rng() % 2 ? '\r' : '\n'; break;
            case 2: contents += std::string(rng() % 80, 'L'); break;
            default: contents += static_cast<char>(' ' + rng() % 90);
            }
        }
        uint32_t bufferSize = 16 + rng() % 70;
        open(contents, bufferSize);
        std::string joined;
        std::vector<std::pair<uint32_t, std::string>> lineStarts; // offset, whole line
        std::string current;
        uint32_t currentStart = 0;
        for (int guard = 0; guard < 10000; ++guard) {
            std::string piece = next();
            if (reader.atEnd)
                break;
            ASSERT_EQ(reader.lineOffset, joined.size());
            ASSERT_EQ(reader.highWater, joined.size() + piece.size());
            if (current.empty())
                currentStart = reader.lineOffset;
            joined += piece;
            current += piece;
            if (reader.lineComplete) {
                lineStarts.emplace_back(currentStart, current);
                current.clear();
            } else {
                ASSERT_EQ(piece.find("\r\n"), std::string::npos);
            }
        }
        ASSERT_EQ(joined, contents) << "buffer " << bufferSize;
        for (int jump = 0; jump < 5 && !lineStarts.empty(); ++jump) {
            const auto &[offset, whole] = lineStarts[rng() % lineStarts.size()];
            reader.seekOffset = static_cast<int32_t>(offset);
            std::string again = next();
            while (!reader.lineComplete)
                again += next();
            ASSERT_EQ(again, whole);
        }
    }
}

} // namespace
