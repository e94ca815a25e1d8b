// Diagnostics: the frame of every call, the SQLSTATEs of error numbers, and
// SQLGetDiagRec / SQLGetDiagField over a handle's error list.
#include <cstdio>
#include <cstring>
#include <new>
#include <stdexcept>

#include <zo/pertask.h>

#include "odbc/driver.h"
#include "odbc/text.h"

namespace zotext::odbc {
namespace {

struct StateOf {
    OdbcError number;
    const char *state;
};
constexpr StateOf kStates[] = {
    {OdbcError::General, "HY000"},           {OdbcError::Sequence, "HY010"},
    {OdbcError::CursorState, "24000"},       {OdbcError::DescriptorIndex, "07009"},
    {OdbcError::RestrictedType, "07006"},    {OdbcError::BufferType, "HY003"},
    {OdbcError::SqlType, "HY004"},           {OdbcError::NumericRange, "22003"},
    {OdbcError::IndicatorRequired, "22002"}, {OdbcError::Truncated, "01004"},
    {OdbcError::FractionTruncated, "01S07"}, {OdbcError::AttributeUnknown, "HY092"},
    {OdbcError::ValueChanged, "01S02"},      {OdbcError::AttributeValue, "HY024"},
    {OdbcError::NotImplemented, "HYC00"},    {OdbcError::BufferLength, "HY090"},
    {OdbcError::InfoType, "HY096"},          {OdbcError::NoDataSource, "IM002"},
    {OdbcError::ConnectFailed, "08001"},     {OdbcError::ConnectionInUse, "08002"},
    {OdbcError::NotConnected, "08003"},      {OdbcError::NullPointer, "HY009"},
    {OdbcError::FetchOrientation, "HY106"},  {OdbcError::TransactionState, "25000"},
    {OdbcError::TransactionCode, "HY012"},   {OdbcError::DescriptorReadOnly, "HY016"},
    {OdbcError::DescriptorField, "HY091"},   {OdbcError::ParameterType, "HY105"},
    {OdbcError::InvalidPrecision, "HY104"},  {OdbcError::ImplicitDescriptor, "HY017"},
    {OdbcError::Warning, "01000"},
};

// Library messages that reach a handle: the memory error, and the attribute-string parser's
// syntax errors while a connection string is read.
constexpr uint16_t kMemoryError = ZoMemoryErrorNumber;
constexpr uint16_t kFirstAttributeError = 2704;
constexpr uint16_t kLastAttributeError = 2707;

void add(uint16_t number, const std::string &text) {
    const bool warning = std::strncmp(sqlState(number), "01", 2) == 0;
    (void)addDatabaseError(number, 0, reinterpret_cast<const unsigned char *>(text.c_str()),
                           warning ? ErrorTypeWarning : ErrorTypeError); // the record needs no parameters
}

const uint32_t kUtf8Mode = ZoCharModeUtf8;

const char *returnName(SQLRETURN rc) {
    switch (rc) {
    case SQL_SUCCESS: return "SQL_SUCCESS";
    case SQL_SUCCESS_WITH_INFO: return "SQL_SUCCESS_WITH_INFO";
    case SQL_ERROR: return "SQL_ERROR";
    case SQL_INVALID_HANDLE: return "SQL_INVALID_HANDLE";
    case SQL_NO_DATA: return "SQL_NO_DATA";
    case SQL_NEED_DATA: return "SQL_NEED_DATA";
    default: return "?";
    }
}

Dbc *connectionOf(Handle &handle) {
    switch (handle.kind) {
    case Kind::Dbc: return static_cast<Dbc *>(&handle);
    case Kind::Stmt: return &static_cast<Stmt &>(handle).dbc;
    case Kind::Desc: return &static_cast<Desc &>(handle).stmt.dbc;
    default: return nullptr;
    }
}

} // namespace

const char *sqlState(uint16_t number) {
    if (number < static_cast<uint16_t>(OdbcError::General))
        return sqlStateOf(number);
    for (const StateOf &entry : kStates)
        if (static_cast<uint16_t>(entry.number) == number)
            return entry.state;
    if (number == kMemoryError)
        return "HY001";
    if (number >= kFirstAttributeError && number <= kLastAttributeError)
        return "08001";
    return "HY000";
}

void report(OdbcError number, const std::string &text) { add(static_cast<uint16_t>(number), text); }
void report(EngineError number, const std::string &text) { add(static_cast<uint16_t>(number), text); }

SQLRETURN fail(OdbcError number, const std::string &text) {
    report(number, text);
    return SQL_ERROR;
}

SQLRETURN fail(EngineError number, const std::string &text) {
    report(number, text);
    return SQL_ERROR;
}

SQLRETURN recordException() {
    try {
        throw;
    } catch (const std::bad_alloc &) {
        ZoErrorKeeper::addMemoryError();
    } catch (const std::exception &e) {
        report(OdbcError::General, std::string("Internal failure: ") + e.what());
    } catch (...) {
        report(OdbcError::General, "Internal failure.");
    }
    return SQL_ERROR;
}

void Handle::clearDiagnostics() {
    while (ZoError *error = errors.removeLastError())
        if (!error->isStatic())
            delete error;
    diagnosticRowCount = 0;
}

uint32_t Handle::diagnosticCount() { return errors.getCount() + (errors.memoryErrorPending() ? 1 : 0); }

ZoError *Handle::diagnostic(uint32_t index) {
    if (index < errors.getCount())
        return static_cast<ZoError *>(errors.getNodeAtPos(index));
    if (index == errors.getCount() && errors.memoryErrorPending())
        return &errors.getMemoryError();
    return nullptr;
}

CallScope::CallScope(Handle &handle, const char *function, bool clearDiagnostics)
    : handle_(handle), function_(function), dbc_(connectionOf(handle)) {
    if (dbc_ != nullptr)
        lock_ = std::unique_lock<std::recursive_mutex>(dbc_->mutex);
    else if (handle.kind == Kind::Env)
        lock_ = std::unique_lock<std::recursive_mutex>(static_cast<Env &>(handle).callMutex);
    if (clearDiagnostics)
        handle_.clearDiagnostics();
    ZoErrorKeeper::setErrorList(&handle_.errors);
    previousCharMode_ = mdsGetPerThreadData(PerThreadCharMode);
    mdsSetPerThreadData(PerThreadCharMode, &kUtf8Mode);
}

CallScope::~CallScope() {
    mdsSetPerThreadData(PerThreadCharMode, previousCharMode_);
    ZoErrorKeeper::giveUpErrorList();
}

SQLRETURN CallScope::finish(SQLRETURN rc) {
    if (rc == SQL_ERROR && handle_.diagnosticCount() == 0)
        report(OdbcError::General, std::string(function_) + " failed.");
    if (rc == SQL_SUCCESS && handle_.diagnosticCount() != 0)
        rc = SQL_SUCCESS_WITH_INFO;
    handle_.lastReturn = rc;
    if (dbc_ != nullptr && dbc_->trace.active()) {
        char address[32];
        std::snprintf(address, sizeof address, "%p", static_cast<void *>(&handle_));
        std::string line = std::string(function_) + "(" + address + ")";
        if (!detail_.empty())
            line += " " + detail_;
        line += std::string(" = ") + returnName(rc);
        for (uint32_t i = 0; i < handle_.diagnosticCount(); ++i) {
            ZoError *error = handle_.diagnostic(i);
            line += std::string(" [") + sqlState(error->getErrorNumber()) + "] " +
                    reinterpret_cast<const char *>(error->getErrorText());
        }
        dbc_->trace.line(line);
    }
    return rc;
}

namespace {

Handle *diagnosticHandle(SQLSMALLINT type, SQLHANDLE handle) {
    switch (type) {
    case SQL_HANDLE_ENV: return asEnv(handle);
    case SQL_HANDLE_DBC: return asDbc(handle);
    case SQL_HANDLE_STMT: return asStmt(handle);
    case SQL_HANDLE_DESC: return asDesc(handle);
    default: return nullptr;
    }
}

// Holds the connection's lock while a handle's records are read, without clearing them.
struct DiagnosticRead {
    explicit DiagnosticRead(Handle &handle) {
        if (Dbc *dbc = connectionOf(handle))
            lock = std::unique_lock<std::recursive_mutex>(dbc->mutex);
        else if (handle.kind == Kind::Env)
            lock = std::unique_lock<std::recursive_mutex>(static_cast<Env &>(handle).callMutex);
    }
    std::unique_lock<std::recursive_mutex> lock;
};

std::string messageOf(ZoError &error) {
    return std::string(kMessagePrefix) + reinterpret_cast<const char *>(error.getErrorText());
}

// The native error: the one of the system below when there is one, else the number of the
// error (the engine's, the driver's or the library's), which tells it apart from the rest.
SQLINTEGER nativeOf(ZoError &error) {
    return error.getNativeError() != 0 ? error.getNativeError() : error.getErrorNumber();
}

bool isOdbcSubclass(const char *state) {
    return state[2] == 'S' || std::strncmp(state, "HY", 2) == 0 || std::strncmp(state, "IM", 2) == 0;
}

SQLRETURN putString(const std::string &text, TextKind kind, SQLPOINTER out, SQLSMALLINT capacity, bool inBytes,
                    SQLSMALLINT *length) {
    if (capacity < 0)
        return SQL_ERROR;
    bool truncated = false;
    const SQLLEN full = putText(text, kind, out, capacity, inBytes, &truncated);
    if (length != nullptr)
        *length = static_cast<SQLSMALLINT>(full > 0x7FFF ? 0x7FFF : full);
    return truncated ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS;
}

SQLRETURN getDiagRec(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT record, void *state, SQLINTEGER *native,
                     void *message, SQLSMALLINT capacity, SQLSMALLINT *length, TextKind kind) {
    Handle *h = diagnosticHandle(type, handle);
    if (h == nullptr)
        return SQL_INVALID_HANDLE;
    if (record <= 0 || capacity < 0)
        return SQL_ERROR;
    DiagnosticRead read(*h);
    ZoError *error = h->diagnostic(static_cast<uint32_t>(record - 1));
    if (error == nullptr)
        return SQL_NO_DATA;
    if (state != nullptr) {
        bool truncated = false;
        (void)putText(sqlState(error->getErrorNumber()), kind, state, 6, false, &truncated); // always fits
    }
    if (native != nullptr)
        *native = nativeOf(*error);
    return putString(messageOf(*error), kind, message, capacity, false, length);
}

SQLRETURN getDiagField(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT record, SQLSMALLINT field, SQLPOINTER out,
                       SQLSMALLINT capacity, SQLSMALLINT *length, TextKind kind) {
    Handle *h = diagnosticHandle(type, handle);
    if (h == nullptr)
        return SQL_INVALID_HANDLE;
    DiagnosticRead read(*h);
    // Header fields.
    switch (field) {
    case SQL_DIAG_NUMBER:
        if (out != nullptr)
            *static_cast<SQLINTEGER *>(out) = static_cast<SQLINTEGER>(h->diagnosticCount());
        return SQL_SUCCESS;
    case SQL_DIAG_RETURNCODE:
        if (out != nullptr)
            *static_cast<SQLRETURN *>(out) = h->lastReturn;
        return SQL_SUCCESS;
    case SQL_DIAG_ROW_COUNT:
    case SQL_DIAG_CURSOR_ROW_COUNT:
        if (type != SQL_HANDLE_STMT)
            return SQL_ERROR;
        if (out != nullptr)
            *static_cast<SQLLEN *>(out) = field == SQL_DIAG_ROW_COUNT ? static_cast<SQLLEN>(h->diagnosticRowCount) : -1;
        return SQL_SUCCESS;
    case SQL_DIAG_DYNAMIC_FUNCTION:
        return type == SQL_HANDLE_STMT ? putString("", kind, out, capacity, true, length) : SQL_ERROR;
    case SQL_DIAG_DYNAMIC_FUNCTION_CODE:
        if (type != SQL_HANDLE_STMT)
            return SQL_ERROR;
        if (out != nullptr)
            *static_cast<SQLINTEGER *>(out) = SQL_DIAG_UNKNOWN_STATEMENT;
        return SQL_SUCCESS;
    default: break;
    }
    // Record fields.
    if (record <= 0)
        return SQL_ERROR;
    ZoError *error = h->diagnostic(static_cast<uint32_t>(record - 1));
    if (error == nullptr)
        return SQL_NO_DATA;
    const char *state = sqlState(error->getErrorNumber());
    switch (field) {
    case SQL_DIAG_SQLSTATE: return putString(state, kind, out, capacity, true, length);
    case SQL_DIAG_NATIVE:
        if (out != nullptr)
            *static_cast<SQLINTEGER *>(out) = nativeOf(*error);
        return SQL_SUCCESS;
    case SQL_DIAG_MESSAGE_TEXT: return putString(messageOf(*error), kind, out, capacity, true, length);
    case SQL_DIAG_CLASS_ORIGIN: {
        const bool odbcClass = std::strncmp(state, "HY", 2) == 0 || std::strncmp(state, "IM", 2) == 0;
        return putString(odbcClass ? "ODBC 3.0" : "ISO 9075", kind, out, capacity, true, length);
    }
    case SQL_DIAG_SUBCLASS_ORIGIN:
        return putString(isOdbcSubclass(state) ? "ODBC 3.0" : "ISO 9075", kind, out, capacity, true, length);
    case SQL_DIAG_CONNECTION_NAME: return putString("", kind, out, capacity, true, length);
    case SQL_DIAG_SERVER_NAME: {
        Dbc *dbc = connectionOf(*h);
        return putString(dbc != nullptr ? dbc->settings.dsn : "", kind, out, capacity, true, length);
    }
    case SQL_DIAG_COLUMN_NUMBER:
        if (type != SQL_HANDLE_STMT)
            return SQL_ERROR;
        if (out != nullptr)
            *static_cast<SQLINTEGER *>(out) = SQL_COLUMN_NUMBER_UNKNOWN;
        return SQL_SUCCESS;
    case SQL_DIAG_ROW_NUMBER:
        if (type != SQL_HANDLE_STMT)
            return SQL_ERROR;
        if (out != nullptr)
            *static_cast<SQLLEN *>(out) = SQL_ROW_NUMBER_UNKNOWN;
        return SQL_SUCCESS;
    default: return SQL_ERROR;
    }
}

} // namespace

} // namespace zotext::odbc

using namespace zotext::odbc;

extern "C" {

SQLRETURN SQL_API SQLGetDiagRec(SQLSMALLINT HandleType, SQLHANDLE Handle, SQLSMALLINT RecNumber, SQLCHAR *Sqlstate,
                                SQLINTEGER *NativeError, SQLCHAR *MessageText, SQLSMALLINT BufferLength,
                                SQLSMALLINT *TextLength) {
    return getDiagRec(HandleType, Handle, RecNumber, Sqlstate, NativeError, MessageText, BufferLength, TextLength,
                      TextKind::Ansi);
}

SQLRETURN SQL_API SQLGetDiagField(SQLSMALLINT HandleType, SQLHANDLE Handle, SQLSMALLINT RecNumber,
                                  SQLSMALLINT DiagIdentifier, SQLPOINTER DiagInfo, SQLSMALLINT BufferLength,
                                  SQLSMALLINT *StringLength) {
    return getDiagField(HandleType, Handle, RecNumber, DiagIdentifier, DiagInfo, BufferLength, StringLength,
                        TextKind::Ansi);
}

SQLRETURN SQL_API SQLGetDiagRecW(SQLSMALLINT HandleType, SQLHANDLE Handle, SQLSMALLINT RecNumber, SQLWCHAR *Sqlstate,
                                 SQLINTEGER *NativeError, SQLWCHAR *MessageText, SQLSMALLINT BufferLength,
                                 SQLSMALLINT *TextLength) {
    return getDiagRec(HandleType, Handle, RecNumber, Sqlstate, NativeError, MessageText, BufferLength, TextLength,
                      TextKind::Wide);
}

SQLRETURN SQL_API SQLGetDiagFieldW(SQLSMALLINT HandleType, SQLHANDLE Handle, SQLSMALLINT RecNumber,
                                   SQLSMALLINT DiagIdentifier, SQLPOINTER DiagInfo, SQLSMALLINT BufferLength,
                                   SQLSMALLINT *StringLength) {
    return getDiagField(HandleType, Handle, RecNumber, DiagIdentifier, DiagInfo, BufferLength, StringLength,
                        TextKind::Wide);
}

} // extern "C"
