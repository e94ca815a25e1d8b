// Statements: preparing and executing, parameters, row counts, cursors and the statement's
// attributes.
#include <cstring>

#include "odbc/convert.h"
#include "odbc/driver.h"
#include "odbc/entries.h"

namespace zotext::odbc {
namespace {

// The rows of an executed query, read from the engine.
class EngineResult : public Result {
public:
    EngineResult(Statement &statement, const std::vector<Column> &columns) : statement_(statement), columns_(columns) {}
    const std::vector<Column> &columns() const override { return columns_; }
    bool next(std::vector<Value> *row) override { return statement_.fetch(row); }
    bool failed() const override { return statement_.failed(); }

private:
    Statement &statement_;
    const std::vector<Column> &columns_;
};

std::vector<Column> describeAll(const std::vector<ColumnInfo> &infos) {
    std::vector<Column> out;
    out.reserve(infos.size());
    for (const ColumnInfo &info : infos)
        out.push_back(describeColumn(info));
    return out;
}

SQLRETURN prepare(Stmt &stmt, const std::string &sql) {
    if (stmt.state == Stmt::State::Open)
        return fail(OdbcError::CursorState, "A cursor is open: close it first (SQLCloseCursor).");
    stmt.unprepare();
    std::unique_ptr<Statement> statement = stmt.dbc.database->prepare(sql);
    if (statement == nullptr)
        return SQL_ERROR; // the engine recorded why (syntax, unknown table or column ...)
    stmt.preparedColumns = describeAll(statement->resultColumns());
    stmt.statement = std::move(statement);
    stmt.state = Stmt::State::Prepared;
    return SQL_SUCCESS;
}

// Where parameter i's value and length words are for the parameter set at index row.
struct ParameterPlace {
    const void *data;
    const SQLLEN *length;
};

ParameterPlace placeOf(const Stmt &stmt, const Parameter &p, SQLSMALLINT cType, SQLULEN row) {
    const StmtAttributes &a = stmt.attributes;
    const SQLULEN offset = a.paramBindOffset != nullptr ? *a.paramBindOffset : 0;
    SQLULEN dataStep, lengthStep;
    if (a.paramBindType == SQL_PARAM_BIND_BY_COLUMN) {
        const SQLLEN fixed = fixedSize(cType);
        dataStep = static_cast<SQLULEN>(fixed != 0 ? fixed : p.bufferLength);
        lengthStep = sizeof(SQLLEN);
    } else {
        dataStep = lengthStep = a.paramBindType;
    }
    ParameterPlace place{nullptr, nullptr};
    if (p.data != nullptr)
        place.data = static_cast<const char *>(p.data) + offset + row * dataStep;
    if (p.length != nullptr)
        place.length =
            reinterpret_cast<const SQLLEN *>(reinterpret_cast<const char *>(p.length) + offset + row * lengthStep);
    return place;
}

// The value of parameter i for the parameter set at index row, converted to its SQL type.
bool parameterValue(const Stmt &stmt, uint16_t i, SQLULEN row, Value *out) {
    const Parameter &p = stmt.parameters[i];
    const SQLSMALLINT cType = p.cType == SQL_C_DEFAULT ? defaultCType(p.sqlType) : p.cType;
    const ParameterPlace place = placeOf(stmt, p, cType, row);
    SQLLEN length = place.length != nullptr ? *place.length : SQL_NTS;
    if (length == SQL_NULL_DATA) {
        *out = Value{};
        return true;
    }
    if (length == SQL_DATA_AT_EXEC || length <= SQL_LEN_DATA_AT_EXEC_OFFSET) {
        report(OdbcError::NotImplemented, "Parameter " + std::to_string(i) + ": data at execution is not supported.");
        return false;
    }
    if (length < 0 && length != SQL_NTS) {
        report(OdbcError::BufferLength, "Parameter " + std::to_string(i) + " has a negative length.");
        return false;
    }
    return readValue(cType, place.data, length, out) && toSqlType(out, p.sqlType);
}

void setParamStatus(const Stmt &stmt, SQLULEN row, SQLUSMALLINT status) {
    if (stmt.attributes.paramStatus != nullptr)
        stmt.attributes.paramStatus[row] = status;
}

// Executes the prepared statement once for each parameter set.
SQLRETURN execute(Stmt &stmt) {
    if (stmt.statement == nullptr)
        return fail(OdbcError::Sequence, "No statement is prepared.");
    if (stmt.state == Stmt::State::Open)
        return fail(OdbcError::CursorState, "A cursor is open: close it first (SQLCloseCursor).");
    Statement &statement = *stmt.statement;
    const uint16_t count = statement.parameterCount();
    for (uint16_t i = 1; i <= count; ++i) {
        if (i >= stmt.parameters.size() || !stmt.parameters[i].bound) {
            report(EngineError::ParameterCount,
                   "Parameter " + std::to_string(i) + " of " + std::to_string(count) + " is not bound.");
            return SQL_ERROR;
        }
    }
    stmt.state = Stmt::State::Prepared;
    stmt.rowCount = -1;
    const SQLULEN sets = stmt.attributes.paramsetSize;
    if (stmt.attributes.paramsProcessed != nullptr)
        *stmt.attributes.paramsProcessed = 0;
    for (SQLULEN row = 0; row < sets; ++row)
        setParamStatus(stmt, row, SQL_PARAM_UNUSED);
    int64_t changed = 0;
    for (SQLULEN row = 0; row < sets; ++row) {
        if (row != 0 && statement.isQuery())
            statement.closeCursor();
        for (uint16_t i = 1; i <= count; ++i) {
            Value value;
            if (!parameterValue(stmt, i, row, &value) || !statement.setParameter(i, value)) {
                setParamStatus(stmt, row, SQL_PARAM_ERROR);
                return SQL_ERROR;
            }
        }
        stmt.busy = true;
        const bool ok = statement.execute();
        stmt.busy = false;
        if (stmt.attributes.paramsProcessed != nullptr)
            *stmt.attributes.paramsProcessed = row + 1;
        if (!ok) {
            setParamStatus(stmt, row, SQL_PARAM_ERROR);
            return SQL_ERROR;
        }
        setParamStatus(stmt, row, SQL_PARAM_SUCCESS);
        if (!statement.isQuery())
            changed += statement.rowCount();
    }
    if (statement.isQuery()) {
        stmt.result = std::make_unique<EngineResult>(statement, stmt.preparedColumns);
        stmt.state = Stmt::State::Open;
        stmt.rowNumber = 0;
        stmt.onRow = false;
        return SQL_SUCCESS;
    }
    stmt.state = Stmt::State::Executed;
    stmt.rowCount = changed;
    stmt.diagnosticRowCount = changed;
    if (!stmt.dbc.autocommit)
        stmt.dbc.pendingChanges = true;
    return SQL_SUCCESS;
}

bool isSupportedSqlType(SQLSMALLINT t) {
    switch (t) {
    case SQL_CHAR:
    case SQL_VARCHAR:
    case SQL_LONGVARCHAR:
    case SQL_WCHAR:
    case SQL_WVARCHAR:
    case SQL_WLONGVARCHAR:
    case SQL_BIT:
    case SQL_TINYINT:
    case SQL_SMALLINT:
    case SQL_INTEGER:
    case SQL_BIGINT:
    case SQL_REAL:
    case SQL_FLOAT:
    case SQL_DOUBLE:
    case SQL_NUMERIC:
    case SQL_DECIMAL:
    case SQL_TYPE_DATE:
    case SQL_TYPE_TIME:
    case SQL_TYPE_TIMESTAMP:
    case SQL_DATE:
    case SQL_TIME:
    case SQL_TIMESTAMP:
    case SQL_BINARY:
    case SQL_VARBINARY:
    case SQL_LONGVARBINARY: return true;
    default: return false;
    }
}

SQLRETURN bindParameter(Stmt &stmt, SQLUSMALLINT number, const Parameter &given) {
    if (number == 0)
        return fail(OdbcError::DescriptorIndex, "Parameters are numbered from 1.");
    if (given.ioType != SQL_PARAM_INPUT)
        return fail(OdbcError::NotImplemented, "Only input parameters are supported.");
    if (given.cType != SQL_C_DEFAULT && !isKnownCType(given.cType))
        return fail(OdbcError::BufferType, "The parameter's C type is not supported.");
    if (!isSupportedSqlType(given.sqlType))
        return fail(OdbcError::SqlType, "The parameter's SQL type is not supported.");
    if (given.data == nullptr && given.length == nullptr)
        return fail(OdbcError::NullPointer, "A parameter needs a buffer or an indicator.");
    if (stmt.parameters.size() <= number)
        stmt.parameters.resize(number + 1u);
    stmt.parameters[number] = given;
    stmt.parameters[number].bound = true;
    return SQL_SUCCESS;
}

SQLULEN numberOf(SQLPOINTER value) { return static_cast<SQLULEN>(reinterpret_cast<uintptr_t>(value)); }

SQLRETURN changed(const char *text) {
    report(OdbcError::ValueChanged, text);
    return SQL_SUCCESS;
}

SQLRETURN setStmtAttr(Stmt &stmt, SQLINTEGER attribute, SQLPOINTER value) {
    StmtAttributes &a = stmt.attributes;
    const SQLULEN number = numberOf(value);
    switch (attribute) {
    case SQL_ATTR_ROW_ARRAY_SIZE:
    case SQL_ROWSET_SIZE:
        if (number == 0)
            return fail(OdbcError::AttributeValue, "The row array size is at least 1.");
        a.rowArraySize = number;
        return SQL_SUCCESS;
    case SQL_ATTR_ROW_BIND_TYPE: a.rowBindType = number; return SQL_SUCCESS;
    case SQL_ATTR_ROW_BIND_OFFSET_PTR: a.rowBindOffset = static_cast<SQLULEN *>(value); return SQL_SUCCESS;
    case SQL_ATTR_ROWS_FETCHED_PTR: a.rowsFetched = static_cast<SQLULEN *>(value); return SQL_SUCCESS;
    case SQL_ATTR_ROW_STATUS_PTR: a.rowStatus = static_cast<SQLUSMALLINT *>(value); return SQL_SUCCESS;
    case SQL_ATTR_PARAMSET_SIZE:
        if (number == 0)
            return fail(OdbcError::AttributeValue, "The parameter set size is at least 1.");
        a.paramsetSize = number;
        return SQL_SUCCESS;
    case SQL_ATTR_PARAM_BIND_TYPE: a.paramBindType = number; return SQL_SUCCESS;
    case SQL_ATTR_PARAM_BIND_OFFSET_PTR: a.paramBindOffset = static_cast<SQLULEN *>(value); return SQL_SUCCESS;
    case SQL_ATTR_PARAMS_PROCESSED_PTR: a.paramsProcessed = static_cast<SQLULEN *>(value); return SQL_SUCCESS;
    case SQL_ATTR_PARAM_STATUS_PTR: a.paramStatus = static_cast<SQLUSMALLINT *>(value); return SQL_SUCCESS;
    case SQL_ATTR_MAX_ROWS: a.maxRows = number; return SQL_SUCCESS;
    case SQL_ATTR_MAX_LENGTH:
        return number == 0 ? SQL_SUCCESS : changed("Values are returned whole (no maximum length).");
    case SQL_ATTR_QUERY_TIMEOUT:
        return number == 0 ? SQL_SUCCESS : changed("Statements run without a time limit (SQLCancel stops them).");
    case SQL_ATTR_NOSCAN: a.noScan = number; return SQL_SUCCESS;
    case SQL_ATTR_METADATA_ID: a.metadataId = number == SQL_TRUE ? SQL_TRUE : SQL_FALSE; return SQL_SUCCESS;
    case SQL_ATTR_CURSOR_TYPE:
        return number == SQL_CURSOR_FORWARD_ONLY ? SQL_SUCCESS : changed("Cursors are forward-only.");
    case SQL_ATTR_CONCURRENCY: return number == SQL_CONCUR_READ_ONLY ? SQL_SUCCESS : changed("Cursors are read-only.");
    case SQL_ATTR_KEYSET_SIZE: return number == 0 ? SQL_SUCCESS : changed("Cursors have no keyset.");
    case SQL_ATTR_SIMULATE_CURSOR: return SQL_SUCCESS; // no positioned updates to simulate
    case SQL_ATTR_CURSOR_SCROLLABLE:
        return number == SQL_NONSCROLLABLE ? SQL_SUCCESS : fail(OdbcError::NotImplemented, "Cursors are forward-only.");
    case SQL_ATTR_CURSOR_SENSITIVITY:
        return number != SQL_SENSITIVE ? SQL_SUCCESS
                                       : fail(OdbcError::NotImplemented, "Cursors do not see later changes.");
    case SQL_ATTR_RETRIEVE_DATA:
        return number == SQL_RD_ON ? SQL_SUCCESS : fail(OdbcError::NotImplemented, "Fetching always retrieves data.");
    case SQL_ATTR_USE_BOOKMARKS:
        return number == SQL_UB_OFF ? SQL_SUCCESS : fail(OdbcError::NotImplemented, "Bookmarks are not supported.");
    case SQL_ATTR_ASYNC_ENABLE:
        return number == SQL_ASYNC_ENABLE_OFF ? SQL_SUCCESS
                                              : fail(OdbcError::NotImplemented, "Calls are not run asynchronously.");
    case SQL_ATTR_ENABLE_AUTO_IPD:
        return number == SQL_FALSE ? SQL_SUCCESS
                                   : fail(OdbcError::NotImplemented, "Parameters are not described automatically.");
    case SQL_ATTR_APP_ROW_DESC:
    case SQL_ATTR_APP_PARAM_DESC:
        if (value == SQL_NULL_HDESC || value == &stmt.rowApp || value == &stmt.paramApp)
            return SQL_SUCCESS;
        return fail(OdbcError::AttributeValue, "Only the statement's own descriptors can be used.");
    case SQL_ATTR_IMP_ROW_DESC:
    case SQL_ATTR_IMP_PARAM_DESC:
        return fail(OdbcError::ImplicitDescriptor, "Implementation descriptors cannot be replaced.");
    default: return fail(OdbcError::AttributeUnknown, "Unknown or read-only statement attribute.");
    }
}

SQLRETURN getStmtAttr(Stmt &stmt, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER *length) {
    const StmtAttributes &a = stmt.attributes;
    SQLULEN number = 0;
    const void *pointer = nullptr;
    bool isPointer = false;
    switch (attribute) {
    case SQL_ATTR_ROW_ARRAY_SIZE:
    case SQL_ROWSET_SIZE: number = a.rowArraySize; break;
    case SQL_ATTR_ROW_BIND_TYPE: number = a.rowBindType; break;
    case SQL_ATTR_PARAMSET_SIZE: number = a.paramsetSize; break;
    case SQL_ATTR_PARAM_BIND_TYPE: number = a.paramBindType; break;
    case SQL_ATTR_MAX_ROWS: number = a.maxRows; break;
    case SQL_ATTR_MAX_LENGTH: number = 0; break;
    case SQL_ATTR_QUERY_TIMEOUT: number = 0; break;
    case SQL_ATTR_NOSCAN: number = a.noScan; break;
    case SQL_ATTR_METADATA_ID: number = a.metadataId; break;
    case SQL_ATTR_CURSOR_TYPE: number = SQL_CURSOR_FORWARD_ONLY; break;
    case SQL_ATTR_CONCURRENCY: number = SQL_CONCUR_READ_ONLY; break;
    case SQL_ATTR_CURSOR_SCROLLABLE: number = SQL_NONSCROLLABLE; break;
    case SQL_ATTR_CURSOR_SENSITIVITY: number = SQL_INSENSITIVE; break;
    case SQL_ATTR_RETRIEVE_DATA: number = SQL_RD_ON; break;
    case SQL_ATTR_USE_BOOKMARKS: number = SQL_UB_OFF; break;
    case SQL_ATTR_ASYNC_ENABLE: number = SQL_ASYNC_ENABLE_OFF; break;
    case SQL_ATTR_ENABLE_AUTO_IPD: number = SQL_FALSE; break;
    case SQL_ATTR_KEYSET_SIZE: number = 0; break;
    case SQL_ATTR_SIMULATE_CURSOR: number = SQL_SC_UNIQUE; break;
    case SQL_ATTR_ROW_NUMBER: number = stmt.onRow ? stmt.rowNumber : 0; break;
    case SQL_ATTR_ROW_BIND_OFFSET_PTR: isPointer = true, pointer = a.rowBindOffset; break;
    case SQL_ATTR_ROWS_FETCHED_PTR: isPointer = true, pointer = a.rowsFetched; break;
    case SQL_ATTR_ROW_STATUS_PTR: isPointer = true, pointer = a.rowStatus; break;
    case SQL_ATTR_PARAM_BIND_OFFSET_PTR: isPointer = true, pointer = a.paramBindOffset; break;
    case SQL_ATTR_PARAMS_PROCESSED_PTR: isPointer = true, pointer = a.paramsProcessed; break;
    case SQL_ATTR_PARAM_STATUS_PTR: isPointer = true, pointer = a.paramStatus; break;
    case SQL_ATTR_APP_ROW_DESC: isPointer = true, pointer = &stmt.rowApp; break;
    case SQL_ATTR_APP_PARAM_DESC: isPointer = true, pointer = &stmt.paramApp; break;
    case SQL_ATTR_IMP_ROW_DESC: isPointer = true, pointer = &stmt.rowImpl; break;
    case SQL_ATTR_IMP_PARAM_DESC: isPointer = true, pointer = &stmt.paramImpl; break;
    default: return fail(OdbcError::AttributeUnknown, "Unknown statement attribute.");
    }
    if (value != nullptr) {
        if (isPointer)
            *static_cast<const void **>(value) = pointer;
        else
            *static_cast<SQLULEN *>(value) = number;
    }
    if (length != nullptr)
        *length = isPointer ? sizeof(SQLPOINTER) : sizeof(SQLULEN);
    return SQL_SUCCESS;
}

SQLRETURN freeStmt(Stmt &stmt, SQLUSMALLINT option) {
    switch (option) {
    case SQL_CLOSE: stmt.closeCursor(); return SQL_SUCCESS;
    case SQL_UNBIND: stmt.columnBindings.assign(1, Binding{}); return SQL_SUCCESS;
    case SQL_RESET_PARAMS: stmt.parameters.assign(1, Parameter{}); return SQL_SUCCESS;
    default:
        return fail(OdbcError::AttributeUnknown, "The option is none of SQL_CLOSE, SQL_DROP, SQL_UNBIND and "
                                                 "SQL_RESET_PARAMS.");
    }
}

} // namespace

void Stmt::closeCursor() {
    if (result != nullptr && statement != nullptr && state == State::Open)
        statement->closeCursor();
    result.reset();
    row.clear();
    onRow = false;
    readOffset.clear();
    if (state == State::Open || state == State::Executed)
        state = statement != nullptr ? State::Prepared : State::Allocated;
}

void Stmt::unprepare() {
    closeCursor();
    std::lock_guard<std::mutex> lock(cancelMutex);
    statement.reset();
    preparedColumns.clear();
    state = State::Allocated;
    rowCount = -1;
}

const std::vector<Column> &Stmt::columns() const { return result != nullptr ? result->columns() : preparedColumns; }

// Opens a result the driver made (catalog calls): what was prepared is dropped.
void openList(Stmt &stmt, std::unique_ptr<ListResult> list) {
    stmt.unprepare();
    stmt.result = std::move(list);
    stmt.state = Stmt::State::Open;
    stmt.rowNumber = 0;
    stmt.onRow = false;
    stmt.rowCount = -1;
}

SQLRETURN prepareEntry(SQLHSTMT handle, const std::string &sql) {
    return call(asStmt(handle), "SQLPrepare", [&](Stmt &stmt, CallScope &scope) {
        scope.traceDetail(sql);
        return prepare(stmt, sql);
    });
}

SQLRETURN execDirectEntry(SQLHSTMT handle, const std::string &sql) {
    return call(asStmt(handle), "SQLExecDirect", [&](Stmt &stmt, CallScope &scope) {
        scope.traceDetail(sql);
        const SQLRETURN rc = prepare(stmt, sql);
        return rc == SQL_ERROR ? rc : execute(stmt);
    });
}

SQLRETURN nativeSqlEntry(SQLHDBC handle, const std::string &sql, void *out, SQLINTEGER capacity, SQLINTEGER *length,
                         TextKind kind) {
    return call(asDbc(handle), "SQLNativeSql", [&](Dbc &, CallScope &) {
        if (capacity < 0)
            return fail(OdbcError::BufferLength, "The buffer length is negative.");
        bool truncated = false;
        const SQLLEN full = putText(sql, kind, out, capacity, false, &truncated); // escapes are the engine's
        if (length != nullptr)
            *length = static_cast<SQLINTEGER>(full);
        if (truncated)
            report(OdbcError::Truncated, "The statement text did not fit.");
        return SQLRETURN(SQL_SUCCESS);
    });
}

SQLRETURN getStmtAttrEntry(SQLHSTMT handle, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER capacity,
                           SQLINTEGER *length) {
    (void)capacity; // statement attributes are numbers and pointers
    return call(asStmt(handle), "SQLGetStmtAttr",
                [&](Stmt &stmt, CallScope &) { return getStmtAttr(stmt, attribute, value, length); });
}

SQLRETURN setStmtAttrEntry(SQLHSTMT handle, SQLINTEGER attribute, SQLPOINTER value) {
    return call(asStmt(handle), "SQLSetStmtAttr",
                [&](Stmt &stmt, CallScope &) { return setStmtAttr(stmt, attribute, value); });
}

} // namespace zotext::odbc

using namespace zotext::odbc;

extern "C" {

SQLRETURN SQL_API SQLPrepare(SQLHSTMT StatementHandle, SQLCHAR *StatementText, SQLINTEGER TextLength) {
    return prepareEntry(StatementHandle, fromAnsi(StatementText, TextLength));
}

SQLRETURN SQL_API SQLExecDirect(SQLHSTMT StatementHandle, SQLCHAR *StatementText, SQLINTEGER TextLength) {
    return execDirectEntry(StatementHandle, fromAnsi(StatementText, TextLength));
}

SQLRETURN SQL_API SQLExecute(SQLHSTMT StatementHandle) {
    return call(asStmt(StatementHandle), "SQLExecute", [](Stmt &stmt, CallScope &) { return execute(stmt); });
}

SQLRETURN SQL_API SQLNumParams(SQLHSTMT StatementHandle, SQLSMALLINT *ParameterCountPtr) {
    return call(asStmt(StatementHandle), "SQLNumParams", [&](Stmt &stmt, CallScope &) {
        if (stmt.statement == nullptr)
            return fail(OdbcError::Sequence, "No statement is prepared.");
        if (ParameterCountPtr != nullptr)
            *ParameterCountPtr = static_cast<SQLSMALLINT>(stmt.statement->parameterCount());
        return SQLRETURN(SQL_SUCCESS);
    });
}

SQLRETURN SQL_API SQLBindParameter(SQLHSTMT StatementHandle, SQLUSMALLINT ParameterNumber, SQLSMALLINT InputOutputType,
                                   SQLSMALLINT ValueType, SQLSMALLINT ParameterType, SQLULEN ColumnSize,
                                   SQLSMALLINT DecimalDigits, SQLPOINTER ParameterValuePtr, SQLLEN BufferLength,
                                   SQLLEN *StrLen_or_IndPtr) {
    Parameter p;
    p.ioType = InputOutputType;
    p.cType = ValueType;
    p.sqlType = ParameterType;
    p.columnSize = ColumnSize;
    p.digits = DecimalDigits;
    p.data = ParameterValuePtr;
    p.bufferLength = BufferLength;
    p.length = p.indicator = StrLen_or_IndPtr;
    return call(asStmt(StatementHandle), "SQLBindParameter",
                [&](Stmt &stmt, CallScope &) { return bindParameter(stmt, ParameterNumber, p); });
}

SQLRETURN SQL_API SQLRowCount(SQLHSTMT StatementHandle, SQLLEN *RowCount) {
    return call(asStmt(StatementHandle), "SQLRowCount", [&](Stmt &stmt, CallScope &) {
        if (stmt.state != Stmt::State::Executed && stmt.state != Stmt::State::Open)
            return fail(OdbcError::Sequence, "The statement has not been executed.");
        if (RowCount != nullptr)
            *RowCount = static_cast<SQLLEN>(stmt.rowCount);
        return SQLRETURN(SQL_SUCCESS);
    });
}

SQLRETURN SQL_API SQLMoreResults(SQLHSTMT StatementHandle) {
    return call(asStmt(StatementHandle), "SQLMoreResults", [](Stmt &stmt, CallScope &) {
        stmt.closeCursor(); // every statement has one result
        return SQLRETURN(SQL_NO_DATA);
    });
}

SQLRETURN SQL_API SQLCloseCursor(SQLHSTMT StatementHandle) {
    return call(asStmt(StatementHandle), "SQLCloseCursor", [](Stmt &stmt, CallScope &) {
        if (stmt.state != Stmt::State::Open)
            return fail(OdbcError::CursorState, "No cursor is open.");
        stmt.closeCursor();
        return SQLRETURN(SQL_SUCCESS);
    });
}

SQLRETURN SQL_API SQLFreeStmt(SQLHSTMT StatementHandle, SQLUSMALLINT Option) {
    if (Option == SQL_DROP)
        return freeStatement(asStmt(StatementHandle));
    return call(asStmt(StatementHandle), "SQLFreeStmt",
                [&](Stmt &stmt, CallScope &) { return freeStmt(stmt, Option); });
}

// Does not wait for the connection: it asks an execute or fetch running on another thread
// to stop, which then fails with HY008. With nothing running it does nothing.
SQLRETURN SQL_API SQLCancel(SQLHSTMT StatementHandle) {
    Stmt *stmt = asStmt(StatementHandle);
    if (stmt == nullptr)
        return SQL_INVALID_HANDLE;
    std::lock_guard<std::mutex> lock(stmt->cancelMutex);
    if (stmt->busy && stmt->statement != nullptr)
        stmt->statement->cancel();
    return SQL_SUCCESS;
}

SQLRETURN SQL_API SQLNativeSql(SQLHDBC ConnectionHandle, SQLCHAR *InStatementText, SQLINTEGER TextLength1,
                               SQLCHAR *OutStatementText, SQLINTEGER BufferLength, SQLINTEGER *TextLength2Ptr) {
    return nativeSqlEntry(ConnectionHandle, fromAnsi(InStatementText, TextLength1), OutStatementText, BufferLength,
                          TextLength2Ptr, TextKind::Ansi);
}

SQLRETURN SQL_API SQLGetStmtAttr(SQLHSTMT StatementHandle, SQLINTEGER Attribute, SQLPOINTER Value,
                                 SQLINTEGER BufferLength, SQLINTEGER *StringLength) {
    return getStmtAttrEntry(StatementHandle, Attribute, Value, BufferLength, StringLength);
}

SQLRETURN SQL_API SQLSetStmtAttr(SQLHSTMT StatementHandle, SQLINTEGER Attribute, SQLPOINTER Value,
                                 SQLINTEGER StringLength) {
    (void)StringLength; // statement attributes are numbers and pointers
    return setStmtAttrEntry(StatementHandle, Attribute, Value);
}

} // extern "C"
