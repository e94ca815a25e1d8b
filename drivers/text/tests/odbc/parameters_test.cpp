// Parameters: every C type read into a value, the conversion to the declared SQL type,
// NULLs, missing bindings, parameter arrays.
#include <cstring>

#include "odbc_fixture.h"

namespace zotext::testing {
namespace {

bool same(const Value &a, const Value &b) {
    return a.kind == b.kind && a.integer == b.integer && a.real == b.real && a.text == b.text;
}

std::string show(const Value &v) {
    return std::to_string(int(v.kind)) + ":" + std::to_string(v.integer) + ":" + std::to_string(v.real) + ":" + v.text;
}

struct ParameterCase {
    SQLSMALLINT cType;
    SQLSMALLINT sqlType;
    std::string data; // the buffer's bytes
    SQLLEN length;    // the length word (SQL_NTS, SQL_NULL_DATA, bytes)
    SQLRETURN rc;
    States states;
    Value expected;
};

template <class T>
std::string bytes(const T &v) {
    return std::string(reinterpret_cast<const char *>(&v), sizeof v);
}

class ParametersTest : public OdbcTest {
protected:
    // Executes the one-parameter INSERT with the buffer; the engine's view of the value.
    SQLRETURN run(const ParameterCase &c, Value *seen) {
        std::string buffer = c.data;
        buffer.resize(buffer.size() + 2, '\0'); // room for a terminator the text does not count
        SQLLEN length = c.length;
        EXPECT_EQ(SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, c.cType, c.sqlType, 0, 0, buffer.data(),
                                   SQLLEN(buffer.size()), &length),
                  SQL_SUCCESS);
        fake::world().executedParameters.clear();
        const SQLRETURN rc = SQLExecute(stmt);
        if (!fake::world().executedParameters.empty())
            *seen = fake::world().executedParameters.back().at(0);
        return rc;
    }
};

Value integer(int64_t v) { return fake::integer(v); }
Value real(double v) { return fake::real(v); }
Value text(const std::string &s) { return fake::text(s); }
Value dated(Value::Kind kind, const std::string &s) { return fake::dated(kind, s); }

TEST_F(ParametersTest, EveryTypeIn) {
    connect();
    change("INSERT INTO t VALUES (?)", 1, 1);
    ASSERT_EQ(SQLPrepare(stmt, sql("INSERT INTO t VALUES (?)"), SQL_NTS), SQL_SUCCESS);
    SQLSMALLINT count = 0;
    ASSERT_EQ(SQLNumParams(stmt, &count), SQL_SUCCESS);
    EXPECT_EQ(count, 1);
    const SQL_DATE_STRUCT date{2024, 2, 29};
    const SQL_DATE_STRUCT noDate{2023, 2, 29};
    const SQL_TIME_STRUCT time{23, 59, 58};
    const SQL_TIMESTAMP_STRUCT stamp{2024, 2, 29, 1, 2, 3, 450000000};
    SQL_NUMERIC_STRUCT numeric{};
    numeric.precision = 10, numeric.scale = 2, numeric.sign = 0, numeric.val[0] = 0x39, numeric.val[1] = 0x30;
    const std::u16string wide = u"hi";
    const ParameterCase cases[] = {
        {SQL_C_SLONG, SQL_INTEGER, bytes(int32_t{-5}), 0, SQL_SUCCESS, {}, integer(-5)},
        {SQL_C_SBIGINT, SQL_BIGINT, bytes(int64_t{1} << 40), 0, SQL_SUCCESS, {}, integer(int64_t{1} << 40)},
        {SQL_C_USHORT, SQL_SMALLINT, bytes(uint16_t{65535}), 0, SQL_SUCCESS, {}, integer(65535)},
        {SQL_C_STINYINT, SQL_TINYINT, bytes(int8_t{-3}), 0, SQL_SUCCESS, {}, integer(-3)},
        {SQL_C_UBIGINT, SQL_BIGINT, bytes(~uint64_t{0}), 0, SQL_ERROR, {"22003"}, Value{}},
        {SQL_C_BIT, SQL_BIT, bytes(uint8_t{7}), 0, SQL_SUCCESS, {}, integer(1)},
        {SQL_C_DOUBLE, SQL_DOUBLE, bytes(0.25), 0, SQL_SUCCESS, {}, real(0.25)},
        {SQL_C_FLOAT, SQL_REAL, bytes(1.5f), 0, SQL_SUCCESS, {}, real(1.5)},
        {SQL_C_DOUBLE, SQL_INTEGER, bytes(2.5), 0, SQL_SUCCESS_WITH_INFO, {"01S07"}, integer(2)},
        {SQL_C_DOUBLE, SQL_VARCHAR, bytes(2.5), 0, SQL_SUCCESS, {}, text("2.5")},
        {SQL_C_CHAR, SQL_VARCHAR, "abc", SQL_NTS, SQL_SUCCESS, {}, text("abc")},
        {SQL_C_CHAR, SQL_VARCHAR, "abcdef", 2, SQL_SUCCESS, {}, text("ab")},
        {SQL_C_CHAR, SQL_INTEGER, "42", SQL_NTS, SQL_SUCCESS, {}, integer(42)},
        {SQL_C_CHAR, SQL_INTEGER, "4x2", SQL_NTS, SQL_ERROR, {"22018"}, Value{}},
        {SQL_C_CHAR, SQL_DECIMAL, "1.25", SQL_NTS, SQL_SUCCESS, {}, real(1.25)},
        {SQL_C_CHAR, SQL_DECIMAL, "10.00", SQL_NTS, SQL_SUCCESS, {}, integer(10)},
        {SQL_C_CHAR, SQL_TYPE_DATE, "2024-02-29", SQL_NTS, SQL_SUCCESS, {}, dated(Value::Kind::Date, "2024-02-29")},
        {SQL_C_CHAR, SQL_TYPE_DATE, "29.02.2024", SQL_NTS, SQL_ERROR, {"22018"}, Value{}},
        {SQL_C_WCHAR,
         SQL_WVARCHAR,
         std::string(reinterpret_cast<const char *>(wide.data()), wide.size() * 2),
         SQL_NTS,
         SQL_SUCCESS,
         {},
         text("hi")},
        {SQL_C_WCHAR, SQL_WVARCHAR, std::string("x\0y\0z\0", 6), 4, SQL_SUCCESS, {}, text("xy")},
        {SQL_C_TYPE_DATE, SQL_TYPE_DATE, bytes(date), 0, SQL_SUCCESS, {}, dated(Value::Kind::Date, "2024-02-29")},
        {SQL_C_TYPE_DATE, SQL_TYPE_DATE, bytes(noDate), 0, SQL_ERROR, {"22007"}, Value{}},
        {SQL_C_TYPE_TIME, SQL_TYPE_TIME, bytes(time), 0, SQL_SUCCESS, {}, dated(Value::Kind::Time, "23:59:58")},
        {SQL_C_TYPE_TIMESTAMP,
         SQL_TYPE_TIMESTAMP,
         bytes(stamp),
         0,
         SQL_SUCCESS,
         {},
         dated(Value::Kind::Timestamp, "2024-02-29 01:02:03.45")},
        {SQL_C_TYPE_TIMESTAMP, SQL_TYPE_DATE, bytes(stamp), 0, SQL_SUCCESS, {}, dated(Value::Kind::Date, "2024-02-29")},
        {SQL_C_TYPE_DATE,
         SQL_TYPE_TIMESTAMP,
         bytes(date),
         0,
         SQL_SUCCESS,
         {},
         dated(Value::Kind::Timestamp, "2024-02-29 00:00:00")},
        {SQL_C_NUMERIC, SQL_DECIMAL, bytes(numeric), 0, SQL_SUCCESS, {}, real(-123.45)},
        {SQL_C_SLONG, SQL_INTEGER, bytes(int32_t{9}), SQL_NULL_DATA, SQL_SUCCESS, {}, Value{}},
        {SQL_C_DEFAULT, SQL_INTEGER, bytes(int32_t{77}), 0, SQL_SUCCESS, {}, integer(77)},
        {SQL_C_BINARY, SQL_VARBINARY, "ab", 2, SQL_ERROR, {"07006"}, Value{}},
        {SQL_C_CHAR, SQL_VARCHAR, "abc", SQL_DATA_AT_EXEC, SQL_ERROR, {"HYC00"}, Value{}},
        {SQL_C_CHAR, SQL_VARCHAR, "abc", -7, SQL_ERROR, {"HY090"}, Value{}},
    };
    for (const ParameterCase &c : cases) {
        Value seen;
        const std::string label = std::to_string(c.cType) + " -> " + std::to_string(c.sqlType) + " " + c.data;
        EXPECT_EQ(run(c, &seen), c.rc) << label;
        EXPECT_EQ(stmtStates(), c.states) << label;
        if (SQL_SUCCEEDED(c.rc)) {
            EXPECT_TRUE(same(seen, c.expected)) << label << " gave " << show(seen);
        }
    }
}

TEST_F(ParametersTest, BindingsAreChecked) {
    connect();
    change("UPDATE t SET a = ? WHERE b = ?", 3, 2);
    SQLINTEGER a = 1;
    EXPECT_EQ(SQLBindParameter(stmt, 0, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &a, 0, nullptr), SQL_ERROR);
    EXPECT_EQ(stmtStates(), States{"07009"});
    EXPECT_EQ(SQLBindParameter(stmt, 1, SQL_PARAM_OUTPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &a, 0, nullptr), SQL_ERROR);
    EXPECT_EQ(stmtStates(), States{"HYC00"});
    EXPECT_EQ(SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, 1234, SQL_INTEGER, 0, 0, &a, 0, nullptr), SQL_ERROR);
    EXPECT_EQ(stmtStates(), States{"HY003"});
    EXPECT_EQ(SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_SLONG, 1234, 0, 0, &a, 0, nullptr), SQL_ERROR);
    EXPECT_EQ(stmtStates(), States{"HY004"});
    EXPECT_EQ(SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, nullptr, 0, nullptr),
              SQL_ERROR);
    EXPECT_EQ(stmtStates(), States{"HY009"});
    ASSERT_EQ(SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &a, 0, nullptr), SQL_SUCCESS);
    // The second marker has no value.
    EXPECT_EQ(exec("UPDATE t SET a = ? WHERE b = ?"), SQL_ERROR);
    EXPECT_EQ(stmtStates(), States{"07002"});
    ASSERT_EQ(SQLBindParameter(stmt, 2, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &a, 0, nullptr), SQL_SUCCESS);
    ASSERT_EQ(SQLExecute(stmt), SQL_SUCCESS);
    SQLLEN diagnosticRows = 0;
    ASSERT_EQ(SQLGetDiagField(SQL_HANDLE_STMT, stmt, 0, SQL_DIAG_ROW_COUNT, &diagnosticRows, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(diagnosticRows, 3);
    SQLLEN rows = 0;
    ASSERT_EQ(SQLRowCount(stmt, &rows), SQL_SUCCESS);
    EXPECT_EQ(rows, 3);
    ASSERT_EQ(SQLFreeStmt(stmt, SQL_RESET_PARAMS), SQL_SUCCESS);
    EXPECT_EQ(SQLExecute(stmt), SQL_ERROR);
    EXPECT_EQ(stmtStates(), States{"07002"});
}

TEST_F(ParametersTest, ArraysOfParameterSets) {
    connect();
    change("INSERT INTO t VALUES (?, ?)", 1, 2);
    SQLINTEGER numbers[3] = {10, 20, 30};
    char names[3][8] = {"a", "bb", "ccc"};
    SQLLEN nameLengths[3] = {SQL_NTS, SQL_NULL_DATA, 3};
    SQLULEN processed = 0;
    SQLUSMALLINT status[3] = {};
    ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_PARAMSET_SIZE, reinterpret_cast<SQLPOINTER>(3), 0), SQL_SUCCESS);
    ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_PARAMS_PROCESSED_PTR, &processed, 0), SQL_SUCCESS);
    ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_PARAM_STATUS_PTR, status, 0), SQL_SUCCESS);
    ASSERT_EQ(SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, numbers, 0, nullptr),
              SQL_SUCCESS);
    ASSERT_EQ(
        SQLBindParameter(stmt, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 7, 0, names, sizeof names[0], nameLengths),
        SQL_SUCCESS);
    ASSERT_EQ(exec("INSERT INTO t VALUES (?, ?)"), SQL_SUCCESS);
    EXPECT_EQ(processed, 3u);
    EXPECT_EQ(std::vector<SQLUSMALLINT>(status, status + 3),
              (std::vector<SQLUSMALLINT>{SQL_PARAM_SUCCESS, SQL_PARAM_SUCCESS, SQL_PARAM_SUCCESS}));
    const auto &log = fake::world().executedParameters;
    ASSERT_EQ(log.size(), 3u);
    EXPECT_TRUE(same(log[0][1], text("a")));
    EXPECT_TRUE(same(log[1][1], Value{}));
    EXPECT_TRUE(same(log[2][0], integer(30)));
    EXPECT_TRUE(same(log[2][1], text("ccc")));
    SQLLEN rows = 0;
    ASSERT_EQ(SQLRowCount(stmt, &rows), SQL_SUCCESS);
    EXPECT_EQ(rows, 3);

    // A set that cannot be read stops the run there, and the statuses say so.
    std::strcpy(names[1], "x");
    nameLengths[1] = -5;
    ASSERT_EQ(SQLExecute(stmt), SQL_ERROR);
    EXPECT_EQ(processed, 1u);
    EXPECT_EQ(std::vector<SQLUSMALLINT>(status, status + 3),
              (std::vector<SQLUSMALLINT>{SQL_PARAM_SUCCESS, SQL_PARAM_ERROR, SQL_PARAM_UNUSED}));
}

} // namespace
} // namespace zotext::testing
