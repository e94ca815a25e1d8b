// Table files as people write them, and damaged ones: every file gives defined rows or a
// clear error, never a crash.
#include "engine_support.h"

namespace enginetest {
namespace {

struct FileCase {
    const char *what;
    std::string contents;
    const char *query;
    Rows expected;
};

TEST(TableFiles, ShapesOfFilesGiveDefinedRows) {
    const std::vector<FileCase> cases = {
        {"no line end at the end", "a,b\n1,2\n3,4", "SELECT * FROM t", {{"1", "2"}, {"3", "4"}}},
        {"CR LF line ends", "a,b\r\n1,2\r\n3,4\r\n", "SELECT * FROM t", {{"1", "2"}, {"3", "4"}}},
        {"a lone CR is data", "a,b\n1,x\ry\n", "SELECT LENGTH(b) FROM t", {{"3"}}},
        {"short rows are padded with NULL",
         "a,b,c\n1\n2,3\n",
         "SELECT * FROM t",
         {{"1", "NULL", "NULL"}, {"2", "3", "NULL"}}},
        {"long rows lose the extra fields", "a,b\n1,2,3,4\n", "SELECT * FROM t", {{"1", "2"}}},
        {"blank lines are no rows", "a,b\n1,2\n\n\r\n3,4\n\n", "SELECT COUNT(*) FROM t", {{"2"}}},
        {"a blank line is the NULL of a one-column table",
         "a\n1\n\n2\n",
         "SELECT COUNT(*), COUNT(a) FROM t",
         {{"3", "2"}}},
        {"quoted fields hold delimiters, quotes and line ends",
         "a,b\n\"x,y\",\"say \"\"hi\"\"\"\n\"l1\nl2\",z\n",
         "SELECT * FROM t",
         {{"x,y", "say \"hi\""}, {"l1\nl2", "z"}}},
        {"bytes after a closing quote belong to the field", "a,b\n\"ab\"cd,e\n", "SELECT * FROM t", {{"abcd", "e"}}},
        {"a quote inside an unquoted field is a byte", "a,b\n5\" screen,x\n", "SELECT * FROM t", {{"5\" screen", "x"}}},
        {"empty is NULL, quoted empty is empty text",
         "a,b\n,\"\"\n",
         "SELECT a IS NULL, b IS NULL, LENGTH(b) FROM t",
         {{"1", "0", "0"}}},
        {"header only", "a,b\n", "SELECT COUNT(*) FROM t", {{"0"}}},
        {"an empty header name is numbered", "a,,c\n1,2,3\n", "SELECT C2 FROM t", {{"2"}}},
        {"typed columns convert as their affinity says",
         "n:INTEGER,r:DOUBLE,d:DATE\n 7 ,3,2024-02-30\n",
         "SELECT n + 1, r, d FROM t",
         {{"8", "3.0", "2024-02-30"}}},
        {"invalid UTF-8 passes as bytes", "a\n\xff\xfe\xc3\n", "SELECT LENGTH(a), a FROM t", {{"3", "\xff\xfe\xc3"}}},
        {"a NUL byte is a byte of the field",
         std::string("a,b\nx\0y,2\n", 10),
         "SELECT LENGTH(a), b FROM t",
         {{"3", "2"}}},
        {"a byte order mark opens the file", "\xEF\xBB\xBFid,v\n1,2\n", "SELECT id FROM t", {{"1"}}},
    };
    for (const FileCase &c : cases) {
        Directory dir;
        dir.write("t.csv", c.contents);
        Session s(dir.path());
        Outcome got = s.run(c.query);
        EXPECT_TRUE(got.ok) << c.what << ": " << got.message;
        EXPECT_EQ(got.rows, c.expected) << c.what;
    }
}

TEST(TableFiles, UnterminatedQuoteIsReportedWhereItStarts) {
    Directory dir;
    dir.write("t.csv", "a,b\n1,2\n3,\"open\n4,5\n");
    Session s(dir.path());
    Outcome got = s.run("SELECT * FROM t");
    EXPECT_FALSE(got.ok);
    EXPECT_EQ(got.error, static_cast<uint16_t>(zotext::EngineError::BadTableFile));
    EXPECT_NE(got.message.find("quoted field"), std::string::npos) << got.message;
    EXPECT_NE(got.message.find("byte 8"), std::string::npos) << got.message;
}

TEST(TableFiles, TenMegabyteLineIsOneValue) {
    Directory dir;
    std::string big(10 * 1024 * 1024, 'x');
    dir.write("t.csv", "id,v\n1," + big + "\n2,\"" + big + "\"\n3,short\n");
    Session s(dir.path());
    EXPECT_EQ(s.rows("SELECT id, LENGTH(v) FROM t"), (Rows{{"1", "10485760"}, {"2", "10485760"}, {"3", "5"}}));
    EXPECT_EQ(s.exec("UPDATE t SET v = 'y' WHERE id = 3"), 1);
    EXPECT_EQ(s.rows("SELECT SUM(LENGTH(v)) FROM t"), (Rows{{"20971521"}}));
}

TEST(TableFiles, DelimitersAndHeaderlessTables) {
    struct Variant {
        char delimiter;
        std::string contents;
    };
    for (const Variant &v :
         {Variant{';', "a;b\n1;x,y\n"}, Variant{'|', "a|b\n1|x,y\n"}, Variant{'\t', "a\tb\n1\tx,y\n"}}) {
        Directory dir;
        dir.write("t.csv", v.contents);
        Session s(dir.path(), v.delimiter);
        EXPECT_EQ(s.rows("SELECT a, b FROM t"), (Rows{{"1", "x,y"}})) << v.delimiter;
        s.exec("INSERT INTO t VALUES (2, 'p" + std::string(1, v.delimiter) + "q')");
        EXPECT_EQ(s.rows("SELECT b FROM t WHERE a = '2'"), (Rows{{std::string("p") + v.delimiter + "q"}}));
    }
    Directory dir;
    dir.write("t.csv", "1,x\n2,y\n");
    Session s(dir.path(), ',', false);
    EXPECT_EQ(s.rows("SELECT C2 FROM t WHERE C1 = '2'"), (Rows{{"y"}}));
    s.exec("CREATE TABLE n (a INTEGER, b VARCHAR)");
    s.exec("INSERT INTO n VALUES (1, 'z')");
    EXPECT_EQ(dir.read("n.csv"), "1,z\n");
}

TEST(TableFiles, NamesThatLeaveTheDirectoryAreRefused) {
    Directory dir;
    Session s(dir.path());
    for (const char *sql : {"SELECT * FROM \"../etc/passwd\"", "CREATE TABLE \"a/b\" (x INTEGER)",
                            "DROP TABLE \".hidden\"", "INSERT INTO \"c:x\" VALUES (1)"})
        EXPECT_EQ(s.error(sql), zotext::EngineError::Syntax) << sql;
}

TEST(TableFiles, MissingDirectoryFailsToConnect) {
    zotest::ErrorCapture capture;
    zotext::ConnectOptions options;
    options.directory = "/nonexistent/zotext-test";
    EXPECT_EQ(zotext::Database::open(options), nullptr);
    EXPECT_EQ(capture.lastNumber(), static_cast<unsigned short>(zotext::EngineError::NoDirectory));
}

} // namespace
} // namespace enginetest
