// Module names in Windows form, and loading, symbols and string tables through them.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include <zo/pertask.h>

#include "platform/codepage.h"
#include "platform/module.h"

namespace {

using zo::plat::hostPathToWindows;
using zo::plat::windowsPathToHost;

const unsigned char *u(const char *s) { return reinterpret_cast<const unsigned char *>(s); }

std::string toWindows(const char *host, uint32_t size = 256) {
    unsigned char out[256];
    bool ok = hostPathToWindows(host, out, size);
    return ok ? reinterpret_cast<char *>(out) : "<fail:" + std::string(reinterpret_cast<char *>(out)) + ">";
}

std::string toHost(const char *name, uint32_t size = 256) {
    char out[256];
    bool ok = windowsPathToHost(u(name), out, size, mdsLeadByteLengthTable());
    return ok ? out : "<fail:" + std::string(out) + ">";
}

TEST(ModuleNames, HostSuffixWithVersionBecomesDll) {
    EXPECT_EQ(toWindows("/usr/lib/libzo.so.1"), "C:\\usr\\lib\\libzo.DLL");
    EXPECT_EQ(toWindows("/usr/lib/libzo.so.1.0.0"), "C:\\usr\\lib\\libzo.DLL");
    EXPECT_EQ(toWindows("/usr/lib/libzoR.so"), "C:\\usr\\lib\\libzoR.DLL");
    EXPECT_EQ(toWindows("/x.so.d/lib.sonic.so"), "C:\\x.so.d\\lib.sonic.DLL"); // only the file's suffix
    EXPECT_EQ(toWindows("/usr/bin/zo_demo"), "C:\\usr\\bin\\zo_demo");
    EXPECT_EQ(toWindows("/"), "C:\\");
}

TEST(ModuleNames, TooLongNameFailsEmpty) {
    EXPECT_EQ(toWindows("/usr/lib/libzo.so.1", 21), "C:\\usr\\lib\\libzo.DLL");
    EXPECT_EQ(toWindows("/usr/lib/libzo.so.1", 20), "<fail:>");
    EXPECT_EQ(toHost("C:\\usr\\lib\\libzoR.DLL", 18), "<fail:>");
}

TEST(ModuleNames, WindowsNamesMapBackToHost) {
    EXPECT_EQ(toHost("C:\\usr\\lib\\libzoR.DLL"), "/usr/lib/libzoR.so");
    EXPECT_EQ(toHost("c:\\usr\\lib\\libzoR.dll"), "/usr/lib/libzoR.so");
    EXPECT_EQ(toHost("libzoR.DLL"), "libzoR.so");
    EXPECT_EQ(toHost("/opt/lib/libx.so.2"), "/opt/lib/libx.so.2");
    EXPECT_EQ(toHost("odbccp32.dll"), "libodbcinst.so.2");
    EXPECT_EQ(toHost("MAPI32.DLL"), "libzomapi.so");
    EXPECT_EQ(toHost("D:\\lib\\x.DLL"), "<fail:>");
    EXPECT_EQ(toWindows("relative/libx.so"), "<fail:>"); // module names are absolute
}

// In code page 932 the byte 0x5C can be the second byte of a character; it stays as it is.
TEST(ModuleNames, DoubleByteCharactersAreNotSplit) {
    ASSERT_TRUE(zo::plat::setCodePageForTest(932));
    EXPECT_EQ(toHost("C:\\d\x81\x5Cx\\lib\x81\x5C.DLL"), "/d\x81\x5Cx/lib\x81\x5C.so");
    zo::plat::setCodePageForTest(1252);
    EXPECT_EQ(toHost("C:\\d\x81\x5Cx\\lib.DLL"), "/d\x81/x/lib.so");
}

TEST(ModuleNames, RoundTripOfTheLibrarysOwnFile) {
    void *own = zo::plat::moduleContaining(reinterpret_cast<const void *>(&zo::plat::moduleLoad));
    ASSERT_NE(own, nullptr);
    unsigned char name[256];
    uint32_t n = zo::plat::moduleFileName(own, name, sizeof name);
    ASSERT_GT(n, 0u);
    EXPECT_EQ(n, std::strlen(reinterpret_cast<char *>(name)));
    std::string windows(reinterpret_cast<char *>(name));
    EXPECT_EQ(windows.rfind("C:\\", 0), 0u) << windows;
    EXPECT_EQ(windows.substr(windows.size() - 10), "\\libzo.DLL") << windows;

    // Loading the Windows name gives the same module (another reference to it).
    void *again = zo::plat::moduleLoad(name, mdsLeadByteLengthTable());
    EXPECT_EQ(again, own);
    EXPECT_NE(zo::plat::moduleSymbol(again, "BUTSTLEN"), nullptr);
    EXPECT_EQ(zo::plat::moduleSymbol(again, "noSuchSymbolAnywhere"), nullptr);
    zo::plat::moduleFree(again);
}

TEST(ModuleNames, ProgramNameAndShortBuffer) {
    unsigned char name[256];
    ASSERT_GT(zo::plat::moduleFileName(nullptr, name, sizeof name), 0u);
    EXPECT_NE(std::strstr(reinterpret_cast<char *>(name), "zo_tests"), nullptr);
    unsigned char tiny[4] = {'x', 'x', 'x', 'x'};
    EXPECT_EQ(zo::plat::moduleFileName(nullptr, tiny, sizeof tiny), 0u);
    EXPECT_EQ(tiny[0], '\0');
}

TEST(ModuleNames, StringTableOfAModuleWithoutOne) {
    void *own = zo::plat::moduleContaining(reinterpret_cast<const void *>(&zo::plat::moduleLoad));
    unsigned char text[16] = "junk";
    EXPECT_EQ(zo::plat::moduleLoadString(own, 1501, text, sizeof text), 0);
    EXPECT_EQ(text[0], '\0');
    EXPECT_EQ(zo::plat::moduleLoadString(nullptr, 1501, text, sizeof text), 0);
    EXPECT_EQ(zo::plat::moduleLoad(u("C:\\no\\such\\libnothing.DLL"), mdsLeadByteLengthTable()), nullptr);
    EXPECT_EQ(zo::plat::moduleLoad(u(""), mdsLeadByteLengthTable()), nullptr);
}

} // namespace
