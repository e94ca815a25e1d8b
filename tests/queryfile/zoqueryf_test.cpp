#include <zo/convert.h>
#include <zo/zoarray.h>
#include <zo/zoqueryf.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "platform/file.h"
#include "support/all_or_nothing.h"
#include "support/alloc_failure.h"
#include "support/error_capture.h"
#include "support/status.h"
#include "support/temp_dir.h"

using zotest::TempDir;
using zotest::u;
namespace plat = zo::plat;
namespace fs = std::filesystem;

namespace {

std::string text(const ZoSubString &s) { return std::string(reinterpret_cast<const char *>(s.data()), s.length()); }

struct FaultsCleared {
    ~FaultsCleared() { plat::fileTestClearFaults(); }
};

class QueryFile : public ::testing::Test {
protected:
    // Writes a file and opens it.
    ZoStatus open(const std::string &contents, const std::string &name = "q.qry") {
        dir.write(name, contents);
        return query.openFile(u(dir.windows(name)));
    }
    std::string statement() {
        ZoString sql;
        zotest::ok(query.getSqlStmt(&sql));
        return text(sql);
    }
    std::string section(const char *name) {
        ZoString content;
        zotest::ok(query.getSectionChunk(u(name), &content));
        return text(content);
    }
    unsigned exists(const char *name) {
        unsigned int there = 7;
        zotest::ok(query.doesSectionExist(u(name), &there));
        return there;
    }

    zotest::ErrorCapture errors;
    TempDir dir;
    ZoQueryFile query;
};

// ---- reading -------------------------------------------------------------------------------

TEST_F(QueryFile, HeadersThatOpenAndHeadersThatDoNot) {
    struct Case {
        const char *header;
        bool opens;
        uint16_t major = 0, minor = 0, patch = 0;
        const char *type = "";
    };
    for (const Case &c :
         {Case{"zo 7.0 FOR Oracle", true, 7, 0, 0, "Oracle"}, Case{"Z&O 2.1.3b for My Base", true, 2, 1, 3, "My Base"},
          Case{"Zo 6 for Text", true, 6, 0, 0, "Text"}, Case{"Zo 7.0 Oracle", false}, Case{"Zo for Text", false},
          Case{"Zo 7.0 for", false}, Case{"Zo 7.0 for (2)", false}, Case{"Zo 7.0 for Text (2", false},
          Case{"Zo 7.0 for Text (x)", false}, Case{"Zo 7.0 for Text (2) more", false},
          Case{"Zo 99999.0 for Text", false}, Case{"Query 7.0 for Text", false}, Case{"", false}}) {
        SCOPED_TRACE(c.header);
        ZoStatus status = open(std::string(c.header) + "\r\n\r\nSELECT 1;\r\n");
        ASSERT_EQ(status == ZoSuccess, c.opens);
        if (!c.opens) {
            EXPECT_EQ(errors.lastNumber(), 2720u);
            EXPECT_EQ(query.getFileName(), nullptr);
            continue;
        }
        EXPECT_EQ(query.getMajorVersion(), c.major);
        EXPECT_EQ(query.getMinorVersion(), c.minor);
        EXPECT_EQ(query.getPatchVersion(), c.patch);
        EXPECT_STREQ(reinterpret_cast<const char *>(query.getDbType()), c.type);
        EXPECT_EQ(statement(), "SELECT 1");
    }
    EXPECT_EQ(query.openFile(u(dir.windows("none.qry"))), ZoFailure);
}

TEST_F(QueryFile, ScrambledLinesAreReadPlain) {
    std::string rest = "use sales;\r\nSELECT *\r\n  FROM t;\r\n\r\n[PAGE_LAYOUT]\r\nwide\r\n";
    encrypt(reinterpret_cast<unsigned char *>(rest.data()), static_cast<uint32_t>(rest.size()), 2, nullptr);
    ASSERT_EQ(open("Zo 7.0 for Text (2)\r\n\r\n" + rest), ZoSuccess);
    EXPECT_EQ(query.getWasScrambled(), 1);
    EXPECT_EQ(query.getScrambleMode(), 2u);
    EXPECT_STREQ(reinterpret_cast<const char *>(query.getDbName()), "sales");
    EXPECT_EQ(statement(), "SELECT *   FROM t");
    EXPECT_EQ(section("PAGE_LAYOUT"), "wide\r\n\r\n");
}

TEST_F(QueryFile, MarkerDatabaseAndAStatementOverThreeLines) {
    ASSERT_EQ(open("Zo 7.0 for Text\r\n\r\n\r\nctzof 1\r\n  \r\nUSE  master ;\r\n\r\nSELECT a,\r\n  'x;  y'\r\n"
                   "FROM t ;  \r\n[X]\r\n"),
              ZoSuccess);
    EXPECT_EQ(query.getHasMarker(), 1);
    EXPECT_STREQ(reinterpret_cast<const char *>(query.getDbName()), "master");
    EXPECT_EQ(statement(), "SELECT a,   'x;  y' FROM t ");
    EXPECT_EQ(query.isModified(), 0);
}

TEST_F(QueryFile, FileWithoutSections) {
    ASSERT_EQ(open("Zo 7.0 for Text\r\n\r\nSELECT 1;\r\n"), ZoSuccess);
    EXPECT_EQ(exists("PARAMETERS"), 0u);
    EXPECT_EQ(section("PARAMETERS"), "");
    uint32_t offset = 9;
    zotest::ok(query.getFirstSectionOffset(&offset));
    EXPECT_EQ(offset, 0u);
    unsigned char *block = reinterpret_cast<unsigned char *>(1);
    uint32_t length = 9;
    zotest::ok(query.getHugeSectionChunk(u("X"), &block, &length));
    EXPECT_EQ(block, nullptr);
    EXPECT_EQ(length, 0u);
    ZoArray params;
    params.setDeleteContents(true);
    zotest::ok(query.getParams(&params));
    EXPECT_EQ(params.getCount(), 0u);
}

TEST_F(QueryFile, SectionsAreFoundAsFarAsNeeded) {
    std::string file = "Zo 7.0 for Text\r\n\r\nSELECT 1;\r\n\r\n[Custom]\r\n\r\n\r\none\r\n\r\ntwo\r\n"
                       "[PARAMETERS]\r\nPARAMETER.CLEAR ()\r\n[Empty]\r\n[Last]  \r\nx\r\ny";
    ASSERT_EQ(open(file), ZoSuccess);
    EXPECT_EQ(section("Custom"), "one\r\n\r\ntwo\r\n\r\n");
    EXPECT_EQ(exists("custom"), 0u); // names are exact
    EXPECT_EQ(section("Last"), "x\r\ny\r\n\r\n");
    EXPECT_EQ(section("Empty"), "");
    EXPECT_EQ(exists("Empty"), 1u);
    uint32_t offset = 0;
    zotest::ok(query.getFirstSectionOffset(&offset));
    EXPECT_EQ(offset, file.find("[Custom]"));
    unsigned char *block;
    uint32_t length;
    zotest::ok(query.getHugeSectionChunk(u("Custom"), &block, &length));
    EXPECT_EQ(std::string(reinterpret_cast<char *>(block), length), "one\r\n\r\ntwo\r\n\r\n");
    ramFree(block);
    ZoArray params;
    params.setDeleteContents(true);
    zotest::ok(query.getParams(&params));
    EXPECT_EQ(params.getCount(), 0u);
    ZoArray lines;
    lines.setDeleteContents(true);
    zotest::ok(query.getLines(u("Custom"), &lines));
    ASSERT_EQ(lines.getCount(), 2u);
    EXPECT_EQ(text(*static_cast<ZoString *>(lines.getAt(1))), "two");
}

TEST_F(QueryFile, VersionTwoKeepsTheDefinitionAfterTheStatement) {
    ASSERT_EQ(open("Zo 2.0 for Text\r\n\r\nSELECT 1\r\nFROM t;\r\n\r\nSET.QUERY.DESCRIPTION ('Old one')\r\n"
                   "more\r\n[USER COMMANDS]\r\ngo\r\n"),
              ZoSuccess);
    EXPECT_EQ(section("DEFINITION"), "SET.QUERY.DESCRIPTION ('Old one')\r\nmore\r\n\r\n");
    ZoString description;
    zotest::ok(query.getDescription(&description));
    EXPECT_EQ(text(description), "Old one");
    EXPECT_EQ(section("USER COMMANDS"), "go\r\n\r\n");
    EXPECT_EQ(statement(), "SELECT 1 FROM t");
}

TEST_F(QueryFile, ParametersAndDescriptionRoundTheirLines) {
    ASSERT_EQ(open("Zo 7.0 for Text\r\n\r\nSELECT 1;\r\n\r\n[PARAMETERS]\r\nPARAMETER.CLEAR ()\r\n"
                   "PARAMETER.ITEM ('a', 'it''s', '', \"q\", 42)\r\nnot a parameter\r\n"),
              ZoSuccess);
    ZoArray params;
    params.setDeleteContents(true);
    EXPECT_EQ(query.getParams(&params), ZoFailure); // the bad line ends it; the good one stays
    ASSERT_EQ(params.getCount(), 1u);
    auto *param = static_cast<ZofParam *>(params.getAt(0));
    EXPECT_EQ(text(param->text2), "it's");
    EXPECT_EQ(text(param->text4), "q");
    EXPECT_EQ(param->value, 42u);
    zotest::ok(query.setParams(&params));
    EXPECT_EQ(text(param->text2), "it's"); // quoted in the line only
    EXPECT_EQ(section("PARAMETERS"), "PARAMETER.CLEAR ()\r\nPARAMETER.ITEM ('a', 'it''s', '', 'q', 42)\r\n\r\n");

    ZoString description;
    EXPECT_EQ(query.getDescription(&description), ZoFailure);
    ZoString wanted;
    zotest::ok(wanted.initialize("Sales 'by' region"));
    zotest::ok(query.setDescription(&wanted));
    zotest::ok(query.getDescription(&description));
    EXPECT_EQ(text(description), "Sales 'by' region");
    zotest::ok(wanted.initialize(std::string(300, 'd').c_str()));
    zotest::ok(query.setDescription(&wanted));
    zotest::ok(query.getDescription(&description));
    EXPECT_EQ(text(description), std::string(255, 'd'));
    EXPECT_EQ(section("DEFINITION"), "SET.QUERY.DESCRIPTION ('" + std::string(255, 'd') + "')\r\n\r\n");
}

// ---- writing -------------------------------------------------------------------------------

TEST_F(QueryFile, SavingReplacesTheFileThroughOneBesideIt) {
    FaultsCleared cleared;
    ASSERT_EQ(open("Zo 7.0 for Text\r\n\r\nSELECT 1;\r\n", "A.QRY"), ZoSuccess);
    zotest::ok(query.setSqlStmt(u("SELECT 2"), 8));
    zotest::ok(query.save());
    EXPECT_EQ(dir.read("A.QRY"), "Zo 7.0 for Text\r\n\r\nSELECT 2;\r\n\r\n");
    EXPECT_FALSE(fs::exists(dir.host("A.QR$")));
    EXPECT_NE(query.getFileName(), nullptr); // open again
    EXPECT_EQ(statement(), "SELECT 2");

    // When the new file cannot be put in place, it goes and the old one stays.
    zotest::ok(query.setSqlStmt(u("SELECT 3"), 8));
    plat::fileTestInjectFault(plat::FileOp::Rename, 1, plat::FileFault::Fail);
    EXPECT_EQ(query.save(), ZoFailure);
    EXPECT_EQ(errors.lastNumber(), 2721u);
    EXPECT_EQ(dir.read("A.QRY"), "Zo 7.0 for Text\r\n\r\nSELECT 2;\r\n\r\n");
    EXPECT_FALSE(fs::exists(dir.host("A.QR$")));
    EXPECT_EQ(statement(), "SELECT 3"); // still open, still holding the change
    zotest::ok(query.save());
    EXPECT_EQ(dir.read("A.QRY"), "Zo 7.0 for Text\r\n\r\nSELECT 3;\r\n\r\n");
}

TEST_F(QueryFile, KnownSectionsFirstRemovedOnesLeftOut) {
    ASSERT_EQ(open("Zo 7.0 for Text\r\n\r\nSELECT 1;\r\n\r\n[Mine]\r\nm\r\n[PAGE_LAYOUT]\r\np\r\n[Gone]\r\ng\r\n"
                   "[USER COMMANDS]\r\nu\r\n"),
              ZoSuccess);
    zotest::ok(query.removeSection(u("Gone")));
    EXPECT_EQ(exists("Gone"), 1u); // still readable until saved
    EXPECT_EQ(section("Gone"), "g\r\n\r\n");
    zotest::ok(query.removeSection(u("Never there")));
    zotest::ok(query.setHugeSectionChunk(u("New"), "n", 1));
    zotest::ok(query.setHugeSectionChunk(SECTION_DEFINITION, "d\r\n", 3));
    zotest::ok(query.saveAs(u(dir.windows("b.qry"))));
    EXPECT_EQ(dir.read("b.qry"), "Zo 7.0 for Text\r\n\r\nSELECT 1;\r\n\r\n[PAGE_LAYOUT]\r\np\r\n\r\n"
                                 "[USER COMMANDS]\r\nu\r\n\r\n[DEFINITION]\r\nd\r\n\r\n[Mine]\r\nm\r\n\r\n"
                                 "[New]\r\nn\r\n\r\n");
    // A removed section comes back when it is set again.
    zotest::ok(query.removeSection(u("Mine")));
    zotest::ok(query.setHugeSectionChunk(u("Mine"), "again", 5));
    zotest::ok(query.setHugeSectionChunk(u("Empty"), "", 0));
    zotest::ok(query.saveAndClose());
    EXPECT_EQ(query.getFileName(), nullptr);
    ASSERT_EQ(query.openFile(u(dir.windows("b.qry"))), ZoSuccess);
    EXPECT_EQ(section("Mine"), "again\r\n\r\n");
    EXPECT_EQ(exists("Empty"), 1u);
    EXPECT_EQ(section("Empty"), "");
}

TEST_F(QueryFile, ScrambledSavingRefusesTextThatWouldNotReadBack) {
    ASSERT_EQ(open("Zo 7.0 for Text\r\n\r\nSELECT 1;\r\n", "c.qry"), ZoSuccess);
    std::string before = dir.read("c.qry");
    query.scrambleOnSave = 1;
    zotest::ok(query.setSqlStmt(u("SELECT '\xF2'"), 10));
    EXPECT_EQ(query.save(), ZoFailure);
    EXPECT_EQ(errors.lastNumber(), 2711u);
    EXPECT_EQ(dir.read("c.qry"), before);
    EXPECT_FALSE(fs::exists(dir.host("c.qr$")));
    zotest::ok(query.setSqlStmt(u("SELECT 'ok'"), 11));
    zotest::ok(query.setDbType(u("Type (x)")));
    EXPECT_EQ(query.save(), ZoFailure); // the type would not read back from the header
    EXPECT_EQ(errors.lastNumber(), 2720u);
    zotest::ok(query.setDbType(u("Text")));
    zotest::ok(query.save());
    EXPECT_EQ(dir.read("c.qry").substr(0, 24), "Zo 7.0 for Text (2)\r\n\r\n\xAC");
    EXPECT_EQ(statement(), "SELECT 'ok'");
}

// Statements the reader would cut short or take for something else are written so that
// they read back: a first word `use` or `CTZOF` (found by fuzzing: the statement became the
// database line), a `;` or a header-like line where the statement is folded.
TEST_F(QueryFile, StatementsThatWouldBeMisreadAreWrittenToReadBack) {
    const std::string pad(70, 'p');
    struct Case {
        std::string written;
        std::string readBack;
    };
    for (const Case &c :
         {Case{"use other", "use other"}, Case{"USE x; SELECT 1", "USE x; SELECT 1"}, Case{"ctzof 1", "ctzof 1"},
          Case{"BEGIN;\r\nSELECT 1", "BEGIN; SELECT 1"}, Case{"SELECT " + pad + "; " + pad + "; " + pad, ""},
          Case{"SELECT " + pad + " [x] " + pad + " [y z] " + pad, ""}, Case{"SELECT '" + pad + ";' " + pad, ""}}) {
        SCOPED_TRACE(c.written);
        for (const char *database : {static_cast<const char *>(nullptr), "", "sales"}) {
            ZoQueryFile made;
            zotest::ok(made.initialize(u("Text"), u(c.written), static_cast<uint32_t>(c.written.size())));
            zotest::ok(made.setDbName(database != nullptr ? u(database) : nullptr));
            ASSERT_EQ(made.saveAs(u(dir.windows("s.qry"))), ZoSuccess);
            ZoString sql;
            zotest::ok(made.getSqlStmt(&sql));
            EXPECT_EQ(text(sql), c.readBack.empty() ? c.written : c.readBack);
            std::string wantDatabase = database != nullptr && database[0] != '\0' ? database : "(none)";
            EXPECT_EQ(made.getDbName() != nullptr ? reinterpret_cast<const char *>(made.getDbName()) : "(none)",
                      wantDatabase);
        }
    }
}

// ---- round trip ------------------------------------------------------------------------------

struct Query {
    std::string type, database, statement, description;
    std::map<std::string, std::string> sections; // set through setHugeSectionChunk
    std::vector<std::vector<std::string>> params;
};

// Text of the kinds a query holds: words, quoted strings with doubled quotes, high bytes;
// no line ends.
std::string randomText(std::mt19937 &rng, size_t length, bool scrambled) {
    std::string s;
    while (s.size() < length) {
        switch (rng() % 8) {
        case 0: s += " "; break;
        case 1: s += "'it''s " + std::to_string(rng() % 100) + " ;'"; break;
        case 2: s += "\"two  words\""; break;
        case 3: s += std::string(1 + rng() % 120, static_cast<char>('a' + rng() % 26)); break;
        case 4: {
            unsigned char c = static_cast<unsigned char>(0x80 + rng() % 0x80);
            if (scrambled && (c == 0xF2 || c == 0xF5))
                c = 0xE9;
            s += static_cast<char>(c);
            break;
        }
        default: s += "w" + std::to_string(rng() % 1000);
        }
    }
    return s;
}

Query randomQuery(std::mt19937 &rng, bool scrambled) {
    Query q;
    q.type = "Type" + std::to_string(rng() % 50) + (rng() % 2 ? " v2" : "");
    if (rng() % 2)
        q.database = "db_" + std::to_string(rng() % 100) + ".main";
    if (rng() % 8 != 0) {
        // Long stretches without a blank too: longer than the reader's 2048-byte buffer.
        size_t length = rng() % 5 == 0 ? 2500 + rng() % 3000 : rng() % 400;
        q.statement = "SELECT " + randomText(rng, length, scrambled);
        if (rng() % 3 == 0)
            q.statement += std::string(3000, 'z');
    }
    for (int i = static_cast<int>(rng() % 4); i > 0; --i) {
        std::string name = rng() % 3 ? "S" + std::to_string(rng() % 1000) : std::string("PAGE_LAYOUT");
        std::string content;
        if (rng() % 5 != 0) {
            size_t lines = 1 + rng() % (rng() % 10 == 0 ? 2000 : 6); // sometimes above 65,526 bytes
            for (size_t l = 0; l < lines; ++l) {
                content += (l > 0 && rng() % 4 == 0) ? "" : "line " + randomText(rng, rng() % 60, scrambled);
                if (l + 1 < lines || rng() % 2)
                    content += "\r\n";
            }
        }
        q.sections[name] = content;
    }
    for (int i = static_cast<int>(rng() % 3); i > 0; --i) {
        std::vector<std::string> p;
        for (int t = 0; t < 4; ++t)
            p.push_back(rng() % 4 ? randomText(rng, rng() % 12, scrambled) : "");
        p.push_back(std::to_string(rng()));
        q.params.push_back(p);
    }
    if (rng() % 2)
        q.description = randomText(rng, rng() % 200, scrambled);
    return q;
}

// Everything a query shows: statement, type, database, every section's content,
// parameters and description.
std::map<std::string, std::string> observe(ZoQueryFile &query) {
    std::map<std::string, std::string> seen;
    ZoString value;
    zotest::ok(query.getSqlStmt(&value));
    seen["statement"] = text(value);
    seen["type"] = reinterpret_cast<const char *>(query.getDbType());
    seen["database"] = query.getDbName() != nullptr ? reinterpret_cast<const char *>(query.getDbName()) : "(none)";
    ZoArray names;
    names.setDeleteContents(true);
    zotest::ok(query.getSectionNames(&names));
    for (uint32_t i = 0; i < names.getCount(); ++i) {
        std::string name = text(*static_cast<ZoString *>(names.getAt(i)));
        zotest::ok(query.getSectionChunk(u(name), &value));
        seen["[" + name + "]"] = text(value);
    }
    ZoArray params;
    params.setDeleteContents(true);
    zotest::ok(query.getParams(&params));
    for (uint32_t i = 0; i < params.getCount(); ++i) {
        auto *p = static_cast<ZofParam *>(params.getAt(i));
        seen["param " + std::to_string(i)] = text(p->text1) + "|" + text(p->text2) + "|" + text(p->text3) + "|" +
                                             text(p->text4) + "|" + std::to_string(p->value);
    }
    seen["description"] = query.getDescription(&value) == ZoSuccess ? text(value) : "(none)";
    return seen;
}

TEST_F(QueryFile, AnyQuerySavedReadsBackTheSame) {
    std::mt19937 rng(2024);
    for (int round = 0; round < 40; ++round) {
        bool scrambled = round % 2 == 1;
        Query q = randomQuery(rng, true); // saved both ways: no byte that scrambling loses
        SCOPED_TRACE(::testing::Message() << "round " << round << (scrambled ? " scrambled" : ""));
        ZoQueryFile made;
        zotest::ok(made.initialize(u(q.type), u(q.statement), static_cast<uint32_t>(q.statement.size())));
        if (!q.database.empty())
            zotest::ok(made.setDbName(u(q.database)));
        for (const auto &[name, content] : q.sections)
            zotest::ok(made.setHugeSectionChunk(u(name), content.data(), static_cast<uint32_t>(content.size())));
        ZoArray params;
        params.setDeleteContents(true);
        for (const auto &p : q.params) {
            auto *param = new ZofParam;
            ZoString *texts[] = {&param->text1, &param->text2, &param->text3, &param->text4};
            for (int t = 0; t < 4; ++t)
                zotest::ok(texts[t]->initialize(u(p[t])));
            param->value = static_cast<uint32_t>(std::stoul(p[4]));
            zotest::ok(params.append(param));
        }
        if (!q.params.empty())
            zotest::ok(made.setParams(&params));
        if (!q.description.empty()) {
            ZoString d;
            zotest::ok(d.initialize(u(q.description)));
            zotest::ok(made.setDescription(&d));
        }
        made.scrambleOnSave = scrambled ? 1 : 0;
        std::map<std::string, std::string> expected = observe(made);
        EXPECT_EQ(expected["statement"], q.statement);
        ASSERT_EQ(made.saveAs(u(dir.windows("r.qry"))), ZoSuccess);
        EXPECT_EQ(made.getWasScrambled(), scrambled ? 1 : 0);
        ASSERT_EQ(observe(made), expected);
        // Saved again over itself, now read from the file, scrambled the other way.
        made.scrambleOnSave = scrambled ? 0 : 1;
        ASSERT_EQ(made.save(), ZoSuccess) << errors.lastNumber() << " " << errors.lastText();
        ASSERT_EQ(observe(made), expected);
    }
}

// ---- failures ------------------------------------------------------------------------------

// Saving under every fault of the seams (the k-th allocation, open, read, write, sync or
// rename fails, a write comes back short, the disk is full): the file on disk is the old
// query or the new one, never a mixture, nothing is left beside it, and the object stays
// open so that the save can be repeated.
TEST_F(QueryFile, SavingIsAllOrNothing) {
    std::string big;
    for (int i = 0; i < 1200; ++i)
        big += "content line " + std::to_string(i) + " of a section larger than the write buffer\r\n";
    ZoQueryFile made;
    zotest::ok(made.initialize(u("Text"), u("SELECT old"), 10));
    zotest::ok(made.setHugeSectionChunk(u("Big"), big.data(), static_cast<uint32_t>(big.size())));
    zotest::ok(made.setHugeSectionChunk(u("Small"), "s", 1));
    zotest::ok(made.saveAs(u(dir.windows("f.qry"))));
    zotest::ok(made.closeFile());
    const std::string original = dir.read("f.qry");
    const std::string name = dir.windows("f.qry");

    zotest::AllOrNothing<ZoQueryFile, std::string> save{
        .setUp =
            [&](ZoQueryFile &query) {
                dir.write("f.qry", original);
                ASSERT_EQ(query.openFile(u(name)), ZoSuccess);
                ASSERT_EQ(query.setSqlStmt(u("SELECT new"), 10), ZoSuccess);
                ASSERT_EQ(query.removeSection(u("Small")), ZoSuccess);
            },
        .state = [&](const ZoQueryFile &) { return dir.read("f.qry") + (fs::exists(dir.host("f.qr$")) ? "$" : ""); },
        .step = [](ZoQueryFile &query) { return query.saveAndClose(); },
        .after =
            [&](const ZoQueryFile &) {
                EXPECT_FALSE(fs::exists(dir.host("f.qr$")));
                ZoQueryFile check;
                ASSERT_EQ(check.openFile(u(name)), ZoSuccess);
                ZoString content;
                zotest::ok(check.getSqlStmt(&content));
                EXPECT_EQ(text(content), "SELECT new");
                zotest::ok(check.getSectionChunk(u("Big"), &content));
                EXPECT_EQ(text(content), big + "\r\n");
                unsigned int there = 1;
                zotest::ok(check.doesSectionExist(u("Small"), &there));
                EXPECT_EQ(there, 0u);
            },
        // The directory is synced after the rename as far as the host allows.
        .absorbsFaults = true,
    };
    std::vector<uint32_t> points = save.run(zotest::everyFault());
    EXPECT_GE(points[0], 4u); // allocations
    EXPECT_GE(points[3], 2u); // writes of a file larger than the write buffer
}

TEST_F(QueryFile, OpeningAndSavingUnderEveryAllocationFailure) {
    ZoQueryFile made;
    zotest::ok(made.initialize(u("Text"), u("SELECT 'a' FROM t"), 17));
    zotest::ok(made.setHugeSectionChunk(u("PAGE_LAYOUT"), "wide\r\n", 6));
    zotest::ok(made.saveAs(u(dir.windows("m.qry"))));
    zotest::ok(made.closeFile());
    const std::string original = dir.read("m.qry");
    uint32_t points = zotest::forEachAllocationFailure([&](zotest::FailurePoint &point) {
        ZoQueryFile query;
        point.arm();
        ZoStatus status = query.openFile(u(dir.windows("m.qry")));
        ZoString description;
        if (status == ZoSuccess)
            status = description.initialize("");
        if (status == ZoSuccess)
            status = query.setDescription(&description);
        if (status == ZoSuccess)
            status = query.save();
        bool hit = point.disarm();
        if (!hit) {
            EXPECT_EQ(status, ZoSuccess);
            return;
        }
        std::string now = dir.read("m.qry");
        EXPECT_TRUE(now == original || now.find("SET.QUERY.DESCRIPTION ('')") != std::string::npos);
        dir.write("m.qry", original);
    });
    EXPECT_GT(points, 10u);
}

} // namespace
