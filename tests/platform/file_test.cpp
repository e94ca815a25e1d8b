#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <map>
#include <string>

#include "platform/file.h"
#include "platform/path.h"
#include "support/temp_dir.h"

using zotest::TempDir;
namespace fs = std::filesystem;
namespace plat = zo::plat;

namespace {

struct FaultsCleared {
    ~FaultsCleared() { plat::fileTestClearFaults(); }
};

TEST(PlatformFile, FaultsHitTheKthCallOfTheirOperationOnly) {
    TempDir dir;
    FaultsCleared cleared;
    dir.write("f", "data");
    int fd = -1;
    plat::fileTestInjectFault(plat::FileOp::Open, 2, plat::FileFault::Fail, plat::FileTooManyOpen);
    ASSERT_EQ(plat::fileOpen(dir.host("f").c_str(), plat::FileOpenRead, &fd), plat::FileOk);
    plat::fileClose(fd);
    EXPECT_EQ(plat::fileOpen(dir.host("f").c_str(), plat::FileOpenRead, &fd), plat::FileTooManyOpen);
    ASSERT_EQ(plat::fileOpen(dir.host("f").c_str(), plat::FileOpenReadWrite, &fd), plat::FileOk);
    plat::fileTestInjectFault(plat::FileOp::Sync, 1, plat::FileFault::Fail, plat::FileDiskFull);
    EXPECT_EQ(plat::fileSync(fd), plat::FileDiskFull);
    EXPECT_EQ(plat::fileSync(fd), plat::FileOk);
    plat::fileClose(fd);
    plat::fileTestInjectFault(plat::FileOp::Rename, 1, plat::FileFault::Fail);
    EXPECT_EQ(plat::fileRename(dir.host("f").c_str(), dir.host("g").c_str()), plat::FileOtherError);
    EXPECT_TRUE(fs::exists(dir.host("f")));
    EXPECT_EQ(plat::fileRename(dir.host("f").c_str(), dir.host("g").c_str()), plat::FileOk);
    plat::fileTestInjectFault(plat::FileOp::Rename, 1, plat::FileFault::Fail);
    EXPECT_EQ(plat::fileReplace(dir.host("g").c_str(), dir.host("h").c_str()), plat::FileOtherError);
}

TEST(PlatformFile, RenameKeepsAnExistingTargetAndReplaceSwapsItIn) {
    TempDir dir;
    dir.write("new", "new");
    dir.write("old", "old");
    EXPECT_EQ(plat::fileRename(dir.host("new").c_str(), dir.host("old").c_str()), plat::FileAccessDenied);
    EXPECT_EQ(dir.read("old"), "old");
    EXPECT_EQ(plat::fileRename(dir.host("new").c_str(), dir.host("new").c_str()), plat::FileOk);
    EXPECT_EQ(plat::fileRename(dir.host("none").c_str(), dir.host("none").c_str()), plat::FileNoSuchFile);
    EXPECT_EQ(plat::fileReplace(dir.host("new").c_str(), dir.host("old").c_str()), plat::FileOk);
    EXPECT_EQ(dir.read("old"), "new");
    EXPECT_FALSE(fs::exists(dir.host("new")));
}

TEST(PlatformFile, DirectorySyncNeedsADirectoryAndTakesSyncFaults) {
    TempDir dir;
    FaultsCleared cleared;
    dir.write("f", "data");
    EXPECT_EQ(plat::directorySync(dir.host().c_str()), plat::FileOk);
    EXPECT_EQ(plat::directorySync(dir.host("none").c_str()), plat::FileNoSuchFile);
    EXPECT_EQ(plat::directorySync(dir.host("f").c_str()), plat::FileNoSuchFile); // not a directory
    plat::fileTestInjectFault(plat::FileOp::Sync, 1, plat::FileFault::Fail, plat::FileDiskFull);
    EXPECT_EQ(plat::directorySync(dir.host().c_str()), plat::FileDiskFull);
}

TEST(PlatformFile, ShortAndFullWritesReportWhatWasWritten) {
    TempDir dir;
    FaultsCleared cleared;
    int fd = -1;
    ASSERT_EQ(plat::fileOpen(dir.host("f").c_str(), plat::FileOpenCreate, &fd), plat::FileOk);
    uint32_t written = 0;
    plat::fileTestInjectFault(plat::FileOp::Write, 1, plat::FileFault::ShortWrite);
    EXPECT_EQ(plat::fileWrite(fd, "abcdef", 6, &written), plat::FileOk);
    EXPECT_EQ(written, 3u);
    plat::fileTestInjectFault(plat::FileOp::Write, 1, plat::FileFault::DiskFull);
    EXPECT_EQ(plat::fileWrite(fd, "abcdef", 6, &written), plat::FileOk);
    EXPECT_EQ(written, 0u);
    plat::fileClose(fd);
    EXPECT_EQ(dir.read("f"), "abc");
}

TEST(PlatformFile, ErrorsMapOntoRunTimeNumbers) {
    TempDir dir;
    int fd = -1;
    EXPECT_EQ(plat::fileOpen(dir.host("none").c_str(), plat::FileOpenRead, &fd), plat::FileNoSuchFile);
    EXPECT_EQ(plat::fileOpen(dir.host("none/deeper").c_str(), plat::FileOpenRead, &fd), plat::FileNoSuchFile);
    EXPECT_EQ(plat::fileOpen(dir.host().c_str(), plat::FileOpenReadWrite, &fd), plat::FileAccessDenied);
    EXPECT_EQ(plat::fileClose(-1), plat::FileBadDescriptor);
    EXPECT_EQ(plat::fileRemove(dir.host("none").c_str()), plat::FileNoSuchFile);
    plat::FileStatus status;
    EXPECT_EQ(plat::fileStatus(dir.host("none").c_str(), &status), plat::FileNoSuchFile);
    int64_t pos;
    EXPECT_EQ(plat::fileSeek(-1, 0, 0, &pos), plat::FileBadDescriptor);
    EXPECT_EQ(plat::fileSeek(0, 0, 3, &pos), plat::FileOtherError);
}

TEST(PlatformFile, ReadOnlyDescriptorsStillLockOutWriters) {
    TempDir dir;
    dir.write("f", "0123456789");
    int reader = -1, writer = -1;
    ASSERT_EQ(plat::fileOpen(dir.host("f").c_str(), plat::FileOpenRead, &reader), plat::FileOk);
    ASSERT_EQ(plat::fileOpen(dir.host("f").c_str(), plat::FileOpenReadWrite, &writer), plat::FileOk);
    EXPECT_EQ(plat::fileLockRegion(reader, 0, 5, false), plat::FileOk);
    EXPECT_EQ(plat::fileLockRegion(writer, 2, 2, false), plat::FileLockViolation);
    EXPECT_EQ(plat::fileLockRegion(writer, 5, 5, false), plat::FileOk);
    EXPECT_EQ(plat::fileLockRegion(writer, 0, 0, false), plat::FileOk);
    plat::fileClose(reader);
    plat::fileClose(writer);
}

TEST(PlatformFile, TemporaryFilesAreNewAndEmpty) {
    TempDir dir;
    char first[plat::kHostPathMax], second[plat::kHostPathMax];
    ASSERT_EQ(plat::fileMakeTemporary(dir.host().c_str(), "zo", first, sizeof first), plat::FileOk);
    ASSERT_EQ(plat::fileMakeTemporary((dir.host().string() + "/").c_str(), "zo", second, sizeof second), plat::FileOk);
    EXPECT_STRNE(first, second);
    EXPECT_EQ(fs::path(first).parent_path(), dir.host());
    EXPECT_EQ(fs::path(second).filename().string().substr(0, 2), "zo");
    EXPECT_EQ(fs::file_size(first), 0u);
    char tiny[8];
    EXPECT_NE(plat::fileMakeTemporary(dir.host().c_str(), "zo", tiny, sizeof tiny), plat::FileOk);
}

TEST(PlatformFile, ListingsTellDirectoriesFromFiles) {
    TempDir dir;
    dir.write("file", "");
    fs::create_directory(dir.host() / "sub");
    fs::create_directory_symlink(dir.host() / "sub", dir.host() / "link");
    void *d = plat::dirOpen(dir.host().c_str());
    ASSERT_NE(d, nullptr);
    plat::DirEntry entry;
    std::map<std::string, bool> seen;
    while (plat::dirNext(d, &entry))
        seen[entry.name] = entry.directory;
    plat::dirClose(d);
    EXPECT_EQ(seen,
              (std::map<std::string, bool>{{".", true}, {"..", true}, {"file", false}, {"sub", true}, {"link", true}}));
    EXPECT_EQ(plat::dirOpen(dir.host("none").c_str()), nullptr);
}

} // namespace
