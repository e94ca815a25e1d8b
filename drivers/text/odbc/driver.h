// The ODBC layer of the text driver: handles, their diagnostics, the descriptions of result
// columns and the bindings of application buffers. The entry points (SQL... functions) live
// in the other files of this folder; each one checks its handle, enters a CallScope (the
// handle's error list becomes the thread's current list, the thread's text is UTF-8) and
// leaves it with the return code, so the engine and the library report straight into the
// handle's diagnostics.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <zo/zoerror.h>

#include "engine/engine.h"
#include "odbc/trace.h"

namespace zotext::odbc {

// Numbers of the errors the ODBC layer records. The engine's numbers (EngineError) are
// below 100 and the library's messages start at 1501, so one number tells the SQLSTATE.
enum class OdbcError : uint16_t {
    General = 100,            // HY000 general error
    Sequence = 101,           // HY010 function sequence error
    CursorState = 102,        // 24000 invalid cursor state
    DescriptorIndex = 103,    // 07009 invalid descriptor index (column or parameter number)
    RestrictedType = 104,     // 07006 restricted data type attribute violation
    BufferType = 105,         // HY003 invalid application buffer type
    SqlType = 106,            // HY004 invalid SQL data type
    NumericRange = 107,       // 22003 numeric value out of range
    IndicatorRequired = 108,  // 22002 indicator variable required but not supplied
    Truncated = 109,          // 01004 string data, right truncated (a warning)
    FractionTruncated = 110,  // 01S07 fractional truncation (a warning)
    AttributeUnknown = 111,   // HY092 invalid attribute/option identifier
    ValueChanged = 112,       // 01S02 option value changed (a warning)
    AttributeValue = 113,     // HY024 invalid attribute value
    NotImplemented = 114,     // HYC00 optional feature not implemented
    BufferLength = 115,       // HY090 invalid string or buffer length
    InfoType = 116,           // HY096 information type out of range
    NoDataSource = 117,       // IM002 data source name not found
    ConnectFailed = 118,      // 08001 client unable to establish connection
    ConnectionInUse = 119,    // 08002 connection name in use
    NotConnected = 120,       // 08003 connection not open
    NullPointer = 121,        // HY009 invalid use of null pointer
    FetchOrientation = 122,   // HY106 fetch type out of range
    TransactionState = 123,   // 25000 invalid transaction state
    TransactionCode = 124,    // HY012 invalid transaction operation code
    DescriptorReadOnly = 125, // HY016 cannot modify an implementation row descriptor
    DescriptorField = 126,    // HY091 invalid descriptor field identifier
    ParameterType = 127,      // HY105 invalid parameter type
    InvalidPrecision = 128,   // HY104 invalid precision or scale value
    ImplicitDescriptor = 129, // HY017 invalid use of an automatically allocated descriptor handle
    Warning = 130,            // 01000 general warning
};

// The SQLSTATE of an error number (engine, ODBC layer or library).
const char *sqlState(uint16_t number);
// Records an error of the ODBC layer (a warning when its SQLSTATE is of class 01) in the
// thread's current list, with the driver's prefix before the text.
void report(OdbcError number, const std::string &text);
void report(EngineError number, const std::string &text);
// The prefix of every message text the driver makes.
constexpr const char *kMessagePrefix = "[zo][ZoText]";

// A column of a result as ODBC describes it.
struct Column {
    ColumnInfo info;
    SQLSMALLINT sqlType = SQL_WVARCHAR; // concise type
    SQLULEN size = 0;                   // column size (characters, digits, or the text's length)
    SQLSMALLINT digits = 0;
    SQLLEN displaySize = 0;
    SQLLEN octetLength = 0;
    const char *typeName = "VARCHAR";
};
// How a column of the engine is shown: text as wide characters (so clients read Unicode
// through SQL_C_WCHAR), integers as 64-bit, dates and times as their ODBC 3 types.
Column describeColumn(const ColumnInfo &info);
// The same for a catalog column of a fixed SQL type (SQL_SMALLINT, SQL_INTEGER, text).
Column catalogColumn(const char *name, SQLSMALLINT sqlType);

// The fields of a column's description that SQLColAttribute and the row descriptor give:
// a number (false when the field is not one) or a text (false when it is not one).
bool columnNumber(const Column &column, SQLUSMALLINT field, SQLLEN *out);
bool columnText(const Column &column, SQLUSMALLINT field, std::string *out);

// Rows of a result: an engine query or a list the driver makes itself (catalog calls).
class Result {
public:
    virtual ~Result() = default;
    virtual const std::vector<Column> &columns() const = 0;
    // The next row; false at the end, or on failure with the error recorded (failed()).
    virtual bool next(std::vector<Value> *row) = 0;
    virtual bool failed() const = 0;
};
// A result held in memory.
class ListResult : public Result {
public:
    explicit ListResult(std::vector<Column> columns) : columns_(std::move(columns)) {}
    const std::vector<Column> &columns() const override { return columns_; }
    bool next(std::vector<Value> *row) override;
    bool failed() const override { return false; }
    std::vector<std::vector<Value>> rows;

private:
    std::vector<Column> columns_;
    size_t cursor_ = 0;
};

// An application buffer bound to a column or a parameter.
struct Binding {
    SQLSMALLINT cType = SQL_C_DEFAULT;
    SQLPOINTER data = nullptr;
    SQLLEN bufferLength = 0;
    SQLLEN *length = nullptr;    // octet length (and, unless separate, the indicator)
    SQLLEN *indicator = nullptr; // NULL indicator
    bool bound = false;
};
struct Parameter : Binding {
    SQLSMALLINT ioType = SQL_PARAM_INPUT;
    SQLSMALLINT sqlType = SQL_VARCHAR;
    SQLULEN columnSize = 0;
    SQLSMALLINT digits = 0;
};

// Handle kinds, stored first in every handle so that a wrong or stale pointer is refused.
enum class Kind : uint32_t { Env = 0x7a6f4501, Dbc = 0x7a6f4402, Stmt = 0x7a6f5303, Desc = 0x7a6f4404, Dead = 0 };

struct Handle {
    explicit Handle(Kind kind) : kind(kind) {}
    virtual ~Handle() { kind = Kind::Dead; }
    Handle(const Handle &) = delete;
    Handle &operator=(const Handle &) = delete;

    // Removes every diagnostic record (done on entry to every function but the diagnostic
    // ones).
    void clearDiagnostics();
    // Number of diagnostic records, and record i (0-based): an error of the list, or the
    // memory error when one is pending (after the others).
    uint32_t diagnosticCount();
    ZoError *diagnostic(uint32_t index);

    Kind kind;
    ZoErrorList errors{this, ZoErrorList::KeepAll};
    SQLRETURN lastReturn = SQL_SUCCESS;
    int64_t diagnosticRowCount = 0; // SQL_DIAG_ROW_COUNT: rows changed by the last execution
};

struct Dbc;
struct Stmt;

struct Env : Handle {
    Env();
    ~Env() override;
    SQLINTEGER odbcVersion = SQL_OV_ODBC3;
    SQLUINTEGER pooling = SQL_CP_OFF;
    SQLUINTEGER poolMatch = SQL_CP_STRICT_MATCH;
    std::recursive_mutex callMutex; // one call at a time on the environment (its error list)
    std::mutex mutex;               // guards connections
    std::vector<Dbc *> connections;
};

// Settings of a connection, from the data source and the connection string.
struct ConnectSettings {
    std::string dsn;
    std::string driver;
    ConnectOptions options;
    bool trace = false;
    std::string traceFile;
};

struct Dbc : Handle {
    explicit Dbc(Env &env) : Handle(Kind::Dbc), env(env) {}
    ~Dbc() override;
    Env &env;
    // One call at a time on the connection and its statements (the engine's database is
    // used by one thread at a time); SQLCancel does not take it.
    std::recursive_mutex mutex;
    std::unique_ptr<Database> database;
    ConnectSettings settings;
    std::vector<Stmt *> statements;
    Trace trace;
    bool autocommit = true;
    bool pendingChanges = false; // autocommit off, and a change was made since the last end
    bool readOnly = false;
    SQLUINTEGER loginTimeout = 0;
    SQLUINTEGER connectionTimeout = 0;
    SQLUINTEGER metadataId = SQL_FALSE;
    bool connected() const { return database != nullptr; }
};

// The four descriptors of a statement. They are views of the statement's own state (its
// bindings and its columns), so that an application reading them sees what SQLBindCol,
// SQLBindParameter and SQLDescribeCol see.
struct Desc : Handle {
    enum class Role : uint8_t { RowApp, ParamApp, RowImpl, ParamImpl };
    Desc(Stmt &stmt, Role role) : Handle(Kind::Desc), stmt(stmt), role(role) {}
    Stmt &stmt;
    Role role;
};

struct StmtAttributes {
    SQLULEN rowArraySize = 1;
    SQLULEN rowBindType = SQL_BIND_BY_COLUMN;
    SQLULEN *rowBindOffset = nullptr;
    SQLULEN *rowsFetched = nullptr;
    SQLUSMALLINT *rowStatus = nullptr;
    SQLULEN paramsetSize = 1;
    SQLULEN paramBindType = SQL_PARAM_BIND_BY_COLUMN;
    SQLULEN *paramBindOffset = nullptr;
    SQLULEN *paramsProcessed = nullptr;
    SQLUSMALLINT *paramStatus = nullptr;
    SQLULEN maxRows = 0;
    SQLULEN noScan = SQL_NOSCAN_OFF;
    SQLULEN metadataId = SQL_FALSE;
};

struct Stmt : Handle {
    explicit Stmt(Dbc &dbc);
    ~Stmt() override;
    enum class State : uint8_t { Allocated, Prepared, Executed, Open };

    // Drops the open result (the prepared statement stays).
    void closeCursor();
    // Drops the prepared statement and its result.
    void unprepare();
    // The columns of the result there is or will be (after prepare), or none.
    const std::vector<Column> &columns() const;

    Dbc &dbc;
    State state = State::Allocated;
    std::unique_ptr<Statement> statement;
    std::unique_ptr<Result> result;      // open result: the engine statement or a catalog list
    std::vector<Column> preparedColumns; // columns known from prepare
    std::vector<Value> row;              // the current row
    bool onRow = false;
    uint64_t rowNumber = 0;         // rows fetched from the open result
    std::vector<SQLLEN> readOffset; // per column: bytes SQLGetData has returned (see fetch.cpp)
    std::string pieceText;          // the encoded value SQLGetData is returning in pieces
    SQLUSMALLINT pieceColumn = 0;   // its column (0: none)
    SQLSMALLINT pieceType = 0;      // and the C type it is encoded for
    int64_t rowCount = -1;
    std::vector<Binding> columnBindings; // [0] is the bookmark column, unused
    std::vector<Parameter> parameters;   // [0] unused
    StmtAttributes attributes;
    std::atomic<bool> busy{false}; // an execute or fetch is running (SQLCancel may stop it)
    std::mutex cancelMutex;        // SQLCancel reaches the statement while it is not replaced
    Desc rowApp{*this, Desc::Role::RowApp};
    Desc paramApp{*this, Desc::Role::ParamApp};
    Desc rowImpl{*this, Desc::Role::RowImpl};
    Desc paramImpl{*this, Desc::Role::ParamImpl};
};

// Opens a result the driver made (catalog calls); what was prepared is dropped.
void openList(Stmt &stmt, std::unique_ptr<ListResult> list);

// Checked conversions of the driver manager's handles.
Env *asEnv(SQLHANDLE handle);
Dbc *asDbc(SQLHANDLE handle);
Stmt *asStmt(SQLHANDLE handle);
Desc *asDesc(SQLHANDLE handle);

// The frame of one ODBC call on a handle: it takes the connection's lock, clears the
// handle's diagnostics (unless told not to), makes the handle's error list the thread's
// current list and the thread's text UTF-8, and on finish turns the outcome into the return
// code, tracing the call when the connection traces.
class CallScope {
public:
    CallScope(Handle &handle, const char *function, bool clearDiagnostics = true);
    ~CallScope();
    CallScope(const CallScope &) = delete;
    CallScope &operator=(const CallScope &) = delete;

    // SQL_SUCCESS becomes SQL_SUCCESS_WITH_INFO when warnings were recorded; SQL_ERROR
    // without a record gets a general one.
    SQLRETURN finish(SQLRETURN rc);
    // Adds a detail to the trace line (arguments worth seeing).
    void traceDetail(const std::string &text) { detail_ = text; }

private:
    Handle &handle_;
    const char *function_;
    Dbc *dbc_;
    std::unique_lock<std::recursive_mutex> lock_;
    void *previousCharMode_;
    std::string detail_;
};

// Runs body(handle) inside a CallScope for a handle of type H; an invalid handle gives
// SQL_INVALID_HANDLE, a thrown std::bad_alloc the memory error.
SQLRETURN recordException();
template <class H, class F>
SQLRETURN call(H *handle, const char *function, F &&body, bool clearDiagnostics = true) {
    if (handle == nullptr)
        return SQL_INVALID_HANDLE;
    CallScope scope(*handle, function, clearDiagnostics);
    SQLRETURN rc;
    try {
        rc = body(*handle, scope);
    } catch (...) {
        rc = recordException();
    }
    return scope.finish(rc);
}

// Returns SQL_ERROR after recording the error.
SQLRETURN fail(OdbcError number, const std::string &text);
SQLRETURN fail(EngineError number, const std::string &text);

} // namespace zotext::odbc
