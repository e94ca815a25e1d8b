// What the layer takes from the library: data sources read through the ODBC installer's
// profile, text converted between the code page, UCS-2 and UTF-8, the trace file. Each test
// needs its piece of the library and is skipped while that piece is not there.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>

#include "odbc_fixture.h"
#include "platform/codepage.h"

namespace zotext::testing {
namespace {

// A private directory for the driver manager's files, removed afterwards. The ODBC
// installer library reads ODBCSYSINI once per process: each test runs in a process of its
// own (ctest), so this is the only set-up it sees.
class OdbcFiles {
public:
    OdbcFiles() {
        std::random_device seed;
        dir_ = std::filesystem::temp_directory_path() / ("zotext-odbc-" + std::to_string(seed()));
        std::filesystem::create_directories(dir_);
        setenv("ODBCSYSINI", dir_.c_str(), 1);
        setenv("ODBCINI", (dir_ / "odbc.ini").c_str(), 1);
        std::ofstream(dir_ / "odbcinst.ini") << "";
    }
    ~OdbcFiles() {
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }
    void write(const std::string &name, const std::string &text) { std::ofstream(dir_ / name) << text; }
    std::string path(const std::string &name) const { return (dir_ / name).string(); }

private:
    std::filesystem::path dir_;
};

TEST_F(OdbcTest, DataSourcesFromTheOdbcProfile) {
    OdbcFiles files;
    files.write("odbc.ini", "[Sales]\nDriver = ZoText\nDBQ = /from-source\nDelimiter = |\nHeader = 0\n");
    ASSERT_EQ(SQLConnect(dbc, sql("Sales"), SQL_NTS, nullptr, 0, nullptr, 0), SQL_SUCCESS)
        << firstMessage(SQL_HANDLE_DBC, dbc);
    EXPECT_EQ(fake::world().lastOptions.directory, "/from-source");
    EXPECT_EQ(fake::world().lastOptions.delimiter, '|');
    EXPECT_FALSE(fake::world().lastOptions.header);
    ASSERT_EQ(SQLDisconnect(dbc), SQL_SUCCESS);

    // The connection string wins over the data source and adds to it.
    SQLCHAR out[256];
    SQLSMALLINT length = 0;
    ASSERT_EQ(SQLDriverConnect(dbc, nullptr, sql("DSN=Sales;Delimiter={;}"), SQL_NTS, out, sizeof out, &length,
                               SQL_DRIVER_NOPROMPT),
              SQL_SUCCESS);
    EXPECT_EQ(fake::world().lastOptions.delimiter, ';');
    EXPECT_EQ(fake::world().lastOptions.directory, "/from-source");
    EXPECT_STREQ(reinterpret_cast<char *>(out), "DSN=Sales;Delimiter={;};DBQ=/from-source;Header=0");
    ASSERT_EQ(SQLDisconnect(dbc), SQL_SUCCESS);

    EXPECT_EQ(SQLConnect(dbc, sql("Nowhere"), SQL_NTS, nullptr, 0, nullptr, 0), SQL_ERROR);
    EXPECT_EQ(dbcStates(), States{"IM002"});
}

TEST_F(OdbcTest, TraceFileHasTheCalls) {
#if !ZOTEXT_HAVE_TRACE
    GTEST_SKIP() << "ZoTrace is not in the library yet";
#endif
    OdbcFiles files;
    const std::string connection = "DBQ=/data;Trace=1;TraceFile={" + files.path("calls.log") + "}";
    connect(connection.c_str());
    query("SELECT a FROM t", {fake::column("a", ColumnType::Integer)}, {{fake::integer(1)}});
    ASSERT_EQ(exec("SELECT a FROM t"), SQL_SUCCESS);
    ASSERT_EQ(SQLFetch(stmt), SQL_SUCCESS);
    ASSERT_EQ(SQLCloseCursor(stmt), SQL_SUCCESS);
    EXPECT_EQ(exec("SELEC"), SQL_ERROR);
    ASSERT_EQ(SQLFreeHandle(SQL_HANDLE_STMT, stmt), SQL_SUCCESS);
    stmt = SQL_NULL_HSTMT;
    ASSERT_EQ(SQLDisconnect(dbc), SQL_SUCCESS);
    std::ifstream in(files.path("calls.log"));
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("SQLExecDirect("), std::string::npos) << text;
    EXPECT_NE(text.find("SELECT a FROM t = SQL_SUCCESS"), std::string::npos) << text;
    EXPECT_NE(text.find("SQLFetch("), std::string::npos) << text;
    EXPECT_NE(text.find("= SQL_ERROR [42000]"), std::string::npos) << text;
    EXPECT_NE(text.find("SQLDisconnect("), std::string::npos) << text;
}

class TextTest : public OdbcTest {
protected:
    void SetUp() override { OdbcTest::SetUp(); }
    void TearDown() override {
        if (env != SQL_NULL_HENV)
            OdbcTest::TearDown();
        zo::plat::setCodePageForTest(1252);
    }
};

// Text in and out of every kind: the W entry points, SQL_C_WCHAR and SQL_C_CHAR buffers in a
// double-byte code page; what is cut is cut between characters.
TEST_F(TextTest, KindsOfTextAndWhereTheyAreCut) {
    zo::plat::setCodePageForTest(932);
    connect();
    const std::string japanese = "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E"; // 日本語 in UTF-8
    const std::string face = "\xF0\x9F\x98\x80";                         // U+1F600, beyond the basic plane
    query("SELECT '" + japanese + "'", {fake::column("s", ColumnType::Varchar)}, {{fake::text(japanese + face)}});
    const std::u16string wide = u"SELECT '\u65e5\u672c\u8a9e'";
    ASSERT_EQ(SQLExecDirectW(stmt, reinterpret_cast<SQLWCHAR *>(const_cast<char16_t *>(wide.c_str())), SQL_NTS),
              SQL_SUCCESS)
        << firstMessage(SQL_HANDLE_STMT, stmt);
    ASSERT_EQ(SQLFetch(stmt), SQL_SUCCESS);

    // In code page 932 the three characters are two bytes each; a buffer of 6 bytes holds two
    // of them and the terminator, not two and a half.
    char ansi[6];
    SQLLEN length = 0;
    ASSERT_EQ(SQLGetData(stmt, 1, SQL_C_CHAR, ansi, sizeof ansi, &length), SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(std::string(ansi), "\x93\xFA\x96\x7B"); // 日本
    EXPECT_EQ(length, 7);                             // 6 bytes and the '?' for the face
    ASSERT_EQ(SQLGetData(stmt, 1, SQL_C_CHAR, ansi, sizeof ansi, &length), SQL_SUCCESS);
    EXPECT_EQ(std::string(ansi), "\x8C\xEA?");

    // The face is a surrogate pair; a buffer that would end between its halves ends before it.
    ASSERT_EQ(SQLCloseCursor(stmt), SQL_SUCCESS);
    ASSERT_EQ(SQLExecute(stmt), SQL_SUCCESS);
    ASSERT_EQ(SQLFetch(stmt), SQL_SUCCESS);
    SQLWCHAR units[5];
    ASSERT_EQ(SQLGetData(stmt, 1, SQL_C_WCHAR, units, sizeof units, &length), SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(std::u16string(reinterpret_cast<char16_t *>(units)), u"\u65e5\u672c\u8a9e");
    EXPECT_EQ(length, 10);
    ASSERT_EQ(SQLGetData(stmt, 1, SQL_C_WCHAR, units, sizeof units, &length), SQL_SUCCESS);
    EXPECT_EQ(std::u16string(reinterpret_cast<char16_t *>(units)), u"\U0001F600");

    // Names through the W entry points.
    SQLWCHAR name[8];
    SQLSMALLINT nameLength = 0;
    ASSERT_EQ(SQLDescribeColW(stmt, 1, name, 8, &nameLength, nullptr, nullptr, nullptr, nullptr), SQL_SUCCESS);
    EXPECT_EQ(std::u16string(reinterpret_cast<char16_t *>(name)), u"s");
}

// Plain entry points read the code page: a statement in code page 932 reaches the engine as
// UTF-8, a parameter in it too.
TEST_F(TextTest, CodePageTextIn) {
    zo::plat::setCodePageForTest(932);
    connect();
    const std::string utf8 = "INSERT INTO t VALUES ('\xE8\xA1\xA8', ?)"; // 表, trail byte 0x5C in 932
    change(utf8, 1, 1);
    EXPECT_EQ(exec("INSERT INTO t VALUES ('\x95\x5C', ?)"), SQL_ERROR); // found, but no parameter bound yet
    EXPECT_EQ(stmtStates(), States{"07002"});
    char value[] = "\x83\x5C"; // ソ
    SQLLEN indicator = SQL_NTS;
    ASSERT_EQ(
        SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 10, 0, value, sizeof value, &indicator),
        SQL_SUCCESS);
    ASSERT_EQ(SQLExecute(stmt), SQL_SUCCESS);
    EXPECT_EQ(fake::world().executedParameters.back().at(0).text, "\xE3\x82\xBD");
}

} // namespace
} // namespace zotext::testing
