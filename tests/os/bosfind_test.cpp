#include <zo/bosfile.h>
#include <zo/ramalloc.h>
#include <zo/zoerror.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/path.h"
#include "support/alloc_failure.h"
#include "support/temp_dir.h"
#include "support/status.h"

using zotest::TempDir;
using zotest::u;
namespace fs = std::filesystem;
namespace plat = zo::plat;

namespace {

std::vector<std::string> found(const std::string &pattern) {
    std::vector<std::string> names;
    unsigned char *cursor = nullptr;
    unsigned char name[256];
    std::memcpy(name, pattern.c_str(), pattern.size() + 1);
    for (int guard = 0; guard < 1000; ++guard) {
        EXPECT_EQ(bosFindFiles(&cursor, name), ZoSuccess);
        if (cursor == nullptr)
            break;
        names.emplace_back(reinterpret_cast<char *>(name));
    }
    EXPECT_STREQ(names.empty() ? pattern.c_str() : names.back().c_str(), reinterpret_cast<char *>(name));
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> directories() {
    std::vector<std::string> names;
    void *cursor = nullptr;
    unsigned char name[256];
    for (int guard = 0; guard < 1000; ++guard) {
        EXPECT_EQ(bosGetDirectoryNames(&cursor, name), ZoSuccess);
        if (cursor == nullptr) {
            EXPECT_EQ(name[0], '\0');
            break;
        }
        names.emplace_back(reinterpret_cast<char *>(name));
    }
    std::sort(names.begin(), names.end());
    return names;
}

class BosFind : public ::testing::Test {
protected:
    void SetUp() override {
        dir.write("Alpha.TXT", "");
        dir.write("beta.txt", "");
        dir.write("gamma.dat", "");
        dir.write("README", "");
        fs::create_directory(dir.host() / "SubDir");
        fs::create_directory(dir.host() / "other");
    }
    TempDir dir;
};

using Names = std::vector<std::string>;

TEST_F(BosFind, AllEntriesMatchStarDotStar) {
    EXPECT_EQ(found(dir.windows("*.*")),
              (Names{".", "..", "Alpha.TXT", "README", "SubDir", "beta.txt", "gamma.dat", "other"}));
}

TEST_F(BosFind, WildcardsIgnoreCase) {
    EXPECT_EQ(found(dir.windows("*.txt")), (Names{"Alpha.TXT", "beta.txt"}));
    EXPECT_EQ(found(dir.windows("?ETA.*")), (Names{"beta.txt"}));
    EXPECT_EQ(found(dir.windows("g*a*")), (Names{"gamma.dat"}));
    EXPECT_EQ(found(dir.windows("readme.*")), (Names{"README"}));
    EXPECT_EQ(found(dir.windows("gamma.dat")), (Names{"gamma.dat"}));
}

TEST_F(BosFind, NoMatchLeavesTheNameAndNoCursor) {
    EXPECT_EQ(found(dir.windows("*.none")), Names{});
    EXPECT_EQ(found(dir.windows("missing\\*.*")), Names{});
}

TEST_F(BosFind, RelativePatternsSearchTheCurrentDirectory) {
    zotest::InDirectory here(dir.host());
    EXPECT_EQ(found("*.DAT"), (Names{"gamma.dat"}));
}

TEST_F(BosFind, CursorAllocationFailureIsStatusOne) {
    unsigned char *cursor = nullptr;
    unsigned char name[256];
    std::strcpy(reinterpret_cast<char *>(name), dir.windows("*.*").c_str());
    void *other = nullptr;
    unsigned char drive[4];
    zotest::NoMemory none;
    EXPECT_EQ(bosFindFiles(&cursor, name), ZoFailure);
    EXPECT_EQ(cursor, nullptr);
    EXPECT_EQ(bosGetDirectoryNames(&other, name), ZoFailure);
    EXPECT_EQ(bosGetFileSystems(&other, drive), ZoFailure);
    EXPECT_EQ(other, nullptr);
}

TEST_F(BosFind, EveryAllocationFailureEndsTheEnumerationCleanly) {
    std::string pattern = dir.windows("*.txt");
    uint32_t points = zotest::forEachAllocationFailure([&](zotest::FailurePoint &point) {
        unsigned char *cursor = nullptr;
        unsigned char name[256];
        std::strcpy(reinterpret_cast<char *>(name), pattern.c_str());
        point.arm();
        ZoStatus status = bosFindFiles(&cursor, name);
        if (point.disarm()) {
            EXPECT_EQ(status, ZoFailure);
            EXPECT_EQ(cursor, nullptr);
            return;
        }
        while (cursor != nullptr)
            zotest::ok(bosFindFiles(&cursor, name));
    });
    EXPECT_EQ(points, 1u);
}

TEST_F(BosFind, ReportingAFailureWithoutMemoryLeaksNothing) {
    ZoErrorList errors(nullptr, 1);
    ZoErrorKeeper::setErrorList(&errors);
    std::string missing = dir.windows("missing.txt");
    uint32_t points = zotest::forEachAllocationFailure([&](zotest::FailurePoint &point) {
        unsigned char name[256];
        std::strcpy(reinterpret_cast<char *>(name), missing.c_str());
        int handle = 7;
        point.arm();
        EXPECT_EQ(bosFileOpen(name, 0, &handle), ZoFailure);
        point.disarm();
        EXPECT_EQ(handle, 0);
        ZoErrorKeeper::clearLastError();
    });
    ZoErrorKeeper::giveUpErrorList();
    EXPECT_GE(points, 1u);
}

TEST_F(BosFind, DirectoryNamesSkipFilesAndTheDotEntry) {
    zotest::InDirectory here(dir.host());
    EXPECT_EQ(directories(), (Names{"..", "other", "subdir"}));
}

TEST_F(BosFind, FileSystemsListThePresentDrives) {
    std::string table = "A=" + dir.host().string() + ";D=" + dir.host().string() + "/other;F=/no/such/dir";
    plat::setDrivesForTest(table.c_str());
    std::vector<std::string> drives;
    void *cursor = nullptr;
    unsigned char drive[4];
    for (int guard = 0; guard < 30; ++guard) {
        ASSERT_EQ(bosGetFileSystems(&cursor, drive), ZoSuccess);
        drives.emplace_back(reinterpret_cast<char *>(drive));
        if (cursor == nullptr)
            break;
    }
    plat::setDrivesForTest(nullptr);
    EXPECT_EQ(drives, (Names{"a", "c", "d", ""}));
}

TEST(BosOemConvert, VolumesWithLongUnicodeNamesKeepTheName) {
    unsigned char out[256];
    EXPECT_EQ(applyOEMConvert(u("C:\\Caf\xE9.txt"), out, 1), ZoSuccess);
    EXPECT_STREQ(reinterpret_cast<char *>(out), "C:\\Caf\xE9.txt");
    EXPECT_EQ(applyOEMConvert(u("/tmp/x"), out, 1), ZoSuccess);
    EXPECT_EQ(applyOEMConvert(nullptr, out, 1), ZoFailure);
    EXPECT_EQ(applyOEMConvert(u("C:\\x"), nullptr, 1), ZoFailure);
}

TEST(BosOemConvert, UnknownVolumesFail) {
    unsigned char out[256];
    EXPECT_EQ(applyOEMConvert(u("Q:\\x"), out, 1), ZoFailure);
    EXPECT_EQ(applyOEMConvert(u("relative.txt"), out, 1), ZoFailure);
    EXPECT_EQ(applyOEMConvert(u("\\\\no-server\\share\\x"), out, 1), ZoFailure);
    std::string tooLong = "C:\\" + std::string(300, 'x');
    EXPECT_EQ(applyOEMConvert(u(tooLong), out, 1), ZoFailure);
}

TEST(BosOemConvert, ShortNameVolumesGetUpperCaseOemNames) {
    plat::VolumeInfo fat{0, 12, "FAT"};
    plat::setVolumeInformationForTest(&fat);
    unsigned char name[256] = "C:\\caf\xE9.txt";
    ZoStatus inPlace = applyOEMConvert(name, name, 1);
    unsigned char kept[256];
    ZoStatus noUpper = applyOEMConvert(u("C:\\caf\xE9.txt"), kept, 0);
    plat::VolumeInfo preserving{0x2, 255, "HPFS"};
    plat::setVolumeInformationForTest(&preserving);
    unsigned char preserved[256];
    zotest::ok(applyOEMConvert(u("C:\\caf\xE9.txt"), preserved, 1));
    plat::setVolumeInformationForTest(nullptr);
    EXPECT_EQ(inPlace, ZoSuccess);
    // é upper-cases to É (0x90 in code page 437); é itself is 0x82 there.
    EXPECT_STREQ(reinterpret_cast<char *>(name), "C:\\CAF\x90.TXT");
    EXPECT_EQ(noUpper, ZoSuccess);
    EXPECT_STREQ(reinterpret_cast<char *>(kept), "C:\\caf\x82.txt");
    EXPECT_STREQ(reinterpret_cast<char *>(preserved), "C:\\caf\x82.txt");
}

TEST(BosOemConvert, NetworkRootsAreServerAndShare) {
    TempDir unc;
    fs::create_directories(unc.host() / "srv" / "share" / "dir");
    setenv("ZO_UNC_ROOT", unc.host().c_str(), 1);
    plat::setDrivesForTest(nullptr);
    unsigned char out[256];
    ZoStatus full = applyOEMConvert(u("\\\\srv\\share\\dir\\f.txt"), out, 1);
    ZoStatus shareOnly = applyOEMConvert(u("\\\\srv\\share"), out, 1);
    ZoStatus serverOnly = applyOEMConvert(u("\\\\srv"), out, 1);
    ZoStatus missingShare = applyOEMConvert(u("\\\\srv\\none\\f"), out, 1);
    unsetenv("ZO_UNC_ROOT");
    plat::setDrivesForTest(nullptr);
    EXPECT_EQ(full, ZoSuccess);
    EXPECT_EQ(shareOnly, ZoSuccess);
    EXPECT_EQ(serverOnly, ZoSuccess);
    EXPECT_EQ(missingShare, ZoFailure);
}

} // namespace
