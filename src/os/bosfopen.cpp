// Opening and creating files, with temporary names and the PATH search.
#include <zo/bosfile.h>
#include <zo/bospath.h>
#include <zo/pertask.h>

#include <cstring>

#include "os/bosint.h"
#include "platform/env.h"
#include "platform/file.h"

namespace {

namespace plat = zo::plat;

// Makes a new empty temporary file with the prefix "zo" in `dir` (Windows form, ending in a
// backslash) and stores its Windows-form name in `name`.
bool makeTemporaryFile(const unsigned char *dir, unsigned char *name) {
    char hostDir[plat::kHostPathMax];
    char hostFile[plat::kHostPathMax];
    if (!bosHostPath(dir, hostDir) || plat::fileMakeTemporary(hostDir, "zo", hostFile, sizeof hostFile) != plat::FileOk)
        return false;
    const char *base = std::strrchr(hostFile, '/') + 1;
    std::size_t dirLength = std::strlen(reinterpret_cast<const char *>(dir));
    std::size_t baseLength = std::strlen(base);
    if (dirLength + baseLength >= kBosNameSize) {
        plat::fileRemove(hostFile);
        return false;
    }
    std::memmove(name, dir, dirLength);
    std::memcpy(name + dirLength, base, baseLength + 1);
    return true;
}

void removeFile(const unsigned char *name) {
    char host[plat::kHostPathMax];
    if (bosHostPath(name, host))
        plat::fileRemove(host);
}

// The temporary file of BOS_TEMPNAME, moved to the root of another fixed drive for
// BOS_TEMPOTHERDRIVE when there is one.
bool makeTemporaryName(unsigned char *name, bool otherDrive) {
    unsigned char dir[kBosNameSize];
    if (!plat::temporaryDirectory(dir, sizeof dir) || !makeTemporaryFile(dir, name))
        return false;
    if (otherDrive) {
        for (char letter = 'C'; letter <= 'H'; ++letter) {
            if (letter == name[0] || plat::driveType(letter) != plat::DriveFixed)
                continue;
            const unsigned char root[] = {static_cast<unsigned char>(letter), ':', '\\', '\0'};
            unsigned char moved[kBosNameSize];
            if (!makeTemporaryFile(root, moved))
                break;
            removeFile(name);
            std::memcpy(name, moved, std::strlen(reinterpret_cast<char *>(moved)) + 1);
            break;
        }
    }
    bosfpath(name, 0);
    return true;
}

unsigned openModeOf(uint32_t mode) {
    const unsigned append = (mode & BOS_APPEND) ? plat::FileOpenAppend : 0u;
    if (mode & BOS_CREATE)
        return plat::FileOpenCreate | append;
    return ((mode & BOS_READWRITE) ? plat::FileOpenReadWrite : plat::FileOpenRead) |
           ((mode & BOS_EXCLUSIVE) ? plat::FileOpenDenyAll : 0u) | append;
}

int openAdapted(const unsigned char *adapted, unsigned openMode, int *fd) {
    char host[plat::kHostPathMax];
    if (!bosHostPath(adapted, host))
        return plat::FileNoSuchFile;
    return plat::fileOpen(host, openMode, fd);
}

// PATH entries are separated by `;`, and by `:` where it is not a drive's colon (so host
// PATH values work too).
bool isPathSeparator(const unsigned char *entryStart, const unsigned char *p) {
    return *p == ';' || (*p == ':' && p != entryStart + 1);
}

// Copies the next PATH entry (whole characters) into dir, ending it with a backslash, and
// steps p past its separator. Returns the entry's length with the backslash, 0 for an
// empty entry (which names no directory) or one that does not fit.
std::size_t takePathEntry(const unsigned char *&p, unsigned char (&dir)[kBosNameSize]) {
    const unsigned char *length = mdsCharLengthTable();
    const unsigned char *entry = p;
    std::size_t n = 0;
    bool fits = true;
    bool endsInBackslash = false;
    while (*p != '\0' && !isPathSeparator(entry, p)) {
        unsigned step = bosCharSize(p, length);
        endsInBackslash = step == 1 && *p == '\\';
        if (n + step + 1 >= sizeof dir) {
            fits = false;
        } else {
            std::memcpy(dir + n, p, step);
            n += step;
        }
        p += step;
    }
    if (*p != '\0')
        ++p;
    if (n == 0 || !fits)
        return 0;
    if (!endsInBackslash)
        dir[n++] = '\\';
    return n;
}

// Retries the open in each directory of PATH. The value is read into a buffer of this call
// (at most 700 bytes, as bosGetEnv), so other threads' bosGetEnv calls cannot disturb it.
bool openThroughPath(const unsigned char *name, unsigned openMode, int *fd, bool *adaptFailed) {
    unsigned char path[700];
    if (!plat::environmentValue("PATH", reinterpret_cast<char *>(path), sizeof path) || path[0] == '\0')
        return false;
    std::size_t nameLength = std::strlen(reinterpret_cast<const char *>(name));
    for (const unsigned char *p = path; *p != '\0';) {
        unsigned char joined[kBosNameSize];
        std::size_t n = takePathEntry(p, joined);
        if (n == 0 || n + nameLength >= sizeof joined)
            continue;
        // The name is adapted by the rule of its own volume, in place after the directory.
        if (applyOEMConvert(name, joined + n, 1) != ZoSuccess) {
            *adaptFailed = true;
            return false;
        }
        if (openAdapted(joined, openMode, fd) == plat::FileOk)
            return true;
    }
    return false;
}

} // namespace

ZoStatus bosFileOpen(unsigned char *name, uint32_t mode, int *handle) {
    *handle = 0;
    if ((mode & (BOS_TEMPNAME | BOS_TEMPOTHERDRIVE)) && !makeTemporaryName(name, (mode & BOS_TEMPOTHERDRIVE) != 0)) {
        bosReport(ZoMessage::FileCreate, reinterpret_cast<const unsigned char *>(""));
        return ZoFailure;
    }
    unsigned char adapted[kBosNameSize];
    if (applyOEMConvert(name, adapted, 1) != ZoSuccess)
        return ZoFailure;
    unsigned openMode = openModeOf(mode);
    int fd = -1;
    if (mode & BOS_CREATE) {
        if (openAdapted(adapted, openMode, &fd) != plat::FileOk) {
            bosReport(ZoMessage::FileCreate, name);
            return ZoFailure;
        }
    } else if (openAdapted(adapted, openMode, &fd) != plat::FileOk) {
        bool adaptFailed = false;
        bool found = (mode & BOS_SEARCHPATH) && openThroughPath(name, openMode, &fd, &adaptFailed);
        if (adaptFailed)
            return ZoFailure;
        if (!found) {
            bosReport(ZoMessage::FileOpen, name);
            return ZoFailure;
        }
    }
    *handle = fd + 1;
    return ZoSuccess;
}
