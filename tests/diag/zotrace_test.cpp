// Trace output: the line's layout (stamps, hexadecimal dumps, line ends), the file and the
// window it goes to, and lines kept whole when threads and processes share a trace file.
#include <zo/zotrace.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <spawn.h>
#include <sys/wait.h>

#include "platform/file.h"
#include "support/alloc_failure.h"
#include "support/error_capture.h"
#include "support/temp_dir.h"
#include "support/windows.h"

extern char **environ;

namespace {

namespace plat = zo::plat;
namespace fs = std::filesystem;
using zotest::u;

std::string lineOf(const ZoTrace &trace) {
    return std::string(reinterpret_cast<const char *>(trace.line().data()), trace.line().length());
}

std::string editText(const ZoTrace &trace) {
    std::string text(plat::windowTextLength(trace.edit()) + 1, '\0');
    text.resize(plat::windowText(trace.edit(), reinterpret_cast<unsigned char *>(text.data()),
                                 static_cast<uint32_t>(text.size())));
    return text;
}

std::vector<std::string> linesOf(const std::string &text) {
    std::vector<std::string> lines;
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find("\r\n", at);
        lines.push_back(text.substr(at, end == std::string::npos ? std::string::npos : end - at));
        at = end == std::string::npos ? text.size() : end + 2;
    }
    return lines;
}

class Trace : public ::testing::Test {
protected:
    std::string fileName() const { return dir.windows("TRACE.LOG"); }
    std::string contents() const { return dir.read("TRACE.LOG"); }
    zotest::TempDir dir;
    ZoTrace trace;
};

TEST_F(Trace, HexadecimalDumpStartsEveryTenBytesOnANewLine) {
    unsigned char bytes[12];
    for (int i = 0; i < 12; ++i)
        bytes[i] = static_cast<unsigned char>(i == 11 ? 0xAB : i);
    ASSERT_EQ(trace.writeHexString(bytes, 12), ZoSuccess);
    EXPECT_EQ(lineOf(trace), "\r\n00 01 02 03 04 05 06 07 08 09 \r\n0A AB ");
    std::string big(0x10000, 'x');
    EXPECT_EQ(trace.writeHexString(u(big.c_str()), 0x10000), ZoFailure); // beyond a 16-bit count
    EXPECT_EQ(lineOf(trace), "\r\n00 01 02 03 04 05 06 07 08 09 \r\n0A AB ");
}

TEST_F(Trace, HexadecimalModeDumpsTheTextButNotTheLineEnd) {
    ASSERT_EQ(trace.initialize(nullptr, 0, u(fileName())), ZoSuccess);
    trace.setFlags(trace.flags() | ZoTrace::Hexadecimal);
    ASSERT_EQ(trace.writeString(u("AB")), ZoSuccess);
    ASSERT_EQ(trace.writeEol(), ZoSuccess);
    EXPECT_TRUE(trace.flags() & ZoTrace::Hexadecimal);
    EXPECT_EQ(contents(), "\r\n41 42 \r\n");
}

TEST_F(Trace, OnlyTheFirstTextOfALineCarriesTheTimeStamp) {
    ASSERT_EQ(trace.initialize(nullptr, 0, u(fileName())), ZoSuccess);
    trace.setFlags(trace.flags() | ZoTrace::TimeStamps);
    ASSERT_EQ(trace.writeString(u("a")), ZoSuccess);
    ASSERT_EQ(trace.writeString(u("b")), ZoSuccess);
    ASSERT_EQ(trace.writeEol(), ZoSuccess);
    ASSERT_EQ(trace.writeLine(u("c")), ZoSuccess);
    EXPECT_TRUE(std::regex_match(contents(), std::regex(R"(\d\d:\d\d:\d\d\.\d\d ab\r\n\d\d:\d\d:\d\d\.\d\d c\r\n)")))
        << contents();
}

TEST_F(Trace, InitializeKeepsAndSetsTheDescribedFlags) {
    EXPECT_EQ(trace.flags(), ZoTrace::AtLineStart | ZoTrace::FlushEachLine);
    trace.setFlags(0xFFFFFF03);
    ASSERT_EQ(trace.initialize(nullptr, 0, nullptr), ZoSuccess);
    EXPECT_EQ(trace.flags(), 0xFFFFFF00 | ZoTrace::Initialized | ZoTrace::AtLineStart | ZoTrace::FlushEachLine);
    EXPECT_GE(trace.line().capacity(), 1025u);
    trace.resetTrace();
    EXPECT_FALSE(trace.flags() & ZoTrace::Initialized);
}

TEST_F(Trace, EachLineReachesTheFileAtOnceWithFlushAndInBlocksWithout) {
    dir.write("TRACE.LOG", "from an earlier run\r\n");
    ASSERT_EQ(trace.initialize(nullptr, 0, u(fileName())), ZoSuccess);
    ASSERT_EQ(trace.writeLine(u("first")), ZoSuccess);
    EXPECT_EQ(contents(), "first\r\n"); // the file was made anew, the line is in it already
    trace.setFlags(trace.flags() & ~ZoTrace::FlushEachLine);
    ASSERT_EQ(trace.writeLine(u("second")), ZoSuccess);
    EXPECT_EQ(contents(), "first\r\n");
    std::string filler(99, 'f');
    for (int i = 0; i < 100; ++i) // 10 KB: one block of whole lines goes out
        ASSERT_EQ(trace.writeLine(u(filler)), ZoSuccess);
    EXPECT_GT(contents().size(), 8000u);
    EXPECT_EQ(contents().size() % 101, 7u + 8u); // whole lines only
    trace.setFlags(trace.flags() | ZoTrace::FlushEachLine);
    ASSERT_EQ(trace.writeLine(u("last")), ZoSuccess);
    EXPECT_EQ(contents().substr(contents().size() - 6), "last\r\n");
    EXPECT_EQ(contents().size(), 7u + 8u + 100u * 101u + 6u);
}

TEST_F(Trace, ResetWritesWhatIsPendingAndClosesTheFile) {
    ASSERT_EQ(trace.initialize(nullptr, 0, u(fileName())), ZoSuccess);
    trace.setFlags(trace.flags() & ~ZoTrace::FlushEachLine);
    ASSERT_EQ(trace.writeLine(u("pending")), ZoSuccess);
    trace.resetTrace();
    EXPECT_EQ(trace.file(), 0);
    EXPECT_EQ(contents(), "pending\r\n");
}

TEST_F(Trace, AFailedFileWriteIsReported) {
    zotest::ErrorCapture errors;
    ASSERT_EQ(trace.initialize(nullptr, 0, u(fileName())), ZoSuccess);
    plat::fileTestInjectFault(plat::FileOp::Write, 1, plat::FileFault::DiskFull);
    EXPECT_EQ(trace.writeLine(u("lost")), ZoFailure);
    plat::fileTestClearFaults();
    EXPECT_EQ(trace.writeLine(u("kept")), ZoSuccess);
    EXPECT_EQ(contents(), "kept\r\n");
    EXPECT_EQ(trace.line().length(), 0u);
}

TEST_F(Trace, ALineThatCannotGrowKeepsWhatItHad) {
    ASSERT_EQ(trace.initialize(nullptr, 0, nullptr), ZoSuccess);
    ASSERT_EQ(trace.writeString(u("kept")), ZoSuccess);
    std::string longText(5000, 'x');
    {
        zotest::NoMemory none;
        EXPECT_EQ(trace.writeString(u(longText)), ZoFailure);
        EXPECT_EQ(trace.writeString(u(" more")), ZoSuccess); // fits the 1,025 bytes made at start
    }
    EXPECT_EQ(lineOf(trace), "kept more");
    trace.setFlags(trace.flags() | ZoTrace::TimeStamps | ZoTrace::AtLineStart);
    ASSERT_EQ(trace.writeEol(), ZoSuccess);
    {
        zotest::NoMemory none;
        EXPECT_EQ(trace.writeString(u(longText)), ZoFailure); // the stamp went with the text
    }
    EXPECT_EQ(lineOf(trace), "");
    EXPECT_TRUE(trace.flags() & ZoTrace::AtLineStart);
}

TEST_F(Trace, TheWindowHoldsAnEditControlOverItsClientArea) {
    zotest::TestWindow focused(0, 0, 10, 10);
    plat::setFocus(focused.handle());
    ASSERT_EQ(trace.initialize(nullptr, 1, nullptr), ZoSuccess);
    ASSERT_NE(trace.window(), nullptr);
    unsigned char title[64];
    plat::windowText(trace.window(), title, sizeof title);
    EXPECT_STREQ(reinterpret_cast<char *>(title), "Zo Trace Window");
    EXPECT_EQ(static_cast<uint32_t>(plat::windowField(trace.edit(), plat::kFieldStyle)), 0x50300804u);
    EXPECT_EQ(plat::sendMessage(trace.edit(), plat::kEditGetLimitText, 0, 0), 0x7FFF);
    EXPECT_EQ(reinterpret_cast<ZoTrace *>(plat::windowField(trace.window(), 0)), &trace);
    EXPECT_EQ(plat::focusWindow(), focused.handle()); // the focus went back
    plat::moveWindow(trace.window(), 0, 0, 300, 200, true);
    ZoRect client, edit;
    plat::clientRect(trace.window(), &client);
    plat::clientRect(trace.edit(), &edit);
    EXPECT_EQ(edit.right, client.right);
    EXPECT_EQ(edit.bottom, client.bottom);
    ASSERT_EQ(trace.writeLine(u("to the window")), ZoSuccess);
    EXPECT_EQ(editText(trace), "to the window\r\n");
    trace.setTopMost();
    EXPECT_TRUE(plat::isTopMost(trace.window()));
    trace.resetTopMost();
    EXPECT_FALSE(plat::isTopMost(trace.window()));
    HWND window = trace.window();
    ASSERT_EQ(trace.initialize(nullptr, 1, nullptr), ZoSuccess); // the window is kept, not made twice
    EXPECT_EQ(trace.window(), window);
    trace.resetTrace();
    EXPECT_FALSE(plat::isWindow(window));
    ASSERT_EQ(trace.setTraceToWindow(), ZoSuccess); // a new one after the old went
    EXPECT_NE(trace.window(), window);
    EXPECT_TRUE(trace.flags() & ZoTrace::ToWindow);
}

// The window keeps whole lines, the newest last: when a line would bring it past 32,767
// characters the oldest lines go in blocks of ten, no more than needed to free that line's
// length (all of them when there are too few).
TEST_F(Trace, TheWindowDropsItsOldestLinesInBlocksOfTen) {
    ASSERT_EQ(trace.initialize(nullptr, 1, nullptr), ZoSuccess);
    std::vector<std::string> lines;
    size_t first = 0; // the oldest line still shown
    std::mt19937 random(3);
    for (int i = 0; i < 700; ++i) {
        size_t length = i % 97 == 96 ? 2000 + random() % 3000 : 20 + random() % 180;
        std::string text = std::to_string(i) + ":" + std::string(length, static_cast<char>('a' + i % 26));
        lines.push_back(text + "\r\n");
        size_t before = 0;
        for (size_t k = first; k + 1 < lines.size(); ++k)
            before += lines[k].size();
        ASSERT_EQ(trace.writeLine(u(text)), ZoSuccess);
        std::string shown = editText(trace);
        ASSERT_LE(shown.size(), 0x7FFFu);
        size_t kept = first;
        std::string tail;
        for (size_t k = lines.size(); k-- > first;) {
            tail = lines[k] + tail;
            if (tail.size() == shown.size()) {
                kept = k;
                break;
            }
        }
        ASSERT_EQ(shown, tail) << "line " << i;
        const size_t dropped = kept - first;
        if (before + lines.back().size() <= 0x7FFF) {
            ASSERT_EQ(dropped, 0u) << "line " << i;
        } else if (kept != lines.size() - 1) {
            ASSERT_EQ(dropped % 10, 0u) << "line " << i;
            size_t freed = 0, freedOneBlockLess = 0;
            for (size_t k = first; k < kept; ++k)
                (k < kept - 10 ? freedOneBlockLess : freed) += lines[k].size();
            freed += freedOneBlockLess;
            ASSERT_GE(freed, lines.back().size());
            ASSERT_LT(freedOneBlockLess, lines.back().size());
        }
        first = kept;
    }
    EXPECT_GT(first, 100u); // many lines went
}

TEST_F(Trace, AWindowThatCannotBeMadeIsError2719AndTheFileStillWorks) {
    zotest::ErrorCapture errors;
    bool reported = false;
    const uint32_t windows = plat::windowCount();
    zotest::forEachAllocationFailure([&](zotest::FailurePoint &point) {
        ZoTrace t;
        errors.list.deleteContents();
        point.arm();
        ZoStatus made = t.initialize(nullptr, 1, u(fileName()));
        point.disarm();
        if (made == ZoSuccess)
            return;
        EXPECT_EQ(plat::windowCount(), windows);
        if (errors.lastNumber() != 2719)
            return;
        reported = true;
        EXPECT_EQ(t.window(), nullptr);
        EXPECT_EQ(t.writeLine(u("still traced")), ZoSuccess);
        t.resetTrace();
        EXPECT_EQ(contents(), "still traced\r\n");
    });
    EXPECT_TRUE(reported);
}

TEST_F(Trace, TwoThreadsWriteWholeLinesToTheFileAndTheWindow) {
    ASSERT_EQ(trace.initialize(nullptr, 1, u(fileName())), ZoSuccess);
    const int count = 1500;
    auto writer = [&](char tag) {
        for (int i = 0; i < count; ++i) {
            std::string line = std::string(1, tag) + " " + std::to_string(i) + " ";
            line.resize(98, tag);
            EXPECT_EQ(trace.writeLine(u(line)), ZoSuccess);
        }
    };
    std::thread a(writer, 'A'), b(writer, 'B');
    a.join();
    b.join();
    std::map<char, int> next;
    for (const std::string &line : linesOf(contents())) {
        ASSERT_EQ(line.size(), 98u) << line;
        ASSERT_EQ(std::stoi(line.substr(2)), next[line[0]]++) << line;
        ASSERT_EQ(line.find_first_not_of(line[0], line.rfind(' ') + 1), std::string::npos) << line;
    }
    EXPECT_EQ(next['A'], count);
    EXPECT_EQ(next['B'], count);
    for (const std::string &line : linesOf(editText(trace)))
        ASSERT_EQ(line.size(), 98u) << line;
}

pid_t spawnWriter(const std::vector<std::string> &arguments) {
    std::vector<char *> argv;
    for (const std::string &a : arguments)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    return posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) == 0 ? pid : 0;
}

TEST_F(Trace, TwoProcessesWritingOneFileKeepEveryLineWhole) {
    const int count = 3000;
    for (const char *flush : {"1", "0"}) {
        fs::remove(dir.host("go"));
        std::vector<pid_t> writers;
        for (const char *tag : {"P", "Q"})
            writers.push_back(spawnWriter({ZO_TEST_TRACE_WRITER, fileName(), tag, std::to_string(count), flush,
                                           dir.host(std::string("ready") + tag), dir.host("go")}));
        for (int i = 0; i < 5000 && !(fs::exists(dir.host("readyP")) && fs::exists(dir.host("readyQ"))); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        std::ofstream(dir.host("go")).close();
        for (pid_t pid : writers) {
            int status = -1;
            ASSERT_NE(pid, 0);
            waitpid(pid, &status, 0);
            ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
        }
        fs::remove(dir.host("readyP"));
        fs::remove(dir.host("readyQ"));
        std::map<std::string, int> next;
        for (const std::string &line : linesOf(contents())) {
            ASSERT_EQ(line.size(), 98u) << "flush " << flush << ": " << line;
            std::istringstream fields(line);
            std::string tag;
            int number = -1;
            fields >> tag >> number;
            ASSERT_EQ(number, next[tag]++) << line;
        }
        EXPECT_EQ(next["P"], count) << "flush " << flush;
        EXPECT_EQ(next["Q"], count) << "flush " << flush;
    }
}

TEST_F(Trace, TheObjectsLockGoesWithTheObject) {
    auto *traced = new ZoTrace;
    ASSERT_EQ(traced->initialize(nullptr, 0, nullptr), ZoSuccess);
    ASSERT_EQ(traced->writeLine(u("makes the lock")), ZoSuccess);
    delete traced; // its semaphore must not write into the freed object later (ASan)
    ZoTrace other;
    ASSERT_EQ(other.initialize(nullptr, 0, nullptr), ZoSuccess);
    EXPECT_EQ(other.writeLine(u("another lock")), ZoSuccess);
}

} // namespace
