// Dynamic libraries. The resource library: its name is derived from a module's file name,
// it is loaded once per holder variable and freed when the last hold is given back. The
// libraries of the family are found beside it. The count of driver initialisations lives
// in its per-task slot as a plain number.
#include <zo/cntdblib.h>
#include <zo/bospath.h>
#include <zo/pertask.h>
#include <zo/zocritse.h>

#include <cstring>

#include "frame/libstate.h"
#include "platform/module.h"

namespace {

constexpr uint32_t kNameSize = 256;         // module names are at most 255 bytes
constexpr char kResourceSuffix[] = "R.DLL"; // replaces the extension

// Bytes of the character at p: the thread's stepping rule, never past a NUL.
unsigned charLength(const unsigned char *p, const unsigned char *lengths) {
    unsigned n = lengths[*p];
    for (unsigned k = 1; k < n; ++k)
        if (p[k] == '\0')
            return k;
    return n;
}

// The last character of `text` equal to c (a single byte), stepping by character so that
// a trail byte is never taken for it; null when none.
const unsigned char *lastCharOf(const unsigned char *text, unsigned char c) {
    const unsigned char *lengths = mdsCharLengthTable();
    const unsigned char *found = nullptr;
    for (const unsigned char *p = text; *p != '\0'; p += charLength(p, lengths))
        if (*p == c)
            found = p;
    return found;
}

// The start of the character that ends just before `end`, or null when end is the start.
unsigned char *charBefore(unsigned char *text, const unsigned char *end) {
    const unsigned char *lengths = mdsCharLengthTable();
    unsigned char *previous = nullptr;
    for (unsigned char *p = text; p < end; p += charLength(p, lengths))
        previous = p;
    return previous;
}

// Turns a module's file name into its resource library's name in place (the buffer holds
// kNameSize + sizeof kResourceSuffix bytes). False when the name has no extension dot
// after its first character.
bool makeResourceName(unsigned char *fileName, int replaceLastChar) {
    const unsigned char *dot = lastCharOf(fileName, '.');
    if (dot == nullptr || dot == fileName)
        return false;
    unsigned char *at = replaceLastChar ? charBefore(fileName, dot) : const_cast<unsigned char *>(dot);
    std::memcpy(at, kResourceSuffix, sizeof kResourceSuffix);
    return true;
}

void *loadBeside(const unsigned char *directory, const unsigned char *fileName) {
    unsigned char path[2 * kNameSize + sizeof kResourceSuffix];
    size_t dirLength = std::strlen(reinterpret_cast<const char *>(directory));
    std::memcpy(path, directory, dirLength);
    path[dirLength] = '\\';
    std::strcpy(reinterpret_cast<char *>(path + dirLength + 1), reinterpret_cast<const char *>(fileName));
    return zo::plat::moduleLoad(path, mdsCharLengthTable());
}

// The per-task hold on the resource library is shared by every driver of the process;
// drivers start and stop on threads of their own, so the count is changed under the
// DB-Library count lock, the lock of the other per-process initialisation count.
ZoCriticalSection &perTaskInitLock() { return zoStaticCriticalSection(ZoStaticLock::DbLibCount); }

} // namespace

ZoStatus getDllFileNameAndDirectory(void *module, unsigned char *directory, unsigned char *fileName) {
    unsigned char name[kNameSize];
    if (zo::plat::moduleFileName(module, name, sizeof name) == 0)
        return ZoFailure;
    const unsigned char *backslash = lastCharOf(name, '\\');
    if (backslash == nullptr)
        return ZoFailure;
    if (directory != nullptr) {
        size_t n = static_cast<size_t>(backslash - name);
        std::memcpy(directory, name, n);
        directory[n] = '\0';
    }
    if (fileName != nullptr)
        std::strcpy(reinterpret_cast<char *>(fileName), reinterpret_cast<const char *>(backslash + 1));
    return ZoSuccess;
}

ZoStatus bosLoadResourceDLL(void *module, int replaceLastChar, void **resource, uint32_t *refCount) {
    unsigned char directory[kNameSize];
    unsigned char fileName[kNameSize + sizeof kResourceSuffix];
    if (getDllFileNameAndDirectory(module, directory, fileName) != ZoSuccess)
        return ZoFailure;
    if (*refCount != 0) {
        ++*refCount;
        return ZoSuccess;
    }
    *resource = nullptr;
    if (!makeResourceName(fileName, replaceLastChar))
        return ZoFailure;
    void *library = loadBeside(directory, fileName);
    if (library == nullptr)
        library = zo::plat::moduleLoad(fileName, mdsCharLengthTable());
    if (library == nullptr)
        return ZoFailure;
    *resource = library;
    ++*refCount;
    return ZoSuccess;
}

ZoStatus bosFreeResourceDLL(void **resource, uint32_t *refCount) {
    if (*resource == nullptr)
        return ZoSuccess;
    // A count that is already 0 with a library held is taken as the last hold rather than
    // wrapped around, so the library is freed instead of kept forever.
    if (*refCount <= 1) {
        zo::plat::moduleFree(*resource);
        *resource = nullptr;
        *refCount = 0;
    } else {
        --*refCount;
    }
    return ZoSuccess;
}

unsigned short mdsPerTaskInit(void) {
    PerTaskRecord &task = mdsPerTaskRecord();
    ZoLockGuard guard(perTaskInitLock());
    // Without a resource library the messages have empty texts; the driver still starts.
    (void)bosLoadResourceDLL(task.ownModule, 0, &task.resourceLibrary, &task.resourceUseCount);
    return 1;
}

void mdsPerTaskTerm(void) {
    PerTaskRecord &task = mdsPerTaskRecord();
    ZoLockGuard guard(perTaskInitLock());
    (void)bosFreeResourceDLL(&task.resourceLibrary, &task.resourceUseCount); // always succeeds
}

void *bosLoadLibrary(const unsigned char *name, unsigned short familyName) {
    if (familyName == 0)
        return zo::plat::moduleLoad(name, mdsCharLengthTable());
    // The resource library's file name, cut after its last backslash, then NAME10.DLL.
    unsigned char path[kNameSize + 8];
    unsigned char file[kNameSize];
    unsigned char ext[kNameSize];
    if (zo::plat::moduleFileName(mdsPerTaskRecord().resourceLibrary, path, kNameSize) == 0)
        return nullptr;
    (void)bosParseName(path, file, ext, 0); // without a report it only splits
    size_t dirLength = std::strlen(reinterpret_cast<char *>(path));
    size_t nameLength = std::strlen(reinterpret_cast<const char *>(name));
    constexpr char kFamilySuffix[] = "10.DLL";
    if (dirLength + nameLength + sizeof kFamilySuffix > kNameSize)
        return nullptr;
    std::memcpy(path + dirLength, name, nameLength);
    std::memcpy(path + dirLength + nameLength, kFamilySuffix, sizeof kFamilySuffix);
    return zo::plat::moduleLoad(path, mdsCharLengthTable());
}

void bosdllname(unsigned char *name) { std::strcat(reinterpret_cast<char *>(name), "10"); }

unsigned short countDBLibInits(unsigned short starting) {
    ZoLockGuard guard(zoStaticCriticalSection(ZoStaticLock::DbLibCount));
    void **slot = mdsGetPerTaskDataAddress(PerTaskDbLibInits);
    auto count = static_cast<uint16_t>(reinterpret_cast<uintptr_t>(*slot));
    if (starting != 0) {
        if (count != UINT16_MAX)
            *slot = reinterpret_cast<void *>(static_cast<uintptr_t>(count + 1));
        return count;
    }
    if (count != 0)
        *slot = reinterpret_cast<void *>(static_cast<uintptr_t>(--count));
    return count;
}
