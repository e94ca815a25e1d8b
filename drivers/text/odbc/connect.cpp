// Connections: settings from the data source and the connection string, connecting and
// disconnecting, connection attributes and transactions.
//
// Settings (data source entries or connection string attributes, keys ignoring case):
//   DSN        the data source whose entries fill in what the string does not give
//   DRIVER     the driver (the driver manager's business; accepted)
//   DBQ        the directory of the tables (required)
//   Delimiter  , (default) ; | or TAB
//   Header     1 (default: the first line names, and may type, the columns) or 0
//   Charset    ANSI (the process's code page, default) or UTF-8
//   Trace      1 writes every call on the connection to TraceFile
//   TraceFile  the trace's file (default zotext.log in the temporary directory)
//   UID, PWD   accepted and ignored: files know no users
// Other attributes of a connection string are reported as a warning (01S00) and ignored.
#include <cstdlib>
#include <map>
#include <vector>

#include <zo/registry.h>
#include <zo/zovaluep.h>

#include "odbc/driver.h"
#include "odbc/text.h"

namespace zotext::odbc {
namespace {

const char *const kKeys[] = {"DSN",     "DRIVER", "DBQ",       "Delimiter", "Header",
                             "Charset", "Trace",  "TraceFile", "UID",       "PWD"};
// The entries a data source may give (DSN, DRIVER and the user are not read from it).
const char *const kSourceKeys[] = {"DBQ", "Delimiter", "Header", "Charset", "Trace", "TraceFile"};

const unsigned char *u(const char *text) { return reinterpret_cast<const unsigned char *>(text); }

// Keys compared ignoring ASCII case.
struct LessNoCase {
    bool operator()(const std::string &a, const std::string &b) const {
        return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
            return std::tolower(static_cast<unsigned char>(x)) < std::tolower(static_cast<unsigned char>(y));
        });
    }
};
using Attributes = std::map<std::string, std::string, LessNoCase>;

bool equalNoCase(const std::string &a, const char *b) { return !LessNoCase()(a, b) && !LessNoCase()(b, a); }

// A data source's entries live in the ODBC data-source profile, which the library reads
// through the host's ODBC installer library (ODBCINI, ODBCSYSINI). Their text is taken as
// UTF-8.
constexpr const char *kSourceProfile = "ODBC.INI";
constexpr uint32_t kEntrySize = 32768;

bool readSourceEntry(const std::string &dsn, const char *key, std::string *value) {
    std::vector<unsigned char> buffer(kEntrySize);
    const unsigned char *absent = u("\x01"); // a default no entry holds
    const uint32_t n =
        ntGetProfileString(u(dsn.c_str()), u(key), absent, buffer.data(), kEntrySize, u(kSourceProfile), 0);
    if (n == 1 && buffer[0] == 1)
        return false;
    value->assign(reinterpret_cast<const char *>(buffer.data()), n);
    return true;
}

// A data source exists when its section has entries.
bool sourceExists(const std::string &dsn) {
    unsigned char keys[256];
    return !dsn.empty() &&
           ntGetProfileString(u(dsn.c_str()), nullptr, u(""), keys, sizeof keys, u(kSourceProfile), 0) != 0;
}

// Fills in from the data source what attrs does not hold yet.
bool addSourceEntries(const std::string &dsn, Attributes *attrs) {
    if (!sourceExists(dsn)) {
        report(OdbcError::NoDataSource, "The data source " + dsn + " is not defined.");
        return false;
    }
    for (const char *key : kSourceKeys) {
        std::string value;
        if (attrs->find(key) == attrs->end() && readSourceEntry(dsn, key, &value))
            (*attrs)[key] = value;
    }
    return true;
}

bool parseFlag(const std::string &value, bool *out) {
    for (const char *yes : {"1", "yes", "true", "on"})
        if (equalNoCase(value, yes))
            return *out = true, true;
    for (const char *no : {"0", "no", "false", "off", ""})
        if (equalNoCase(value, no))
            return *out = false, true;
    return false;
}

std::string defaultTraceFile() {
    const char *dir = std::getenv("TMPDIR");
    return std::string(dir != nullptr && *dir != 0 ? dir : "/tmp") + "/zotext.log";
}

bool badSetting(const std::string &key, const std::string &value, const char *expected) {
    report(OdbcError::ConnectFailed, key + "=" + value + " is not valid: " + expected + ".");
    return false;
}

// The settings that the attributes make; false with the reason recorded.
bool settingsOf(const Attributes &attrs, ConnectSettings *settings) {
    auto get = [&](const char *key, std::string *value) {
        auto it = attrs.find(key);
        if (it == attrs.end())
            return false;
        *value = it->second;
        return true;
    };
    std::string value;
    if (get("DSN", &value))
        settings->dsn = value;
    if (get("DRIVER", &value))
        settings->driver = value;
    if (!get("DBQ", &value) || value.empty()) {
        report(OdbcError::ConnectFailed, "No directory of tables: give DBQ=<directory> in the data source or the "
                                         "connection string.");
        return false;
    }
    settings->options.directory = value;
    if (get("Delimiter", &value)) {
        if (value == "," || value == ";" || value == "|")
            settings->options.delimiter = value[0];
        else if (equalNoCase(value, "TAB") || value == "\t")
            settings->options.delimiter = '\t';
        else
            return badSetting("Delimiter", value, "one of , ; | TAB");
    }
    if (get("Header", &value) && !parseFlag(value, &settings->options.header))
        return badSetting("Header", value, "1 or 0");
    if (get("Charset", &value)) {
        if (equalNoCase(value, "ANSI"))
            settings->options.charset = Charset::Ansi;
        else if (equalNoCase(value, "UTF-8") || equalNoCase(value, "UTF8"))
            settings->options.charset = Charset::Utf8;
        else
            return badSetting("Charset", value, "ANSI or UTF-8");
    }
    if (get("Trace", &value) && !parseFlag(value, &settings->trace))
        return badSetting("Trace", value, "1 or 0");
    settings->traceFile = get("TraceFile", &value) && !value.empty() ? value : defaultTraceFile();
    return true;
}

// Opens the directory with the settings; the connection is open afterwards or nothing
// changed.
SQLRETURN open(Dbc &dbc, const ConnectSettings &settings) {
    std::unique_ptr<Database> database = Database::open(settings.options);
    if (database == nullptr)
        return SQL_ERROR; // the engine recorded why
    if (!database->setAutocommit(dbc.autocommit))
        return SQL_ERROR; // nothing is pending on a new connection: not expected
    dbc.database = std::move(database);
    dbc.settings = settings;
    dbc.pendingChanges = false;
    dbc.trace.close();
    if (settings.trace && !dbc.trace.open(settings.traceFile))
        report(OdbcError::Warning, "The trace file " + settings.traceFile + " cannot be written; no trace.");
    return SQL_SUCCESS;
}

SQLRETURN connect(Dbc &dbc, const std::string &dsn) {
    if (dbc.connected())
        return fail(OdbcError::ConnectionInUse, "The connection is already open.");
    if (dsn.empty())
        return fail(OdbcError::NoDataSource, "No data source name was given.");
    Attributes attrs;
    attrs["DSN"] = dsn;
    ConnectSettings settings;
    if (!addSourceEntries(dsn, &attrs) || !settingsOf(attrs, &settings))
        return SQL_ERROR;
    return open(dbc, settings);
}

// The connection string's attributes, the unknown ones reported; false when it does not
// parse.
bool readConnectionString(ZoValueParser &parser, Attributes *attrs) {
    if (parser.initialize() != ZoSuccess)
        return false;
    for (const char *key : kKeys)
        if (const ZoSubString *value = parser.getAttributeValue(u(key)))
            (*attrs)[key] = std::string(reinterpret_cast<const char *>(value->data()), value->length());
    while (const ZoSubString *key = parser.getUnusedAttribute())
        report(EngineError::UnknownAttribute,
               "The attribute " + std::string(reinterpret_cast<const char *>(key->data()), key->length()) +
                   " is not known; it was ignored.");
    return true;
}

// The completed connection string: the given one with what the data source added.
std::string completedString(ZoValueParser &parser, const Attributes &attrs) {
    for (const auto &[key, value] : attrs)
        if (!parser.isAttributeValue(u(key.c_str())) &&
            parser.addAttribute(u(key.c_str()), u(value.c_str()), nullptr) != ZoSuccess)
            throw std::bad_alloc();
    ZoString out;
    if (parser.buildString(&out) != ZoSuccess)
        throw std::bad_alloc();
    return out.length() == 0 ? std::string() : std::string(reinterpret_cast<const char *>(out.data()), out.length());
}

SQLRETURN driverConnect(Dbc &dbc, const std::string &text, std::string *completed) {
    if (dbc.connected())
        return fail(OdbcError::ConnectionInUse, "The connection is already open.");
    ZoSubString view(u(text.c_str()), static_cast<uint32_t>(text.size()));
    // A key given twice keeps its first value, as connection strings are read.
    ZoValueParser parser(&view, ';', u("the connection string"), 1);
    parser.setBracedValues(true);
    Attributes attrs;
    if (!readConnectionString(parser, &attrs))
        return SQL_ERROR;
    auto dsn = attrs.find("DSN");
    if (dsn != attrs.end() && !dsn->second.empty() && !addSourceEntries(dsn->second, &attrs))
        return SQL_ERROR;
    ConnectSettings settings;
    if (!settingsOf(attrs, &settings))
        return SQL_ERROR;
    const SQLRETURN rc = open(dbc, settings);
    if (rc != SQL_ERROR)
        *completed = completedString(parser, attrs);
    return rc;
}

SQLRETURN disconnect(Dbc &dbc) {
    if (!dbc.connected())
        return fail(OdbcError::NotConnected, "The connection is not open.");
    if (!dbc.autocommit && dbc.pendingChanges)
        return fail(OdbcError::TransactionState,
                    "Changes are pending: commit or roll them back (SQLEndTran) before disconnecting.");
    for (Stmt *stmt : dbc.statements)
        delete stmt;
    dbc.statements.clear();
    dbc.database.reset();
    return SQL_SUCCESS; // the trace stays open for this call's line; the next connect closes it
}

SQLRETURN endTransaction(Dbc &dbc, SQLSMALLINT completion) {
    if (completion != SQL_COMMIT && completion != SQL_ROLLBACK)
        return fail(OdbcError::TransactionCode, "The completion is neither SQL_COMMIT nor SQL_ROLLBACK.");
    if (!dbc.connected())
        return fail(OdbcError::NotConnected, "The connection is not open.");
    if (!dbc.database->endTransaction(completion == SQL_COMMIT))
        return SQL_ERROR; // the engine recorded why; nothing is reported done that was not
    dbc.pendingChanges = false;
    return SQL_SUCCESS;
}

// Turning autocommit on commits what is pending; when that fails, autocommit stays off.
SQLRETURN setAutocommit(Dbc &dbc, bool on) {
    if (dbc.connected() && !dbc.database->setAutocommit(on))
        return SQL_ERROR; // the engine recorded why
    if (on)
        dbc.pendingChanges = false;
    dbc.autocommit = on;
    return SQL_SUCCESS;
}

SQLRETURN setConnectAttr(Dbc &dbc, SQLINTEGER attribute, SQLPOINTER value) {
    const auto number = static_cast<SQLULEN>(reinterpret_cast<uintptr_t>(value));
    switch (attribute) {
    case SQL_ATTR_AUTOCOMMIT:
        if (number != SQL_AUTOCOMMIT_ON && number != SQL_AUTOCOMMIT_OFF)
            return fail(OdbcError::AttributeValue, "Autocommit is SQL_AUTOCOMMIT_ON or SQL_AUTOCOMMIT_OFF.");
        return setAutocommit(dbc, number == SQL_AUTOCOMMIT_ON);
    case SQL_ATTR_ACCESS_MODE: dbc.readOnly = number == SQL_MODE_READ_ONLY; return SQL_SUCCESS;
    case SQL_ATTR_LOGIN_TIMEOUT: dbc.loginTimeout = static_cast<SQLUINTEGER>(number); return SQL_SUCCESS;
    case SQL_ATTR_CONNECTION_TIMEOUT: dbc.connectionTimeout = static_cast<SQLUINTEGER>(number); return SQL_SUCCESS;
    case SQL_ATTR_METADATA_ID: dbc.metadataId = number == SQL_TRUE ? SQL_TRUE : SQL_FALSE; return SQL_SUCCESS;
    case SQL_ATTR_TXN_ISOLATION:
        if (number != SQL_TXN_READ_COMMITTED)
            return fail(OdbcError::NotImplemented, "The isolation level is read committed.");
        return SQL_SUCCESS;
    case SQL_ATTR_ASYNC_ENABLE:
        if (number != SQL_ASYNC_ENABLE_OFF)
            return fail(OdbcError::NotImplemented, "Calls are not run asynchronously.");
        return SQL_SUCCESS;
    case SQL_ATTR_QUIET_MODE:
    case SQL_ATTR_PACKET_SIZE:
    case SQL_ATTR_TRACE:
    case SQL_ATTR_TRACEFILE:
    case SQL_ATTR_TRANSLATE_LIB:
    case SQL_ATTR_TRANSLATE_OPTION:
    case SQL_ATTR_ODBC_CURSORS: return SQL_SUCCESS; // no windows, no network, no translation: nothing to do
    case SQL_ATTR_CURRENT_CATALOG: return fail(OdbcError::NotImplemented, "Tables have no catalog.");
    default: return fail(OdbcError::AttributeUnknown, "Unknown or read-only connection attribute.");
    }
}

SQLRETURN getConnectAttr(Dbc &dbc, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER capacity, SQLINTEGER *length,
                         TextKind kind) {
    SQLUINTEGER number;
    switch (attribute) {
    case SQL_ATTR_AUTOCOMMIT: number = dbc.autocommit ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF; break;
    case SQL_ATTR_ACCESS_MODE: number = dbc.readOnly ? SQL_MODE_READ_ONLY : SQL_MODE_READ_WRITE; break;
    case SQL_ATTR_LOGIN_TIMEOUT: number = dbc.loginTimeout; break;
    case SQL_ATTR_CONNECTION_TIMEOUT: number = dbc.connectionTimeout; break;
    case SQL_ATTR_METADATA_ID: number = dbc.metadataId; break;
    case SQL_ATTR_TXN_ISOLATION: number = SQL_TXN_READ_COMMITTED; break;
    case SQL_ATTR_ASYNC_ENABLE: number = SQL_ASYNC_ENABLE_OFF; break;
    case SQL_ATTR_AUTO_IPD: number = SQL_FALSE; break;
    case SQL_ATTR_CONNECTION_DEAD: number = dbc.connected() ? SQL_CD_FALSE : SQL_CD_TRUE; break;
    case SQL_ATTR_PACKET_SIZE: number = 0; break;
    case SQL_ATTR_CURRENT_CATALOG: {
        bool truncated = false;
        const SQLLEN full = putText("", kind, value, capacity, true, &truncated);
        if (length != nullptr)
            *length = static_cast<SQLINTEGER>(full);
        return SQL_SUCCESS;
    }
    default: return fail(OdbcError::AttributeUnknown, "Unknown connection attribute.");
    }
    if (value != nullptr)
        *static_cast<SQLUINTEGER *>(value) = number;
    if (length != nullptr)
        *length = sizeof(SQLUINTEGER);
    return SQL_SUCCESS;
}

// Writes the completed connection string; 01004 when it was cut.
SQLRETURN putCompleted(const std::string &completed, TextKind kind, void *out, SQLSMALLINT capacity,
                       SQLSMALLINT *length) {
    if (capacity < 0)
        return fail(OdbcError::BufferLength, "The buffer length is negative.");
    bool truncated = false;
    const SQLLEN full = putText(completed, kind, out, capacity, false, &truncated);
    if (length != nullptr)
        *length = static_cast<SQLSMALLINT>(full > 0x7FFF ? 0x7FFF : full);
    if (truncated)
        report(OdbcError::Truncated, "The completed connection string did not fit.");
    return SQL_SUCCESS;
}

} // namespace

SQLRETURN connectEntry(SQLHDBC handle, const std::string &dsn) {
    return call(asDbc(handle), "SQLConnect", [&](Dbc &dbc, CallScope &scope) {
        scope.traceDetail("DSN=" + dsn);
        return connect(dbc, dsn);
    });
}

SQLRETURN driverConnectEntry(SQLHDBC handle, const std::string &text, void *out, SQLSMALLINT capacity,
                             SQLSMALLINT *length, TextKind kind) {
    return call(asDbc(handle), "SQLDriverConnect", [&](Dbc &dbc, CallScope &) {
        std::string completed;
        SQLRETURN rc = driverConnect(dbc, text, &completed);
        if (rc != SQL_ERROR && (out != nullptr || length != nullptr))
            rc = putCompleted(completed, kind, out, capacity, length);
        return rc;
    });
}

SQLRETURN getConnectAttrEntry(SQLHDBC handle, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER capacity,
                              SQLINTEGER *length, TextKind kind) {
    return call(asDbc(handle), "SQLGetConnectAttr",
                [&](Dbc &dbc, CallScope &) { return getConnectAttr(dbc, attribute, value, capacity, length, kind); });
}

SQLRETURN setConnectAttrEntry(SQLHDBC handle, SQLINTEGER attribute, SQLPOINTER value) {
    return call(asDbc(handle), "SQLSetConnectAttr",
                [&](Dbc &dbc, CallScope &) { return setConnectAttr(dbc, attribute, value); });
}

} // namespace zotext::odbc

using namespace zotext::odbc;

extern "C" {

SQLRETURN SQL_API SQLConnect(SQLHDBC ConnectionHandle, SQLCHAR *ServerName, SQLSMALLINT NameLength1, SQLCHAR *UserName,
                             SQLSMALLINT NameLength2, SQLCHAR *Authentication, SQLSMALLINT NameLength3) {
    (void)UserName, (void)NameLength2, (void)Authentication, (void)NameLength3; // files know no users
    return connectEntry(ConnectionHandle, fromAnsi(ServerName, NameLength1));
}

SQLRETURN SQL_API SQLDriverConnect(SQLHDBC ConnectionHandle, SQLHWND WindowHandle, SQLCHAR *InConnectionString,
                                   SQLSMALLINT StringLength1, SQLCHAR *OutConnectionString, SQLSMALLINT BufferLength,
                                   SQLSMALLINT *StringLength2Ptr, SQLUSMALLINT DriverCompletion) {
    (void)WindowHandle, (void)DriverCompletion; // no dialogs: every completion connects with what is given
    return driverConnectEntry(ConnectionHandle, fromAnsi(InConnectionString, StringLength1), OutConnectionString,
                              BufferLength, StringLength2Ptr, TextKind::Ansi);
}

SQLRETURN SQL_API SQLDisconnect(SQLHDBC ConnectionHandle) {
    return call(asDbc(ConnectionHandle), "SQLDisconnect", [](Dbc &dbc, CallScope &) { return disconnect(dbc); });
}

SQLRETURN SQL_API SQLEndTran(SQLSMALLINT HandleType, SQLHANDLE Handle, SQLSMALLINT CompletionType) {
    if (HandleType == SQL_HANDLE_DBC)
        return call(asDbc(Handle), "SQLEndTran",
                    [&](Dbc &dbc, CallScope &) { return endTransaction(dbc, CompletionType); });
    if (HandleType != SQL_HANDLE_ENV)
        return SQL_INVALID_HANDLE;
    Env *env = asEnv(Handle);
    if (env == nullptr)
        return SQL_INVALID_HANDLE;
    std::vector<Dbc *> connections;
    {
        std::lock_guard<std::mutex> lock(env->mutex);
        connections = env->connections;
    }
    SQLRETURN result = SQL_SUCCESS;
    for (Dbc *dbc : connections) {
        if (!dbc->connected())
            continue;
        const SQLRETURN rc =
            call(dbc, "SQLEndTran", [&](Dbc &d, CallScope &) { return endTransaction(d, CompletionType); });
        if (rc == SQL_ERROR)
            result = SQL_ERROR;
        else if (rc == SQL_SUCCESS_WITH_INFO && result == SQL_SUCCESS)
            result = rc;
    }
    return result;
}

SQLRETURN SQL_API SQLSetConnectAttr(SQLHDBC ConnectionHandle, SQLINTEGER Attribute, SQLPOINTER Value,
                                    SQLINTEGER StringLength) {
    (void)StringLength; // the settable attributes are numbers
    return setConnectAttrEntry(ConnectionHandle, Attribute, Value);
}

SQLRETURN SQL_API SQLGetConnectAttr(SQLHDBC ConnectionHandle, SQLINTEGER Attribute, SQLPOINTER Value,
                                    SQLINTEGER BufferLength, SQLINTEGER *StringLength) {
    return getConnectAttrEntry(ConnectionHandle, Attribute, Value, BufferLength, StringLength, TextKind::Ansi);
}

} // extern "C"
