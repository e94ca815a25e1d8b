// Results: describing columns, converting values into every C type, reading text in pieces,
// row arrays, and the cursor's sequence errors.
#include <atomic>
#include <cstring>
#include <random>
#include <thread>

#include "odbc_fixture.h"

namespace zotext::testing {
namespace {

using fake::column;

class ResultsTest : public OdbcTest {
protected:
    // A one-row query over one column holding value, executed and fetched.
    void fetchOne(const Value &value, ColumnType type = ColumnType::Varchar) {
        if (stmt == SQL_NULL_HSTMT)
            connect();
        (void)SQLFreeStmt(stmt, SQL_CLOSE); // closing a closed cursor is fine
        query("SELECT v FROM t", {column("v", type)}, {{value}});
        ASSERT_EQ(exec("SELECT v FROM t"), SQL_SUCCESS);
        ASSERT_EQ(SQLFetch(stmt), SQL_SUCCESS);
    }
};

template <class T>
std::string bytes(const T &v) {
    return std::string(reinterpret_cast<const char *>(&v), sizeof v);
}

struct Conversion {
    Value value;
    SQLSMALLINT cType;
    SQLRETURN rc;
    States states;
    std::string expected; // the bytes written (checked when rc succeeded)
};

TEST_F(ResultsTest, ValuesIntoEveryType) {
    using fake::dated;
    using fake::integer;
    using fake::real;
    using fake::text;
    const SQL_DATE_STRUCT date{2024, 2, 29};
    const SQL_TIME_STRUCT time{13, 45, 7};
    const SQL_TIMESTAMP_STRUCT stamp{2024, 2, 29, 13, 45, 7, 500000000};
    const SQL_TIMESTAMP_STRUCT midnight{2024, 2, 29, 0, 0, 0, 0};
    const Conversion cases[] = {
        {integer(42), SQL_C_SLONG, SQL_SUCCESS, {}, bytes(int32_t{42})},
        {integer(-7), SQL_C_SBIGINT, SQL_SUCCESS, {}, bytes(int64_t{-7})},
        {integer(70000), SQL_C_SSHORT, SQL_ERROR, {"22003"}, ""},
        {integer(-1), SQL_C_ULONG, SQL_ERROR, {"22003"}, ""},
        {integer(255), SQL_C_UTINYINT, SQL_SUCCESS, {}, bytes(uint8_t{255})},
        {integer(3000000000), SQL_C_SLONG, SQL_ERROR, {"22003"}, ""},
        {real(2.75), SQL_C_SLONG, SQL_SUCCESS_WITH_INFO, {"01S07"}, bytes(int32_t{2})},
        {real(-2.75), SQL_C_SLONG, SQL_SUCCESS_WITH_INFO, {"01S07"}, bytes(int32_t{-2})},
        {real(1e300), SQL_C_SBIGINT, SQL_ERROR, {"22003"}, ""},
        {text(" 12 "), SQL_C_SLONG, SQL_SUCCESS, {}, bytes(int32_t{12})},
        {text("1e3"), SQL_C_SLONG, SQL_SUCCESS, {}, bytes(int32_t{1000})},
        {text("12abc"), SQL_C_SLONG, SQL_ERROR, {"22018"}, ""},
        {text(""), SQL_C_DOUBLE, SQL_ERROR, {"22018"}, ""},
        {integer(3), SQL_C_DOUBLE, SQL_SUCCESS, {}, bytes(3.0)},
        {text("-0.5"), SQL_C_DOUBLE, SQL_SUCCESS, {}, bytes(-0.5)},
        {real(1e300), SQL_C_FLOAT, SQL_ERROR, {"22003"}, ""},
        {integer(1), SQL_C_BIT, SQL_SUCCESS, {}, bytes(uint8_t{1})},
        {real(0.5), SQL_C_BIT, SQL_SUCCESS_WITH_INFO, {"01S07"}, bytes(uint8_t{0})},
        {integer(2), SQL_C_BIT, SQL_ERROR, {"22003"}, ""},
        {dated(Value::Kind::Date, "2024-02-29"), SQL_C_TYPE_DATE, SQL_SUCCESS, {}, bytes(date)},
        {dated(Value::Kind::Timestamp, "2024-02-29 13:45:07.5"),
         SQL_C_TYPE_DATE,
         SQL_SUCCESS_WITH_INFO,
         {"01S07"},
         bytes(date)},
        {dated(Value::Kind::Time, "13:45:07"), SQL_C_TYPE_TIME, SQL_SUCCESS, {}, bytes(time)},
        {dated(Value::Kind::Timestamp, "2024-02-29 13:45:07.5"), SQL_C_TYPE_TIMESTAMP, SQL_SUCCESS, {}, bytes(stamp)},
        {dated(Value::Kind::Date, "2024-02-29"), SQL_C_TYPE_TIMESTAMP, SQL_SUCCESS, {}, bytes(midnight)},
        {text("2024-02-29"), SQL_C_TYPE_DATE, SQL_SUCCESS, {}, bytes(date)},
        {text("2023-02-29"), SQL_C_TYPE_DATE, SQL_ERROR, {"22018"}, ""}, // no such day
        {dated(Value::Kind::Date, "2024-13-01"), SQL_C_TYPE_DATE, SQL_ERROR, {"22007"}, ""},
        {integer(5), SQL_C_TYPE_DATE, SQL_ERROR, {"07006"}, ""},
        {dated(Value::Kind::Date, "2024-02-29"), SQL_C_SLONG, SQL_ERROR, {"07006"}, ""},
        {integer(-12), SQL_C_CHAR, SQL_SUCCESS, {}, std::string("-12\0", 4)},
        {real(0.1), SQL_C_CHAR, SQL_SUCCESS, {}, std::string("0.1\0", 4)},
        {real(2), SQL_C_CHAR, SQL_SUCCESS, {}, std::string("2.0\0", 4)},
        {text("ab"), SQL_C_WCHAR, SQL_SUCCESS, {}, std::string("a\0b\0\0\0", 6)},
        {text("ab"), SQL_C_BINARY, SQL_SUCCESS, {}, "ab"},
        {integer(1), SQL_C_GUID, SQL_ERROR, {"HY003"}, ""},
    };
    for (const Conversion &c : cases) {
        const ColumnType type = c.value.kind == Value::Kind::Integer  ? ColumnType::Integer
                                : c.value.kind == Value::Kind::Double ? ColumnType::Double
                                                                      : ColumnType::Varchar;
        fetchOne(c.value, type);
        unsigned char buffer[64];
        std::memset(buffer, 0xEE, sizeof buffer);
        SQLLEN length = 0;
        const std::string label = c.value.text + "/" + std::to_string(c.value.integer) + "/" +
                                  std::to_string(c.value.real) + " as " + std::to_string(c.cType);
        EXPECT_EQ(SQLGetData(stmt, 1, c.cType, buffer, sizeof buffer, &length), c.rc) << label;
        EXPECT_EQ(stmtStates(), c.states) << label;
        if (SQL_SUCCEEDED(c.rc)) {
            EXPECT_EQ(std::string(reinterpret_cast<char *>(buffer), c.expected.size()), c.expected) << label;
        }
    }
}

TEST_F(ResultsTest, NullNeedsAnIndicator) {
    fetchOne(Value{});
    SQLINTEGER number = 0;
    SQLLEN indicator = 0;
    EXPECT_EQ(SQLGetData(stmt, 1, SQL_C_SLONG, &number, 0, nullptr), SQL_ERROR);
    EXPECT_EQ(stmtStates(), States{"22002"});
    ASSERT_EQ(SQLGetData(stmt, 1, SQL_C_SLONG, &number, 0, &indicator), SQL_SUCCESS);
    EXPECT_EQ(indicator, SQL_NULL_DATA);
    EXPECT_EQ(SQLGetData(stmt, 1, SQL_C_SLONG, &number, 0, &indicator), SQL_NO_DATA);
}

// Reading a text in pieces of any size gives back the whole text, and every piece's length
// word tells what was left before it.
TEST_F(ResultsTest, TextInPiecesOfEverySize) {
    std::string value;
    for (int i = 0; i < 300; ++i)
        value += static_cast<char>('a' + i % 26);
    std::mt19937 random(7);
    for (SQLSMALLINT cType : {SQL_C_CHAR, SQL_C_WCHAR, SQL_C_BINARY}) {
        const size_t unit = cType == SQL_C_WCHAR ? 2 : 1;
        const size_t terminator = cType == SQL_C_BINARY ? 0 : unit;
        for (int round = 0; round < 20; ++round) {
            fetchOne(fake::text(value));
            std::string got;
            size_t left = value.size() * unit;
            for (;;) {
                const size_t capacity = terminator + unit * (1 + random() % 40);
                std::vector<char> buffer(capacity);
                SQLLEN length = 0;
                const SQLRETURN rc = SQLGetData(stmt, 1, cType, buffer.data(), SQLLEN(capacity), &length);
                if (rc == SQL_NO_DATA)
                    break;
                ASSERT_TRUE(SQL_SUCCEEDED(rc));
                EXPECT_EQ(size_t(length), left);
                const size_t piece = std::min(left, capacity - terminator);
                for (size_t i = 0; i < piece; i += unit)
                    got += buffer[i];
                left -= piece;
                EXPECT_EQ(rc == SQL_SUCCESS_WITH_INFO, left != 0);
                EXPECT_EQ(stmtStates(), left != 0 ? States{"01004"} : States{});
            }
            EXPECT_EQ(got, value) << cType;
        }
    }
}

TEST_F(ResultsTest, DescribeAndAttributes) {
    connect();
    ColumnInfo name = column("name", ColumnType::Varchar, 40);
    ColumnInfo id = column("id", ColumnType::Integer);
    id.nullable = false;
    query("SELECT id, name FROM t", {id, name}, {});
    ASSERT_EQ(SQLPrepare(stmt, sql("SELECT id, name FROM t"), SQL_NTS), SQL_SUCCESS);
    SQLSMALLINT count = 0;
    ASSERT_EQ(SQLNumResultCols(stmt, &count), SQL_SUCCESS); // known before execute
    EXPECT_EQ(count, 2);
    SQLCHAR text[8];
    SQLSMALLINT length = 0, type = 0, digits = 0, nullable = 0;
    SQLULEN size = 0;
    ASSERT_EQ(SQLDescribeCol(stmt, 2, text, sizeof text, &length, &type, &size, &digits, &nullable), SQL_SUCCESS);
    EXPECT_STREQ(reinterpret_cast<char *>(text), "name");
    EXPECT_EQ(type, SQL_WVARCHAR);
    EXPECT_EQ(size, 40u);
    EXPECT_EQ(nullable, SQL_NULLABLE);
    ASSERT_EQ(SQLDescribeCol(stmt, 1, text, 2, &length, &type, &size, &digits, &nullable), SQL_SUCCESS_WITH_INFO);
    EXPECT_STREQ(reinterpret_cast<char *>(text), "i");
    EXPECT_EQ(length, 2);
    EXPECT_EQ(type, SQL_BIGINT);
    EXPECT_EQ(nullable, SQL_NO_NULLS);
    EXPECT_EQ(SQLDescribeCol(stmt, 3, text, sizeof text, &length, &type, &size, &digits, &nullable), SQL_ERROR);
    EXPECT_EQ(stmtStates(), States{"07009"});

    SQLLEN number = 0;
    ASSERT_EQ(SQLColAttribute(stmt, 2, SQL_DESC_DISPLAY_SIZE, nullptr, 0, nullptr, &number), SQL_SUCCESS);
    EXPECT_EQ(number, 40);
    ASSERT_EQ(SQLColAttribute(stmt, 0, SQL_DESC_COUNT, nullptr, 0, nullptr, &number), SQL_SUCCESS);
    EXPECT_EQ(number, 2);
    ASSERT_EQ(SQLColAttribute(stmt, 1, SQL_DESC_TYPE_NAME, text, sizeof text, &length, nullptr), SQL_SUCCESS);
    EXPECT_STREQ(reinterpret_cast<char *>(text), "INTEGER");
    ASSERT_EQ(SQLColAttribute(stmt, 1, SQL_DESC_TABLE_NAME, text, sizeof text, &length, nullptr), SQL_SUCCESS);
    EXPECT_STREQ(reinterpret_cast<char *>(text), "t");
    EXPECT_EQ(SQLColAttribute(stmt, 1, 9999, text, sizeof text, &length, &number), SQL_ERROR);
    EXPECT_EQ(stmtStates(), States{"HY091"});
    SQLWCHAR wide[8];
    ASSERT_EQ(SQLColAttributeW(stmt, 2, SQL_DESC_LABEL, wide, sizeof wide, &length, nullptr), SQL_SUCCESS);
    EXPECT_EQ(std::u16string(reinterpret_cast<char16_t *>(wide)), u"name");
    EXPECT_EQ(length, 8); // bytes
}

TEST_F(ResultsTest, CursorSequence) {
    connect();
    query("SELECT a FROM t", {column("a", ColumnType::Integer)}, {{fake::integer(1)}});
    change("DELETE FROM t", 0);
    SQLINTEGER value = 0;
    SQLLEN length = 0;
    EXPECT_EQ(SQLFetch(stmt), SQL_ERROR);
    EXPECT_EQ(stmtStates(), States{"HY010"});
    EXPECT_EQ(SQLExecute(stmt), SQL_ERROR);
    EXPECT_EQ(stmtStates(), States{"HY010"});
    EXPECT_EQ(SQLNumResultCols(stmt, nullptr), SQL_ERROR);
    ASSERT_EQ(exec("DELETE FROM t"), SQL_SUCCESS);
    EXPECT_EQ(SQLFetch(stmt), SQL_ERROR);
    EXPECT_EQ(stmtStates(), States{"24000"});
    ASSERT_EQ(exec("SELECT a FROM t"), SQL_SUCCESS);
    EXPECT_EQ(SQLGetData(stmt, 1, SQL_C_SLONG, &value, 0, &length), SQL_ERROR); // nothing fetched yet
    EXPECT_EQ(stmtStates(), States{"24000"});
    EXPECT_EQ(exec("SELECT a FROM t"), SQL_ERROR); // the cursor is still open
    EXPECT_EQ(stmtStates(), States{"24000"});
    EXPECT_EQ(SQLFetchScroll(stmt, SQL_FETCH_PRIOR, 0), SQL_ERROR);
    EXPECT_EQ(stmtStates(), States{"HY106"});
    ASSERT_EQ(SQLFetchScroll(stmt, SQL_FETCH_NEXT, 0), SQL_SUCCESS);
    EXPECT_EQ(SQLGetData(stmt, 0, SQL_C_SLONG, &value, 0, &length), SQL_ERROR);
    EXPECT_EQ(stmtStates(), States{"07009"});
    EXPECT_EQ(SQLGetData(stmt, 2, SQL_C_SLONG, &value, 0, &length), SQL_ERROR);
    EXPECT_EQ(SQLFetch(stmt), SQL_NO_DATA);
    EXPECT_EQ(SQLGetData(stmt, 1, SQL_C_SLONG, &value, 0, &length), SQL_ERROR);
    EXPECT_EQ(stmtStates(), States{"24000"});
    SQLLEN rows = 0;
    ASSERT_EQ(SQLRowCount(stmt, &rows), SQL_SUCCESS);
    EXPECT_EQ(rows, -1);
    EXPECT_EQ(SQLMoreResults(stmt), SQL_NO_DATA); // closes the cursor
    EXPECT_EQ(SQLCloseCursor(stmt), SQL_ERROR);
    EXPECT_EQ(stmtStates(), States{"24000"});
    ASSERT_EQ(SQLExecute(stmt), SQL_SUCCESS); // still prepared
    ASSERT_EQ(SQLFreeStmt(stmt, SQL_CLOSE), SQL_SUCCESS);
    ASSERT_EQ(SQLFreeStmt(stmt, SQL_CLOSE), SQL_SUCCESS);
}

TEST_F(ResultsTest, AFetchThatFailsReportsTheEnginesError) {
    connect();
    fake::Script script;
    script.columns = {column("a", ColumnType::Integer)};
    script.rows = {{fake::integer(1)}, {fake::integer(2)}};
    script.failAfterRows = 1;
    fake::world().statements["SELECT a FROM bad"] = script;
    ASSERT_EQ(exec("SELECT a FROM bad"), SQL_SUCCESS);
    ASSERT_EQ(SQLFetch(stmt), SQL_SUCCESS);
    EXPECT_EQ(SQLFetch(stmt), SQL_ERROR);
    EXPECT_EQ(stmtStates(), States{"HY000"});
}

TEST_F(ResultsTest, BoundColumnsAndRowArrays) {
    connect();
    std::vector<std::vector<Value>> rows;
    for (int i = 0; i < 7; ++i)
        rows.push_back({fake::integer(i), i == 3 ? Value{} : fake::text(std::string(size_t(i), 'x'))});
    query("SELECT n, s FROM t", {column("n", ColumnType::Integer), column("s", ColumnType::Varchar)}, rows);

    // Column-wise: arrays of three.
    SQLINTEGER numbers[3];
    SQLLEN numberLengths[3];
    char texts[3][4];
    SQLLEN textLengths[3];
    SQLULEN fetched = 0;
    SQLUSMALLINT status[3];
    ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(3), 0), SQL_SUCCESS);
    ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0), SQL_SUCCESS);
    ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_ROW_STATUS_PTR, status, 0), SQL_SUCCESS);
    ASSERT_EQ(SQLBindCol(stmt, 1, SQL_C_SLONG, numbers, 0, numberLengths), SQL_SUCCESS);
    ASSERT_EQ(SQLBindCol(stmt, 2, SQL_C_CHAR, texts, sizeof texts[0], textLengths), SQL_SUCCESS);
    ASSERT_EQ(exec("SELECT n, s FROM t"), SQL_SUCCESS);
    ASSERT_EQ(SQLFetch(stmt), SQL_SUCCESS);
    EXPECT_EQ(fetched, 3u);
    EXPECT_EQ(std::vector<SQLINTEGER>(numbers, numbers + 3), (std::vector<SQLINTEGER>{0, 1, 2}));
    EXPECT_STREQ(texts[2], "xx");
    EXPECT_EQ(textLengths[0], 0);
    // Rows 3-5: a NULL, and a text cut (01004) in its row only.
    ASSERT_EQ(SQLFetch(stmt), SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(textLengths[0], SQL_NULL_DATA);
    EXPECT_EQ(textLengths[1], 4);
    EXPECT_STREQ(texts[1], "xxx");
    EXPECT_EQ(status[0], SQL_ROW_SUCCESS);
    EXPECT_EQ(status[1], SQL_ROW_SUCCESS_WITH_INFO);
    // Row 6 alone, and the rest of the statuses say there is no row.
    ASSERT_EQ(SQLFetch(stmt), SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(fetched, 1u);
    EXPECT_EQ(numbers[0], 6);
    EXPECT_EQ(status[1], SQL_ROW_NOROW);
    EXPECT_EQ(status[2], SQL_ROW_NOROW);
    EXPECT_EQ(SQLFetch(stmt), SQL_NO_DATA);
    EXPECT_EQ(fetched, 0u);

    // Row-wise, one structure per row, with a bind offset.
    struct Row {
        SQLINTEGER n;
        SQLLEN nLength;
        SQLWCHAR s[8];
        SQLLEN sLength;
    } table[2][3];
    SQLULEN offset = sizeof table[0];
    ASSERT_EQ(SQLCloseCursor(stmt), SQL_SUCCESS);
    ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_ROW_BIND_TYPE, reinterpret_cast<SQLPOINTER>(sizeof(Row)), 0), SQL_SUCCESS);
    ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_ROW_BIND_OFFSET_PTR, &offset, 0), SQL_SUCCESS);
    ASSERT_EQ(SQLBindCol(stmt, 1, SQL_C_SLONG, &table[0][0].n, 0, &table[0][0].nLength), SQL_SUCCESS);
    ASSERT_EQ(SQLBindCol(stmt, 2, SQL_C_WCHAR, table[0][0].s, sizeof table[0][0].s, &table[0][0].sLength), SQL_SUCCESS);
    ASSERT_EQ(SQLExecute(stmt), SQL_SUCCESS);
    ASSERT_EQ(SQLFetch(stmt), SQL_SUCCESS);
    EXPECT_EQ(table[1][2].n, 2);
    EXPECT_EQ(std::u16string(reinterpret_cast<char16_t *>(table[1][2].s)), u"xx");
    EXPECT_EQ(table[1][2].sLength, 4);

    // SQLGetData reads one row at a time.
    SQLINTEGER one = 0;
    EXPECT_EQ(SQLGetData(stmt, 1, SQL_C_SLONG, &one, 0, nullptr), SQL_ERROR);
    EXPECT_EQ(stmtStates(), States{"HYC00"});
    // A bound column the result does not have.
    ASSERT_EQ(SQLFreeStmt(stmt, SQL_UNBIND), SQL_SUCCESS);
    ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(1), 0), SQL_SUCCESS);
    ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_ROW_BIND_OFFSET_PTR, nullptr, 0), SQL_SUCCESS);
    ASSERT_EQ(SQLBindCol(stmt, 3, SQL_C_SLONG, &one, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(SQLFetch(stmt), SQL_ERROR);
    EXPECT_EQ(stmtStates(), States{"07009"});
}

TEST_F(ResultsTest, MaxRowsEndsTheResultEarly) {
    connect();
    query("SELECT a FROM t", {column("a", ColumnType::Integer)},
          {{fake::integer(1)}, {fake::integer(2)}, {fake::integer(3)}});
    ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_MAX_ROWS, reinterpret_cast<SQLPOINTER>(2), 0), SQL_SUCCESS);
    ASSERT_EQ(exec("SELECT a FROM t"), SQL_SUCCESS);
    EXPECT_EQ(SQLFetch(stmt), SQL_SUCCESS);
    EXPECT_EQ(SQLFetch(stmt), SQL_SUCCESS);
    EXPECT_EQ(SQLFetch(stmt), SQL_NO_DATA);
}

} // namespace
} // namespace zotext::testing

namespace zotext::testing {
namespace {

// The statement's descriptors read what binding and describing set.
TEST_F(ResultsTest, DescriptorsAreViewsOfTheStatement) {
    connect();
    query("SELECT d, n FROM t WHERE n > ?", {column("d", ColumnType::Date), column("n", ColumnType::Varchar, 12)}, {},
          1);
    ASSERT_EQ(SQLPrepare(stmt, sql("SELECT d, n FROM t WHERE n > ?"), SQL_NTS), SQL_SUCCESS);
    SQLHDESC ird = nullptr, ard = nullptr, ipd = nullptr;
    ASSERT_EQ(SQLGetStmtAttr(stmt, SQL_ATTR_IMP_ROW_DESC, &ird, 0, nullptr), SQL_SUCCESS);
    ASSERT_EQ(SQLGetStmtAttr(stmt, SQL_ATTR_APP_ROW_DESC, &ard, 0, nullptr), SQL_SUCCESS);
    ASSERT_EQ(SQLGetStmtAttr(stmt, SQL_ATTR_IMP_PARAM_DESC, &ipd, 0, nullptr), SQL_SUCCESS);
    SQLSMALLINT small = 0;
    ASSERT_EQ(SQLGetDescField(ird, 0, SQL_DESC_COUNT, &small, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(small, 2);
    ASSERT_EQ(SQLGetDescField(ird, 1, SQL_DESC_TYPE, &small, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(small, SQL_DATETIME);
    ASSERT_EQ(SQLGetDescField(ird, 1, SQL_DESC_DATETIME_INTERVAL_CODE, &small, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(small, SQL_CODE_DATE);
    SQLCHAR name[8];
    SQLINTEGER length = 0;
    ASSERT_EQ(SQLGetDescField(ird, 2, SQL_DESC_NAME, name, sizeof name, &length), SQL_SUCCESS);
    EXPECT_STREQ(reinterpret_cast<char *>(name), "n");
    SQLLEN octets = 0;
    ASSERT_EQ(SQLGetDescField(ird, 2, SQL_DESC_OCTET_LENGTH, &octets, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(octets, 24);
    EXPECT_EQ(SQLGetDescField(ird, 3, SQL_DESC_NAME, name, sizeof name, &length), SQL_ERROR);
    EXPECT_EQ(states(SQL_HANDLE_DESC, ird), States{"07009"});

    char buffer[16];
    SQLLEN indicator = 0;
    ASSERT_EQ(SQLBindCol(stmt, 2, SQL_C_CHAR, buffer, sizeof buffer, &indicator), SQL_SUCCESS);
    ASSERT_EQ(SQLGetDescField(ard, 0, SQL_DESC_COUNT, &small, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(small, 2);
    SQLPOINTER pointer = nullptr;
    ASSERT_EQ(SQLGetDescField(ard, 2, SQL_DESC_DATA_PTR, &pointer, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(pointer, buffer);

    SQLINTEGER value = 3;
    ASSERT_EQ(SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_WVARCHAR, 12, 0, &value, 0, nullptr),
              SQL_SUCCESS);
    SQLSMALLINT type = 0, subType = 0, precision = 0, scale = 0, nullable = 0;
    SQLLEN recordLength = 0;
    SQLSMALLINT nameLength = 0;
    ASSERT_EQ(SQLGetDescRec(ipd, 1, name, sizeof name, &nameLength, &type, &subType, &recordLength, &precision, &scale,
                            &nullable),
              SQL_SUCCESS);
    EXPECT_EQ(type, SQL_WVARCHAR);
    EXPECT_EQ(precision, 12);
    EXPECT_EQ(SQLGetDescRec(ipd, 2, name, sizeof name, &nameLength, &type, &subType, &recordLength, &precision, &scale,
                            &nullable),
              SQL_NO_DATA);
    EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_DESC, ird), SQL_ERROR); // it goes with the statement
}

} // namespace
} // namespace zotext::testing

namespace zotext::testing {
namespace {

// SQLCancel from another thread stops a running execute, which fails with HY008; it takes
// no lock the running call holds.
TEST_F(ResultsTest, CancelFromAnotherThread) {
    connect();
    fake::Script script;
    script.waitForCancel = true;
    fake::world().statements["SELECT slow FROM t"] = script;
    std::atomic<bool> done{false};
    SQLRETURN rc = SQL_SUCCESS;
    std::thread runner([&] {
        rc = exec("SELECT slow FROM t");
        done = true;
    });
    while (!done) {
        EXPECT_EQ(SQLCancel(stmt), SQL_SUCCESS);
        std::this_thread::yield();
    }
    runner.join();
    EXPECT_EQ(rc, SQL_ERROR);
    EXPECT_EQ(stmtStates(), States{"HY008"});
    EXPECT_EQ(SQLCancel(stmt), SQL_SUCCESS); // nothing running: nothing to do
}

} // namespace
} // namespace zotext::testing
