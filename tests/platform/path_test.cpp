#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "platform/codepage.h"
#include "platform/path.h"
#include "support/temp_dir.h"

using zotest::TempDir;
using zotest::u;
namespace fs = std::filesystem;
namespace plat = zo::plat;

namespace {

std::string hostOf(const std::string &name) {
    char out[plat::kHostPathMax];
    if (!plat::hostPathOf(u(name), plat::ansiCharLengths(), out, sizeof out))
        return "<none>";
    return out;
}

std::string windowsOf(const std::string &host) {
    unsigned char out[256];
    if (!plat::windowsPathOf(host.c_str(), out, sizeof out))
        return "<none>";
    return reinterpret_cast<char *>(out);
}

// Installs a drive table for one test.
struct Drives {
    explicit Drives(const std::string &entries) { plat::setDrivesForTest(entries.c_str()); }
    ~Drives() { plat::setDrivesForTest(nullptr); }
};

TEST(PlatformPath, DefaultDriveIsTheHostRoot) {
    Drives drives("");
    EXPECT_EQ(hostOf("C:\\no-such-dir-zo\\File.Txt"), "/no-such-dir-zo/File.Txt");
    EXPECT_EQ(hostOf("c:/no-such-dir-zo"), "/no-such-dir-zo");
    EXPECT_EQ(hostOf("C:\\"), "/");
    EXPECT_EQ(hostOf("/already/host\\native"), "/already/host/native");
    EXPECT_EQ(hostOf("D:\\x"), "<none>");
    EXPECT_EQ(windowsOf("/home/user"), "C:\\home\\user");
    EXPECT_EQ(windowsOf("/"), "C:\\");
    EXPECT_EQ(windowsOf("/trailing/"), "C:\\trailing");
    EXPECT_EQ(windowsOf("relative"), "<none>");
}

TEST(PlatformPath, DrivesFromTheTableUseTheLongestRoot) {
    Drives drives("D=/srv/data/;e:=/srv/data/deep;Q=relative;C=/");
    EXPECT_EQ(hostOf("D:\\a\\b"), "/srv/data/a/b");
    EXPECT_EQ(hostOf("e:\\f"), "/srv/data/deep/f");
    EXPECT_EQ(hostOf("Q:\\f"), "<none>");
    EXPECT_EQ(windowsOf("/srv/data/x"), "D:\\x");
    EXPECT_EQ(windowsOf("/srv/data/deep/y"), "E:\\y");
    EXPECT_EQ(windowsOf("/srv/database"), "C:\\srv\\database");
    EXPECT_EQ(plat::driveRoot('d'), std::string("/srv/data"));
    EXPECT_EQ(plat::driveRoot('Z'), nullptr);
}

TEST(PlatformPath, WithoutAHostRootDriveSomePathsHaveNoWindowsForm) {
    Drives drives("C=/srv");
    EXPECT_EQ(windowsOf("/srv/x"), "C:\\x");
    EXPECT_EQ(windowsOf("/home"), "<none>");
}

TEST(PlatformPath, NetworkNamesLiveUnderTheNetworkRoot) {
    Drives drives("");
    EXPECT_EQ(hostOf("\\\\server\\share\\dir\\f"), "/net/server/share/dir/f");
}

TEST(PlatformPath, RelativeAndRootedNamesFollowTheCurrentDirectory) {
    TempDir dir;
    zotest::InDirectory here(dir.host());
    Drives drives("");
    EXPECT_EQ(hostOf("sub\\f"), "sub/f");
    EXPECT_EQ(hostOf("\\top"), "/top");
    EXPECT_EQ(hostOf("C:rel"), dir.host().string() + "/rel");
}

TEST(PlatformPath, ComponentsResolveIgnoringCase) {
    TempDir dir;
    fs::create_directories(dir.host() / "MixedCase" / "Sub");
    dir.write("MixedCase/Sub/file.TXT", "x");
    std::string base = dir.windows();
    EXPECT_EQ(hostOf(base + "\\mixedcase\\SUB\\FILE.txt"), dir.host("MixedCase/Sub/file.TXT"));
    // The part that exists is resolved; what follows stays as given (a file to create).
    EXPECT_EQ(hostOf(base + "\\MIXEDCASE\\sub\\New.txt"), dir.host("MixedCase/Sub/New.txt"));
    EXPECT_EQ(hostOf(base + "\\MIXEDCASE\\nothere\\SUB"), dir.host("MixedCase/nothere/SUB"));
}

TEST(PlatformPath, AmbiguousCaseIsLeftAsGiven) {
    TempDir dir;
    dir.write("abc", "1");
    dir.write("ABC", "2");
    EXPECT_EQ(hostOf(dir.windows("Abc")), dir.host("Abc"));
    EXPECT_EQ(hostOf(dir.windows("ABC")), dir.host("ABC"));
}

TEST(PlatformPath, DoubleByteTrailBytesAreNotSeparatorsOrFolded) {
    TempDir dir;
    plat::setCodePageForTest(932);
    // 0x95 0x5C and 0x83 0x61 ('a' as a trail byte) are single characters.
    std::string name = std::string("\x95\x5C\x83\x61.txt");
    dir.write(name, "x");
    std::string resolved = hostOf(dir.windows() + "\\" + name);
    std::string upperTrail = hostOf(dir.windows() + "\\" + std::string("\x95\x5C\x83\x41.TXT"));
    plat::setCodePageForTest(1252);
    EXPECT_EQ(resolved, dir.host(name));
    EXPECT_EQ(upperTrail, dir.host(std::string("\x95\x5C\x83\x41.TXT")));
}

TEST(PlatformPath, WindowsFormKeepsAFinalTrailByteButDropsATrailingSlash) {
    Drives drives("");
    EXPECT_EQ(windowsOf("/tmp/dir/"), "C:\\tmp\\dir");
    // 0x95 0x5C is one character in code page 932: its trail byte is no separator.
    EXPECT_EQ(windowsOf("/tmp/\x95\x5C"), "C:\\tmp\\\x95\x5C");
    EXPECT_EQ(windowsOf("/"), "C:\\");
}

TEST(PlatformPath, OverlongPathsAreRefused) {
    char out[16];
    EXPECT_FALSE(plat::hostPathOf(u("C:\\a-long-directory\\name"), plat::ansiCharLengths(), out, sizeof out));
    unsigned char small[8];
    EXPECT_FALSE(plat::windowsPathOf("/a-long-directory", small, sizeof small));
}

TEST(PlatformPath, TemporaryDirectoryFollowsTmpdir) {
    TempDir dir;
    const char *saved = std::getenv("TMPDIR");
    std::string old = saved != nullptr ? saved : "";
    setenv("TMPDIR", dir.host().c_str(), 1);
    unsigned char out[256];
    bool ok = plat::temporaryDirectory(out, sizeof out);
    setenv("TMPDIR", "/no/such/dir", 1);
    unsigned char fallback[256];
    bool fallbackOk = plat::temporaryDirectory(fallback, sizeof fallback);
    if (saved != nullptr)
        setenv("TMPDIR", old.c_str(), 1);
    else
        unsetenv("TMPDIR");
    ASSERT_TRUE(ok);
    EXPECT_EQ(reinterpret_cast<char *>(out), dir.windows() + "\\");
    ASSERT_TRUE(fallbackOk);
    EXPECT_STREQ(reinterpret_cast<char *>(fallback), "C:\\tmp\\");
}

TEST(PlatformPath, VolumesAnswerOnlyForRoots) {
    Drives drives("");
    plat::VolumeInfo info{};
    ASSERT_TRUE(plat::volumeInformation(u("C:\\"), &info));
    EXPECT_EQ(info.flags, 0x6u);
    EXPECT_EQ(info.maxComponentLength, 255u);
    EXPECT_STREQ(info.fileSystem, "NTFS");
    EXPECT_TRUE(plat::volumeInformation(u("c:\\"), &info));
    EXPECT_TRUE(plat::volumeInformation(u("\\"), &info));
    EXPECT_TRUE(plat::volumeInformation(u("/"), &info));
    EXPECT_FALSE(plat::volumeInformation(u("C:\\tmp"), &info));
    EXPECT_FALSE(plat::volumeInformation(u("C:"), &info));
    EXPECT_FALSE(plat::volumeInformation(u("D:\\"), &info));
    EXPECT_FALSE(plat::volumeInformation(u("Rel"), &info));
}

TEST(PlatformPath, DriveTypesAndThePresentDrives) {
    TempDir dir;
    Drives drives("E=" + dir.host().string() + ";F=/no/such/dir");
    EXPECT_EQ(plat::driveType('C'), plat::DriveFixed);
    EXPECT_EQ(plat::driveType('e'), plat::DriveFixed);
    EXPECT_EQ(plat::driveType('F'), plat::DriveNoRootDir);
    EXPECT_EQ(plat::driveType('G'), plat::DriveNoRootDir);
    EXPECT_EQ(plat::logicalDrives(), (1u << 2) | (1u << 4));
}

TEST(PlatformPath, CurrentDirectoryRoundTrips) {
    TempDir dir;
    fs::create_directory(dir.host() / "Inner");
    zotest::InDirectory restore(dir.host());
    unsigned char cwd[256];
    ASSERT_TRUE(plat::currentDirectory(cwd, sizeof cwd));
    EXPECT_EQ(reinterpret_cast<char *>(cwd), dir.windows());
    ASSERT_TRUE(plat::setCurrentDirectory(u("INNER"), plat::ansiCharLengths()));
    EXPECT_EQ(fs::current_path(), dir.host() / "Inner");
    EXPECT_FALSE(plat::setCurrentDirectory(u("missing"), plat::ansiCharLengths()));
}

TEST(PlatformOem, SingleBytePagesConvertThroughCodePage437) {
    unsigned char text[] = "caf\xE9 \x80 x";
    plat::ansiToOem(text);
    // é is 0x82 in 437; the euro sign has no place there.
    EXPECT_STREQ(reinterpret_cast<char *>(text), "caf\x82 ? x");
    plat::oemToAnsi(text);
    EXPECT_STREQ(reinterpret_cast<char *>(text), "caf\xE9 ? x");
    plat::setCodePageForTest(1251);
    unsigned char cyrillic[] = "\xC0\xE0"; // А а
    plat::ansiToOem(cyrillic);
    plat::setCodePageForTest(1252);
    EXPECT_STREQ(reinterpret_cast<char *>(cyrillic), "??");
}

TEST(PlatformOem, DoubleBytePagesAreTheirOwnOemPage) {
    plat::setCodePageForTest(932);
    unsigned char text[] = "\x95\x5C\xE9";
    plat::ansiToOem(text);
    plat::setCodePageForTest(1252);
    EXPECT_STREQ(reinterpret_cast<char *>(text), "\x95\x5C\xE9");
}

} // namespace
