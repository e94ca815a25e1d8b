#include "platform/file.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zo::plat {
namespace {

int errorOf(int err) {
    switch (err) {
    case ENOENT:
    case ENOTDIR:
    case ENAMETOOLONG: return FileNoSuchFile;
    case EBADF: return FileBadDescriptor;
    case ENOMEM: return FileNoMemory;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case EEXIST:
    case EBUSY:
    case ETXTBSY:
    case EWOULDBLOCK: return FileAccessDenied;
    case EMFILE:
    case ENFILE: return FileTooManyOpen;
    case ENOSPC:
    case EDQUOT: return FileDiskFull;
    default: return FileOtherError;
    }
}

int lastError() { return errorOf(errno); }

struct Fault {
    std::atomic<uint32_t> remaining{0}; // calls until the faulty one; 0 disarmed
    std::atomic<unsigned> kind{0};
    std::atomic<int> error{FileOtherError};
};

Fault g_faults[static_cast<unsigned>(FileOp::Count)];

// The fault to apply to this call of op, if any.
bool faultNow(FileOp op, FileFault *kind, int *error) {
    Fault &f = g_faults[static_cast<unsigned>(op)];
    uint32_t left = f.remaining.load(std::memory_order_relaxed);
    while (left != 0 && !f.remaining.compare_exchange_weak(left, left - 1, std::memory_order_relaxed)) {
    }
    if (left != 1)
        return false;
    *kind = static_cast<FileFault>(f.kind.load(std::memory_order_relaxed));
    *error = f.error.load(std::memory_order_relaxed);
    return true;
}

// A plain failure injected into an operation that has no partial outcome.
bool injectedFailure(FileOp op, int *error) {
    FileFault kind;
    return faultNow(op, &kind, error);
}

int lockWhole(int fd, int operation) {
    while (flock(fd, operation | LOCK_NB) != 0) {
        if (errno != EINTR)
            return errno == EWOULDBLOCK ? FileAccessDenied : lastError();
    }
    return FileOk;
}

} // namespace

int fileOpen(const char *path, unsigned mode, int *fd) {
    int error;
    if (injectedFailure(FileOp::Open, &error))
        return error;
    int flags = O_CLOEXEC;
    if (mode & FileOpenCreate)
        flags |= O_RDWR | O_CREAT;
    else
        flags |= (mode & FileOpenReadWrite) ? O_RDWR : O_RDONLY;
    int d;
    do {
        d = open(path, flags, 0666);
    } while (d < 0 && errno == EINTR);
    if (d < 0)
        return lastError();
    // The sharing lock comes before truncation, so a file held deny-all elsewhere is left
    // untouched.
    int result = lockWhole(d, (mode & FileOpenDenyAll) ? LOCK_EX : LOCK_SH);
    if (result == FileOk && (mode & FileOpenCreate) && ftruncate(d, 0) != 0)
        result = lastError();
    if (result != FileOk) {
        close(d);
        return result;
    }
    *fd = d;
    return FileOk;
}

int fileClose(int fd) {
    // Linux releases the descriptor even when close reports EINTR: never retry.
    return close(fd) == 0 || errno == EINTR ? FileOk : lastError();
}

namespace {

// Reads until len bytes or the end of the file; `transfer(p, n, done)` reads n bytes into p,
// `done` bytes into the request.
template <class Transfer>
int readLoop(void *buf, uint32_t len, uint32_t *got, Transfer transfer) {
    *got = 0;
    int error;
    if (injectedFailure(FileOp::Read, &error))
        return error;
    auto *p = static_cast<char *>(buf);
    while (*got < len) {
        ssize_t n = transfer(p + *got, len - *got, *got);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return lastError();
        }
        if (n == 0)
            break;
        *got += static_cast<uint32_t>(n);
    }
    return FileOk;
}

template <class Transfer>
int writeLoop(const void *buf, uint32_t len, uint32_t *written, Transfer transfer) {
    *written = 0;
    FileFault kind;
    int error;
    if (faultNow(FileOp::Write, &kind, &error)) {
        if (kind == FileFault::Fail)
            return error;
        if (kind == FileFault::DiskFull || len < 2)
            return FileOk;
        len /= 2;
    }
    auto *p = static_cast<const char *>(buf);
    while (*written < len) {
        ssize_t n = transfer(p + *written, len - *written, *written);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (errno == ENOSPC || errno == EDQUOT)
                return FileOk;
            return lastError();
        }
        *written += static_cast<uint32_t>(n);
    }
    return FileOk;
}

} // namespace

int fileRead(int fd, void *buf, uint32_t len, uint32_t *got) {
    return readLoop(buf, len, got, [fd](char *p, uint32_t n, uint32_t) { return read(fd, p, n); });
}

int fileReadAt(int fd, uint64_t position, void *buf, uint32_t len, uint32_t *got) {
    return readLoop(buf, len, got, [fd, position](char *p, uint32_t n, uint32_t done) {
        return pread(fd, p, n, static_cast<off_t>(position + done));
    });
}

int fileWrite(int fd, const void *buf, uint32_t len, uint32_t *written) {
    return writeLoop(buf, len, written, [fd](const char *p, uint32_t n, uint32_t) { return write(fd, p, n); });
}

int fileWriteAt(int fd, uint64_t position, const void *buf, uint32_t len, uint32_t *written) {
    return writeLoop(buf, len, written, [fd, position](const char *p, uint32_t n, uint32_t done) {
        return pwrite(fd, p, n, static_cast<off_t>(position + done));
    });
}

int fileSeek(int fd, int64_t offset, int origin, int64_t *pos) {
    static constexpr int whence[] = {SEEK_SET, SEEK_CUR, SEEK_END};
    if (origin < 0 || origin > 2)
        return FileOtherError;
    off_t at = lseek(fd, static_cast<off_t>(offset), whence[origin]);
    if (at < 0)
        return lastError();
    *pos = static_cast<int64_t>(at);
    return FileOk;
}

int fileSetSize(int fd, uint64_t size) {
    while (ftruncate(fd, static_cast<off_t>(size)) != 0) {
        if (errno != EINTR)
            return lastError();
    }
    return FileOk;
}

int fileSync(int fd) {
    int error;
    if (injectedFailure(FileOp::Sync, &error))
        return error;
    return fsync(fd) == 0 ? FileOk : lastError();
}

int directorySync(const char *path) {
    int error;
    if (injectedFailure(FileOp::Sync, &error))
        return error;
    int d;
    do {
        d = open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    } while (d < 0 && errno == EINTR);
    if (d < 0)
        return lastError();
    int result = fsync(d) == 0 ? FileOk : lastError();
    close(d);
    return result;
}

int fileLockRegion(int fd, uint64_t offset, uint64_t length, bool unlock) {
    if (length == 0)
        return FileOk;
    int accessMode = fcntl(fd, F_GETFL);
    if (accessMode < 0)
        return lastError();
    struct flock region {};
    // A read-only descriptor can hold only a read lock; it still keeps writers out.
    region.l_type = static_cast<short>(unlock ? F_UNLCK : ((accessMode & O_ACCMODE) == O_RDONLY ? F_RDLCK : F_WRLCK));
    region.l_whence = SEEK_SET;
    region.l_start = static_cast<off_t>(offset);
    region.l_len = static_cast<off_t>(length);
    while (fcntl(fd, F_OFD_SETLK, &region) != 0) {
        if (errno == EINTR)
            continue;
        return errno == EAGAIN || errno == EACCES ? FileLockViolation : lastError();
    }
    return FileOk;
}

int fileRemove(const char *path) { return unlink(path) == 0 ? FileOk : lastError(); }

int fileRename(const char *from, const char *to) {
    int error;
    if (injectedFailure(FileOp::Rename, &error))
        return error;
    struct stat st;
    if (std::strcmp(from, to) == 0)
        return stat(from, &st) == 0 ? FileOk : lastError();
    if (renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0)
        return FileOk;
    if (errno != EINVAL && errno != ENOSYS)
        return lastError();
    // A file system without no-replace renames: check first (not atomic, but the best
    // such a file system allows).
    if (lstat(to, &st) == 0)
        return FileAccessDenied;
    return rename(from, to) == 0 ? FileOk : lastError();
}

int fileReplace(const char *from, const char *to) {
    int error;
    if (injectedFailure(FileOp::Rename, &error))
        return error;
    return rename(from, to) == 0 ? FileOk : lastError();
}

int fileStatus(const char *path, FileStatus *status) {
    struct stat st;
    if (stat(path, &st) != 0)
        return lastError();
    status->directory = S_ISDIR(st.st_mode);
    status->readOnly = (st.st_mode & S_IWUSR) == 0;
    status->size = static_cast<uint64_t>(st.st_size);
    status->modified = static_cast<int64_t>(st.st_mtim.tv_sec);
    return FileOk;
}

int fileMakeTemporary(const char *dir, const char *prefix, char *out, std::size_t size) {
    int written =
        std::snprintf(out, size, "%s%s%sXXXXXX.tmp", dir, dir[std::strlen(dir) - 1] == '/' ? "" : "/", prefix);
    if (written < 0 || static_cast<std::size_t>(written) >= size)
        return FileNoSuchFile;
    int error;
    if (injectedFailure(FileOp::Open, &error))
        return error;
    int d = mkostemps(out, 4, O_CLOEXEC);
    if (d < 0)
        return lastError();
    close(d);
    return FileOk;
}

int fileMakeDirectories(const char *path) {
    char partial[4096];
    std::size_t length = std::strlen(path);
    if (length == 0 || length >= sizeof partial)
        return FileNoSuchFile;
    std::memcpy(partial, path, length + 1);
    for (std::size_t i = 1; i <= length; ++i) {
        if (partial[i] != '/' && partial[i] != '\0')
            continue;
        partial[i] = '\0';
        if (mkdir(partial, 0700) != 0 && errno != EEXIST)
            return lastError();
        partial[i] = i == length ? '\0' : '/';
    }
    struct stat st;
    return stat(path, &st) == 0 && S_ISDIR(st.st_mode) ? FileOk : FileAccessDenied;
}

void *dirOpen(const char *path) { return opendir(path); }

bool dirNext(void *dir, DirEntry *entry) {
    auto *d = static_cast<DIR *>(dir);
    while (dirent *e = readdir(d)) {
        std::size_t length = std::strlen(e->d_name);
        if (length >= sizeof entry->name)
            continue;
        std::memcpy(entry->name, e->d_name, length + 1);
        if (e->d_type == DT_DIR) {
            entry->directory = true;
        } else if (e->d_type == DT_UNKNOWN || e->d_type == DT_LNK) {
            struct stat st;
            entry->directory = fstatat(dirfd(d), e->d_name, &st, 0) == 0 && S_ISDIR(st.st_mode);
        } else {
            entry->directory = false;
        }
        return true;
    }
    return false;
}

void dirClose(void *dir) { closedir(static_cast<DIR *>(dir)); }

void fileTestInjectFault(FileOp op, uint32_t k, FileFault fault, int error) {
    Fault &f = g_faults[static_cast<unsigned>(op)];
    f.remaining.store(0, std::memory_order_relaxed);
    f.kind.store(static_cast<unsigned>(fault), std::memory_order_relaxed);
    f.error.store(error, std::memory_order_relaxed);
    f.remaining.store(k, std::memory_order_relaxed);
}

void fileTestClearFaults() {
    for (auto &f : g_faults)
        f.remaining.store(0, std::memory_order_relaxed);
}

bool fileTestFaultPending(FileOp op) {
    return g_faults[static_cast<unsigned>(op)].remaining.load(std::memory_order_relaxed) != 0;
}

} // namespace zo::plat
