// Profile files: the private-profile contract on real files, their rewriting, and what a
// failure at each step of a rewrite leaves behind.
#include <gtest/gtest.h>

#include <zo/pertask.h>

#include <cstring>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "platform/codepage.h"
#include "platform/file.h"
#include "platform/profile.h"
#include "support/private_profiles.h"

namespace {

namespace plat = zo::plat;
using zotest::u;

const unsigned char *orNull(const char *s) { return reinterpret_cast<const unsigned char *>(s); }

struct Read {
    std::string text; // the bytes of out up to the returned length
    uint32_t length;
};

Read get(const char *section, const char *key, const char *def, const std::string &file, uint32_t size = 256) {
    std::vector<unsigned char> out(size + 1, 0xEE);
    uint32_t n = plat::profileGetString(orNull(section), orNull(key), orNull(def), out.data(), size, u(file),
                                        mdsLeadByteLengthTable());
    EXPECT_EQ(out[size], 0xEE) << "wrote past the buffer";
    EXPECT_LE(n, size);
    return {std::string(reinterpret_cast<char *>(out.data()), n), n};
}

std::string value(const char *section, const char *key, const std::string &file, const char *def = "<none>") {
    Read r = get(section, key, def, file);
    EXPECT_EQ(r.length, std::strlen(r.text.c_str()));
    return r.text;
}

// The names of a list, read with a generous buffer.
std::vector<std::string> names(const char *section, const std::string &file) {
    std::vector<std::string> all;
    Read r = get(section, nullptr, "ignored", file, 4096);
    for (size_t at = 0; at < r.text.size(); at += all.back().size() + 1)
        all.push_back(r.text.c_str() + at);
    return all;
}

int put(const char *section, const char *key, const char *value, const std::string &file) {
    return plat::profileWriteString(orNull(section), orNull(key), orNull(value), u(file), mdsLeadByteLengthTable());
}

class ProfileFile : public ::testing::Test {
protected:
    zotest::PrivateProfiles env;
    std::string file = env.dir().host("test.ini");
    void write(const std::string &text) { env.dir().write("test.ini", text); }
    std::string contents() { return env.dir().read("test.ini"); }
};

TEST_F(ProfileFile, ReadsValuesByTheContract) {
    write("; leading comment\n"
          "stray=before any section\n"
          "  [ Sec ]  trailing words\n"
          "  Key  =  Val ue  \n"
          "Quoted=\"  spaced  \"\n"
          "Single='x'\n"
          "Unpaired=\"x'\n"
          ";Hidden=1\n"
          "#Hidden2=2\n"
          "NoEquals\n"
          "Empty=\n"
          "Dup=first\n"
          "[sec]\n"
          "Dup=second section\n"
          "Other=in second\n");
    struct Case {
        const char *section, *key, *expected;
    } cases[] = {
        {"Sec", "Key", "Val ue"},      {"SEC", "kEy", "Val ue"},
        {" Sec ", " Key ", "Val ue"},  {"Sec", "Quoted", "  spaced  "},
        {"Sec", "Single", "x"},        {"Sec", "Unpaired", "\"x'"},
        {"Sec", ";Hidden", "<none>"},  {"Sec", "#Hidden2", "<none>"},
        {"Sec", "NoEquals", "<none>"}, {"Sec", "Empty", ""},
        {"Sec", "Dup", "first"},       {"Sec", "Other", "<none>"},
        {"Nope", "Key", "<none>"},     {"Sec", "stray", "<none>"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(value(c.section, c.key, file), c.expected) << c.section << "/" << c.key;
    EXPECT_EQ(get("Sec", "Missing", nullptr, file).text, "");
    EXPECT_EQ(value("Sec", "Key", env.dir().host("absent.ini")), "<none>");
}

TEST_F(ProfileFile, CutsValuesAndListsToTheBuffer) {
    write("[A]\nk=abcdef\nsecond=2\n[B]\n[LongerName]\n");
    EXPECT_EQ(get("A", "k", "", file, 4).text, "abc");
    EXPECT_EQ(get("A", "missing", "defaultText", file, 5).text, "defa");
    EXPECT_EQ(get("A", "k", "", file, 1).text, "");

    EXPECT_EQ(names(nullptr, file), (std::vector<std::string>{"A", "B", "LongerName"}));
    EXPECT_EQ(names("", file), names(nullptr, file));
    EXPECT_EQ(names("a", file), (std::vector<std::string>{"k", "second"}));
    EXPECT_TRUE(names("B", file).empty());
    Read whole = get(nullptr, nullptr, "", file);
    EXPECT_EQ(whole.length, 15u); // A\0B\0LongerName\0
    // A list that does not fit: size - 2, the last two bytes terminators.
    Read cut = get(nullptr, nullptr, "", file, 9);
    EXPECT_EQ(cut.length, 7u);
    EXPECT_EQ(std::string(cut.text.c_str()), "A");
    unsigned char out[9];
    plat::profileGetString(nullptr, nullptr, nullptr, out, sizeof out, u(file), mdsLeadByteLengthTable());
    EXPECT_EQ(out[7], 0);
    EXPECT_EQ(out[8], 0);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(out + 4)), "Lon"); // the cut name
    EXPECT_EQ(get(nullptr, nullptr, "", file, 2).length, 0u);
    // The first name fills the buffer but for the closing terminator: the next one is cut
    // to nothing, and nothing is written past the buffer.
    write("[AAA]\n[B]\n");
    Read full = get(nullptr, nullptr, "", file, 5);
    EXPECT_EQ(full.length, 3u);
    EXPECT_EQ(full.text, std::string("AAA", 3));
    unsigned char none = 0x55;
    EXPECT_EQ(plat::profileGetString(nullptr, nullptr, nullptr, &none, 0, u(file), mdsLeadByteLengthTable()), 0u);
    EXPECT_EQ(none, 0x55);
}

// In code page 932 the bytes `]`, `=` and `\` can be the second byte of a character.
TEST_F(ProfileFile, DoubleByteNamesAreNotSplit) {
    ASSERT_TRUE(plat::setCodePageForTest(932));
    const std::string section = std::string("\x81\x5D") + "x"; // a character whose second byte is `]`
    const std::string key = "k\x81\x5D";
    write("[" + section + "]\n" + key + "=v\x83\x3D\x83\x5C\n");
    EXPECT_EQ(names(nullptr, file), std::vector<std::string>{section});
    EXPECT_EQ(value(section.c_str(), key.c_str(), file), "v\x83\x3D\x83\x5C");
    EXPECT_EQ(get(section.c_str(), key.c_str(), "", file, 5).text, "v\x83\x3D"); // never half a character
    EXPECT_EQ(put(section.c_str(), "new\x81\x5D", "1", file), 1);
    EXPECT_EQ(value(section.c_str(), "NEW\x81\x5D", file), "1");
    // A name ending in a lead byte would take the `]` or `=` after it: refused.
    EXPECT_EQ(put("S\x83", "k", "1", file), 0);
    EXPECT_EQ(put(section.c_str(), "k\x83", "1", file), 0);
    plat::setCodePageForTest(1252);
}

TEST_F(ProfileFile, WritesChangeOnlyTheirLines) {
    const std::string before = "; settings\r\n[One]\r\na = 1\r\n  B=2 ; not a comment\r\n; end of one\r\n\r\n"
                               "[Two]\r\nc=3\r\n";
    write(before);
    EXPECT_EQ(put("one", "A", "10", file), 1);  // key keeps its spelling and indentation
    EXPECT_EQ(put("One", "New", "x", file), 1); // after the last entry, before the comment
    EXPECT_EQ(put("Three", "d", "4", file), 1); // a new section at the end
    EXPECT_EQ(contents(), "; settings\r\n[One]\r\na=10\r\n  B=2 ; not a comment\r\nNew=x\r\n; end of one\r\n\r\n"
                          "[Two]\r\nc=3\r\n\r\n[Three]\r\nd=4\r\n");
    EXPECT_EQ(put("ONE", "b", nullptr, file), 1);
    EXPECT_EQ(put("two", nullptr, nullptr, file), 1);
    EXPECT_EQ(contents(), "; settings\r\n[One]\r\na=10\r\nNew=x\r\n; end of one\r\n\r\n[Three]\r\nd=4\r\n");
}

TEST_F(ProfileFile, NewFileAndUnterminatedLastLine) {
    EXPECT_EQ(put("S", "k", "v", file), 1);
    EXPECT_EQ(contents(), "[S]\nk=v\n");
    write("[S]\nk=v");
    EXPECT_EQ(put("S", "k2", "w", file), 1);
    EXPECT_EQ(contents(), "[S]\nk=v\nk2=w\n");
    write("x=1");
    EXPECT_EQ(put("S", "k", "v", file), 1);
    EXPECT_EQ(contents(), "x=1\n\n[S]\nk=v\n");
    write("[S]\r"); // a carriage return alone ends no line
    EXPECT_EQ(put("S", "k", "v", file), 1);
    EXPECT_EQ(contents(), "[S]\r\nk=v\n");
    write("[S]\r\nk=v\r");
    EXPECT_EQ(put("S", "k2", "w", file), 1);
    EXPECT_EQ(contents(), "[S]\r\nk=v\r\nk2=w\r\n");
    EXPECT_EQ(value("S", "k", file), "v");
}

TEST_F(ProfileFile, DeletingWhatIsNotThereTouchesNothing) {
    EXPECT_EQ(put("S", "k", nullptr, file), 1);
    EXPECT_EQ(put("S", nullptr, nullptr, file), 1);
    EXPECT_FALSE(std::filesystem::exists(file)); // no empty file is left behind
    write("[S]\nk=v\n");
    auto stamp = std::filesystem::last_write_time(file);
    EXPECT_EQ(put("S", "other", nullptr, file), 1);
    EXPECT_EQ(put("T", nullptr, nullptr, file), 1);
    EXPECT_EQ(std::filesystem::last_write_time(file), stamp);
}

TEST_F(ProfileFile, RefusesWhatTheFileCouldNotHold) {
    write("[S]\nk=v\n");
    struct Case {
        const char *section, *key, *value;
    } refused[] = {
        {nullptr, "k", "v"}, {"", "k", "v"},    {"a]b", "k", "v"},  {"a\nb", "k", "v"},
        {"S", "", "v"},      {"S", "a=b", "v"}, {"S", "[k", "v"},   {"S", ";k", "v"},
        {"S", "#k", "v"},    {"S", "k\r", "v"}, {"S", "k", "x\ny"}, {"S", "k", "x\ry"},
    };
    for (const Case &c : refused)
        EXPECT_EQ(put(c.section, c.key, c.value, file), 0) << (c.section ? c.section : "null") << "/" << c.key;
    EXPECT_EQ(contents(), "[S]\nk=v\n");
}

TEST_F(ProfileFile, BareNamesLiveInTheWindowsDirectory) {
    std::filesystem::remove_all(env.windows(""));
    EXPECT_EQ(put("Mail", "MAPIDLL", "provider.DLL", "WIN.INI"), 1); // the directory is made
    EXPECT_EQ(env.dir().read("windows/WIN.INI"), "[Mail]\nMAPIDLL=provider.DLL\n");
    EXPECT_EQ(value("mail", "mapidll", "win.ini"), "provider.DLL"); // the file's name is case-blind
    unsigned char dir[512];
    ASSERT_TRUE(plat::windowsDirectory(dir, sizeof dir));
    EXPECT_EQ(std::string(reinterpret_cast<char *>(dir)), env.dir().windows("windows"));
    // Windows-form full names go through the drive table.
    EXPECT_EQ(value("Mail", "MAPIDLL", env.dir().windows("windows\\win.ini")), "provider.DLL");
}

TEST_F(ProfileFile, RewriteKeepsTheModeOfTheFile) {
    write("[S]\nk=v\n");
    std::filesystem::permissions(file, std::filesystem::perms(0640));
    EXPECT_EQ(put("S", "k", "w", file), 1);
    EXPECT_EQ(std::filesystem::status(file).permissions(), std::filesystem::perms(0640));
}

// Values survive a round trip whatever blanks or quotes they hold.
TEST_F(ProfileFile, ValuesReadBackAsWritten) {
    for (const char *v : {"plain", "", " lead", "trail ", "\"quoted\"", "'single'", "\"", "a=b=c", "  "}) {
        ASSERT_EQ(put("S", "k", v, file), 1) << v;
        EXPECT_EQ(value("S", "k", file), v);
    }
}

// Each step of a rewrite failing in turn leaves the old file or the new one, whole, and no
// temporary file.
TEST_F(ProfileFile, AFailedStepLeavesTheOldOrTheNewFile) {
    const std::string old = "; keep\n[S]\nk=old\n";
    struct Step {
        plat::FileOp op;
        uint32_t k;
        plat::FileFault fault;
        bool landed; // the new file is in place although the write reports failure
    } steps[] = {
        {plat::FileOp::Open, 1, plat::FileFault::Fail, false},  // the temporary file
        {plat::FileOp::Open, 2, plat::FileFault::Fail, false},  // opening it
        {plat::FileOp::Read, 1, plat::FileFault::Fail, false},  // the old contents
        {plat::FileOp::Write, 1, plat::FileFault::Fail, false}, //
        {plat::FileOp::Write, 1, plat::FileFault::ShortWrite, false},
        {plat::FileOp::Write, 1, plat::FileFault::DiskFull, false}, //
        {plat::FileOp::Sync, 1, plat::FileFault::Fail, false},      // the temporary file
        {plat::FileOp::Rename, 1, plat::FileFault::Fail, false},    //
        {plat::FileOp::Sync, 2, plat::FileFault::Fail, true},       // the directory, after the rename
    };
    for (const Step &step : steps) {
        write(old);
        plat::fileTestInjectFault(step.op, step.k, step.fault);
        int result = put("S", "k", "new", file);
        plat::fileTestClearFaults();
        EXPECT_EQ(result, 0) << static_cast<unsigned>(step.op) << "#" << step.k;
        EXPECT_EQ(contents(), step.landed ? "; keep\n[S]\nk=new\n" : old) << static_cast<unsigned>(step.op);
        EXPECT_EQ(value("S", "k", file), step.landed ? "new" : "old");
        size_t files = 0;
        for (auto &entry : std::filesystem::directory_iterator(env.dir().host()))
            files += entry.is_regular_file();
        EXPECT_EQ(files, 1u) << "a temporary file was left behind";
    }
    // A new file whose write fails leaves no file.
    std::filesystem::remove(file);
    plat::fileTestInjectFault(plat::FileOp::Rename, 1, plat::FileFault::Fail);
    EXPECT_EQ(put("S", "k", "v", file), 0);
    plat::fileTestClearFaults();
    EXPECT_FALSE(std::filesystem::exists(file));
}

// A model of the profile (case-blind sections of case-blind keys) checked against the file
// after every one of a long run of random writes, comments kept throughout.
TEST(ProfileModel, RandomWritesMatchAModel) {
    zotest::PrivateProfiles env(zotest::fastTempBase()); // many rewrites: kept off the disk
    std::string file = env.dir().host("model.ini");
    env.dir().write("model.ini", "; header comment\n[Fixed]\nkeep=me\n");
    std::map<std::string, std::map<std::string, std::string>> model{{"fixed", {{"keep", "me"}}}};
    auto lower = [](std::string s) {
        for (char &c : s)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return s;
    };
    std::mt19937 random(7);
    const char *sections[] = {"Alpha", "ALPHA", "beta", "Gamma"};
    const char *keys[] = {"one", "One", "two", "three"};
    for (int i = 0; i < 200; ++i) {
        std::string s = sections[random() % 4], k = keys[random() % 4], v = "v" + std::to_string(random() % 50);
        switch (random() % 6) {
        case 0:
            ASSERT_EQ(put(s.c_str(), nullptr, nullptr, file), 1);
            model.erase(lower(s));
            break;
        case 1:
            ASSERT_EQ(put(s.c_str(), k.c_str(), nullptr, file), 1);
            if (model.count(lower(s)))
                model[lower(s)].erase(lower(k));
            break;
        default: ASSERT_EQ(put(s.c_str(), k.c_str(), v.c_str(), file), 1); model[lower(s)][lower(k)] = v;
        }
        for (const char *probeSection : sections)
            for (const char *probeKey : keys) {
                auto section = model.find(lower(probeSection));
                std::string expected = "<none>";
                if (section != model.end() && section->second.count(lower(probeKey)))
                    expected = section->second[lower(probeKey)];
                ASSERT_EQ(value(probeSection, probeKey, file), expected) << "after step " << i;
            }
    }
    EXPECT_EQ(env.dir().read("model.ini").rfind("; header comment\n[Fixed]\nkeep=me\n", 0), 0u);
}

} // namespace

// Reads answer from the bytes of an earlier read while the file is unchanged, and read the
// file again after any change that shows in its status.
TEST_F(ProfileFile, RepeatedReadsSeeEveryChange) {
    plat::profileSetSettleTimeForTest(0); // every file counts as settled
    write("[S]\nk=one\n");
    EXPECT_EQ(value("S", "k", file), "one");
    EXPECT_EQ(value("S", "k", file), "one");
    env.dir().write("replacement.ini", "[S]\nk=two\n");
    std::filesystem::rename(env.dir().host("replacement.ini"), file); // a new inode
    EXPECT_EQ(value("S", "k", file), "two");
    write("[S]\nk=three, longer\n"); // in place, another size
    EXPECT_EQ(value("S", "k", file), "three, longer");
    EXPECT_EQ(put("S", "k", "four", file), 1);
    EXPECT_EQ(value("S", "k", file), "four");
    std::filesystem::remove(file);
    EXPECT_EQ(value("S", "k", file), "<none>");
    plat::profileSetSettleTimeForTest(-1);
    // A file changed just now is read each time: a change in the same tick of the file
    // times, keeping the size, still shows.
    write("[S]\nk=five\n");
    EXPECT_EQ(value("S", "k", file), "five");
    write("[S]\nk=six!\n");
    EXPECT_EQ(value("S", "k", file), "six!");
}
