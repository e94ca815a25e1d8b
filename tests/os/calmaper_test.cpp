// UtlLibCallMapper against a small library of the project's own.
#include <gtest/gtest.h>

#include <zo/calmaper.h>
#include <zo/ramalloc.h>

#include <string>

#include "platform/module.h"
#include "support/alloc_failure.h"
#include "support/temp_dir.h"

namespace {

using zotest::u;

// A driver's mapper: the protected members made reachable, the library and the table
// freed on destruction as a deriving class must.
class Mapper : public UtlLibCallMapper {
public:
    ~Mapper() {
        zo::plat::moduleFree(module_);
        ramFree(entries_);
    }
    using UtlLibCallMapper::getDLLEntryPoint;
    using UtlLibCallMapper::initialize;
    using UtlLibCallMapper::setDLLEntryPoint;
    using UtlLibCallMapper::setDLLName;
    using UtlLibCallMapper::setMaxDLLEntries;
    bool loaded() const { return module_ != nullptr; }
    uint32_t maxEntries() const { return maxEntries_; }
    std::string name() const { return reinterpret_cast<const char *>(dllName_); }
};

using Answer = int (*)();
const std::string kLibrary = ZO_FAMILY_LIBRARY;

TEST(CallMapper, StartsEmpty) {
    Mapper m;
    EXPECT_FALSE(m.loaded());
    EXPECT_EQ(m.maxEntries(), 0u);
    EXPECT_EQ(m.name(), "");
    EXPECT_EQ(m.getDLLEntryPoint(0), nullptr);
    EXPECT_EQ(m.setDLLEntryPoint(u("familyAnswer"), 0), ZoFailure);
}

TEST(CallMapper, MapsEntryPointsByNumber) {
    Mapper m;
    ASSERT_EQ(m.setMaxDLLEntries(3), ZoSuccess);
    ASSERT_EQ(m.setDLLName(u(kLibrary)), ZoSuccess);
    ASSERT_EQ(m.initialize(), ZoSuccess);
    EXPECT_EQ(m.initialize(), ZoFailure); // loaded already
    for (uint32_t i = 0; i <= 3; ++i)
        EXPECT_EQ(m.getDLLEntryPoint(i), nullptr) << i;
    EXPECT_EQ(m.setDLLEntryPoint(u("familyAnswer"), 3), ZoSuccess);
    EXPECT_EQ(m.setDLLEntryPoint(u("familyGreeting"), 0), ZoSuccess);
    EXPECT_EQ(m.setDLLEntryPoint(u("familyAnswer"), 4), ZoFailure);
    EXPECT_EQ(m.setDLLEntryPoint(u("noSuchEntryPoint"), 1), ZoFailure);
    ASSERT_NE(m.getDLLEntryPoint(3), nullptr); // the highest entry number is valid
    EXPECT_EQ(reinterpret_cast<Answer>(m.getDLLEntryPoint(3))(), 42);
    EXPECT_EQ(m.getDLLEntryPoint(4), nullptr);
    EXPECT_EQ(m.getDLLEntryPoint(1), nullptr);
    // Name and size are fixed once loaded.
    EXPECT_EQ(m.setDLLName(u("other.DLL")), ZoFailure);
    EXPECT_EQ(m.name(), kLibrary);
    EXPECT_EQ(m.setMaxDLLEntries(10), ZoFailure);
    EXPECT_EQ(m.maxEntries(), 3u);
}

TEST(CallMapper, NamesAndLoadsThatFail) {
    Mapper m;
    EXPECT_EQ(m.setDLLName(u(std::string(255, 'n'))), ZoSuccess);
    EXPECT_EQ(m.setDLLName(u(std::string(256, 'n'))), ZoFailure);
    EXPECT_EQ(m.name(), std::string(255, 'n'));
    EXPECT_EQ(m.initialize(), ZoFailure); // no such library
    EXPECT_FALSE(m.loaded());
    ASSERT_EQ(m.setDLLName(u(kLibrary)), ZoSuccess);
    ASSERT_EQ(m.setMaxDLLEntries(0xFFFFFFFF), ZoSuccess);
    EXPECT_EQ(m.initialize(), ZoFailure); // a table too large to ask for
    EXPECT_FALSE(m.loaded());
}

// Without memory for the table the library is given back and initialize can be retried.
TEST(CallMapper, TableWithoutMemory) {
    Mapper m;
    ASSERT_EQ(m.setDLLName(u(kLibrary)), ZoSuccess);
    {
        zotest::NoMemory none;
        EXPECT_EQ(m.initialize(), ZoFailure);
    }
    EXPECT_FALSE(m.loaded());
    EXPECT_EQ(m.initialize(), ZoSuccess);
    EXPECT_EQ(m.setDLLEntryPoint(u("familyAnswer"), 0), ZoSuccess);
}

} // namespace
