// The resource library: naming, loading, reference counting and its message texts.
#include <gtest/gtest.h>

#include <zo/cntdblib.h>
#include <zo/pertask.h>

#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "frame/libstate.h"
#include "frame/err.h"
#include "platform/codepage.h"
#include "platform/module.h"

namespace {

std::string str(const unsigned char *s) { return reinterpret_cast<const char *>(s); }

std::string resourceText(unsigned id) {
    unsigned char text[512];
    int n = mdsLoadResourceString(id, text, sizeof text);
    EXPECT_EQ(static_cast<size_t>(n), std::strlen(reinterpret_cast<char *>(text)));
    return str(text);
}

// Host path of the library's own file.
std::string ownHostPath() {
    unsigned char name[256];
    EXPECT_EQ(getDllFileNameAndDirectory(mdsPerTaskRecord().ownModule, nullptr, name), ZoSuccess);
    unsigned char windows[256];
    zo::plat::moduleFileName(mdsPerTaskRecord().ownModule, windows, sizeof windows);
    char host[512];
    EXPECT_TRUE(zo::plat::windowsPathToHost(windows, host, sizeof host, mdsLeadByteLengthTable()));
    return host;
}

TEST(ResourceLibrary, OwnModuleSplitsIntoDirectoryAndFile) {
    unsigned char directory[256], file[256];
    ASSERT_EQ(getDllFileNameAndDirectory(mdsPerTaskRecord().ownModule, directory, file), ZoSuccess);
    EXPECT_EQ(str(file), "libzo.DLL");
    EXPECT_EQ(str(directory).rfind("C:\\", 0), 0u);
    EXPECT_NE(str(directory).back(), '\\');
    EXPECT_EQ(getDllFileNameAndDirectory(mdsPerTaskRecord().ownModule, nullptr, nullptr), ZoSuccess);
}

TEST(ResourceLibrary, LoadedOnceAndFreedWithTheLastHold) {
    void *own = mdsPerTaskRecord().ownModule;
    void *resource = reinterpret_cast<void *>(1); // overwritten by the first load
    uint32_t count = 0;
    ASSERT_EQ(bosLoadResourceDLL(own, 0, &resource, &count), ZoSuccess);
    ASSERT_NE(resource, nullptr);
    EXPECT_EQ(count, 1u);
    void *first = resource;
    ASSERT_EQ(bosLoadResourceDLL(own, 0, &resource, &count), ZoSuccess);
    EXPECT_EQ(resource, first);
    EXPECT_EQ(count, 2u);

    unsigned char text[64];
    EXPECT_GT(zo::plat::moduleLoadString(resource, 1529, text, sizeof text), 0);

    EXPECT_EQ(bosFreeResourceDLL(&resource, &count), ZoSuccess);
    EXPECT_EQ(resource, first);
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(bosFreeResourceDLL(&resource, &count), ZoSuccess);
    EXPECT_EQ(resource, nullptr);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(bosFreeResourceDLL(&resource, &count), ZoSuccess); // nothing held: no change
    EXPECT_EQ(count, 0u);
}

TEST(ResourceLibrary, ReplacingTheLastCharacterNamesAnotherFile) {
    // libzo.DLL with its last character replaced is libzR.DLL, which does not exist.
    void *resource = reinterpret_cast<void *>(1);
    uint32_t count = 0;
    EXPECT_EQ(bosLoadResourceDLL(mdsPerTaskRecord().ownModule, 1, &resource, &count), ZoFailure);
    EXPECT_EQ(resource, nullptr);
    EXPECT_EQ(count, 0u);
}

TEST(ResourceLibrary, ProgramWithoutExtensionHasNoResourceLibrary) {
    void *resource = nullptr;
    uint32_t count = 0;
    EXPECT_EQ(bosLoadResourceDLL(nullptr, 0, &resource, &count), ZoFailure); // zo_tests: no dot
    EXPECT_EQ(count, 0u);
}

TEST(ResourceLibrary, PerTaskInitWithoutResourceLibraryStillSucceeds) {
    PerTaskRecord &task = mdsPerTaskRecord();
    ASSERT_EQ(task.resourceUseCount, 0u);
    void *own = task.ownModule;
    task.ownModule = nullptr; // the host program: no resource library can be named
    EXPECT_EQ(mdsPerTaskInit(), 1);
    EXPECT_EQ(task.resourceLibrary, nullptr);
    EXPECT_EQ(task.resourceUseCount, 0u);
    EXPECT_EQ(resourceText(1501), "");
    mdsPerTaskTerm();
    task.ownModule = own;
}

TEST(ResourceLibrary, PerTaskInitIsReferenceCounted) {
    PerTaskRecord &task = mdsPerTaskRecord();
    ASSERT_EQ(task.resourceUseCount, 0u);
    EXPECT_EQ(mdsPerTaskInit(), 1);
    void *loaded = task.resourceLibrary;
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(mdsPerTaskInit(), 1);
    EXPECT_EQ(task.resourceLibrary, loaded);
    EXPECT_EQ(task.resourceUseCount, 2u);
    mdsPerTaskTerm();
    EXPECT_EQ(task.resourceLibrary, loaded);
    EXPECT_EQ(resourceText(1529), "Yes");
    mdsPerTaskTerm();
    EXPECT_EQ(task.resourceLibrary, nullptr);
    EXPECT_EQ(resourceText(1529), "");
}

// Every message number the library reports has a text, carrying the placeholders that its
// reporting code fills.
TEST(ResourceLibrary, EveryMessageNumberHasItsText) {
    ASSERT_EQ(mdsPerTaskInit(), 1);
    auto expectText = [](unsigned first, unsigned last) {
        for (unsigned id = first; id <= last; ++id)
            EXPECT_FALSE(resourceText(id).empty()) << id;
    };
    expectText(1501, 1538);
    expectText(2700, 2721);
    expectText(21800, 21800);
    expectText(30040, 30045);
    EXPECT_EQ(resourceText(30190), ""); // the memory error's text is built in
    EXPECT_EQ(resourceText(1500), "");

    struct Placeholders {
        unsigned id;
        std::vector<const char *> present;
    };
    const Placeholders expected[] = {
        {1501, {"%s1"}},  {1502, {"%s1"}},         {1504, {"%s1"}}, {1524, {"%s1"}},
        {30040, {"%s1"}}, {30042, {"%s1", "%s2"}}, {2700, {"%s1"}}, {2701, {"%s1"}},
        {2702, {"%s1"}},  {2703, {"%s1"}},         {2704, {"%n1"}}, {2705, {"%n1", "%s2"}},
        {2706, {"%s1"}},  {2707, {"%s1", "%s2"}},  {2720, {"%s1"}}, {2721, {"%s1"}},
    };
    for (const Placeholders &p : expected)
        for (const char *placeholder : p.present)
            EXPECT_NE(resourceText(p.id).find(placeholder), std::string::npos) << p.id << " " << placeholder;
    // Appended texts start with a blank so that they read on from the message before them.
    EXPECT_EQ(resourceText(2706).front(), ' ');
    EXPECT_EQ(resourceText(2707).front(), ' ');
    EXPECT_EQ(resourceText(21800), "&");
    mdsPerTaskTerm();
}

TEST(ResourceLibrary, TextsAreCutToTheBuffer) {
    ASSERT_EQ(mdsPerTaskInit(), 1);
    unsigned char text[5];
    EXPECT_EQ(mdsLoadResourceString(1501, text, sizeof text), 4);
    EXPECT_EQ(str(text), "Cann");
    // Ids are taken modulo 65,536.
    unsigned char wrapped[64];
    mdsLoadResourceString(1529 + 0x10000, wrapped, sizeof wrapped);
    EXPECT_EQ(str(wrapped), "Yes");
    mdsPerTaskTerm();
}

// In code page 932 the byte 0x5C can be the second byte of a character: such a byte is not
// a path separator, and the name is split at the real one.
TEST(ResourceLibrary, DoubleByteNamesSplitAtTheRealBackslash) {
    namespace fs = std::filesystem;
    fs::path dir = fs::temp_directory_path() / ("zo_module_" + std::to_string(std::random_device{}()));
    fs::create_directories(dir);
    fs::path copy = dir / "libzoR\x81\x5C.so";
    std::string own = ownHostPath();
    fs::copy_file(fs::path(own).parent_path() / "libzoR.so", copy, fs::copy_options::overwrite_existing);

    ASSERT_TRUE(zo::plat::setCodePageForTest(932));
    void *module = zo::plat::moduleLoad(reinterpret_cast<const unsigned char *>(copy.c_str()), mdsCharLengthTable());
    ASSERT_NE(module, nullptr);
    unsigned char directory[256], file[256];
    EXPECT_EQ(getDllFileNameAndDirectory(module, directory, file), ZoSuccess);
    EXPECT_EQ(str(file), "libzoR\x81\x5C.DLL");
    zo::plat::moduleFree(module);
    zo::plat::setCodePageForTest(1252);
    fs::remove_all(dir);
}

// ---- Libraries of the family and the count of driver starts ----

using FamilyAnswer = int (*)();

const unsigned char *name(const char *s) { return reinterpret_cast<const unsigned char *>(s); }

int answerOf(void *library) {
    auto answer = reinterpret_cast<FamilyAnswer>(zo::plat::moduleSymbol(library, "familyAnswer"));
    return answer != nullptr ? answer() : -1;
}

TEST(FamilyLibraries, NamesGetTheFamilySuffix) {
    unsigned char family[16] = "XYZ";
    bosdllname(family);
    EXPECT_EQ(str(family), "XYZ10");
}

// zofamily10.so is built beside the resource library and beside the test program.
TEST(FamilyLibraries, LoadedFromTheResourceLibrarysDirectory) {
    ASSERT_EQ(mdsPerTaskInit(), 1);
    ASSERT_NE(mdsPerTaskRecord().resourceLibrary, nullptr);
    void *library = bosLoadLibrary(name("zofamily"), 1);
    ASSERT_NE(library, nullptr);
    EXPECT_EQ(answerOf(library), 42);
    zo::plat::moduleFree(library);
    EXPECT_EQ(bosLoadLibrary(name("nosuchfamily"), 1), nullptr);
    EXPECT_EQ(bosLoadLibrary(name(std::string(300, 'x').c_str()), 1), nullptr);
    // Without the family rule a bare name is left to the host's search rules.
    EXPECT_EQ(bosLoadLibrary(name("zofamily10.DLL"), 0), nullptr);
    mdsPerTaskTerm();
}

TEST(FamilyLibraries, WithoutAResourceLibraryTheProgramsDirectory) {
    ASSERT_EQ(mdsPerTaskRecord().resourceLibrary, nullptr);
    void *library = bosLoadLibrary(name("ZOFAMILY"), 1); // names on the emulated volume are case-blind
    ASSERT_NE(library, nullptr);
    EXPECT_EQ(answerOf(library), 42);
    zo::plat::moduleFree(library);
}

TEST(DriverStarts, CountsFirstStartAndLastStop) {
    void *saved = mdsGetPerTaskData(PerTaskDbLibInits);
    mdsSetPerTaskData(PerTaskDbLibInits, nullptr);
    EXPECT_EQ(countDBLibInits(1), 0);
    EXPECT_EQ(countDBLibInits(1), 1);
    EXPECT_EQ(countDBLibInits(0), 1);
    EXPECT_EQ(countDBLibInits(0), 0);
    EXPECT_EQ(countDBLibInits(0), 0); // a stop without a start does not wrap around
    EXPECT_EQ(countDBLibInits(7), 0);
    mdsSetPerTaskData(PerTaskDbLibInits, reinterpret_cast<void *>(uintptr_t{0xFFFF}));
    EXPECT_EQ(countDBLibInits(1), 0xFFFF); // nor past the top
    EXPECT_EQ(countDBLibInits(0), 0xFFFE);
    mdsSetPerTaskData(PerTaskDbLibInits, saved);
}

TEST(DriverStarts, ThreadsCountUnderTheLock) {
    void *saved = mdsGetPerTaskData(PerTaskDbLibInits);
    mdsSetPerTaskData(PerTaskDbLibInits, nullptr);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([] {
            for (int i = 0; i < 2000; ++i)
                (void)countDBLibInits(1); // the count is checked below
        });
    for (std::thread &t : threads)
        t.join();
    EXPECT_EQ(reinterpret_cast<uintptr_t>(mdsGetPerTaskData(PerTaskDbLibInits)), 8000u);
    mdsSetPerTaskData(PerTaskDbLibInits, saved);
}

} // namespace
