// Profiles by name: the routing of each name, the registry route's lists and deletions, and
// the ODBC installer route with the host's own ODBC tools reading and writing beside it.
#include <gtest/gtest.h>

#include <zo/pertask.h>
#include <zo/registry.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/module.h"
#include "platform/registry.h"
#include "support/private_profiles.h"

namespace {

namespace plat = zo::plat;
using plat::RegistryRoot;
using zotest::u;

const unsigned char *orNull(const char *s) { return reinterpret_cast<const unsigned char *>(s); }

struct Read {
    std::string bytes; // out up to the returned length
    uint32_t length;
};

Read ntGet(const char *section, const char *key, const char *def, const char *file, uint32_t size = 256,
           int useRegistryPath = 0) {
    std::vector<unsigned char> out(size + 1, 0xEE);
    uint32_t n =
        ntGetProfileString(orNull(section), orNull(key), orNull(def), out.data(), size, orNull(file), useRegistryPath);
    EXPECT_EQ(out[size], 0xEE) << "wrote past the buffer";
    return {std::string(reinterpret_cast<char *>(out.data()), n < size ? n : size), n};
}

std::string ntValue(const char *section, const char *key, const char *file, int useRegistryPath = 0) {
    return ntGet(section, key, "<default>", file, 256, useRegistryPath).bytes;
}

ZoStatus ntPut(const char *section, const char *key, const char *value, const char *file, int useRegistryPath = 0) {
    return ntWriteProfileString(orNull(section), orNull(key), orNull(value), orNull(file), useRegistryPath);
}

std::string registryValue(RegistryRoot root, const std::string &key, const std::string &name) {
    unsigned char out[4096];
    uint32_t length;
    int result = plat::registryReadValue(root, u(key), u(name), out, sizeof out, &length, mdsLeadByteLengthTable());
    return result == plat::RegistryOk ? reinterpret_cast<char *>(out) : "<none>";
}

std::vector<std::string> namesOf(const std::string &list) {
    std::vector<std::string> names;
    for (size_t at = 0; at < list.size() && list[at] != '\0'; at += names.back().size() + 1)
        names.push_back(list.c_str() + at);
    return names;
}

// Where a write landed: "HKLM:key", "HKCU:key", "file:name" (in the Windows directory),
// "installer" (the private ODBCINI file), or "nowhere" when it failed.
struct RouteCase {
    const char *fileName;
    int useRegistryPath;
    const char *where;
};

const RouteCase kRoutes[] = {
    {"C:\\WINDOWS\\ODBCINST.INI", 0, "HKLM:SOFTWARE\\ODBC\\ODBCINST.INI\\Sec"},
    {"ODBCINST.INI", 0, "HKLM:SOFTWARE\\ODBC\\ODBCINST.INI\\Sec"},
    {"odbcinst.ini", 0, "file:odbcinst.ini"}, // the table is case-sensitive
    {"CONTROL.INI", 0, "HKCU:Control Panel\\Sec"},
    {"CONTROL", 0, "HKCU:Control Panel\\Sec"}, // a leading piece of an entry selects it
    {"RELAY.INI", 0, "HKCU:SOFTWARE\\TALMOR\\RELAY.INI\\Sec"},
    {"RELAY", 0, "HKCU:SOFTWARE\\TALMOR\\RELAY.INI\\Sec"},
    {"RELAYINS.INI", 0, "HKLM:SOFTWARE\\TALMOR\\RELAYINS.INI\\Sec"},
    {"NAVIG15.INI", 0, "HKCU:SOFTWARE\\TALMOR\\NAVIG15.INI\\Sec"},
    {"D:\\any\\dir\\ZOLIB.INI", 0, "HKCU:SOFTWARE\\TALMOR\\ZOLIB.INI\\Sec"},
    {"TALMOR.INI", 0, "HKLM:SOFTWARE\\TALMOR\\Sec"},
    {"INI", 0, "file:INI"}, // first found inside an entry: no entry
    {"NI ODBC", 0, "file:NI ODBC"},
    {"ODBC", 0, "installer"},
    {"C:\\WINDOWS\\ODBC.INI", 0, "installer"},
    {"HKEY_LOCAL_MACHINE\\SOFTWARE\\X\\", 1, "HKLM:SOFTWARE\\X\\Sec"},
    {"HKEY_CURRENT_USER\\SOFTWARE\\Y\\", 1, "HKCU:SOFTWARE\\Y\\Sec"},
    {"HKEY_CURRENT_USERX\\K\\", 1, "HKCU:K\\Sec"}, // only the first 17 characters are compared
    {"HKEY_LOCAL_MACHINE\\SOFTWARE\\X\\", 0, "nowhere"},
    {"hkey_local_machine\\SOFTWARE\\X\\", 1, "nowhere"},
    {"HKEY_LOCAL_MACHINE", 1, "file:HKEY_LOCAL_MACHINE"}, // no backslash: no key
    {"my.ini", 1, "file:my.ini"},
    {"C:\\no-such-dir\\", 0, "nowhere"}, // names a directory, no profile
    {"", 0, "nowhere"},
    {nullptr, 0, "nowhere"},
};

std::string whereItLanded(const zotest::PrivateProfiles &env, const RouteCase &c) {
    for (auto [prefix, root] : {std::pair{"HKLM:", RegistryRoot::LocalMachine}, {"HKCU:", RegistryRoot::CurrentUser}})
        if (std::strncmp(c.where, prefix, 5) == 0 && registryValue(root, c.where + 5, "Key") == "routed")
            return c.where;
    std::string where = c.where;
    if (where.rfind("file:", 0) == 0 && env.dir().read("windows/" + where.substr(5)) == "[Sec]\nKey=routed\n")
        return where;
    if (env.dir().read("odbc.ini").find("Key=routed") != std::string::npos)
        return "installer";
    return "nowhere";
}

TEST(ProfileRoutes, EachNameGoesWhereTheTableSays) {
    for (const RouteCase &c : kRoutes) {
        zotest::PrivateProfiles env(zotest::fastTempBase());
        std::string name = c.fileName != nullptr ? c.fileName : "(null)";
        ZoStatus written = ntPut("Sec", "Key", "routed", c.fileName, c.useRegistryPath);
        EXPECT_EQ(written, std::strcmp(c.where, "nowhere") == 0 ? ZoFailure : ZoSuccess) << name;
        EXPECT_EQ(whereItLanded(env, c), c.where) << name;
        // Reading takes the same road back.
        if (std::strcmp(c.where, "nowhere") != 0)
            EXPECT_EQ(ntValue("Sec", "Key", c.fileName, c.useRegistryPath), "routed") << name;
        else
            EXPECT_EQ(ntValue("Sec", "Key", c.fileName, c.useRegistryPath), "<default>") << name;
    }
}

class RegistryRoute : public ::testing::Test {
protected:
    zotest::PrivateProfiles env{zotest::fastTempBase()};
    static constexpr const char *kProfile = "ZOLIB.INI";
    static constexpr const char *kKey = "SOFTWARE\\TALMOR\\ZOLIB.INI\\";
};

TEST_F(RegistryRoute, ValuesAndTheirDefaults) {
    ASSERT_EQ(ntPut("Sec", "Key", "value", kProfile), ZoSuccess);
    EXPECT_EQ(ntValue("sec", "KEY", kProfile), "value");
    EXPECT_EQ(ntValue("Sec", "Other", kProfile), "<default>");
    EXPECT_EQ(ntValue("None", "Key", kProfile), "<default>");
    EXPECT_EQ(ntGet("Sec", "Key", nullptr, kProfile, 4).bytes, "val");
    EXPECT_EQ(ntGet("Sec", "Other", nullptr, kProfile).bytes, "");
    // A value longer than the 2,048-byte read buffer reads as missing.
    ASSERT_EQ(ntPut("Sec", "Long", std::string(2047, 'x').c_str(), kProfile), ZoSuccess);
    ASSERT_EQ(ntPut("Sec", "Longer", std::string(2048, 'x').c_str(), kProfile), ZoSuccess);
    EXPECT_EQ(ntGet("Sec", "Long", "", kProfile, 4096).length, 2047u);
    EXPECT_EQ(ntValue("Sec", "Longer", kProfile), "<default>");
}

TEST_F(RegistryRoute, ListsOfValuesAndSections) {
    for (const char *key : {"b", "a", "c"})
        ASSERT_EQ(ntPut("Sec", key, "1", kProfile), ZoSuccess);
    ASSERT_EQ(ntPut("Other", "x", "1", kProfile), ZoSuccess);
    Read values = ntGet("Sec", nullptr, "<default>", kProfile);
    EXPECT_EQ(values.length, 6u); // b\0a\0c\0, the closing terminator not counted
    EXPECT_EQ(values.bytes, std::string("b\0a\0c\0", 6));
    EXPECT_EQ(ntGet("Sec", "", "<default>", kProfile).length, 6u);
    EXPECT_EQ(namesOf(ntGet(nullptr, nullptr, "", kProfile).bytes), (std::vector<std::string>{"Other", "Sec"}));
    EXPECT_EQ(namesOf(ntGet("", "", "", kProfile).bytes), (std::vector<std::string>{"Other", "Sec"}));
    // Too small: the first size bytes, the last two terminators, size - 2.
    std::vector<unsigned char> out(5, 0xEE);
    EXPECT_EQ(ntGetProfileString(u("Sec"), nullptr, nullptr, out.data(), 5, u(kProfile), 0), 3u);
    EXPECT_EQ(std::string(out.begin(), out.end()), std::string("b\0a\0\0", 5));
    // An empty section key and a missing one give the default.
    ASSERT_EQ(ntPut("Empty", "k", "v", kProfile), ZoSuccess);
    ASSERT_EQ(ntPut("Empty", "k", "", kProfile), ZoSuccess);
    EXPECT_EQ(ntGet("Empty", nullptr, "<default>", kProfile).bytes, "<default>");
    EXPECT_EQ(ntGet("Missing", nullptr, "<default>", kProfile).bytes, "<default>");
}

// Names and the data of values count against the 2,048-byte area the list is gathered in;
// an overflow returns size - 2 with the names that fit, and nothing but terminators after.
TEST_F(RegistryRoute, ListsThatOverflowTheWorkArea) {
    for (int i = 0; i < 400; ++i)
        ASSERT_EQ(plat::registryWriteValue(RegistryRoot::CurrentUser, u(std::string(kKey) + "Many"),
                                           u("n" + std::to_string(1000 + i)), u("d"), mdsLeadByteLengthTable()),
                  plat::RegistryOk);
    std::vector<unsigned char> out(4096, 0xEE);
    uint32_t n = ntGetProfileString(u("Many"), nullptr, nullptr, out.data(), 4096, u(kProfile), 0);
    EXPECT_EQ(n, 4094u);
    // Each name takes 6 bytes; the 341st would need 2,040 + 5 + 1 + 2 = 2,048.
    std::vector<std::string> names = namesOf(std::string(out.begin(), out.begin() + 2048));
    EXPECT_EQ(names.size(), 340u);
    EXPECT_EQ(names.back(), "n1339");
    for (size_t i = 2040; i < 2048; ++i)
        EXPECT_EQ(out[i], 0) << i;
    // A smaller buffer: its size in bytes of the area (the last name cut), ending in two
    // terminators.
    std::vector<unsigned char> small(100, 0xEE);
    EXPECT_EQ(ntGetProfileString(u("Many"), nullptr, nullptr, small.data(), 100, u(kProfile), 0), 98u);
    EXPECT_EQ(small[98], 0);
    EXPECT_EQ(small[99], 0);
    std::vector<std::string> cut = namesOf(std::string(small.begin(), small.end()));
    EXPECT_EQ(cut.size(), 17u);
    EXPECT_EQ(cut.back(), "n1");
}

// A value whose data is longer than 512 bytes is listed like any other.
TEST_F(RegistryRoute, LongDataDoesNotEndTheList) {
    ASSERT_EQ(ntPut("Sec", "a", "1", kProfile), ZoSuccess);
    ASSERT_EQ(ntPut("Sec", "b", std::string(600, 'x').c_str(), kProfile), ZoSuccess);
    ASSERT_EQ(ntPut("Sec", "c", "1", kProfile), ZoSuccess);
    EXPECT_EQ(namesOf(ntGet("Sec", nullptr, "", kProfile).bytes), (std::vector<std::string>{"a", "b", "c"}));
}

TEST_F(RegistryRoute, DeletingValuesAndSections) {
    ASSERT_EQ(ntPut("Sec", "Key", "v", kProfile), ZoSuccess);
    ASSERT_EQ(ntPut("Sec\\Sub\\Deeper", "Key", "v", kProfile), ZoSuccess);
    ASSERT_EQ(ntPut("Section2", "Key", "v", kProfile), ZoSuccess);
    // An empty value deletes on this route; deleting it again fails, in a missing key succeeds.
    EXPECT_EQ(ntPut("Sec", "Key", "", kProfile), ZoSuccess);
    EXPECT_EQ(registryValue(RegistryRoot::CurrentUser, std::string(kKey) + "Sec", "Key"), "<none>");
    EXPECT_EQ(ntPut("Sec", "Key", nullptr, kProfile), ZoFailure);
    EXPECT_EQ(ntPut("NoSuchSection", "Key", nullptr, kProfile), ZoSuccess);
    // A null key removes the section with everything below it, and nothing else.
    EXPECT_EQ(ntPut("Sec", nullptr, nullptr, kProfile), ZoSuccess);
    EXPECT_EQ(namesOf(ntGet(nullptr, nullptr, "", kProfile).bytes), std::vector<std::string>{"Section2"});
    EXPECT_EQ(ntPut("Sec", nullptr, nullptr, kProfile), ZoSuccess);   // already gone
    EXPECT_EQ(ntPut(nullptr, nullptr, nullptr, kProfile), ZoFailure); // no section: refused
    EXPECT_EQ(ntPut("", "", nullptr, kProfile), ZoFailure);
    EXPECT_EQ(namesOf(ntGet(nullptr, nullptr, "", kProfile).bytes), std::vector<std::string>{"Section2"});
}

TEST_F(RegistryRoute, AnUnusableDatabaseGivesDefaultsAndFailedWrites) {
    env.dir().write("garbage.db", std::string(2048, 'g'));
    setenv("ZO_REGISTRY_USER", env.dir().host("garbage.db").c_str(), 1);
    plat::registryClose();
    EXPECT_EQ(ntValue("Sec", "Key", kProfile), "<default>");
    EXPECT_EQ(ntGet("Sec", nullptr, "<default>", kProfile).bytes, "<default>");
    EXPECT_EQ(ntPut("Sec", "Key", "v", kProfile), ZoFailure);
    EXPECT_EQ(ntPut("Sec", "Key", nullptr, kProfile), ZoFailure);
    EXPECT_EQ(ntPut("Sec", nullptr, nullptr, kProfile), ZoFailure);
}

TEST(ProfileFileRoute, WriteResultsTellWhetherTheFileChanged) {
    zotest::PrivateProfiles env;
    EXPECT_EQ(ntPut("Mail", "MAPIDLL", "provider.DLL", "WIN.INI"), ZoSuccess);
    EXPECT_EQ(ntValue("Mail", "MAPIDLL", "WIN.INI"), "provider.DLL");
    EXPECT_EQ(ntPut("Mail", "Bad=Key", "x", "WIN.INI"), ZoFailure);
    EXPECT_EQ(ntPut("Mail", "MAPIDLL", "x", "C:\\no-such-dir\\WIN.INI"), ZoFailure);
    unsigned char untouched = 0x55;
    EXPECT_EQ(ntGetProfileString(u("Mail"), u("MAPIDLL"), u("d"), &untouched, 0, u("WIN.INI"), 0), 0u);
    EXPECT_EQ(untouched, 0x55);
}

// ---- The ODBC installer route ----

// Runs a command of the host's ODBC tools and returns what it printed.
std::string run(const std::string &command) {
    std::string output;
    if (FILE *pipe = popen((command + " 2>&1").c_str(), "r")) {
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, pipe) != nullptr)
            output += buffer;
        pclose(pipe);
    }
    return output;
}

bool haveOdbcTools() { return std::system("command -v odbcinst >/dev/null 2>&1") == 0; }

TEST(InstallerRoute, DataSourcesGoThroughTheHostInstaller) {
    zotest::PrivateProfiles env(zotest::fastTempBase());
    ASSERT_EQ(ntPut("ZoRouteDsn", "Driver", "ZoDriver", "ODBC.INI"), ZoSuccess);
    ASSERT_EQ(ntPut("ZoRouteDsn", "Server", "host1", "C:\\WINDOWS\\ODBC.INI"), ZoSuccess);
    std::string file = env.dir().read("odbc.ini");
    EXPECT_NE(file.find("[ZoRouteDsn]"), std::string::npos) << file;
    EXPECT_NE(file.find("Server=host1"), std::string::npos) << file;
    EXPECT_EQ(ntValue("ZoRouteDsn", "server", "ODBC.INI"), "host1");
    EXPECT_EQ(namesOf(ntGet("ZoRouteDsn", nullptr, "", "ODBC.INI").bytes),
              (std::vector<std::string>{"Driver", "Server"}));
    EXPECT_EQ(ntValue("ZoRouteDsn", "Missing", "ODBC.INI"), "<default>");
    // Nothing went to the registry.
    EXPECT_EQ(registryValue(RegistryRoot::CurrentUser, "SOFTWARE\\ODBC\\ODBC.INI\\ZoRouteDsn", "Driver"), "<none>");
}

// Without the installer library the data sources live in the registry, under the user's
// ODBC.INI key, and the library is looked for again on the next call.
TEST(InstallerRoute, WithoutTheInstallerTheRegistryTakesOver) {
    zotest::PrivateProfiles env(zotest::fastTempBase());
    plat::moduleTestReplaceOutside("ODBCCP32.DLL", "libzo-no-such-installer.so.9");
    unloadOdbcInst();
    EXPECT_EQ(ntPut("ZoFallbackDsn", "Driver", "ZoDriver", "ODBC.INI"), ZoSuccess);
    EXPECT_EQ(registryValue(RegistryRoot::CurrentUser, "SOFTWARE\\ODBC\\ODBC.INI\\ZoFallbackDsn", "Driver"),
              "ZoDriver");
    EXPECT_EQ(ntValue("ZoFallbackDsn", "Driver", "ODBC.INI"), "ZoDriver");
    EXPECT_EQ(env.dir().read("odbc.ini"), "");
    plat::moduleTestReplaceOutside("ODBCCP32.DLL", nullptr);
    EXPECT_EQ(ntValue("ZoFallbackDsn", "Driver", "ODBC.INI"), "<default>"); // the installer is back
    unloadOdbcInst();
}

TEST(InstallerRoute, TheHostToolsSeeOurDataSourcesAndWeSeeTheirs) {
    if (!haveOdbcTools())
        GTEST_SKIP() << "odbcinst is not installed";
    zotest::PrivateProfiles env(zotest::fastTempBase());
    ASSERT_EQ(ntPut("ZoToolsDsn", "Driver", "ZoDriver", "ODBC.INI"), ZoSuccess);
    ASSERT_EQ(ntPut("ZoToolsDsn", "Database", "sales", "ODBC.INI"), ZoSuccess);
    EXPECT_NE(run("odbcinst -q -s").find("[ZoToolsDsn]"), std::string::npos);
    std::string keys = run("odbcinst -q -s -n ZoToolsDsn");
    EXPECT_NE(keys.find("Database=sales"), std::string::npos) << keys;

    env.dir().write("template.ini", "[ZoInstalledDsn]\nDriver=OtherDriver\nPort=5433\n");
    std::string installed = run("odbcinst -i -s -f " + env.dir().host("template.ini"));
    EXPECT_EQ(ntValue("ZoInstalledDsn", "Port", "ODBC.INI"), "5433") << installed;
    EXPECT_EQ(namesOf(ntGet(nullptr, nullptr, "", "ODBC.INI").bytes),
              (std::vector<std::string>{"ZoToolsDsn", "ZoInstalledDsn"}));
}

} // namespace
