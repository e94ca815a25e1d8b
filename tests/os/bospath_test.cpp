#include <zo/bosfile.h>
#include <zo/bospath.h>
#include <zo/pertask.h>
#include <zo/zoerror.h>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "platform/codepage.h"
#include "support/temp_dir.h"

using zotest::TempDir;
using zotest::u;
namespace fs = std::filesystem;

namespace {

std::string completed(const std::string &path, int convert) {
    unsigned char buf[512] = {};
    std::memcpy(buf, path.c_str(), path.size() + 1);
    bosfpath(buf, convert);
    return reinterpret_cast<char *>(buf);
}

std::string upper(std::string s) {
    for (char &c : s)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 32);
    return s;
}

std::string built(const char *dir, const char *name, const char *ext) {
    unsigned char out[256];
    bospath(out, dir != nullptr ? u(dir) : nullptr, u(name), ext != nullptr ? u(ext) : nullptr);
    return reinterpret_cast<char *>(out);
}

struct Parsed {
    ZoStatus status;
    std::string path, name, ext;
};

Parsed parsed(const std::string &path, unsigned report = 0) {
    unsigned char p[512] = {}, name[256], ext[8];
    std::memcpy(p, path.c_str(), path.size() + 1);
    ZoStatus status = bosParseName(p, name, ext, report);
    return {status, reinterpret_cast<char *>(p), reinterpret_cast<char *>(name), reinterpret_cast<char *>(ext)};
}

std::string shortened(const std::string &path) {
    unsigned char buf[256] = {};
    std::memcpy(buf, path.c_str(), path.size() + 1);
    bosmpath(buf);
    return reinterpret_cast<char *>(buf);
}

std::string cwd(unsigned short withSlash) {
    unsigned char buf[256];
    bosgtcwd(buf, withSlash);
    return reinterpret_cast<char *>(buf);
}

// Runs in a scratch directory made the current one.
class BosPath : public ::testing::Test {
protected:
    TempDir dir;
    zotest::InDirectory here{dir.host()};
};

// Switches the process to code page 932 for one test.
struct CodePage932 {
    CodePage932() { zo::plat::setCodePageForTest(932); }
    ~CodePage932() { zo::plat::setCodePageForTest(1252); }
};

TEST(BosFullPath, RemovesParentSteps) {
    EXPECT_EQ(completed("C:\\A\\B\\..\\C", 0), "C:\\A\\C");
    EXPECT_EQ(completed("C:\\A\\B\\..\\..\\C\\D", 0), "C:\\C\\D");
    EXPECT_EQ(completed("C:\\A\\..\\B\\..\\C", 0), "C:\\C");
    // With no backslash before the step the rest goes to the start.
    EXPECT_EQ(completed("C:\\..\\X", 0), "\\X");
    // Only whole `\..\` steps count.
    EXPECT_EQ(completed("C:\\A\\B..\\C", 0), "C:\\A\\B..\\C");
    EXPECT_EQ(completed("C:\\A\\B\\..", 0), "C:\\A\\B\\..");
}

TEST(BosFullPath, KeepsNetworkAndHostNamesAndOtherColons) {
    EXPECT_EQ(completed("\\\\server\\share\\a\\..\\b", 0), "\\\\server\\share\\a\\..\\b");
    EXPECT_EQ(completed("\\\\server\\share\\file.txt", 1), "\\\\SERVER\\SHARE\\FILE.TXT");
    EXPECT_EQ(completed("/home/user/x.qry", 0), "/home/user/x.qry");
    EXPECT_EQ(completed("abc:def", 0), "abc:def");
    EXPECT_EQ(completed("C:\\a\\..\\b:c", 0), "C:\\a\\..\\b:c");
    EXPECT_EQ(completed("c:\\dir\\file.txt", 1), "C:\\DIR\\FILE.TXT");
}

TEST_F(BosPath, CompletesRelativeNamesFromTheCurrentDirectory) {
    std::string here = dir.windows();
    EXPECT_EQ(completed("file.txt", 0), here + "\\file.txt");
    EXPECT_EQ(completed("sub\\..\\file.txt", 0), here + "\\file.txt");
    EXPECT_EQ(completed("\\root.txt", 0), "C:\\root.txt");
    // A drive letter does not select another drive's directory.
    EXPECT_EQ(completed("D:file.txt", 0), here + "\\file.txt");
    EXPECT_EQ(completed("file.txt", 1), upper(here + "\\FILE.TXT"));
}

TEST_F(BosPath, CompletionIsCutTo254Characters) {
    std::string here = dir.windows() + "\\";
    std::string longName(400, 'n');
    std::string result = completed(longName, 0);
    EXPECT_EQ(result.size(), 254u);
    EXPECT_EQ(result, here + std::string(254 - here.size(), 'n'));
}

TEST_F(BosPath, CompletionNeverSplitsADoubleByteCharacterAtTheLimit) {
    CodePage932 page;
    std::string here = dir.windows() + "\\";
    std::string name = std::string(253 - here.size(), 'a') + std::string("\x95\x5C", 2) + "b";
    std::string result = completed(name, 0);
    EXPECT_EQ(result, here + std::string(253 - here.size(), 'a'));
}

TEST(BosBuildPath, JoinsDirectoryNameAndDefaultExtension) {
    EXPECT_EQ(built("C:\\DATA", "report.", "QRY"), "C:\\DATA\\REPORT.QRY");
    EXPECT_EQ(built("C:\\DATA\\", "report", "QRY"), "C:\\DATA\\REPORT.QRY");
    EXPECT_EQ(built("C:\\DATA", "a..", nullptr), "C:\\DATA\\A..");
    EXPECT_EQ(built("C:\\DATA", "x.txt  ", "QRY"), "C:\\DATA\\X.TXT");
    EXPECT_EQ(built("C:\\DATA", "D:\\other\\f", nullptr), "D:\\OTHER\\F");
    EXPECT_EQ(built("C:\\DATA", "\\top\\f", nullptr), "C:\\TOP\\F");
    EXPECT_EQ(built("C:", "f", nullptr), "C:\\F");
    EXPECT_EQ(built("C:\\d.x\\e", "f", "E"), "C:\\D.X\\E\\F.E");
}

TEST_F(BosPath, BuildingWithoutDirectoryUsesTheCurrentOne) {
    EXPECT_EQ(built(nullptr, "f", "txt"), upper(dir.windows() + "\\F.TXT"));
    EXPECT_EQ(built(nullptr, ".", nullptr), upper(dir.windows() + "\\"));
}

TEST(BosBuildPath, LongPartsAreCutInsteadOfOverflowing) {
    std::string dir = "C:\\" + std::string(200, 'd');
    std::string name(200, 'n');
    std::string result = built(dir.c_str(), name.c_str(), "EXT");
    EXPECT_LE(result.size(), 255u);
    EXPECT_EQ(result.substr(0, 203), "C:\\" + std::string(200, 'D'));
}

TEST(BosParseName, SplitsDirectoryNameAndExtension) {
    Parsed p = parsed("C:\\DIR\\FILE.TEXT");
    EXPECT_EQ(p.status, ZoSuccess);
    EXPECT_EQ(p.path, "C:\\DIR\\");
    EXPECT_EQ(p.name, "FILE");
    EXPECT_EQ(p.ext, "TEX");
    p = parsed("C:NAME.A.B");
    EXPECT_EQ(p.path, "C:");
    EXPECT_EQ(p.name, "NAME");
    EXPECT_EQ(p.ext, "A.B");
    p = parsed("plain");
    EXPECT_EQ(p.path, "");
    EXPECT_EQ(p.name, "plain");
    EXPECT_EQ(p.ext, "");
    p = parsed("C:\\DIR\\");
    EXPECT_EQ(p.path, "C:\\DIR\\");
    EXPECT_EQ(p.name, "");
}

TEST(BosParseName, LongNamesAreCutAndReportedOnRequest) {
    ZoErrorList errors(nullptr, 1);
    ZoErrorKeeper::setErrorList(&errors);
    std::string name(130, 'x');
    Parsed quiet = parsed("C:\\" + name + ".TXT", 0);
    EXPECT_EQ(quiet.status, ZoSuccess);
    EXPECT_EQ(quiet.name, std::string(128, 'x'));
    EXPECT_EQ(ZoErrorKeeper::getLastErrorNumber(), 0u);
    Parsed reported = parsed("C:\\" + name + ".TXT", 1);
    EXPECT_EQ(reported.status, ZoFailure);
    EXPECT_EQ(reported.name, std::string(128, 'x'));
    EXPECT_EQ(reported.ext, "TXT");
    EXPECT_EQ(reported.path, "C:\\");
    EXPECT_EQ(ZoErrorKeeper::getLastErrorNumber(), 1524u);
    ZoErrorKeeper::giveUpErrorList();
}

TEST(BosParseName, ATrailByteOfBackslashIsNoSeparator) {
    CodePage932 page;
    // 0x95 0x5C is one character whose second byte is a backslash.
    Parsed p = parsed(std::string("C:\\DIR\\\x95\x5C.TXT"));
    EXPECT_EQ(p.path, "C:\\DIR\\");
    EXPECT_EQ(p.name, std::string("\x95\x5C"));
    EXPECT_EQ(p.ext, "TXT");
}

TEST(BosFullPath, ATrailByteOfBackslashDoesNotMakeAParentStep) {
    CodePage932 page;
    std::string name = std::string("C:\\A\\\x95\x5C..\\B");
    EXPECT_EQ(completed(name, 0), name);
    EXPECT_EQ(completed(std::string("C:\\\x95\x5C\\..\\B"), 0), "C:\\B");
}

TEST_F(BosPath, ShortensAgainstTheCurrentDirectory) {
    std::string here = dir.windows() + "\\";
    EXPECT_EQ(shortened(here + "X.TXT"), "X.TXT");
    EXPECT_EQ(shortened(here + "SUB\\X.TXT"), "SUB\\X.TXT");
    EXPECT_EQ(shortened("C:\\X.TXT"), "\\X.TXT");
    EXPECT_EQ(shortened("D:\\X.TXT"), "D:\\X.TXT");
}

TEST_F(BosPath, CurrentDirectoryWithAndWithoutSlash) {
    EXPECT_EQ(cwd(0), dir.windows());
    EXPECT_EQ(cwd(1), dir.windows() + "\\");
    zotest::InDirectory root("/");
    EXPECT_EQ(cwd(0), "C:\\");
    EXPECT_EQ(cwd(1), "C:\\");
}

TEST_F(BosPath, SettingTheCurrentDirectoryIgnoringCase) {
    fs::create_directory(dir.host() / "Sub");
    zotest::InDirectory restore(dir.host());
    EXPECT_EQ(bosstcwd(u(dir.windows("SUB")), 0), ZoSuccess);
    EXPECT_EQ(fs::current_path(), dir.host() / "Sub");
    ZoErrorList errors(nullptr, 1);
    ZoErrorKeeper::setErrorList(&errors);
    EXPECT_EQ(bosstcwd(u(dir.windows("none")), 0), ZoFailure);
    EXPECT_EQ(ZoErrorKeeper::getLastErrorNumber(), 1504u);
    ZoErrorKeeper::giveUpErrorList();
}

} // namespace

namespace {

TEST(BosFullPath, UpperCasingFollowsTheCodePage) {
    EXPECT_EQ(completed("c:\\caf\xE9", 1), "C:\\CAF\xC9");
    zo::plat::setCodePageForTest(932);
    // 0x83 0x61: the trail byte 'a' is not a letter of its own.
    std::string dbcs = completed(std::string("c:\\\x83\x61x"), 1);
    zo::plat::setCodePageForTest(1252);
    EXPECT_EQ(dbcs, std::string("C:\\\x83\x61X"));
}

} // namespace

namespace {

// A lead byte right before the terminator is a character of its own, in either mode.
TEST(BosFullPath, ALeadByteAtTheEndNeverStepsPastTheTerminator) {
    static uint32_t utf8 = ZoCharModeUtf8;
    mdsSetPerThreadData(PerThreadCharMode, &utf8);
    std::string utf8Result = completed(std::string("C:\\A\\..\\B\xEF"), 0);
    Parsed utf8Parsed = parsed(std::string("C:\\D\\N.E\xEF"));
    mdsSetPerThreadData(PerThreadCharMode, nullptr);
    zo::plat::setCodePageForTest(932);
    std::string dbcsResult = completed(std::string("C:\\A\\..\\B\x81"), 0);
    zo::plat::setCodePageForTest(1252);
    EXPECT_EQ(utf8Result, std::string("C:\\B\xEF"));
    EXPECT_EQ(utf8Parsed.name, "N");
    EXPECT_EQ(utf8Parsed.ext, std::string("E\xEF"));
    EXPECT_EQ(dbcsResult, std::string("C:\\B\x81"));
}

} // namespace
