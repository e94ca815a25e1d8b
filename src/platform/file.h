// Files of the host: descriptors, sharing modes, region locks, directory listings, and the
// fault-injection seam that tests use to make file operations fail.
//
// Paths here are host paths (see path.h for the Windows-form mapping). Results are the
// run-time error numbers the library's components expect (FileError), 0 on success.
//
// Sharing modes are emulated with flock(2) locks held by each open file description:
// every open takes a shared lock, an open that denies reading and writing to others takes
// an exclusive one, both without waiting. So a deny-all open fails while the file is open
// through this library anywhere on the host, and any open fails while a deny-all open
// holds it. flock locks are advisory: programs that do not take them are not kept out.
// Region locks are open-file-description record locks (F_OFD_SETLK), independent of the
// sharing locks, exclusive and never waiting.
#pragma once

#include <cstddef>
#include <cstdint>

#include <zo/zoexport.h>

namespace zo::plat {

enum FileError : int {
    FileOk = 0,
    FileNoSuchFile = 2,
    FileBadDescriptor = 9,
    FileNoMemory = 12,
    FileAccessDenied = 13,
    FileTooManyOpen = 24,
    FileDiskFull = 28,
    FileLockViolation = 36,
    FileOtherError = 1000
};

// Open modes (bits).
enum FileOpenMode : unsigned {
    FileOpenRead = 0,
    FileOpenReadWrite = 1,
    FileOpenCreate = 2, // create or truncate; read-write
    FileOpenDenyAll = 4 // others may neither read nor write while it is open
};

ZO_API int fileOpen(const char *path, unsigned mode, int *fd);
ZO_API int fileClose(int fd);
// Reads until len bytes or the end of the file; *got receives the count.
ZO_API int fileRead(int fd, void *buf, uint32_t len, uint32_t *got);
// Writes len bytes. A full device is no error here: *written then tells how much was
// written before it filled (possibly 0).
ZO_API int fileWrite(int fd, const void *buf, uint32_t len, uint32_t *written);
// The same at a given position, leaving the file position alone (one system call where the
// seek-then-transfer pair would take two).
ZO_API int fileReadAt(int fd, uint64_t position, void *buf, uint32_t len, uint32_t *got);
ZO_API int fileWriteAt(int fd, uint64_t position, const void *buf, uint32_t len, uint32_t *written);
// origin 0 start, 1 current, 2 end; *pos receives the new position.
ZO_API int fileSeek(int fd, int64_t offset, int origin, int64_t *pos);
// Sets the length, extending with zero bytes.
ZO_API int fileSetSize(int fd, uint64_t size);
ZO_API int fileSync(int fd);
// Makes the entries of a directory (a rename into it) durable. Counts as a sync for fault
// injection.
ZO_API int directorySync(const char *path);
// Locks (or unlocks) length bytes from offset, without waiting; a region held through
// another open file description gives FileLockViolation. A length of 0 locks nothing.
ZO_API int fileLockRegion(int fd, uint64_t offset, uint64_t length, bool unlock);
ZO_API int fileRemove(const char *path);
// Renames without replacing: an existing `to` gives FileAccessDenied, as the platform's
// rename does. Renaming a file onto its own name succeeds and changes nothing.
ZO_API int fileRename(const char *from, const char *to);
// Renames, atomically replacing an existing `to` (for writing a file through a temporary
// one). Counts as a rename for fault injection.
ZO_API int fileReplace(const char *from, const char *to);

struct FileStatus {
    bool directory;
    bool readOnly; // no write permission for the owner
    uint64_t size;
    int64_t modified; // seconds since 1970-01-01 UTC
};
// FileNoSuchFile when nothing is there.
ZO_API int fileStatus(const char *path, FileStatus *status);

// Creates a new empty file `<dir>/<prefix>XXXXXX.tmp` with a unique name and stores its
// path in out.
ZO_API int fileMakeTemporary(const char *dir, const char *prefix, char *out, std::size_t size);

// Creates a directory and any missing parents (those it makes get mode 0700). FileOk when
// the directory exists afterwards.
ZO_API int fileMakeDirectories(const char *path);

// Directory listings. dirOpen returns null when the directory cannot be read.
struct DirEntry {
    char name[256];
    bool directory;
};
ZO_API void *dirOpen(const char *path);
// False at the end. Names longer than 255 bytes are skipped.
ZO_API bool dirNext(void *dir, DirEntry *entry);
ZO_API void dirClose(void *dir);

// Fault injection. The k-th call (1 = the next one) of the operation fails: Fail makes it
// return `error` without doing anything; ShortWrite makes a write write half of what it
// was asked (at least one byte fewer); DiskFull makes a write write nothing, as on a full
// device. One fault per operation is armed at a time; k = 0 disarms it. Counting is
// process-wide.
enum class FileOp : unsigned { Open, Read, Write, Sync, Rename, Count };
enum class FileFault : unsigned { Fail, ShortWrite, DiskFull };
ZO_API void fileTestInjectFault(FileOp op, uint32_t k, FileFault fault, int error = FileOtherError);
ZO_API void fileTestClearFaults();
// True while the fault armed for op waits for its k-th call (the call has not come yet).
ZO_API bool fileTestFaultPending(FileOp op);

} // namespace zo::plat
