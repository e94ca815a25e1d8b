// The registry of the host: keys and string values kept in SQLite, one database file per
// root.
//
// `HKEY_CURRENT_USER` lives in ZO_REGISTRY_USER (default `$XDG_CONFIG_HOME/zo/registry.db`,
// else `$HOME/.config/zo/registry.db`), `HKEY_LOCAL_MACHINE` in ZO_REGISTRY_MACHINE (default
// `/var/lib/zo/registry.db`); both are host paths, read when a root's database is first
// opened. A database is opened on first use and stays open; a read of a database that does
// not exist opens nothing (the read finds nothing), a write creates it with its directory.
//
// A key path is a Windows-form key name relative to the root (`SOFTWARE\ODBC\ODBC.INI\x`);
// empty components (doubled or trailing backslashes) are ignored, the empty path is the root
// key itself. Keys and value names compare ignoring ASCII case (bytes of double-byte
// characters exactly) and keep the case they were created with. Values are strings
// (`REG_SZ`); a null or empty value name is the key's default value.
//
// Every write is one transaction, so it lands whole or not at all. Several processes may use
// one database at once: a writer waits up to five seconds for another one to finish. Each
// function takes the caller's character-length table for walking names.
#pragma once

#include <cstddef>
#include <cstdint>

#include <zo/zoexport.h>

namespace zo::plat {

enum class RegistryRoot : unsigned { CurrentUser = 0, LocalMachine = 1 };

enum RegistryResult : int {
    RegistryOk = 0,
    RegistryNoKey = 1,       // the key does not exist (nor, perhaps, the database)
    RegistryNoValue = 2,     // the key exists, the value does not
    RegistryMoreData = 3,    // the value does not fit the caller's buffer
    RegistryUnavailable = 4, // no database, or it cannot be read or written (or stays busy)
    RegistryBadName = 5      // a key path too long or too deep to be stored
};

// The host path of a root's database file. False when it cannot be named or does not fit.
ZO_API bool registryDatabasePath(RegistryRoot root, char *out, std::size_t size);

// Copies value `name` of key `keyPath` into out with a terminator and stores its length (the
// terminator not counted) in *length. RegistryMoreData, with out untouched, when the value
// and its terminator need more than size bytes.
ZO_API int registryReadValue(RegistryRoot root, const unsigned char *keyPath, const unsigned char *name,
                             unsigned char *out, uint32_t size, uint32_t *length, const unsigned char *charLengths);
// Sets value `name` of key `keyPath` to `data`, making the key and any missing parents.
ZO_API int registryWriteValue(RegistryRoot root, const unsigned char *keyPath, const unsigned char *name,
                              const unsigned char *data, const unsigned char *charLengths);
// Deletes value `name` of key `keyPath`.
ZO_API int registryDeleteValue(RegistryRoot root, const unsigned char *keyPath, const unsigned char *name,
                               const unsigned char *charLengths);
// Deletes key `keyPath` with every key and value below it. The root key cannot be deleted
// (RegistryBadName).
ZO_API int registryDeleteKey(RegistryRoot root, const unsigned char *keyPath, const unsigned char *charLengths);
// Whether key `keyPath` exists (RegistryOk) or not (RegistryNoKey).
//
// Every function answers RegistryNoKey when the database does not exist (a write makes it),
// and RegistryUnavailable when it cannot be opened, read or written.
ZO_API int registryKeyExists(RegistryRoot root, const unsigned char *keyPath, const unsigned char *charLengths);

// Enumerations. `visit` is called for each value of a key, in the order the values were
// created, or for each subkey, in the order of their names ignoring case, until it returns
// false. It gets the name as stored (not terminated) and, for values, the length of the data.
// It runs while the database is held: it must not call the registry functions.
using RegistryVisitor = bool (*)(void *context, const unsigned char *name, uint32_t nameLength, uint32_t dataLength);
ZO_API int registryListValues(RegistryRoot root, const unsigned char *keyPath, RegistryVisitor visit, void *context,
                              const unsigned char *charLengths);
ZO_API int registryListSubkeys(RegistryRoot root, const unsigned char *keyPath, RegistryVisitor visit, void *context,
                               const unsigned char *charLengths);

// Closes both databases; the next call opens them again, reading the environment anew. At
// process detach, and in tests that point the roots elsewhere.
ZO_API void registryClose();

} // namespace zo::plat
