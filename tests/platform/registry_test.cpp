// The registry on real SQLite databases: names, enumeration order, subtree deletion, and
// databases that are missing, unwritable or not databases at all.
#include <gtest/gtest.h>

#include <zo/pertask.h>

#include <cstring>
#include <filesystem>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "platform/codepage.h"
#include "platform/registry.h"
#include "support/private_profiles.h"

namespace {

namespace plat = zo::plat;
using plat::RegistryRoot;
using zotest::u;

constexpr RegistryRoot kUser = RegistryRoot::CurrentUser;
constexpr RegistryRoot kMachine = RegistryRoot::LocalMachine;

const unsigned char *lengths() { return mdsLeadByteLengthTable(); }

int put(RegistryRoot root, const std::string &key, const std::string &name, const std::string &data) {
    return plat::registryWriteValue(root, u(key), u(name), u(data), lengths());
}

// The value, or "<result n>" when there is none.
std::string get(RegistryRoot root, const std::string &key, const std::string &name, uint32_t size = 256) {
    unsigned char out[256];
    uint32_t length = 9999;
    int result = plat::registryReadValue(root, u(key), u(name), out, size, &length, lengths());
    if (result != plat::RegistryOk)
        return "<result " + std::to_string(result) + ">";
    EXPECT_EQ(length, std::strlen(reinterpret_cast<char *>(out)));
    return reinterpret_cast<char *>(out);
}

struct Listing {
    int result;
    std::vector<std::string> names;
    std::vector<uint32_t> dataLengths;
};

bool collect(void *context, const unsigned char *name, uint32_t nameLength, uint32_t dataLength) {
    auto &listing = *static_cast<Listing *>(context);
    listing.names.emplace_back(reinterpret_cast<const char *>(name), nameLength);
    listing.dataLengths.push_back(dataLength);
    return true;
}

Listing values(RegistryRoot root, const std::string &key) {
    Listing listing;
    listing.result = plat::registryListValues(root, u(key), collect, &listing, lengths());
    return listing;
}

Listing subkeys(RegistryRoot root, const std::string &key) {
    Listing listing;
    listing.result = plat::registryListSubkeys(root, u(key), collect, &listing, lengths());
    return listing;
}

using Names = std::vector<std::string>;

class Registry : public ::testing::Test {
protected:
    zotest::PrivateProfiles env{zotest::fastTempBase()};
};

TEST_F(Registry, NamesAreCaseBlindAndKeepTheirCase) {
    ASSERT_EQ(put(kUser, "Software\\Vendor\\App", "Path", "C:\\app"), plat::RegistryOk);
    EXPECT_EQ(get(kUser, "SOFTWARE\\vendor\\APP", "PATH"), "C:\\app");
    EXPECT_EQ(get(kUser, "\\Software\\\\Vendor\\App\\", "path"), "C:\\app"); // empty components
    ASSERT_EQ(put(kUser, "software\\VENDOR\\app", "PATH", "D:\\app"), plat::RegistryOk);
    EXPECT_EQ(values(kUser, "Software\\Vendor\\App").names, Names{"Path"});
    EXPECT_EQ(subkeys(kUser, "software").names, Names{"Vendor"});
    EXPECT_EQ(get(kUser, "Software\\Vendor\\App", "Path"), "D:\\app");
    // The two roots are two databases.
    EXPECT_EQ(get(kMachine, "Software\\Vendor\\App", "Path"), "<result 1>");
    EXPECT_TRUE(std::filesystem::exists(env.dir().host("user.db")));
    EXPECT_FALSE(std::filesystem::exists(env.dir().host("machine.db")));
}

TEST_F(Registry, ReadResultsTellWhatIsMissing) {
    ASSERT_EQ(put(kMachine, "K", "v", "12345"), plat::RegistryOk);
    ASSERT_EQ(put(kMachine, "K", "", "default value"), plat::RegistryOk);
    EXPECT_EQ(get(kMachine, "K", "v"), "12345");
    EXPECT_EQ(get(kMachine, "K", "v", 6), "12345");
    EXPECT_EQ(get(kMachine, "K", "v", 5), "<result 3>"); // no room for the terminator
    EXPECT_EQ(get(kMachine, "K", "w"), "<result 2>");
    EXPECT_EQ(get(kMachine, "L", "v"), "<result 1>");
    unsigned char out[32];
    uint32_t length;
    EXPECT_EQ(plat::registryReadValue(kMachine, u("K"), nullptr, out, sizeof out, &length, lengths()),
              plat::RegistryOk);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(out)), "default value");
    EXPECT_EQ(plat::registryKeyExists(kMachine, u("k"), lengths()), plat::RegistryOk);
    EXPECT_EQ(plat::registryKeyExists(kMachine, u("k\\x"), lengths()), plat::RegistryNoKey);
    EXPECT_EQ(plat::registryKeyExists(kMachine, u(""), lengths()), plat::RegistryOk); // the root
}

TEST_F(Registry, EnumerationOrderIsStable) {
    for (const char *name : {"zeta", "Alpha", "mid", "beta"})
        ASSERT_EQ(put(kUser, "Order", name, std::string(name) + "!"), plat::RegistryOk);
    ASSERT_EQ(put(kUser, "Order", "ALPHA", "updated in place"), plat::RegistryOk);
    Listing v = values(kUser, "order");
    EXPECT_EQ(v.result, plat::RegistryOk);
    EXPECT_EQ(v.names, (Names{"zeta", "Alpha", "mid", "beta"})); // the order of creation
    EXPECT_EQ(v.dataLengths, (std::vector<uint32_t>{5, 16, 4, 5}));
    for (const char *key : {"Order\\delta", "Order\\Charlie", "Order\\bravo", "Order\\ALPHA"})
        ASSERT_EQ(put(kUser, key, "x", "1"), plat::RegistryOk);
    EXPECT_EQ(subkeys(kUser, "Order").names, (Names{"ALPHA", "bravo", "Charlie", "delta"})); // by name, case-blind
    EXPECT_EQ(subkeys(kUser, "Order\\bravo").names, Names{});
    EXPECT_EQ(subkeys(kUser, "Order\\bravo").result, plat::RegistryOk);
    EXPECT_EQ(subkeys(kUser, "Order\\nope").result, plat::RegistryNoKey);
    EXPECT_EQ(subkeys(kUser, "").names, Names{"Order"});
    // A visitor that stops ends the enumeration.
    int seen = 0;
    auto once = [](void *context, const unsigned char *, uint32_t, uint32_t) {
        ++*static_cast<int *>(context);
        return false;
    };
    EXPECT_EQ(plat::registryListValues(kUser, u("Order"), once, &seen, lengths()), plat::RegistryOk);
    EXPECT_EQ(seen, 1);
}

TEST_F(Registry, DeletingAKeyTakesItsSubtreeAndNothingElse) {
    for (const char *key : {"A\\B", "A\\B\\C", "A\\B\\C\\D", "A\\BC", "A\\B]", "A\\B[", "A\\b0", "AB"})
        ASSERT_EQ(put(kUser, key, "v", key), plat::RegistryOk);
    EXPECT_EQ(plat::registryDeleteKey(kUser, u("a\\b"), lengths()), plat::RegistryOk);
    EXPECT_EQ(subkeys(kUser, "A").names, (Names{"b0", "B[", "B]", "BC"})); // folded names, bytewise
    for (const char *gone : {"A\\B", "A\\B\\C", "A\\B\\C\\D"})
        EXPECT_EQ(plat::registryKeyExists(kUser, u(gone), lengths()), plat::RegistryNoKey) << gone;
    for (const char *kept : {"A\\BC", "A\\B]", "A\\B[", "A\\b0", "AB"})
        EXPECT_EQ(get(kUser, kept, "v"), kept);
    EXPECT_EQ(plat::registryDeleteKey(kUser, u("A\\B"), lengths()), plat::RegistryNoKey);
    EXPECT_EQ(plat::registryDeleteKey(kUser, u("\\"), lengths()), plat::RegistryBadName); // the root stays
    // Deleting values.
    EXPECT_EQ(plat::registryDeleteValue(kUser, u("AB"), u("V"), lengths()), plat::RegistryOk);
    EXPECT_EQ(plat::registryDeleteValue(kUser, u("AB"), u("v"), lengths()), plat::RegistryNoValue);
    EXPECT_EQ(plat::registryDeleteValue(kUser, u("XY"), u("v"), lengths()), plat::RegistryNoKey);
    EXPECT_EQ(plat::registryKeyExists(kUser, u("AB"), lengths()), plat::RegistryOk); // the key stays
}

// In code page 932 a letter can be the second byte of a character: it is not folded.
TEST_F(Registry, DoubleByteNamesAreComparedExactly) {
    ASSERT_TRUE(plat::setCodePageForTest(932));
    ASSERT_EQ(put(kUser, "K\x81\x41", "v", "upper"), plat::RegistryOk);
    ASSERT_EQ(put(kUser, "k\x81\x61", "v", "lower"), plat::RegistryOk);
    ASSERT_EQ(put(kUser,
                  "S\x81\x5C"
                  "T",
                  "v", "trail backslash"),
              plat::RegistryOk);
    EXPECT_EQ(get(kUser, "k\x81\x41", "V"), "upper");
    EXPECT_EQ(get(kUser, "K\x81\x61", "V"), "lower");
    EXPECT_EQ(subkeys(kUser, "").names, (Names{"K\x81\x41", "k\x81\x61",
                                               "S\x81\x5C"
                                               "T"}));
    plat::setCodePageForTest(1252);
}

TEST_F(Registry, AMissingDatabaseIsMadeByTheFirstWriteOnly) {
    setenv("ZO_REGISTRY_USER", env.dir().host("deeper/still/user.db").c_str(), 1);
    plat::registryClose();
    EXPECT_EQ(get(kUser, "K", "v"), "<result 1>");
    EXPECT_EQ(values(kUser, "K").result, plat::RegistryNoKey);
    EXPECT_EQ(plat::registryDeleteValue(kUser, u("K"), u("v"), lengths()), plat::RegistryNoKey);
    EXPECT_EQ(plat::registryDeleteKey(kUser, u("K"), lengths()), plat::RegistryNoKey);
    EXPECT_FALSE(std::filesystem::exists(env.dir().host("deeper")));
    EXPECT_EQ(put(kUser, "K", "v", "1"), plat::RegistryOk);
    EXPECT_EQ(get(kUser, "K", "v"), "1");
}

// A database that cannot be had gives nothing to reads and fails writes, without a crash and
// without a partial key.
TEST_F(Registry, UnusableDatabasesFailCleanly) {
    env.dir().write("not-a-db", std::string(4096, 'x'));
    env.dir().write("plain-file", "x");
    std::filesystem::create_directory(env.dir().host("a-directory"));
    for (const char *where : {"not-a-db", "plain-file/below.db", "a-directory"}) {
        setenv("ZO_REGISTRY_USER", env.dir().host(where).c_str(), 1);
        plat::registryClose();
        EXPECT_EQ(put(kUser, "K\\L", "v", "1"), plat::RegistryUnavailable) << where;
        EXPECT_EQ(get(kUser, "K\\L", "v"), "<result 4>") << where;
        EXPECT_EQ(subkeys(kUser, "").result, plat::RegistryUnavailable) << where;
        EXPECT_EQ(plat::registryDeleteKey(kUser, u("K"), lengths()), plat::RegistryUnavailable) << where;
    }
    EXPECT_EQ(env.dir().read("not-a-db"), std::string(4096, 'x')); // left as it was
}

TEST_F(Registry, OverlongPathsAreRefused) {
    std::string deep;
    for (int i = 0; i < 200; ++i)
        deep += "k\\";
    EXPECT_EQ(put(kUser, deep, "v", "1"), plat::RegistryBadName);
    EXPECT_EQ(put(kUser, std::string(3000, 'k'), "v", "1"), plat::RegistryBadName);
    EXPECT_EQ(get(kUser, std::string(3000, 'k'), "v"), "<result 5>");
    EXPECT_EQ(subkeys(kUser, "").names, Names{}); // nothing half made
}

// Random writes and deletes against a model of keys (case-blind paths) and their values.
TEST_F(Registry, RandomOperationsMatchAModel) {
    std::map<std::string, std::map<std::string, std::string>> model; // folded path -> folded name -> data
    std::set<std::string> keys;                                      // folded paths that exist
    auto fold = [](std::string s) {
        for (char &c : s)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return s;
    };
    const char *paths[] = {"A", "a\\B", "A\\b\\C", "D", "d\\E"};
    const char *names[] = {"x", "X", "y"};
    std::mt19937 random(11);
    for (int i = 0; i < 120; ++i) {
        std::string path = paths[random() % 5], name = names[random() % 3];
        std::string key = fold(path);
        switch (random() % 5) {
        case 0: {
            int result = plat::registryDeleteKey(kUser, u(path), lengths());
            EXPECT_EQ(result, keys.count(key) ? plat::RegistryOk : plat::RegistryNoKey);
            for (auto it = keys.begin(); it != keys.end();)
                it = (*it == key || it->rfind(key + "\\", 0) == 0) ? (model.erase(*it), keys.erase(it)) : ++it;
            break;
        }
        case 1: {
            int expected = !keys.count(key)               ? plat::RegistryNoKey
                           : model[key].count(fold(name)) ? plat::RegistryOk
                                                          : plat::RegistryNoValue;
            EXPECT_EQ(plat::registryDeleteValue(kUser, u(path), u(name), lengths()), expected);
            if (keys.count(key))
                model[key].erase(fold(name));
            break;
        }
        default: {
            std::string data = "d" + std::to_string(i);
            ASSERT_EQ(put(kUser, path, name, data), plat::RegistryOk);
            model[key][fold(name)] = data;
            for (size_t at = key.find('\\'); at != std::string::npos; at = key.find('\\', at + 1))
                keys.insert(key.substr(0, at));
            keys.insert(key);
        }
        }
        for (const char *p : paths)
            for (const char *n : names) {
                std::string k = fold(p);
                std::string expected = !keys.count(k)                 ? "<result 1>"
                                       : model[k].count(fold(n)) == 0 ? "<result 2>"
                                                                      : model[k][fold(n)];
                ASSERT_EQ(get(kUser, p, n), expected) << "step " << i << " " << p << "/" << n;
            }
    }
}

} // namespace
