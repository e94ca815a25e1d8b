// The text driver's engine: SQL over a directory of delimited text files, with no ODBC in
// sight. The ODBC layer (drivers/text/odbc) turns handles and calls into these objects;
// the engine reports problems into the calling thread's current ZoErrorList (the handle's
// list, installed by the ODBC layer on entry) with addDatabaseError(code, 0, text), where
// code is an EngineError and sqlStateOf(code) gives its SQLSTATE. When memory is so short
// that not even that record can be made, the list holds the library's memory error
// (ZoMemoryErrorNumber, HY001) instead.
//
// Text inside the engine is UTF-8 (Charset=ANSI files are converted from and to the
// process's code page at the file boundary); comparisons of text are by bytes, as SQLite's
// BINARY collation, so results compare with SQLite's.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace zotext {

// Driver error codes: the numbers of the errors the engine records, each with its SQLSTATE.
enum class EngineError : uint16_t {
    Syntax = 1,            // 42000 syntax error or access violation
    NoTable = 2,           // 42S02 base table or view not found
    NoColumn = 3,          // 42S22 column not found
    TableExists = 4,       // 42S01 base table or view already exists
    BadNumber = 5,         // 22018 invalid character value for cast specification
    BadDateTime = 6,       // 22007 invalid datetime format
    DivisionByZero = 7,    // 22012 division by zero
    Truncated = 8,         // 22001 string data, right truncated
    WrongValueCount = 9,   // 21S01 insert value list does not match column list
    AmbiguousColumn = 10,  // 42000 (ambiguous column name)
    NotGrouped = 11,       // 42000 (column neither grouped nor aggregated)
    ParameterCount = 12,   // 07002 COUNT field incorrect (parameters not bound)
    NoDirectory = 13,      // 08001 client unable to establish connection (DBQ missing/unreadable)
    FileError = 14,        // HY000 general error (a table file cannot be read or written)
    BadTableFile = 15,     // HY000 general error (malformed table file: unterminated quote ...)
    Cancelled = 16,        // HY008 operation canceled
    OutOfMemory = 17,      // HY001 memory allocation error
    TypeConflict = 18,     // 22005 incompatible operand types
    UnknownFunction = 19,  // 42000 unknown scalar function
    UnknownAttribute = 20, // 01S00 invalid connection string attribute (a warning)
    NotSupported = 21,     // HYC00 optional feature not implemented (subqueries, a third table ...)
    Busy = 22,             // HYT00 timeout expired: another connection holds the table for its change
    IntegerOverflow = 23,  // 22003 numeric value out of range (SUM beyond 64 bits)
    BadEscape = 24,        // 22019 invalid escape character (LIKE ... ESCAPE of more than one character)
    NotInCodePage = 25     // 22021 character not in repertoire (text a Charset=ANSI table cannot hold)
};
const char *sqlStateOf(uint16_t code);

// Column types of a table (an optional typed header names them; VARCHAR otherwise).
enum class ColumnType : uint8_t { Integer, Double, Varchar, Date, Time, Timestamp };

// A value: NULL or one of the types. Dates and times are kept as text in ISO form
// ("2024-03-01", "13:45:00", "2024-03-01 13:45:00"), so they sort and compare as SQLite's.
struct Value {
    enum class Kind : uint8_t { Null, Integer, Double, Text, Date, Time, Timestamp } kind = Kind::Null;
    int64_t integer = 0;
    double real = 0;
    std::string text; // Text, Date, Time, Timestamp
};

struct ColumnInfo {
    std::string name;
    ColumnType type = ColumnType::Varchar;
    uint32_t size = 255; // characters for VARCHAR (declared or 255), display size otherwise
    int16_t decimalDigits = 0;
    bool nullable = true;
    std::string table; // the table the column comes from ("" for an expression)
};

enum class Charset : uint8_t { Ansi, Utf8 };

struct ConnectOptions {
    std::string directory; // DBQ, a host path or a Windows-form path
    char delimiter = ',';  // ',' ';' '|' or '\t'
    bool header = true;    // the first line names (and may type) the columns
    Charset charset = Charset::Ansi;
    // How long a change waits for a table another connection is changing (then Busy).
    uint32_t busyTimeoutMs = 5000;
};

class Statement;

// One connection: a directory of tables, and the transaction state. Not thread-safe: one
// thread at a time (ODBC serialises calls on a connection); several connections may work on
// the same directory at once from threads and processes. Statements refer to their
// connection: free them before it. Destroying a connection rolls back what is pending.
class Database {
public:
    // Fails (recording NoDirectory) when the directory is missing or unreadable.
    static std::unique_ptr<Database> open(const ConnectOptions &options);
    virtual ~Database() = default;

    // Autocommit on (the default): every change is put in place at once. Off: changes go to
    // pending copies of the tables this connection changes; it sees them, others do not.
    // Switching it on commits what is pending; false (autocommit stays off, the changes stay
    // pending) with an error recorded when that commit fails.
    virtual bool setAutocommit(bool on) = 0;
    virtual bool autocommit() const = 0;
    // Puts pending copies in place atomically (commit) or drops them. False with an error
    // recorded when it could not be done (nothing is reported done that was not).
    virtual bool endTransaction(bool commit) = 0;

    virtual std::unique_ptr<Statement> prepare(const std::string &sql) = 0; // null + error on failure

    // Catalog: table names (files NAME.csv), and a table's columns.
    virtual bool listTables(std::vector<std::string> *names) = 0;
    virtual bool describeTable(const std::string &table, std::vector<ColumnInfo> *columns) = 0;
};

// A prepared statement: parameters, execution, and for queries a result read row by row.
class Statement {
public:
    virtual ~Statement() = default;
    virtual uint16_t parameterCount() const = 0;
    // Parameter values by position (1-based); all must be set before execute.
    virtual bool setParameter(uint16_t position, const Value &value) = 0;
    // Runs it. For a query the result columns are known after prepare already, the rows
    // after execute. For INSERT/UPDATE/DELETE rowCount() tells the rows changed.
    virtual bool execute() = 0;
    virtual bool isQuery() const = 0;
    virtual const std::vector<ColumnInfo> &resultColumns() const = 0;
    // The next row into *row; false at the end (no error) or on failure (error recorded:
    // check the return of failed()).
    virtual bool fetch(std::vector<Value> *row) = 0;
    virtual bool failed() const = 0;
    virtual int64_t rowCount() const = 0;
    // Ends the result early; execute may be called again.
    virtual void closeCursor() = 0;
    // Asks a running execute/fetch on another thread to stop (Cancelled).
    virtual void cancel() = 0;
};

} // namespace zotext
