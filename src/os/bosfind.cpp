// Enumerating files, subdirectories and drives through caller-held cursors.
#include <zo/bosfile.h>
#include <zo/pertask.h>
#include <zo/ramalloc.h>

#include <cstring>

#include "os/bosint.h"
#include "platform/file.h"

namespace {

namespace plat = zo::plat;

unsigned char foldAscii(unsigned char c) { return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 32) : c; }

// Windows wildcard match, ignoring ASCII case: `*` any run of characters, `?` one
// character; double-byte characters compare whole.
bool matches(const unsigned char *name, const unsigned char *pattern, const unsigned char *length) {
    const unsigned char *star = nullptr;
    const unsigned char *resume = nullptr;
    while (*name != '\0') {
        unsigned step = bosCharSize(name, length);
        if (*pattern == '*') {
            star = ++pattern;
            resume = name;
            continue;
        }
        bool same = *pattern == '?' ? true
                    : step == 1     ? foldAscii(*pattern) == foldAscii(*name)
                                    : std::memcmp(pattern, name, step) == 0 && pattern[0] != '\0';
        if (*pattern != '\0' && same) {
            pattern += *pattern == '?' ? 1 : step;
            name += step;
            continue;
        }
        if (star == nullptr)
            return false;
        pattern = star;
        resume += bosCharSize(resume, length);
        name = resume;
    }
    while (*pattern == '*')
        ++pattern;
    return *pattern == '\0';
}

// As the platform does, a pattern ending in `.*` also matches names without a dot.
bool matchesPattern(const unsigned char *name, const unsigned char *pattern, const unsigned char *length) {
    if (matches(name, pattern, length))
        return true;
    std::size_t n = std::strlen(reinterpret_cast<const char *>(pattern));
    if (n < 2 || pattern[n - 2] != '.' || pattern[n - 1] != '*' ||
        std::strchr(reinterpret_cast<const char *>(name), '.'))
        return false;
    unsigned char shorter[kBosNameSize];
    std::memcpy(shorter, pattern, n - 2);
    shorter[n - 2] = '\0';
    return matches(name, shorter, length);
}

struct FindCursor {
    void *dir;
    unsigned char pattern[kBosNameSize];
};

// Splits a pattern into its directory (the host path) and the name pattern.
bool openPattern(const unsigned char *name, FindCursor *cursor) {
    const unsigned char *length = mdsCharLengthTable();
    const unsigned char *part = name;
    for (const unsigned char *p = name; *p != '\0'; p += bosCharSize(p, length)) {
        if (*p == '\\' || (p == name + 1 && *p == ':'))
            part = p + 1;
    }
    std::size_t dirLength = static_cast<std::size_t>(part - name);
    std::size_t partLength = std::strlen(reinterpret_cast<const char *>(part));
    if (dirLength >= kBosNameSize || partLength >= kBosNameSize)
        return false;
    unsigned char dir[kBosNameSize];
    std::memcpy(dir, name, dirLength);
    dir[dirLength] = '\0';
    if (dirLength == 0 || (dirLength == 2 && dir[1] == ':'))
        std::strcpy(reinterpret_cast<char *>(dir + dirLength), ".");
    char host[plat::kHostPathMax];
    if (!bosHostPath(dir, host))
        return false;
    cursor->dir = plat::dirOpen(host);
    std::memcpy(cursor->pattern, part, partLength + 1);
    return cursor->dir != nullptr;
}

// Allocates a zero-filled cursor into the caller's variable; false when memory is out.
template <class Cursor>
bool startCursor(Cursor **cursor) {
    *cursor = static_cast<Cursor *>(ramAllocZ(sizeof(Cursor)));
    return *cursor != nullptr;
}

template <class Cursor>
void endEnumeration(Cursor **cursor) {
    if ((*cursor)->dir != nullptr)
        plat::dirClose((*cursor)->dir);
    ramFree(*cursor);
    *cursor = nullptr;
}

} // namespace

ZoStatus bosFindFiles(unsigned char **cursor, unsigned char *name) {
    auto **find = reinterpret_cast<FindCursor **>(cursor);
    if (*find == nullptr) {
        if (!startCursor(find))
            return ZoFailure;
        if (!openPattern(name, *find)) {
            endEnumeration(find);
            return ZoSuccess;
        }
    }
    const unsigned char *length = mdsCharLengthTable();
    plat::DirEntry entry;
    while (plat::dirNext((*find)->dir, &entry)) {
        auto *entryName = reinterpret_cast<const unsigned char *>(entry.name);
        if (matchesPattern(entryName, (*find)->pattern, length)) {
            std::memcpy(name, entry.name, std::strlen(entry.name) + 1);
            return ZoSuccess;
        }
    }
    endEnumeration(find);
    return ZoSuccess;
}

namespace {

struct DirectoryCursor {
    void *dir;
};

} // namespace

ZoStatus bosGetDirectoryNames(void **cursor, unsigned char *name) {
    name[0] = '\0';
    auto **list = reinterpret_cast<DirectoryCursor **>(cursor);
    if (*list == nullptr) {
        if (!startCursor(list))
            return ZoFailure;
        (*list)->dir = plat::dirOpen(".");
        if ((*list)->dir == nullptr) {
            endEnumeration(list);
            return ZoSuccess;
        }
    }
    plat::DirEntry entry;
    while (plat::dirNext((*list)->dir, &entry)) {
        if (!entry.directory || std::strcmp(entry.name, ".") == 0)
            continue;
        // Host names are in the ANSI code page already: only the case changes.
        std::memcpy(name, entry.name, std::strlen(entry.name) + 1);
        bosLowerName(name);
        return ZoSuccess;
    }
    endEnumeration(list);
    return ZoSuccess;
}

namespace {

struct DriveCursor {
    uint16_t index;
    uint32_t mask;
};

} // namespace

ZoStatus bosGetFileSystems(void **cursor, unsigned char *drive) {
    drive[0] = '\0';
    auto **drives = reinterpret_cast<DriveCursor **>(cursor);
    if (*drives == nullptr) {
        if (!startCursor(drives))
            return ZoFailure;
        (*drives)->mask = plat::logicalDrives();
    }
    for (DriveCursor *d = *drives; d->index < 26; ++d->index) {
        if (d->mask & (1u << d->index)) {
            drive[0] = static_cast<unsigned char>('a' + d->index++);
            drive[1] = '\0';
            return ZoSuccess;
        }
    }
    ramFree(*drives);
    *drives = nullptr;
    return ZoSuccess;
}
