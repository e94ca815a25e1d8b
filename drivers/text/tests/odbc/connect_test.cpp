// Connecting: the connection string and its settings, the completed string, the
// diagnostics of a failed connect, handles and their order, transactions.
#include <cstring>

#include "odbc_fixture.h"

namespace zotext::testing {
namespace {

struct ConnectCase {
    const char *text;
    SQLRETURN rc;
    States states;
    const char *completed; // null: not checked
};

TEST_F(OdbcTest, ConnectionStrings) {
    const ConnectCase cases[] = {
        {"DBQ=/data", SQL_SUCCESS, {}, "DBQ=/data"},
        {"DRIVER={ZoText};DBQ={/my dir};Delimiter={;};Header=0;Charset=UTF-8",
         SQL_SUCCESS,
         {},
         "DRIVER=ZoText;DBQ=/my dir;Delimiter={;};Header=0;Charset=UTF-8"},
        {"DBQ=/data;PWD={a;b}}c};UID=me", SQL_SUCCESS, {}, "DBQ=/data;PWD={a;b}}c};UID=me"},
        {"DBQ=/data;Colour=blue;Size=3", SQL_SUCCESS_WITH_INFO, {"01S00", "01S00"}, nullptr},
        {"DBQ=/data;dbq=/other", SQL_SUCCESS, {}, nullptr}, // the first value of a key counts
        {"Delimiter=|", SQL_ERROR, {"08001"}, nullptr},     // no directory
        {"DBQ=/missing", SQL_ERROR, {"08001"}, nullptr},    // the engine cannot open it
        {"DBQ=/data;Delimiter=:", SQL_ERROR, {"08001"}, nullptr},
        {"DBQ=/data;Header=maybe", SQL_ERROR, {"08001"}, nullptr},
        {"DBQ=/data;Charset=EBCDIC", SQL_ERROR, {"08001"}, nullptr},
        {"DBQ={/data", SQL_ERROR, {"08001"}, nullptr}, // a brace not closed
        {"DBQ=/data;=x", SQL_ERROR, {"08001"}, nullptr},
    };
    for (const ConnectCase &c : cases) {
        SQLCHAR out[256] = {};
        SQLSMALLINT length = -1;
        EXPECT_EQ(SQLDriverConnect(dbc, nullptr, sql(c.text), SQL_NTS, out, sizeof out, &length, SQL_DRIVER_NOPROMPT),
                  c.rc)
            << c.text;
        EXPECT_EQ(dbcStates(), c.states) << c.text;
        if (c.completed != nullptr) {
            EXPECT_STREQ(reinterpret_cast<char *>(out), c.completed);
            EXPECT_EQ(length, static_cast<SQLSMALLINT>(std::strlen(c.completed)));
        }
        if (SQL_SUCCEEDED(c.rc)) {
            EXPECT_EQ(SQLDisconnect(dbc), SQL_SUCCESS);
        }
    }
}

TEST_F(OdbcTest, SettingsReachTheEngine) {
    connect("DBQ={/srv/files};Delimiter=TAB;Header=no;Charset=utf8");
    const ConnectOptions &o = fake::world().lastOptions;
    EXPECT_EQ(o.directory, "/srv/files");
    EXPECT_EQ(o.delimiter, '\t');
    EXPECT_FALSE(o.header);
    EXPECT_EQ(o.charset, Charset::Utf8);
}

TEST_F(OdbcTest, CompletedStringIsCutWithAWarning) {
    SQLCHAR out[6];
    SQLSMALLINT length = 0;
    EXPECT_EQ(SQLDriverConnect(dbc, nullptr, sql("DBQ=/data"), SQL_NTS, out, sizeof out, &length, SQL_DRIVER_NOPROMPT),
              SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(dbcStates(), States{"01004"});
    EXPECT_STREQ(reinterpret_cast<char *>(out), "DBQ=/");
    EXPECT_EQ(length, 9);
}

TEST_F(OdbcTest, HandleOrderAndSequence) {
    SQLHSTMT early = SQL_NULL_HSTMT;
    EXPECT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &early), SQL_ERROR);
    EXPECT_EQ(dbcStates(), States{"08003"});
    EXPECT_EQ(SQLDisconnect(dbc), SQL_ERROR);
    EXPECT_EQ(dbcStates(), States{"08003"});
    connect();
    EXPECT_EQ(SQLDriverConnect(dbc, nullptr, sql("DBQ=/data"), SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT),
              SQL_ERROR);
    EXPECT_EQ(dbcStates(), States{"08002"});
    EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_DBC, dbc), SQL_ERROR); // still connected
    EXPECT_EQ(dbcStates(), States{"HY010"});
    EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_ENV, env), SQL_ERROR); // still has a connection
    EXPECT_EQ(states(SQL_HANDLE_ENV, env), States{"HY010"});

    // Wrong and null handles.
    EXPECT_EQ(SQLExecDirect(dbc, sql("SELECT 1"), SQL_NTS), SQL_INVALID_HANDLE);
    EXPECT_EQ(SQLFetch(nullptr), SQL_INVALID_HANDLE);
    EXPECT_EQ(SQLGetDiagRec(SQL_HANDLE_STMT, dbc, 1, nullptr, nullptr, nullptr, 0, nullptr), SQL_INVALID_HANDLE);
}

TEST_F(OdbcTest, DisconnectFreesStatements) {
    connect();
    SQLHSTMT second = SQL_NULL_HSTMT;
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &second), SQL_SUCCESS);
    ASSERT_EQ(SQLDisconnect(dbc), SQL_SUCCESS); // frees both (the leak check would see one left)
    stmt = SQL_NULL_HSTMT;
}

TEST_F(OdbcTest, Transactions) {
    connect();
    change("DELETE FROM t", 2);
    SQLUINTEGER autocommit = 0;
    ASSERT_EQ(SQLGetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, &autocommit, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(autocommit, SQL_AUTOCOMMIT_ON);
    ASSERT_EQ(SQLSetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0),
              SQL_SUCCESS);
    ASSERT_EQ(exec("DELETE FROM t"), SQL_SUCCESS);
    SQLLEN rows = 0;
    ASSERT_EQ(SQLRowCount(stmt, &rows), SQL_SUCCESS);
    EXPECT_EQ(rows, 2);
    // Changes are pending: no disconnect before they are ended.
    EXPECT_EQ(SQLDisconnect(dbc), SQL_ERROR);
    EXPECT_EQ(dbcStates(), States{"25000"});
    ASSERT_EQ(SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_COMMIT), SQL_SUCCESS);
    ASSERT_EQ(exec("DELETE FROM t"), SQL_SUCCESS);
    fake::world().failEndTransaction = true;
    EXPECT_EQ(SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_ROLLBACK), SQL_ERROR); // never reported done
    EXPECT_EQ(dbcStates(), States{"HY000"});
    fake::world().failEndTransaction = false;
    EXPECT_EQ(SQLEndTran(SQL_HANDLE_ENV, env, SQL_ROLLBACK), SQL_SUCCESS);
    EXPECT_EQ(SQLEndTran(SQL_HANDLE_DBC, dbc, 7), SQL_ERROR);
    EXPECT_EQ(dbcStates(), States{"HY012"});
    // Turning autocommit back on commits what is pending.
    ASSERT_EQ(exec("DELETE FROM t"), SQL_SUCCESS);
    ASSERT_EQ(SQLSetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON), 0),
              SQL_SUCCESS);
    EXPECT_EQ(fake::world().transactionLog,
              (std::vector<std::string>{"autocommit on", "autocommit off", "commit", "rollback", "autocommit on"}));
    // When that commit fails, autocommit stays off and the changes pending.
    ASSERT_EQ(SQLSetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0),
              SQL_SUCCESS);
    ASSERT_EQ(exec("DELETE FROM t"), SQL_SUCCESS);
    fake::world().failEndTransaction = true;
    EXPECT_EQ(SQLSetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON), 0),
              SQL_ERROR);
    fake::world().failEndTransaction = false;
    ASSERT_EQ(SQLGetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, &autocommit, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(autocommit, SQL_AUTOCOMMIT_OFF);
    EXPECT_EQ(SQLDisconnect(dbc), SQL_ERROR);
    EXPECT_EQ(dbcStates(), States{"25000"});
}

TEST_F(OdbcTest, AutocommitSetBeforeConnectReachesTheEngine) {
    ASSERT_EQ(SQLSetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0),
              SQL_SUCCESS);
    connect();
    EXPECT_EQ(fake::world().transactionLog, std::vector<std::string>{"autocommit off"});
}

TEST_F(OdbcTest, Diagnostics) {
    connect();
    ASSERT_EQ(exec("SELEC x"), SQL_ERROR);
    SQLCHAR state[6];
    SQLINTEGER native = 0;
    SQLCHAR message[16];
    SQLSMALLINT length = 0;
    // A message that does not fit is cut and the call says so; its full length is given.
    EXPECT_EQ(SQLGetDiagRec(SQL_HANDLE_STMT, stmt, 1, state, &native, message, sizeof message, &length),
              SQL_SUCCESS_WITH_INFO);
    EXPECT_STREQ(reinterpret_cast<char *>(state), "42000");
    EXPECT_EQ(native, 1);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(message)), "[zo][ZoText]syn");
    EXPECT_EQ(length, static_cast<SQLSMALLINT>(std::strlen("[zo][ZoText]syntax error at 1 in SELEC x")));
    EXPECT_EQ(SQLGetDiagRec(SQL_HANDLE_STMT, stmt, 2, state, &native, message, sizeof message, &length), SQL_NO_DATA);
    EXPECT_EQ(SQLGetDiagRec(SQL_HANDLE_STMT, stmt, 0, state, &native, message, sizeof message, &length), SQL_ERROR);

    SQLINTEGER count = 0;
    ASSERT_EQ(SQLGetDiagField(SQL_HANDLE_STMT, stmt, 0, SQL_DIAG_NUMBER, &count, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(count, 1);
    SQLRETURN returned = 0;
    ASSERT_EQ(SQLGetDiagField(SQL_HANDLE_STMT, stmt, 0, SQL_DIAG_RETURNCODE, &returned, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(returned, SQL_ERROR);
    SQLCHAR text[64];
    ASSERT_EQ(SQLGetDiagField(SQL_HANDLE_STMT, stmt, 1, SQL_DIAG_SQLSTATE, text, sizeof text, &length), SQL_SUCCESS);
    EXPECT_STREQ(reinterpret_cast<char *>(text), "42000");
    ASSERT_EQ(SQLGetDiagField(SQL_HANDLE_STMT, stmt, 1, SQL_DIAG_CLASS_ORIGIN, text, sizeof text, &length),
              SQL_SUCCESS);
    EXPECT_STREQ(reinterpret_cast<char *>(text), "ISO 9075");
    EXPECT_EQ(SQLGetDiagField(SQL_HANDLE_STMT, stmt, 3, SQL_DIAG_SQLSTATE, text, sizeof text, &length), SQL_NO_DATA);

    // The next call clears them.
    query("SELECT 1", {fake::column("x", ColumnType::Integer)}, {});
    ASSERT_EQ(exec("SELECT 1"), SQL_SUCCESS);
    EXPECT_EQ(stmtStates(), States{});

    // Wide diagnostics.
    ASSERT_EQ(SQLCloseCursor(stmt), SQL_SUCCESS);
    EXPECT_EQ(SQLCloseCursor(stmt), SQL_ERROR);
    SQLWCHAR wideState[6];
    SQLWCHAR wideMessage[64];
    ASSERT_EQ(SQLGetDiagRecW(SQL_HANDLE_STMT, stmt, 1, wideState, &native, wideMessage, 64, &length), SQL_SUCCESS);
    EXPECT_EQ(std::u16string(reinterpret_cast<char16_t *>(wideState)), u"24000");
    EXPECT_EQ(std::u16string(reinterpret_cast<char16_t *>(wideMessage)), u"[zo][ZoText]No cursor is open.");
}

TEST_F(OdbcTest, InfoAndFunctions) {
    connect("DBQ=/data;DSN=");
    SQLCHAR text[64];
    SQLSMALLINT length = 0;
    ASSERT_EQ(SQLGetInfo(dbc, SQL_DRIVER_ODBC_VER, text, sizeof text, &length), SQL_SUCCESS);
    EXPECT_STREQ(reinterpret_cast<char *>(text), "03.51");
    ASSERT_EQ(SQLGetInfo(dbc, SQL_DATABASE_NAME, text, sizeof text, &length), SQL_SUCCESS);
    EXPECT_STREQ(reinterpret_cast<char *>(text), "/data");
    SQLUSMALLINT small = 0;
    ASSERT_EQ(SQLGetInfo(dbc, SQL_TXN_CAPABLE, &small, sizeof small, &length), SQL_SUCCESS);
    EXPECT_EQ(small, SQL_TC_ALL);
    SQLUINTEGER mask = 0;
    ASSERT_EQ(SQLGetInfo(dbc, SQL_GETDATA_EXTENSIONS, &mask, sizeof mask, &length), SQL_SUCCESS);
    EXPECT_EQ(mask, static_cast<SQLUINTEGER>(SQL_GD_ANY_COLUMN | SQL_GD_ANY_ORDER | SQL_GD_BOUND));
    EXPECT_EQ(SQLGetInfo(dbc, 9999, text, sizeof text, &length), SQL_ERROR);
    EXPECT_EQ(dbcStates(), States{"HY096"});
    SQLWCHAR wide[16];
    ASSERT_EQ(SQLGetInfoW(dbc, SQL_DBMS_NAME, wide, sizeof wide, &length), SQL_SUCCESS);
    EXPECT_EQ(std::u16string(reinterpret_cast<char16_t *>(wide)), u"ZoText");
    EXPECT_EQ(length, 12); // bytes

    SQLUSMALLINT all[SQL_API_ODBC3_ALL_FUNCTIONS_SIZE];
    ASSERT_EQ(SQLGetFunctions(dbc, SQL_API_ODBC3_ALL_FUNCTIONS, all), SQL_SUCCESS);
    EXPECT_TRUE(SQL_FUNC_EXISTS(all, SQL_API_SQLFETCH));
    EXPECT_TRUE(SQL_FUNC_EXISTS(all, SQL_API_SQLGETDIAGREC));
    EXPECT_FALSE(SQL_FUNC_EXISTS(all, SQL_API_SQLSETPOS));
    SQLUSMALLINT one = 0;
    ASSERT_EQ(SQLGetFunctions(dbc, SQL_API_SQLBULKOPERATIONS, &one), SQL_SUCCESS);
    EXPECT_EQ(one, SQL_FALSE);
}

} // namespace
} // namespace zotext::testing
