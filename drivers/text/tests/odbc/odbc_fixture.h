// A connected environment for the ODBC layer's tests: the entry points are called directly,
// over the scripted engine.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fake_engine.h"

namespace zotext::testing {

inline SQLCHAR *sql(const char *text) { return reinterpret_cast<SQLCHAR *>(const_cast<char *>(text)); }

// The SQLSTATEs of a handle's diagnostic records, in order.
inline std::vector<std::string> states(SQLSMALLINT type, SQLHANDLE handle) {
    std::vector<std::string> out;
    for (SQLSMALLINT i = 1;; ++i) {
        SQLCHAR state[6] = {};
        SQLINTEGER native = 0;
        SQLCHAR message[512];
        SQLSMALLINT length = 0;
        if (SQLGetDiagRec(type, handle, i, state, &native, message, sizeof message, &length) != SQL_SUCCESS)
            return out;
        out.emplace_back(reinterpret_cast<char *>(state));
    }
}

inline std::string firstMessage(SQLSMALLINT type, SQLHANDLE handle) {
    SQLCHAR state[6];
    SQLINTEGER native = 0;
    SQLCHAR message[512] = {};
    SQLSMALLINT length = 0;
    (void)SQLGetDiagRec(type, handle, 1, state, &native, message, sizeof message, &length); // empty when none
    return reinterpret_cast<char *>(message);
}

class OdbcTest : public ::testing::Test {
protected:
    void SetUp() override {
        fake::reset();
        ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env), SQL_SUCCESS);
        ASSERT_EQ(SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0),
                  SQL_SUCCESS);
        ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc), SQL_SUCCESS);
    }
    void TearDown() override {
        if (stmt != SQL_NULL_HSTMT) {
            EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_STMT, stmt), SQL_SUCCESS);
        }
        SQLRETURN rc = SQLDisconnect(dbc);
        if (rc == SQL_ERROR && states(SQL_HANDLE_DBC, dbc) == std::vector<std::string>{"25000"}) {
            EXPECT_EQ(SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_ROLLBACK), SQL_SUCCESS);
            rc = SQLDisconnect(dbc);
        }
        EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_DBC, dbc), SQL_SUCCESS);
        EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_ENV, env), SQL_SUCCESS);
    }

    // Connects with the string and opens a statement.
    void connect(const char *text = "DBQ=/data") {
        SQLCHAR out[512];
        SQLSMALLINT length = 0;
        const SQLRETURN rc =
            SQLDriverConnect(dbc, nullptr, sql(text), SQL_NTS, out, sizeof out, &length, SQL_DRIVER_NOPROMPT);
        ASSERT_TRUE(SQL_SUCCEEDED(rc)) << firstMessage(SQL_HANDLE_DBC, dbc);
        ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt), SQL_SUCCESS);
    }

    // Scripts a query over t with the columns and rows.
    void query(const std::string &text, std::vector<ColumnInfo> columns, std::vector<std::vector<Value>> rows,
               uint16_t parameters = 0) {
        fake::Script script;
        script.columns = std::move(columns);
        script.rows = std::move(rows);
        script.parameters = parameters;
        fake::world().statements[text] = script;
    }
    void change(const std::string &text, int64_t rowCount, uint16_t parameters = 0) {
        fake::Script script;
        script.query = false;
        script.rowCount = rowCount;
        script.parameters = parameters;
        fake::world().statements[text] = script;
    }

    SQLRETURN exec(const char *text) { return SQLExecDirect(stmt, sql(text), SQL_NTS); }
    std::vector<std::string> stmtStates() { return states(SQL_HANDLE_STMT, stmt); }
    std::vector<std::string> dbcStates() { return states(SQL_HANDLE_DBC, dbc); }

    SQLHENV env = SQL_NULL_HENV;
    SQLHDBC dbc = SQL_NULL_HDBC;
    SQLHSTMT stmt = SQL_NULL_HSTMT;
};

using States = std::vector<std::string>;

} // namespace zotext::testing
