// Locks between connections (threads and processes) on one directory of tables, held as
// region locks on a lock file in the directory (.zotext.lock, created on first use):
//
//   byte 0          the swap lock: exclusive while a change puts files in place (the
//                   renames of a commit), shared while a statement opens its files, so a
//                   statement sees a commit of several tables all or nothing;
//   byte 1          the turn: a change that waits for the swap lock holds it exclusively,
//                   and readers pass through it (shared) before they take the swap lock,
//                   so that a stream of readers cannot keep a change waiting;
//   byte 16 + h     the lock of a table whose name hashes to h: held by the one connection
//                   that changes the table, from its change to the end of its transaction.
//
// Readers never wait for writers beyond the renames: a file being rewritten is a new file,
// put in place by a rename, and a reader keeps reading the file it opened.
#pragma once

#include <cstdint>
#include <set>
#include <string>

namespace zotext {

class LockFile {
public:
    LockFile() = default;
    ~LockFile();
    LockFile(const LockFile &) = delete;
    LockFile &operator=(const LockFile &) = delete;

    // The lock file of the directory; waits give up after timeoutMs.
    void attach(const std::string &lockPath, uint32_t timeoutMs);

    // The table's lock for this connection (again: nothing to do). False with Busy recorded
    // when another connection holds it beyond the timeout, or with FileError when the lock
    // file cannot be made.
    bool lockTable(const std::string &key);
    void unlockTable(const std::string &key);
    void unlockAllTables();
    bool holdsTable(const std::string &key) const { return tables_.count(key) != 0; }

    // Exclusive swap lock around renames; false with Busy recorded on timeout.
    bool beginSwap();
    void endSwap();
    // Shared swap lock while files are opened (nested brackets hold it once). A directory
    // where the lock file cannot be opened (read-only media) has no writers to fear: the
    // read goes on without it.
    void beginRead();
    void endRead();

private:
    bool openWritable();
    bool waitFor(int handle, uint32_t offset, const char *what);
    void release(int handle, uint32_t offset);
    static uint32_t regionOf(const std::string &key);

    std::string path_;
    uint32_t timeoutMs_ = 5000;
    int writable_ = 0; // read-write handle: exclusive locks
    int readable_ = 0; // read-only handle: shared locks
    bool reading_ = false;
    int readDepth_ = 0;
    std::set<std::string> tables_;
};

} // namespace zotext
