// Tables in the process's code page: fields are read as UTF-8 and written back in the code
// page; a character the page cannot hold is refused, not written as '?'. A double-byte
// page's characters whose second byte is the delimiter stay whole.
#include "engine_support.h"

#include "platform/codepage.h"

namespace enginetest {
namespace {

// The code page for one test; 1252 again afterwards.
class CodePage {
public:
    explicit CodePage(unsigned page) { EXPECT_TRUE(zo::plat::setCodePageForTest(page)); }
    ~CodePage() { (void)zo::plat::setCodePageForTest(1252); } // back to the default page
};

TEST(Charset, AnsiFilesAreReadAndWrittenInTheCodePage) {
    CodePage page(1252);
    Directory dir;
    dir.write("t.csv", "name\nCaf\xE9\n\"Gr\xFC\xDF, Gott\"\n");
    Session s(dir.path(), ',', true, zotext::Charset::Ansi);
    EXPECT_EQ(s.rows("SELECT name, LENGTH(name) FROM t"), (Rows{{"Café", "4"}, {"Grüß, Gott", "10"}}));
    EXPECT_EQ(s.rows("SELECT name FROM t WHERE name LIKE 'CAF_'"), (Rows{{"Café"}}));
    s.exec("INSERT INTO t VALUES ('Ærø')");
    EXPECT_EQ(dir.read("t.csv"), "name\nCaf\xE9\n\"Gr\xFC\xDF, Gott\"\n\xC6r\xF8\n");
    // Japanese has no code in page 1252: refused, and the table is unchanged.
    EXPECT_EQ(s.error("INSERT INTO t VALUES ('日本')"), zotext::EngineError::NotInCodePage);
    EXPECT_EQ(s.error("UPDATE t SET name = '日本'"), zotext::EngineError::NotInCodePage);
    EXPECT_EQ(dir.read("t.csv"), "name\nCaf\xE9\n\"Gr\xFC\xDF, Gott\"\n\xC6r\xF8\n");
}

TEST(Charset, DoubleByteCharactersKeepTheirSecondByte) {
    CodePage page(932);
    Directory dir;
    // ポ is 0x83 0x7C in page 932: its second byte is '|', the delimiter.
    dir.write("t.csv", "a|b\n\x83\x7C|1\n\x95\x5C\x83\x7C|2\n");
    Session s(dir.path(), '|', true, zotext::Charset::Ansi);
    EXPECT_EQ(s.rows("SELECT a, b, LENGTH(a) FROM t"), (Rows{{"ポ", "1", "1"}, {"表ポ", "2", "2"}}));
    s.exec("INSERT INTO t VALUES ('十ポ', 3)");
    EXPECT_EQ(s.rows("SELECT a FROM t WHERE b = '3'"), (Rows{{"十ポ"}}));
    // Written quoted: its bytes hold the delimiter's byte (which the reader steps over anyway).
    EXPECT_EQ(dir.read("t.csv"), "a|b\n\x83\x7C|1\n\x95\x5C\x83\x7C|2\n\"\x8F\x5C\x83\x7C\"|3\n");
}

TEST(Charset, Utf8FilesPassAsTheyAre) {
    Directory dir;
    dir.write("t.csv", "\xEF\xBB\xBFname\n日本語\n");
    Session s(dir.path(), ',', true, zotext::Charset::Utf8);
    EXPECT_EQ(s.rows("SELECT name, LENGTH(name) FROM t"), (Rows{{"日本語", "3"}}));
    s.exec("INSERT INTO t VALUES ('Ærø')");
    EXPECT_EQ(dir.read("t.csv"), "\xEF\xBB\xBFname\n日本語\nÆrø\n");
}

} // namespace
} // namespace enginetest
