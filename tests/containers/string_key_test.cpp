// Dictionaries keyed by substrings: exact and case-blind, narrow and wide keys.
#include <zo/zodictio.h>
#include <zo/zoseqdic.h>
#include <zo/zostring.h>

#include <gtest/gtest.h>

#include <cctype>
#include <memory>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

#include "containers/counted.h"
#include "support/alloc_failure.h"
#include "text/text_modes.h"

using zotest::Keyed;

namespace {

// A view over a test string's bytes.
ZoSubString view(const std::string &text) {
    return ZoSubString(reinterpret_cast<const unsigned char *>(text.data()), static_cast<uint32_t>(text.size()));
}

// A key the dictionary may destroy: an owned copy of the text.
ZoString *ownedKey(const std::string &text) {
    auto *key = new ZoString;
    EXPECT_EQ(key->initialize(reinterpret_cast<const unsigned char *>(text.data()), static_cast<uint32_t>(text.size())),
              ZoSuccess);
    return key;
}

// A wide view over UTF-16 code units.
ZoSubString wideView(const std::u16string &text) {
    ZoSubString key;
    key.setWide(true);
    key.set(reinterpret_cast<const unsigned char *>(text.data()), static_cast<uint32_t>(text.size()));
    return key;
}

class InspectableDictionary : public ZoDictionary {
public:
    using ZoSet::slotElement;
};

class ZoStringKeyTest : public ::testing::Test {
protected:
    void SetUp() override { Keyed::live = 0; }
    void TearDown() override { EXPECT_EQ(Keyed::live, 0); }
};

TEST_F(ZoStringKeyTest, CaseBlindDictionaryTreatsCaseVariantsAsOneKey) {
    std::string lower = "abc", upper = "ABC";
    ZoSubString a = view(lower), b = view(upper);
    Keyed first(1), second(2);
    ZoDictionary dictionary;
    dictionary.setNoCase(true);
    ASSERT_EQ(dictionary.initialize(10), ZoSuccess);
    ASSERT_EQ(dictionary.addAssoc(&a, &first), ZoSuccess);
    ASSERT_EQ(dictionary.addAssoc(&b, &second), ZoSuccess);
    EXPECT_EQ(dictionary.getPtrForKey(&a), &second);
    EXPECT_EQ(dictionary.getPtrForKey(&b), &second);
}

TEST_F(ZoStringKeyTest, ExactDictionaryKeepsCaseVariantsInNeighbouringSlots) {
    std::string lower = "abc", upper = "ABC", other = "abd";
    ZoSubString a = view(lower), b = view(upper), c = view(other);
    EXPECT_EQ(a.hash(), 198u) << "sum of the upper-cased bytes";
    Keyed first(1), second(2);
    InspectableDictionary dictionary;
    ASSERT_EQ(dictionary.initialize(10), ZoSuccess);
    const uint32_t size = dictionary.getTableSize();
    const uint32_t start = (a.hash() * 0x9E3779B9u) % size;
    ASSERT_EQ(dictionary.addAssoc(&a, &first), ZoSuccess);
    ASSERT_EQ(dictionary.addAssoc(&b, &second), ZoSuccess);
    EXPECT_EQ(static_cast<ZoAssociation *>(dictionary.slotElement(start))->getSubKey(), &a);
    EXPECT_EQ(static_cast<ZoAssociation *>(dictionary.slotElement(start == 0 ? size - 1 : start - 1))->getSubKey(), &b);
    EXPECT_EQ(dictionary.getPtrForKey(&a), &first);
    EXPECT_EQ(dictionary.getPtrForKey(&b), &second);
    EXPECT_EQ(dictionary.doesExist(&c), 0u);
}

TEST_F(ZoStringKeyTest, NumberAndStringKeysNeverMatch) {
    std::string text = "\x01";
    ZoSubString key = view(text);
    Keyed datum(1);
    ZoDictionary dictionary;
    ASSERT_EQ(dictionary.initialize(10), ZoSuccess);
    ASSERT_EQ(dictionary.addAssoc(&key, &datum), ZoSuccess);
    ASSERT_EQ(dictionary.addAssoc(1u, 7u), ZoSuccess);
    EXPECT_EQ(dictionary.getPtrForKey(&key), &datum);
    EXPECT_EQ(dictionary.getIntForKey(1u), 7u);
    EXPECT_EQ(dictionary.getPtrForKey(1u), nullptr);
}

TEST_F(ZoStringKeyTest, NarrowKeysOfDifferentLengthNeverMatch) {
    std::string shortText = "DSN", longText = "DSNX";
    ZoSubString shortKey = view(shortText), longKey = view(longText);
    ZoSubPtrKey record(&shortKey, nullptr);
    EXPECT_EQ(record.matchesSubKey(&longKey), 0u);
    EXPECT_EQ(record.matchesSubKeyNoCase(&longKey), 0u);
    EXPECT_EQ(record.matchesSubKey(&shortKey), 1u);
    EXPECT_EQ(record.matchesSubKey(nullptr), 0u);
    std::string empty;
    ZoSubString emptyKey = view(empty), nullKey;
    ZoSubPtrKey emptyRecord(&emptyKey, nullptr);
    EXPECT_EQ(emptyRecord.matchesSubKey(&nullKey), 1u) << "two empty keys are equal";
}

TEST_F(ZoStringKeyTest, WideKeysMatchOverTheShorterLength) {
    std::u16string abc = u"abc", abcdef = u"abcdef", abx = u"abx", upper = u"ABC";
    ZoSubString shortKey = wideView(abc), longKey = wideView(abcdef), otherKey = wideView(abx),
                upperKey = wideView(upper);
    ZoSubPtrKey record(&shortKey, nullptr);
    EXPECT_EQ(record.matchesSubKey(&longKey), 1u) << "the shorter key begins the longer one";
    ZoSubPtrKey longRecord(&longKey, nullptr);
    EXPECT_EQ(longRecord.matchesSubKey(&shortKey), 1u);
    EXPECT_EQ(record.matchesSubKey(&otherKey), 0u);
    EXPECT_EQ(record.matchesSubKey(&upperKey), 0u);
    EXPECT_EQ(record.matchesSubKeyNoCase(&upperKey), 1u);
    EXPECT_EQ(record.matchesSubKeyNoCase(&otherKey), 0u);
    // Comparison stops at a zero character both keys share.
    std::u16string zeroA(u"ab\0x", 4), zeroB(u"ab\0y", 4);
    ZoSubString za = wideView(zeroA), zb = wideView(zeroB);
    EXPECT_EQ(ZoSubPtrKey(&za, nullptr).matchesSubKey(&zb), 1u);
}

TEST_F(ZoStringKeyTest, DeleteKeyAndDataDestroysKeysAndData) {
    ZoDictionary dictionary;
    dictionary.setNoCase(true);
    ASSERT_EQ(dictionary.initialize(2), ZoSuccess);
    for (const char *name : {"DSN", "UID", "PWD", "DATABASE", "SERVER"})
        ASSERT_EQ(dictionary.addAssoc(ownedKey(name), new Keyed(1)), ZoSuccess);
    std::string probe = "database";
    ZoSubString key = view(probe);
    EXPECT_NE(dictionary.getPtrForKey(&key), nullptr);
    dictionary.deleteKeyAndData();
    EXPECT_EQ(Keyed::live, 0);
    EXPECT_EQ(dictionary.doesExist(&key), 0u);
}

TEST_F(ZoStringKeyTest, FailedStringAddsLeaveTheDictionaryAsItWas) {
    ZoDictionary dictionary;
    ASSERT_EQ(dictionary.initialize(0), ZoSuccess);
    std::vector<std::string> names;
    for (int i = 0; i < 30; ++i)
        names.push_back("Key" + std::to_string(i));
    for (size_t n = 0; n < names.size(); ++n) {
        ZoString *key = ownedKey(names[n]);
        zotest::forEachAllocationFailure([&](zotest::FailurePoint &point) {
            point.arm();
            ZoStatus status = dictionary.addAssoc(key, static_cast<ZoObject *>(nullptr));
            if (point.disarm()) {
                EXPECT_EQ(status, ZoFailure);
                EXPECT_EQ(dictionary.doesExist(key), 0u);
            }
        });
        for (size_t k = 0; k <= n; ++k) {
            ZoSubString probe = view(names[k]);
            ASSERT_EQ(dictionary.doesExist(&probe), 1u) << names[k];
        }
    }
    dictionary.deleteKeyAndData();
}

// Case-blind lookups rely on the hash and the comparison folding alike; in a double-byte
// code page neither may fold the second byte of a character.
TEST_F(ZoStringKeyTest, CaseBlindDoubleByteKeys) {
    zotest::CodePage page(932);
    ASSERT_TRUE(page.ok());
    std::string upperTrail = "\x83\x41xy", lowerTrail = "\x83\x61xy", foldedTail = "\x83\x41XY";
    ZoSubString a = view(upperTrail), b = view(lowerTrail), probe = view(foldedTail);
    Keyed first(1), second(2);
    ZoDictionary dictionary;
    dictionary.setNoCase(true);
    ASSERT_EQ(dictionary.initialize(4), ZoSuccess);
    ASSERT_EQ(dictionary.addAssoc(&a, &first), ZoSuccess);
    ASSERT_EQ(dictionary.addAssoc(&b, &second), ZoSuccess);
    EXPECT_EQ(dictionary.getPtrForKey(&a), &first) << "the trail bytes differ: two keys";
    EXPECT_EQ(dictionary.getPtrForKey(&b), &second);
    EXPECT_EQ(dictionary.getPtrForKey(&probe), &first);
}

TEST_F(ZoStringKeyTest, FailedInitializeLeavesAnUnsizedDictionary) {
    ZoDictionary dictionary;
    {
        zotest::NoMemory none;
        EXPECT_EQ(dictionary.initialize(30), ZoFailure);
    }
    EXPECT_EQ(dictionary.getTableSize(), 0);
    std::string text = "DSN";
    ZoSubString key = view(text);
    EXPECT_EQ(dictionary.doesExist(&key), 0u);
    ASSERT_EQ(dictionary.initialize(30), ZoSuccess);
    EXPECT_EQ(dictionary.getTableSize(), 41);
}

// Random keys from a small vocabulary in random letter case, checked against a standard map
// keyed by the exact text or by its upper-cased text.
void checkAgainstOracle(bool noCase, unsigned seed) {
    static const char *words[] = {"DSN",    "UID",    "PWD", "DATABASE", "DATABASENAME", "Trusted_Connection",
                                  "SERVER", "DRIVER", "APP", "WSID",     "Language",     "LANG",
                                  "x",      "",       "DSNA"};
    std::mt19937 rng(seed);
    auto randomKey = [&] {
        std::string key = words[rng() % std::size(words)];
        for (char &c : key)
            if (rng() % 2)
                c = static_cast<char>(std::islower(static_cast<unsigned char>(c)) ? std::toupper(c) : std::tolower(c));
        return key;
    };
    auto oracleKey = [&](std::string key) {
        if (noCase)
            for (char &c : key)
                c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        return key;
    };
    ZoDictionary hashed;
    ZoSeqDictionary sequential;
    hashed.setNoCase(noCase);
    sequential.setNoCase(noCase ? 1 : 0);
    ASSERT_EQ(hashed.initialize(4), ZoSuccess);
    std::unordered_map<std::string, int> latest; // the hash dictionary replaces a key's record
    std::unordered_map<std::string, int> first;  // the sequential one finds the first entry
    // Keys and data stay with the test: a replaced record's key is the caller's again.
    std::vector<std::unique_ptr<Keyed>> data;
    std::vector<std::unique_ptr<ZoString>> keys;
    for (int op = 0; op < 3000; ++op) {
        std::string key = randomKey();
        if (rng() % 2) {
            data.push_back(std::make_unique<Keyed>(op));
            keys.emplace_back(ownedKey(key));
            ASSERT_EQ(hashed.addAssoc(keys.back().get(), data.back().get()), ZoSuccess);
            ASSERT_EQ(sequential.addAssoc(keys.back().get(), data.back().get()), ZoSuccess);
            latest[oracleKey(key)] = op;
            first.emplace(oracleKey(key), op);
        }
        ZoSubString probe = view(key);
        auto found = latest.find(oracleKey(key));
        ASSERT_EQ(hashed.doesExist(&probe), found != latest.end() ? 1u : 0u) << key;
        auto *datum = static_cast<Keyed *>(hashed.getPtrForKey(&probe));
        ASSERT_EQ(datum != nullptr ? datum->key : -1, found != latest.end() ? found->second : -1) << key;
        auto *seqDatum = static_cast<Keyed *>(sequential.getPtrForKey(&probe));
        auto seqFound = first.find(oracleKey(key));
        ASSERT_EQ(seqDatum != nullptr ? seqDatum->key : -1, seqFound != first.end() ? seqFound->second : -1) << key;
    }
}

TEST_F(ZoStringKeyTest, RandomisedExactKeysAgainstUnorderedMap) { checkAgainstOracle(false, 3); }
TEST_F(ZoStringKeyTest, RandomisedCaseBlindKeysAgainstUnorderedMap) { checkAgainstOracle(true, 4); }

TEST_F(ZoStringKeyTest, SequentialDictionaryWithCaseBlindKeys) {
    ZoSeqDictionary attributes;
    attributes.setNoCase(1);
    Keyed a(1), b(2), c(3);
    std::string dsn = "DSN", uid = "uid", probeText = "Uid", absentText = "PWD";
    ZoSubString dsnKey = view(dsn), uidKey = view(uid), probe = view(probeText), absent = view(absentText);
    ASSERT_EQ(attributes.addAssoc(&dsnKey, &a), ZoSuccess);
    ASSERT_EQ(attributes.addAssoc(&uidKey, &b), ZoSuccess);
    EXPECT_EQ(attributes.getIndexForKey(probe), 1u);
    EXPECT_EQ(attributes.getIndexForKey(&absent), 2u);
    EXPECT_EQ(attributes.doesExist(&absent), 0u);
    attributes.changeData(probe, &c);
    EXPECT_EQ(attributes.getPtrForKey(&uidKey), &c);
    EXPECT_EQ(attributes.getSubKeyAtIndex(0), &dsnKey);
    attributes.setNoCase(0);
    EXPECT_EQ(attributes.doesExist(&probe), 0u);
}

} // namespace
