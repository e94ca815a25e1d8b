#include <zo/bosfile.h>
#include <zo/bospath.h>
#include <zo/cntdblib.h>
#include <zo/zoerror.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "os/bosint.h"
#include "platform/codepage.h"
#include "platform/file.h"
#include "platform/path.h"
#include "support/temp_dir.h"
#include "support/status.h"

using zotest::TempDir;
using zotest::u;
namespace plat = zo::plat;
namespace fs = std::filesystem;

namespace {

// Opens a Windows-form name; the name buffer is writable as the temporary modes need.
ZoStatus openFile(const std::string &name, uint32_t mode, int *handle) {
    unsigned char buffer[256] = {};
    std::memcpy(buffer, name.c_str(), name.size() + 1);
    return bosFileOpen(buffer, mode, handle);
}

struct FaultsCleared {
    ~FaultsCleared() { plat::fileTestClearFaults(); }
};

// A scratch directory and a current error list that keeps every error.
class BosFile : public ::testing::Test {
protected:
    void SetUp() override { ZoErrorKeeper::setErrorList(&errors); }
    void TearDown() override { ZoErrorKeeper::giveUpErrorList(); }

    // The number of the last error recorded (0 when none), which is then dropped.
    unsigned takeError() {
        unsigned number = ZoErrorKeeper::getLastErrorNumber();
        ZoErrorKeeper::clearLastError();
        return number;
    }
    std::string lastErrorText() {
        return reinterpret_cast<const char *>(ZoErrorKeeper::getLastError()->getErrorText());
    }

    TempDir dir;
    FaultsCleared faults;
    ZoErrorList errors{nullptr, 1};
};

TEST_F(BosFile, CreateWriteReadRoundTripThroughWindowsName) {
    int h = 0;
    ASSERT_EQ(openFile(dir.windows("DATA.BIN"), BOS_CREATE, &h), ZoSuccess);
    ASSERT_GT(h, 0);
    ASSERT_EQ(bosFileWrite(h, -1, "hello world", 11), ZoSuccess);
    ASSERT_EQ(bosFileWrite(h, 6, "WORLD", 5), ZoSuccess);
    char buf[32] = {};
    uint32_t got = 0;
    ASSERT_EQ(bosFileRead(h, 0, buf, sizeof buf, &got), ZoSuccess);
    EXPECT_EQ(std::string(buf, got), "hello WORLD");
    EXPECT_EQ(bosFileSeek(h, 0, 2), 11u);
    EXPECT_EQ(bosFileSeek(h, -5, 1), 6u);
    ASSERT_EQ(bosFileRead(h, -1, buf, 3, &got), ZoSuccess);
    EXPECT_EQ(std::string(buf, got), "WOR");
    ASSERT_EQ(bosFileClose(h), ZoSuccess);
    EXPECT_EQ(dir.read("DATA.BIN"), "hello WORLD");
}

TEST_F(BosFile, CreateTruncatesAnExistingFile) {
    dir.write("old.txt", "previous contents");
    int h = 0;
    ASSERT_EQ(openFile(dir.windows("old.txt"), BOS_CREATE | BOS_READWRITE, &h), ZoSuccess);
    EXPECT_EQ(bosFileSeek(h, 0, 2), 0u);
    zotest::ok(bosFileClose(h));
}

TEST_F(BosFile, HandleZeroIsNothingToDoForCloseAndSize) {
    EXPECT_EQ(bosFileClose(0), ZoSuccess);
    EXPECT_EQ(bosFileSize(0, 100), ZoSuccess);
}

TEST_F(BosFile, ReadAtEndOfFileSucceedsWithNothing) {
    dir.write("f", "abc");
    int h = 0;
    ASSERT_EQ(openFile(dir.windows("f"), 0, &h), ZoSuccess);
    char buf[8];
    uint32_t got = 99;
    EXPECT_EQ(bosFileRead(h, 3, buf, sizeof buf, &got), ZoSuccess);
    EXPECT_EQ(got, 0u);
    zotest::ok(bosFileClose(h));
}

TEST_F(BosFile, ReadOnlyHandleRefusesWrites) {
    dir.write("f", "abc");
    int h = 0;
    ASSERT_EQ(openFile(dir.windows("f"), 0, &h), ZoSuccess);
    EXPECT_EQ(bosFileWrite(h, 0, "x", 1), ZoFailure);
    EXPECT_EQ(takeError(), 1507u);
    zotest::ok(bosFileClose(h));
    EXPECT_EQ(dir.read("f"), "abc");
}

TEST_F(BosFile, OperationsOnAClosedHandleFail) {
    int h = 0;
    ASSERT_EQ(openFile(dir.windows("f"), BOS_CREATE, &h), ZoSuccess);
    ASSERT_EQ(bosFileClose(h), ZoSuccess);
    uint32_t got;
    char buf[4];
    EXPECT_EQ(bosFileRead(h, -1, buf, 4, &got), ZoFailure);
    EXPECT_EQ(takeError(), 1507u);
    EXPECT_EQ(bosFileWrite(h, 5, "x", 1), ZoFailure);
    EXPECT_EQ(takeError(), 1507u);
    EXPECT_EQ(bosFileSeek(h, 0, 0), 0xFFFFFFFFu);
    EXPECT_EQ(takeError(), 0u);
    EXPECT_EQ(bosFileClose(h), ZoFailure);
    EXPECT_EQ(takeError(), 1507u);
    EXPECT_EQ(bosFileSize(h, 1), ZoFailure);
    EXPECT_EQ(takeError(), 1507u);
    EXPECT_EQ(bosRegionLock(h, 0, 0, 1), ZoFailure);
    EXPECT_EQ(takeError(), 1507u);
}

TEST_F(BosFile, SizeTruncatesAndExtendsWithZeros) {
    int h = 0;
    ASSERT_EQ(openFile(dir.windows("f"), BOS_CREATE, &h), ZoSuccess);
    ASSERT_EQ(bosFileWrite(h, 0, "abcdef", 6), ZoSuccess);
    ASSERT_EQ(bosFileSize(h, 3), ZoSuccess);
    ASSERT_EQ(bosFileSize(h, 5), ZoSuccess);
    bosflush(h);
    zotest::ok(bosFileClose(h));
    EXPECT_EQ(dir.read("f"), std::string("abc\0\0", 5));
}

TEST_F(BosFile, ZeroByteWriteWritesNothing) {
    int h = 0;
    ASSERT_EQ(openFile(dir.windows("f"), BOS_CREATE, &h), ZoSuccess);
    plat::fileTestInjectFault(plat::FileOp::Write, 1, plat::FileFault::Fail);
    EXPECT_EQ(bosFileWrite(h, -1, "", 0), ZoSuccess);
    plat::fileTestClearFaults();
    zotest::ok(bosFileClose(h));
    EXPECT_EQ(fs::file_size(dir.host("f")), 0u);
}

TEST_F(BosFile, LargeWriteGoesOutInPiecesOf65534Bytes) {
    std::vector<unsigned char> data(200000);
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<unsigned char>(i * 7);
    int h = 0;
    ASSERT_EQ(openFile(dir.windows("big"), BOS_CREATE, &h), ZoSuccess);
    // 200000 = 3 * 65534 + 3398: the fifth write call never happens.
    plat::fileTestInjectFault(plat::FileOp::Write, 5, plat::FileFault::Fail);
    EXPECT_EQ(bosFileWrite(h, 0, data.data(), static_cast<uint32_t>(data.size())), ZoSuccess);
    plat::fileTestInjectFault(plat::FileOp::Write, 4, plat::FileFault::Fail);
    EXPECT_EQ(bosFileWrite(h, 0, data.data(), static_cast<uint32_t>(data.size())), ZoFailure);
    plat::fileTestClearFaults();
    zotest::ok(bosFileClose(h));
    std::string back = dir.read("big");
    ASSERT_EQ(back.size(), data.size());
    EXPECT_EQ(std::memcmp(back.data(), data.data(), data.size()), 0);
}

TEST_F(BosFile, ShortWritesAndFullDiskFail) {
    int h = 0;
    ASSERT_EQ(openFile(dir.windows("f"), BOS_CREATE, &h), ZoSuccess);
    plat::fileTestInjectFault(plat::FileOp::Write, 1, plat::FileFault::ShortWrite);
    EXPECT_EQ(bosFileWrite(h, 0, "abcdefgh", 8), ZoFailure);
    EXPECT_EQ(takeError(), 30041u);
    plat::fileTestInjectFault(plat::FileOp::Write, 1, plat::FileFault::DiskFull);
    EXPECT_EQ(bosFileWrite(h, 0, "abcdefgh", 8), ZoFailure);
    EXPECT_EQ(takeError(), 1506u);
    plat::fileTestInjectFault(plat::FileOp::Write, 1, plat::FileFault::ShortWrite);
    EXPECT_EQ(bosFileWrite(h, 0, "a", 1), ZoFailure);
    EXPECT_EQ(takeError(), 1506u);
    plat::fileTestInjectFault(plat::FileOp::Write, 1, plat::FileFault::Fail, plat::FileAccessDenied);
    EXPECT_EQ(bosFileWrite(h, 0, "a", 1), ZoFailure);
    EXPECT_EQ(takeError(), 1508u);
    zotest::ok(bosFileClose(h));
    EXPECT_EQ(dir.read("f"), "abcd");
}

TEST_F(BosFile, InjectedOpenAndReadFailuresFail) {
    dir.write("f", "abc");
    int h = 7;
    plat::fileTestInjectFault(plat::FileOp::Open, 1, plat::FileFault::Fail, plat::FileTooManyOpen);
    EXPECT_EQ(openFile(dir.windows("f"), 0, &h), ZoFailure);
    EXPECT_EQ(h, 0);
    EXPECT_EQ(takeError(), 30040u);
    ASSERT_EQ(openFile(dir.windows("f"), 0, &h), ZoSuccess);
    plat::fileTestInjectFault(plat::FileOp::Read, 2, plat::FileFault::Fail);
    char buf[4];
    uint32_t got;
    EXPECT_EQ(bosFileRead(h, 0, buf, 1, &got), ZoSuccess);
    EXPECT_EQ(bosFileRead(h, 0, buf, 1, &got), ZoFailure);
    EXPECT_EQ(got, 0u);
    EXPECT_EQ(takeError(), 30041u);
    zotest::ok(bosFileClose(h));
}

TEST_F(BosFile, OpeningAMissingFileFailsWithHandleZero) {
    int h = 5;
    mdsPerTaskInit();
    EXPECT_EQ(openFile(dir.windows("missing.txt"), BOS_READWRITE, &h), ZoFailure);
    EXPECT_EQ(h, 0);
    EXPECT_EQ(lastErrorText(), "Cannot open the file " + dir.windows("missing.txt") + ".");
    EXPECT_EQ(takeError(), 30040u);
    mdsPerTaskTerm();
}

TEST_F(BosFile, NamesWithoutARootAreRefused) {
    zotest::InDirectory here(dir.host());
    dir.write("f.txt", "x");
    int h = 5;
    EXPECT_EQ(openFile("f.txt", 0, &h), ZoFailure);
    EXPECT_EQ(h, 0);
    EXPECT_EQ(takeError(), 0u);
}

TEST_F(BosFile, HostNativeAndCaseBlindNamesOpen) {
    dir.write("Mixed.Txt", "native");
    int h = 0;
    ASSERT_EQ(openFile(dir.host("Mixed.Txt"), 0, &h), ZoSuccess);
    zotest::ok(bosFileClose(h));
    ASSERT_EQ(openFile(dir.windows("MIXED.TXT"), 0, &h), ZoSuccess);
    char buf[8];
    uint32_t got;
    ASSERT_EQ(bosFileRead(h, 0, buf, 6, &got), ZoSuccess);
    EXPECT_EQ(std::string(buf, got), "native");
    zotest::ok(bosFileClose(h));
}

TEST_F(BosFile, TemporaryNameIsANewFileInTheTemporaryDirectory) {
    unsigned char tempDir[256];
    ASSERT_TRUE(plat::temporaryDirectory(tempDir, sizeof tempDir));
    unsigned char name[256] = {};
    int h = 0;
    ASSERT_EQ(bosFileOpen(name, BOS_TEMPNAME | BOS_READWRITE, &h), ZoSuccess);
    std::string n(reinterpret_cast<char *>(name));
    EXPECT_EQ(n.rfind(reinterpret_cast<char *>(tempDir), 0), 0u) << n;
    EXPECT_EQ(n.substr(std::strlen(reinterpret_cast<char *>(tempDir)), 2), "zo");
    ASSERT_EQ(bosFileWrite(h, 0, "scratch", 7), ZoSuccess);
    zotest::ok(bosFileClose(h));
    EXPECT_EQ(bosexist(name), 1u);
    EXPECT_EQ(bosFileDelete(name), ZoSuccess);
    EXPECT_EQ(bosexist(name), 0u);
}

TEST_F(BosFile, TemporaryFileMovesToAnotherFixedDrive) {
    ASSERT_TRUE(plat::setDrivesForTest(("E=" + dir.host().string()).c_str()));
    unsigned char name[256] = {};
    int h = 0;
    ASSERT_EQ(bosFileOpen(name, BOS_TEMPOTHERDRIVE | BOS_READWRITE, &h), ZoSuccess);
    plat::setDrivesForTest(nullptr);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(name), 5), "E:\\zo") << name;
    zotest::ok(bosFileClose(h));
    // Only the moved file is left: the first one made in the temporary directory is gone.
    std::vector<std::string> files;
    for (auto &entry : fs::directory_iterator(dir.host()))
        files.push_back(entry.path().filename().string());
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].substr(0, 2), "zo");
}

TEST_F(BosFile, TemporaryFileStaysWithoutAnotherFixedDrive) {
    unsigned char name[256] = {};
    int h = 0;
    ASSERT_EQ(bosFileOpen(name, BOS_TEMPOTHERDRIVE | BOS_READWRITE, &h), ZoSuccess);
    EXPECT_EQ(name[0], 'C');
    zotest::ok(bosFileClose(h));
    zotest::ok(bosFileDelete(name));
}

TEST_F(BosFile, ExclusiveOpenKeepsOthersOut) {
    dir.write("shared", "content");
    int first = 0, second = 0;
    ASSERT_EQ(openFile(dir.windows("shared"), BOS_READWRITE | BOS_EXCLUSIVE, &first), ZoSuccess);
    EXPECT_EQ(openFile(dir.windows("shared"), 0, &second), ZoFailure);
    EXPECT_EQ(takeError(), 30040u);
    // Creating over it must fail without truncating it.
    EXPECT_EQ(openFile(dir.windows("shared"), BOS_CREATE, &second), ZoFailure);
    EXPECT_EQ(takeError(), 1501u);
    zotest::ok(bosFileClose(first));
    EXPECT_EQ(dir.read("shared"), "content");
    ASSERT_EQ(openFile(dir.windows("shared"), 0, &first), ZoSuccess);
    EXPECT_EQ(openFile(dir.windows("shared"), BOS_EXCLUSIVE, &second), ZoFailure);
    ASSERT_EQ(openFile(dir.windows("shared"), BOS_READWRITE, &second), ZoSuccess);
    zotest::ok(bosFileClose(first));
    zotest::ok(bosFileClose(second));
}

TEST_F(BosFile, RegionLocksConflictAcrossHandles) {
    int a = 0, b = 0;
    ASSERT_EQ(openFile(dir.windows("locks"), BOS_CREATE, &a), ZoSuccess);
    ASSERT_EQ(openFile(dir.windows("locks"), BOS_READWRITE, &b), ZoSuccess);
    ASSERT_EQ(bosRegionLock(a, 0, 100, 10), ZoSuccess);
    EXPECT_EQ(bosRegionLock(b, 0, 105, 10), ZoFailure);
    EXPECT_EQ(takeError(), 1512u);
    EXPECT_EQ(bosRegionLock(b, 0, 110, 10), ZoSuccess);
    ASSERT_EQ(bosRegionLock(a, 1, 100, 10), ZoSuccess);
    EXPECT_EQ(bosRegionLock(b, 0, 100, 10), ZoSuccess);
    zotest::ok(bosFileClose(a));
    zotest::ok(bosFileClose(b));
}

TEST_F(BosFile, ClosingReleasesRegionLocks) {
    int a = 0, b = 0;
    ASSERT_EQ(openFile(dir.windows("locks"), BOS_CREATE, &a), ZoSuccess);
    ASSERT_EQ(openFile(dir.windows("locks"), BOS_READWRITE, &b), ZoSuccess);
    ASSERT_EQ(bosRegionLock(a, 0, 0, 4), ZoSuccess);
    zotest::ok(bosFileClose(a));
    EXPECT_EQ(bosRegionLock(b, 0, 0, 4), ZoSuccess);
    zotest::ok(bosFileClose(b));
}

TEST_F(BosFile, PathSearchFindsTheFileInALaterDirectory) {
    fs::create_directory(dir.host() / "one");
    fs::create_directory(dir.host() / "two");
    dir.write("two/FOUND.INI", "[x]");
    const char *saved = std::getenv("PATH");
    std::string oldPath = saved != nullptr ? saved : "";
    std::string path = dir.windows("one") + ";;" + dir.windows("two") + "\\";
    setenv("PATH", path.c_str(), 1);
    int h = 0;
    ZoStatus withSearch = openFile("\\FOUND.INI", BOS_SEARCHPATH, &h);
    zotest::ok(bosFileClose(h));
    ZoStatus withoutSearch = openFile("\\FOUND.INI", 0, &h);
    setenv("PATH", (dir.host().string() + "/one:" + dir.host().string() + "/two").c_str(), 1);
    ZoStatus hostPath = openFile("\\FOUND.INI", BOS_SEARCHPATH, &h);
    zotest::ok(bosFileClose(h));
    setenv("PATH", oldPath.c_str(), 1);
    EXPECT_EQ(withSearch, ZoSuccess);
    EXPECT_EQ(withoutSearch, ZoFailure);
    EXPECT_EQ(hostPath, ZoSuccess);
}

TEST_F(BosFile, PathSearchKeepsDoubleByteDirectoriesWhole) {
    // 0x95 0x5C is one character of code page 932 whose trail byte is a backslash: the
    // entry does not end in a separator, so one is added.
    std::string dbcsDir("\x95\x5C");
    fs::create_directory(dir.host() / dbcsDir);
    dir.write(dbcsDir + "/FOUND.INI", "[x]");
    const char *saved = std::getenv("PATH");
    std::string oldPath = saved != nullptr ? saved : "";
    setenv("PATH", (dir.windows() + "\\" + dbcsDir).c_str(), 1);
    zo::plat::setCodePageForTest(932);
    int h = 0;
    ZoStatus status = openFile("\\FOUND.INI", BOS_SEARCHPATH, &h);
    zo::plat::setCodePageForTest(1252);
    setenv("PATH", oldPath.c_str(), 1);
    EXPECT_EQ(status, ZoSuccess);
    zotest::ok(bosFileClose(h));
}

TEST_F(BosFile, DeleteSucceedsForMissingFilesAndFailsForDirectories) {
    EXPECT_EQ(bosFileDelete(u(dir.windows("never-there"))), ZoSuccess);
    fs::create_directory(dir.host() / "sub");
    mdsPerTaskInit();
    EXPECT_EQ(bosFileDelete(u(dir.windows("sub"))), ZoFailure);
    EXPECT_EQ(lastErrorText(), "Cannot delete the file " + dir.windows("sub") + ".");
    EXPECT_EQ(takeError(), 1502u);
    mdsPerTaskTerm();
    dir.write("gone", "x");
    EXPECT_EQ(bosFileDelete(u(dir.windows("GONE"))), ZoSuccess);
    EXPECT_FALSE(fs::exists(dir.host() / "gone"));
}

TEST_F(BosFile, RenameMovesAndReportsFailure) {
    dir.write("a.txt", "data");
    EXPECT_EQ(bosrname(u(dir.windows("a.txt")), u(dir.windows("b.txt"))), ZoSuccess);
    EXPECT_EQ(dir.read("b.txt"), "data");
    mdsPerTaskInit();
    EXPECT_EQ(bosrname(u(dir.windows("a.txt")), u(dir.windows("c.txt"))), ZoFailure);
    EXPECT_EQ(lastErrorText(), "Cannot rename the file " + dir.windows("a.txt") + " to " + dir.windows("c.txt") + ".");
    EXPECT_EQ(takeError(), 30042u);
    mdsPerTaskTerm();
    plat::fileTestInjectFault(plat::FileOp::Rename, 1, plat::FileFault::Fail);
    EXPECT_EQ(bosrname(u(dir.windows("b.txt")), u(dir.windows("c.txt"))), ZoFailure);
    EXPECT_TRUE(fs::exists(dir.host() / "b.txt"));
    // An existing target is not replaced.
    dir.write("d.txt", "keep");
    EXPECT_EQ(bosrname(u(dir.windows("b.txt")), u(dir.windows("D.TXT"))), ZoFailure);
    EXPECT_EQ(takeError(), 30042u);
    EXPECT_EQ(dir.read("d.txt"), "keep");
    EXPECT_EQ(bosrname(u(dir.windows("b.txt")), u(dir.windows("B.TXT"))), ZoSuccess);
    EXPECT_EQ(dir.read("b.txt"), "data");
}

TEST_F(BosFile, ReplaceSwapsAWholeFileInAndCommitReportsSyncFailures) {
    dir.write("new.txt", "new");
    dir.write("old.txt", "old");
    EXPECT_EQ(bosFileReplace(u(dir.windows("new.txt")), u(dir.windows("old.txt"))), ZoSuccess);
    EXPECT_EQ(dir.read("old.txt"), "new");
    EXPECT_FALSE(fs::exists(dir.host() / "new.txt"));
    // The directory sync after the rename is best effort: its failure changes nothing.
    dir.write("next.txt", "next");
    plat::fileTestInjectFault(plat::FileOp::Sync, 1, plat::FileFault::Fail);
    EXPECT_EQ(bosFileReplace(u(dir.windows("next.txt")), u(dir.windows("old.txt"))), ZoSuccess);
    EXPECT_EQ(dir.read("old.txt"), "next");
    plat::fileTestInjectFault(plat::FileOp::Rename, 1, plat::FileFault::Fail);
    dir.write("last.txt", "last");
    EXPECT_EQ(bosFileReplace(u(dir.windows("last.txt")), u(dir.windows("old.txt"))), ZoFailure);
    EXPECT_EQ(takeError(), 30042u);
    EXPECT_EQ(dir.read("old.txt"), "next");

    int handle = 0;
    ASSERT_EQ(openFile(dir.windows("old.txt"), BOS_READWRITE, &handle), ZoSuccess);
    EXPECT_EQ(bosFileCommit(handle), ZoSuccess);
    plat::fileTestInjectFault(plat::FileOp::Sync, 1, plat::FileFault::Fail, plat::FileDiskFull);
    EXPECT_EQ(bosFileCommit(handle), ZoFailure);
    EXPECT_EQ(takeError(), 30041u);
    zotest::ok(bosFileClose(handle));
}

TEST_F(BosFile, AttributesOfFilesDirectoriesAndNothing) {
    dir.write("plain.txt", "x");
    dir.write("ro.txt", "x");
    fs::permissions(dir.host() / "ro.txt", fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    fs::create_directory(dir.host() / "sub");
    EXPECT_EQ(bosfattr(u("..")), 2u);
    EXPECT_EQ(bosfattr(u(dir.windows("plain.txt"))), 1u);
    EXPECT_EQ(bosfattr(u(dir.windows("ro.txt"))), 5u);
    EXPECT_EQ(bosfattr(u(dir.windows("sub"))), 2u);
    EXPECT_EQ(bosfattr(u(dir.windows("none"))), 0u);
    EXPECT_EQ(bosexist(u(dir.windows("plain.txt"))), 1u);
    EXPECT_EQ(bosexist(u(dir.windows("ro.txt"))), 1u);
    EXPECT_EQ(bosexist(u(dir.windows("sub"))), 0u);
    EXPECT_EQ(bosftest(u(dir.windows("none"))), 1u);
}

TEST_F(BosFile, DateAndSizeComeFromTheFileStampInUtc) {
    dir.write("dated", std::string(1234, 'x'));
    // 2005-03-07 23:30:00 UTC: local time elsewhere could already be the 8th.
    std::chrono::sys_seconds stamp{std::chrono::seconds{1110238200}};
    fs::last_write_time(dir.host() / "dated", std::chrono::file_clock::from_sys(stamp));
    unsigned char date[16];
    uint32_t size = 0;
    ASSERT_EQ(bosFileDateSize(u(dir.windows("dated")), date, &size), ZoSuccess);
    EXPECT_STREQ(reinterpret_cast<char *>(date), "03/07/2005");
    EXPECT_EQ(size, 1234u);
    EXPECT_EQ(bosFileDateSize(u(dir.windows("none")), date, &size), ZoFailure);
    EXPECT_EQ(takeError(), 0u);
}

TEST(BosFileErrors, HostErrorsMapOntoMessageNumbers) {
    EXPECT_EQ(static_cast<unsigned>(bosFileErrorNumber(plat::FileNoSuchFile)), 1509u);
    EXPECT_EQ(static_cast<unsigned>(bosFileErrorNumber(plat::FileBadDescriptor)), 1507u);
    EXPECT_EQ(static_cast<unsigned>(bosFileErrorNumber(plat::FileNoMemory)), 1503u);
    EXPECT_EQ(static_cast<unsigned>(bosFileErrorNumber(plat::FileAccessDenied)), 1508u);
    EXPECT_EQ(static_cast<unsigned>(bosFileErrorNumber(plat::FileTooManyOpen)), 30045u);
    EXPECT_EQ(static_cast<unsigned>(bosFileErrorNumber(plat::FileLockViolation)), 1512u);
    EXPECT_EQ(static_cast<unsigned>(bosFileErrorNumber(plat::FileDiskFull)), 30041u);
    EXPECT_EQ(static_cast<unsigned>(bosFileErrorNumber(plat::FileOtherError)), 30041u);
}

} // namespace
