// Registry databases.
//
// One SQLite file per root (schema version 1, in `PRAGMA user_version`):
//
//   keys                       one row per key, WITHOUT ROWID
//     path    TEXT PRIMARY KEY the key's full name folded: components with ASCII letters
//                              lower-cased (bytes of double-byte characters kept), joined
//                              by '\'; '' is the root key
//     parent  TEXT             folded path of the parent key; NULL for the root
//     name    TEXT NOT NULL    the last component as first spelled ('' for the root)
//     class   TEXT             "REG_SZ" for the keys that writes make
//   keys_by_parent(parent, path): the subkeys of a key, in the order of their folded names
//
//   vals                       one row per value, WITHOUT ROWID
//     path    TEXT NOT NULL    folded path of the value's key
//     folded  TEXT NOT NULL    the value name folded
//     name    TEXT NOT NULL    the value name as first spelled
//     type    INTEGER NOT NULL 1, a string (REG_SZ)
//     data    TEXT NOT NULL    the string without its terminator
//     seq     INTEGER NOT NULL creation order among the values of the key
//     PRIMARY KEY(path, folded)
//
// Text columns hold the caller's bytes unchanged (ANSI code page) and compare bytewise, so
// the keys below a key P are exactly the paths from P'\' up to (not including) P']' (']'
// is the byte after '\'): a whole subtree goes with two range deletes. Reading one value is
// one lookup of the primary key of vals.
//
// Transactions: a write runs in BEGIN IMMEDIATE ... COMMIT; the rollback journal (SQLite's
// default) with full synchronisation keeps a database whole through a crash and lets a
// database that a user may only read be read. Reads are single statements, or one
// deferred transaction for an enumeration.
#include "platform/registry.h"

#include "platform/env.h"
#include "platform/file.h"
#include "platform/path.h"

#include <sqlite3.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace zo::plat {
namespace {

constexpr int kSchemaVersion = 1;
constexpr int kBusyTimeoutMilliseconds = 5000;
constexpr uint32_t kMaxKeyPath = 2048; // bytes of a key path, with room for a range bound
constexpr uint32_t kMaxDepth = 128;
constexpr uint32_t kMaxValueName = 2048;

constexpr const char *kSchema = R"(
BEGIN IMMEDIATE;
CREATE TABLE IF NOT EXISTS keys(
  path TEXT PRIMARY KEY, parent TEXT, name TEXT NOT NULL, class TEXT) WITHOUT ROWID;
CREATE INDEX IF NOT EXISTS keys_by_parent ON keys(parent, path);
CREATE TABLE IF NOT EXISTS vals(
  path TEXT NOT NULL, folded TEXT NOT NULL, name TEXT NOT NULL, type INTEGER NOT NULL,
  data TEXT NOT NULL, seq INTEGER NOT NULL, PRIMARY KEY(path, folded)) WITHOUT ROWID;
INSERT OR IGNORE INTO keys(path, parent, name, class) VALUES('', NULL, '', NULL);
PRAGMA user_version = 1;
COMMIT;
)";

enum Statement : unsigned {
    ReadValue,
    KeyExists,
    InsertKey,
    UpsertValue,
    DeleteValue,
    DeleteSubtreeValues,
    DeleteSubtreeKeys,
    ListValues,
    ListSubkeys,
    BeginRead,
    BeginWrite,
    Commit,
    StatementCount
};

constexpr const char *kStatements[StatementCount] = {
    "SELECT data FROM vals WHERE path = ?1 AND folded = ?2",
    "SELECT 1 FROM keys WHERE path = ?1",
    "INSERT OR IGNORE INTO keys(path, parent, name, class) VALUES(?1, ?2, ?3, 'REG_SZ')",
    "INSERT INTO vals(path, folded, name, type, data, seq) "
    "VALUES(?1, ?2, ?3, 1, ?4, (SELECT coalesce(max(seq), 0) + 1 FROM vals WHERE path = ?1)) "
    "ON CONFLICT(path, folded) DO UPDATE SET type = excluded.type, data = excluded.data",
    "DELETE FROM vals WHERE path = ?1 AND folded = ?2",
    "DELETE FROM vals WHERE path = ?1 OR (path >= ?2 AND path < ?3)",
    "DELETE FROM keys WHERE path = ?1 OR (path >= ?2 AND path < ?3)",
    "SELECT name, data FROM vals WHERE path = ?1 ORDER BY seq",
    "SELECT name FROM keys WHERE parent = ?1 ORDER BY path",
    "BEGIN",
    "BEGIN IMMEDIATE",
    "COMMIT",
};

// ---- Names ----

unsigned char foldAscii(unsigned char c) { return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + 32) : c; }

// A key path split into components, folded and as spelled (same layout, same length).
struct KeyName {
    unsigned char folded[kMaxKeyPath];
    unsigned char spelled[kMaxKeyPath];
    uint32_t length = 0;
    uint32_t ends[kMaxDepth]; // end of each component
    uint32_t depth = 0;

    // One byte of a character that is `step` bytes long; false when the path is too long.
    bool put(unsigned char b, unsigned step) {
        if (length + 2 > kMaxKeyPath) // keeps a byte for the bound of a subtree range
            return false;
        folded[length] = step == 1 ? foldAscii(b) : b;
        spelled[length++] = b;
        return true;
    }
    uint32_t start(uint32_t component) const { return component == 0 ? 0 : ends[component - 1] + 1; }
};

bool parseKeyName(const unsigned char *path, const unsigned char *lengths, KeyName *key) {
    const unsigned char *p = path != nullptr ? path : reinterpret_cast<const unsigned char *>("");
    while (*p != '\0') {
        if (*p == '\\') {
            ++p; // separators, and the empty components between doubled ones
            continue;
        }
        if (key->depth == kMaxDepth || (key->depth > 0 && !key->put('\\', 1)))
            return false;
        while (*p != '\0' && *p != '\\') {
            unsigned step = lengths[*p];
            for (unsigned i = 0; i < step && *p != '\0'; ++i)
                if (!key->put(*p++, step))
                    return false;
        }
        key->ends[key->depth++] = key->length;
    }
    return true;
}

struct ValueName {
    unsigned char folded[kMaxValueName];
    const unsigned char *spelled;
    uint32_t length = 0;
};

bool parseValueName(const unsigned char *name, const unsigned char *lengths, ValueName *value) {
    value->spelled = name != nullptr ? name : reinterpret_cast<const unsigned char *>("");
    for (const unsigned char *p = value->spelled; *p != '\0';) {
        unsigned step = lengths[*p];
        for (unsigned i = 0; i < step && *p != '\0'; ++i, ++p) {
            if (value->length + 1 > kMaxValueName)
                return false;
            value->folded[value->length++] = step == 1 ? foldAscii(*p) : *p;
        }
    }
    return true;
}

// ---- Connections ----

struct Database {
    std::mutex lock;
    sqlite3 *handle = nullptr;
    pid_t owner = 0; // the process that opened the handle
    sqlite3_stmt *statements[StatementCount] = {};
};

Database g_databases[2];

void forget(Database &db) {
    db.handle = nullptr;
    for (sqlite3_stmt *&s : db.statements)
        s = nullptr;
}

void closeDatabase(Database &db) {
    // A connection inherited through fork belongs to the parent: it is left alone.
    if (db.handle != nullptr && db.owner == getpid()) {
        for (sqlite3_stmt *s : db.statements)
            sqlite3_finalize(s);
        sqlite3_close_v2(db.handle);
    }
    forget(db);
}

bool defaultDatabasePath(RegistryRoot root, char *out, std::size_t size) {
    if (root == RegistryRoot::LocalMachine)
        return std::snprintf(out, size, "/var/lib/zo/registry.db") < static_cast<int>(size);
    char dir[kHostPathMax];
    if (!userConfigDirectory(dir, sizeof dir))
        return false;
    int n = std::snprintf(out, size, "%s/registry.db", dir);
    return n > 0 && static_cast<std::size_t>(n) < size;
}

int userVersion(sqlite3 *handle) {
    sqlite3_stmt *s = nullptr;
    int version = -1;
    if (sqlite3_prepare_v2(handle, "PRAGMA user_version", -1, &s, nullptr) == SQLITE_OK &&
        sqlite3_step(s) == SQLITE_ROW)
        version = sqlite3_column_int(s, 0);
    sqlite3_finalize(s);
    return version;
}

// The schema is made by the first writer; a database of a later schema is not touched.
bool prepareSchema(sqlite3 *handle) {
    int version = userVersion(handle);
    if (version == kSchemaVersion)
        return true;
    if (version != 0 || sqlite3_db_readonly(handle, "main") != 0)
        return false;
    return sqlite3_exec(handle, kSchema, nullptr, nullptr, nullptr) == SQLITE_OK;
}

enum class Opening { Ready, Missing, Failed };

Opening openDatabase(Database &db, RegistryRoot root, bool create) {
    if (db.handle != nullptr && db.owner != getpid())
        forget(db);
    if (db.handle != nullptr)
        return Opening::Ready;
    char path[kHostPathMax];
    if (!registryDatabasePath(root, path, sizeof path))
        return Opening::Failed;
    struct stat st;
    bool exists = stat(path, &st) == 0;
    if (!exists && !create)
        return errno == ENOENT ? Opening::Missing : Opening::Failed;
    if (!exists) {
        char dir[kHostPathMax];
        std::memcpy(dir, path, sizeof dir);
        if (char *slash = std::strrchr(dir, '/'); slash != nullptr && slash != dir) {
            *slash = '\0';
            (void)fileMakeDirectories(dir); // a directory that cannot be made fails the open
        }
    }
    sqlite3 *handle = nullptr;
    int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | (exists ? 0 : SQLITE_OPEN_CREATE);
    if (sqlite3_open_v2(path, &handle, flags, nullptr) != SQLITE_OK ||
        sqlite3_busy_timeout(handle, kBusyTimeoutMilliseconds) != SQLITE_OK || !prepareSchema(handle)) {
        sqlite3_close_v2(handle);
        return Opening::Failed;
    }
    db.handle = handle;
    db.owner = getpid();
    return Opening::Ready;
}

// Errors after which the connection is of no more use: it is closed and opened again by the
// next call (the file may have been replaced, repaired or made writable meanwhile).
bool breaksConnection(int rc) {
    switch (rc & 0xFF) {
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
    case SQLITE_IOERR:
    case SQLITE_CANTOPEN:
    case SQLITE_SCHEMA:
    case SQLITE_READONLY: return true;
    default: return false;
    }
}

// A root's database held by one operation: its lock is taken and the database opened (or
// made, for writes) on construction.
class Session {
public:
    Session(RegistryRoot root, bool create)
        : db_(g_databases[static_cast<unsigned>(root)]), guard_(db_.lock), opening_(openDatabase(db_, root, create)) {}
    ~Session() {
        if (broken_)
            closeDatabase(db_);
    }
    Session(const Session &) = delete;
    Session &operator=(const Session &) = delete;

    bool ready() const { return opening_ == Opening::Ready; }
    // What a call that finds nothing to do answers when the database is not ready: a
    // database that does not exist holds no key.
    int notReady() const { return opening_ == Opening::Missing ? RegistryNoKey : RegistryUnavailable; }
    sqlite3 *handle() const { return db_.handle; }
    // The statement, prepared on first use; null when it cannot be.
    sqlite3_stmt *statement(Statement which) {
        sqlite3_stmt *&s = db_.statements[which];
        if (s == nullptr && sqlite3_prepare_v3(db_.handle, kStatements[which], -1, SQLITE_PREPARE_PERSISTENT, &s,
                                               nullptr) != SQLITE_OK) {
            sqlite3_finalize(s);
            s = nullptr;
            broken_ = true;
        }
        return s;
    }
    void failed(int rc) { broken_ = broken_ || breaksConnection(rc); }

private:
    Database &db_;
    std::lock_guard<std::mutex> guard_;
    Opening opening_;
    bool broken_ = false;
};

// One use of a prepared statement: parameters bound in order, reset when done.
class Query {
public:
    Query(Session &session, Statement which) : session_(session), statement_(session.statement(which)) {}
    ~Query() {
        if (statement_ != nullptr)
            sqlite3_reset(statement_);
    }
    Query(const Query &) = delete;
    Query &operator=(const Query &) = delete;

    explicit operator bool() const { return statement_ != nullptr; }
    Query &text(const unsigned char *bytes, uint32_t n) {
        sqlite3_bind_text(statement_, ++bound_, reinterpret_cast<const char *>(bytes), static_cast<int>(n),
                          SQLITE_STATIC);
        return *this;
    }
    // SQLITE_ROW, SQLITE_DONE, or an error (noted on the session).
    int step() {
        int rc = sqlite3_step(statement_);
        if (rc != SQLITE_ROW && rc != SQLITE_DONE)
            session_.failed(rc);
        return rc;
    }
    bool run() { return statement_ != nullptr && step() == SQLITE_DONE; }
    const unsigned char *column(int index, uint32_t *n) const {
        auto bytes = static_cast<const unsigned char *>(sqlite3_column_blob(statement_, index));
        *n = static_cast<uint32_t>(sqlite3_column_bytes(statement_, index));
        return bytes != nullptr ? bytes : reinterpret_cast<const unsigned char *>("");
    }

private:
    Session &session_;
    sqlite3_stmt *statement_;
    int bound_ = 0;
};

// A transaction that is rolled back unless committed.
class Transaction {
public:
    Transaction(Session &session, Statement begin) : session_(session) {
        Query q(session, begin);
        begun_ = q.run();
    }
    ~Transaction() {
        if (begun_ && !committed_)
            (void)sqlite3_exec(session_.handle(), "ROLLBACK", nullptr, nullptr, nullptr); // undoes what there is
    }
    Transaction(const Transaction &) = delete;
    Transaction &operator=(const Transaction &) = delete;

    bool begun() const { return begun_; }
    bool commit() {
        Query q(session_, Commit);
        committed_ = q.run();
        return committed_;
    }

private:
    Session &session_;
    bool begun_ = false;
    bool committed_ = false;
};

bool keyExists(Session &session, const KeyName &key) {
    Query q(session, KeyExists);
    return q && q.text(key.folded, key.length).step() == SQLITE_ROW;
}

// Makes the key and its missing parents.
bool makeKey(Session &session, const KeyName &key) {
    for (uint32_t d = 0; d < key.depth; ++d) {
        uint32_t start = key.start(d);
        uint32_t parentEnd = d == 0 ? 0 : key.ends[d - 1];
        Query q(session, InsertKey);
        if (!q.text(key.folded, key.ends[d])
                 .text(key.folded, parentEnd)
                 .text(key.spelled + start, key.ends[d] - start)
                 .run())
            return false;
    }
    return true;
}

// Runs a delete of the subtree below and including `key`.
bool deleteSubtree(Session &session, Statement which, const KeyName &key) {
    unsigned char low[kMaxKeyPath];
    unsigned char high[kMaxKeyPath];
    std::memcpy(low, key.folded, key.length);
    std::memcpy(high, key.folded, key.length);
    low[key.length] = '\\';
    high[key.length] = ']';
    Query q(session, which);
    return q && q.text(key.folded, key.length).text(low, key.length + 1).text(high, key.length + 1).run();
}

// Runs work(session) on an existing key in a transaction (BeginRead or BeginWrite, which is
// committed unless the work could not be done): a missing key, or a missing database, is
// answered before the work runs.
template <class Work>
int onExistingKey(RegistryRoot root, const KeyName &key, Statement begin, Work work) {
    Session session(root, false);
    if (!session.ready())
        return session.notReady();
    Transaction transaction(session, begin);
    if (!transaction.begun())
        return RegistryUnavailable;
    if (!keyExists(session, key))
        return RegistryNoKey;
    int result = work(session);
    if (begin == BeginWrite && result != RegistryUnavailable && !transaction.commit())
        return RegistryUnavailable;
    return result;
}

// An enumeration of the key's rows by `which`, in a read transaction.
int listRows(RegistryRoot root, const unsigned char *keyPath, Statement which, RegistryVisitor visit, void *context,
             const unsigned char *charLengths) {
    KeyName key;
    if (!parseKeyName(keyPath, charLengths, &key))
        return RegistryBadName;
    return onExistingKey(root, key, BeginRead, [&](Session &session) {
        Query q(session, which);
        if (!q)
            return int{RegistryUnavailable};
        q.text(key.folded, key.length);
        int rc;
        while ((rc = q.step()) == SQLITE_ROW) {
            uint32_t nameLength, dataLength = 0;
            const unsigned char *name = q.column(0, &nameLength);
            if (which == ListValues)
                (void)q.column(1, &dataLength); // the length is what is wanted
            if (!visit(context, name, nameLength, dataLength))
                break;
        }
        return rc == SQLITE_ROW || rc == SQLITE_DONE ? int{RegistryOk} : int{RegistryUnavailable};
    });
}

} // namespace

bool registryDatabasePath(RegistryRoot root, char *out, std::size_t size) {
    const char *variable = root == RegistryRoot::LocalMachine ? "ZO_REGISTRY_MACHINE" : "ZO_REGISTRY_USER";
    const char *named = std::getenv(variable);
    if (named == nullptr || named[0] == '\0')
        return defaultDatabasePath(root, out, size);
    int n = std::snprintf(out, size, "%s", named);
    return n > 0 && static_cast<std::size_t>(n) < size;
}

int registryReadValue(RegistryRoot root, const unsigned char *keyPath, const unsigned char *name, unsigned char *out,
                      uint32_t size, uint32_t *length, const unsigned char *charLengths) {
    KeyName key;
    ValueName value;
    if (!parseKeyName(keyPath, charLengths, &key) || !parseValueName(name, charLengths, &value))
        return RegistryBadName;
    Session session(root, false);
    if (!session.ready())
        return session.notReady();
    Query q(session, ReadValue);
    if (!q)
        return RegistryUnavailable;
    int rc = q.text(key.folded, key.length).text(value.folded, value.length).step();
    if (rc == SQLITE_ROW) {
        uint32_t n;
        const unsigned char *data = q.column(0, &n);
        if (n >= size)
            return RegistryMoreData;
        std::memcpy(out, data, n);
        out[n] = '\0';
        *length = n;
        return RegistryOk;
    }
    if (rc != SQLITE_DONE)
        return RegistryUnavailable;
    return keyExists(session, key) ? RegistryNoValue : RegistryNoKey;
}

int registryWriteValue(RegistryRoot root, const unsigned char *keyPath, const unsigned char *name,
                       const unsigned char *data, const unsigned char *charLengths) {
    KeyName key;
    ValueName value;
    if (!parseKeyName(keyPath, charLengths, &key) || !parseValueName(name, charLengths, &value))
        return RegistryBadName;
    const unsigned char *text = data != nullptr ? data : reinterpret_cast<const unsigned char *>("");
    Session session(root, true);
    if (!session.ready())
        return RegistryUnavailable;
    Transaction write(session, BeginWrite);
    if (!write.begun() || !makeKey(session, key))
        return RegistryUnavailable;
    Query q(session, UpsertValue);
    bool stored = q.text(key.folded, key.length)
                      .text(value.folded, value.length)
                      .text(value.spelled, value.length)
                      .text(text, static_cast<uint32_t>(std::strlen(reinterpret_cast<const char *>(text))))
                      .run();
    return stored && write.commit() ? RegistryOk : RegistryUnavailable;
}

int registryDeleteValue(RegistryRoot root, const unsigned char *keyPath, const unsigned char *name,
                        const unsigned char *charLengths) {
    KeyName key;
    ValueName value;
    if (!parseKeyName(keyPath, charLengths, &key) || !parseValueName(name, charLengths, &value))
        return RegistryBadName;
    return onExistingKey(root, key, BeginWrite, [&](Session &session) {
        Query q(session, DeleteValue);
        if (!q.text(key.folded, key.length).text(value.folded, value.length).run())
            return int{RegistryUnavailable};
        return sqlite3_changes(session.handle()) > 0 ? int{RegistryOk} : int{RegistryNoValue};
    });
}

int registryDeleteKey(RegistryRoot root, const unsigned char *keyPath, const unsigned char *charLengths) {
    KeyName key;
    if (!parseKeyName(keyPath, charLengths, &key) || key.depth == 0)
        return RegistryBadName;
    return onExistingKey(root, key, BeginWrite, [&](Session &session) {
        bool deleted =
            deleteSubtree(session, DeleteSubtreeValues, key) && deleteSubtree(session, DeleteSubtreeKeys, key);
        return deleted ? int{RegistryOk} : int{RegistryUnavailable};
    });
}

int registryKeyExists(RegistryRoot root, const unsigned char *keyPath, const unsigned char *charLengths) {
    KeyName key;
    if (!parseKeyName(keyPath, charLengths, &key))
        return RegistryBadName;
    Session session(root, false);
    if (!session.ready())
        return session.notReady();
    return keyExists(session, key) ? RegistryOk : RegistryNoKey;
}

int registryListValues(RegistryRoot root, const unsigned char *keyPath, RegistryVisitor visit, void *context,
                       const unsigned char *charLengths) {
    return listRows(root, keyPath, ListValues, visit, context, charLengths);
}

int registryListSubkeys(RegistryRoot root, const unsigned char *keyPath, RegistryVisitor visit, void *context,
                        const unsigned char *charLengths) {
    return listRows(root, keyPath, ListSubkeys, visit, context, charLengths);
}

void registryClose() {
    for (Database &db : g_databases) {
        std::lock_guard<std::mutex> guard(db.lock);
        closeDatabase(db);
    }
}

} // namespace zo::plat
