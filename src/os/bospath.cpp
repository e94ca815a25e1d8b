// Completing, building, splitting and shortening path names; the current directory.
#include <zo/bospath.h>
#include <zo/pertask.h>

#include <cstring>

#include "os/bosint.h"

namespace {

namespace plat = zo::plat;

// Longest path a completion produces, in bytes.
constexpr std::size_t kPathMax = 254;

std::size_t lengthOf(const unsigned char *text) { return std::strlen(reinterpret_cast<const char *>(text)); }

// Where the last character starting before `end` begins (stepping from text).
const unsigned char *lastCharBefore(const unsigned char *text, const unsigned char *end, const unsigned char *length) {
    const unsigned char *last = nullptr;
    for (const unsigned char *p = text; p < end && *p != '\0'; p += bosCharSize(p, length))
        last = p;
    return last;
}

// The first occurrence of byte c as a whole character from p, or null.
unsigned char *findChar(unsigned char *p, unsigned char c, const unsigned char *length) {
    for (; *p != '\0'; p += bosCharSize(p, length)) {
        if (*p == c)
            return p;
    }
    return nullptr;
}

// The last occurrence of byte c as a whole character before end, or null.
unsigned char *findLastChar(unsigned char *text, const unsigned char *end, unsigned char c,
                            const unsigned char *length) {
    unsigned char *found = nullptr;
    for (unsigned char *p = text; p < end && *p != '\0'; p += bosCharSize(p, length))
        if (*p == c)
            found = p;
    return found;
}

// Number of bytes of at most `limit` bytes from text that end on a character boundary.
std::size_t wholeCharsWithin(const unsigned char *text, std::size_t limit, const unsigned char *length) {
    std::size_t n = 0;
    while (text[n] != '\0') {
        std::size_t step = bosCharSize(text + n, length);
        if (n + step > limit)
            break;
        n += step;
    }
    return n < limit ? n : limit;
}

// `X:` at the start (the first byte a character of its own).
bool startsWithDrive(const unsigned char *p, const unsigned char *length) {
    return p[0] != '\0' && length[p[0]] == 1 && p[1] == ':';
}

// Removes `\..\` steps: the text after `\..` joins at the backslash before the step.
void removeParentSteps(unsigned char *path, const unsigned char *length) {
    for (;;) {
        unsigned char *step = nullptr;
        for (unsigned char *p = path; *p != '\0'; p += bosCharSize(p, length)) {
            if (p[0] == '\\' && p[1] == '.' && p[2] == '.' && p[3] == '\\') {
                step = p;
                break;
            }
        }
        if (step == nullptr)
            return;
        unsigned char *before = findLastChar(path, step, '\\', length);
        unsigned char *to = before != nullptr ? before : path;
        const unsigned char *from = step + 3;
        std::memmove(to, from, lengthOf(from) + 1);
    }
}

// Puts the current directory in front of `rest` (which has no drive or is drive-relative).
void prefixCurrentDirectory(unsigned char *path, const unsigned char *rest, bool oem, const unsigned char *length) {
    unsigned char tail[kBosNameSize];
    std::size_t tailLength = wholeCharsWithin(rest, sizeof tail - 1, length);
    std::memcpy(tail, rest, tailLength);
    tail[tailLength] = '\0';
    unsigned char cwd[kBosNameSize];
    if (!plat::currentDirectory(cwd, sizeof cwd))
        std::strcpy(reinterpret_cast<char *>(cwd), "C:\\");
    if (oem)
        plat::ansiToOem(cwd);
    std::size_t n = lengthOf(cwd);
    if (tail[0] == '\\') {
        n = startsWithDrive(cwd, length) ? 2 : 0;
    } else {
        const unsigned char *last = lastCharBefore(cwd, cwd + n, length);
        if (last == nullptr || *last != '\\')
            cwd[n++] = '\\';
    }
    std::memcpy(path, cwd, n);
    std::size_t room = n < kPathMax ? kPathMax - n : 0;
    std::size_t take = wholeCharsWithin(tail, room, length);
    std::memcpy(path + n, tail, take);
    path[n + take] = '\0';
}

} // namespace

void bosfpath(unsigned char *path, int convert) {
    const unsigned char *length = mdsCharLengthTable();
    if (convert != 0)
        plat::ansiToOem(path);
    bool networkName = path[0] == '\\' && path[1] == '\\';
    // Any colon but a drive's (the second character) marks a name that is not a path.
    unsigned char *colon = findChar(path, ':', length);
    if (colon == path + 1)
        colon = findChar(colon + 1, ':', length);
    bool keepAsGiven = networkName || path[0] == '/' || colon != nullptr;
    if (!keepAsGiven) {
        bool full = startsWithDrive(path, length) && path[2] == '\\';
        if (!full)
            prefixCurrentDirectory(path, startsWithDrive(path, length) ? path + 2 : path, convert != 0, length);
        removeParentSteps(path, length);
    }
    if (convert != 0) {
        plat::oemToAnsi(path);
        bosUpperName(path);
    }
}

namespace {

// Appends to a name buffer of kBosNameSize bytes, never splitting a character or overflowing.
struct NameBuilder {
    unsigned char *out;
    const unsigned char *length;
    std::size_t n = 0;

    void append(const unsigned char *text, std::size_t count) {
        std::size_t take = wholeCharsWithin(text, count < kBosNameSize - 1 - n ? count : kBosNameSize - 1 - n, length);
        std::memcpy(out + n, text, take);
        n += take;
        out[n] = '\0';
    }
    void append(const unsigned char *text) { append(text, lengthOf(text)); }
    bool endsWith(unsigned char c, std::size_t from = 0) const {
        const unsigned char *last = lastCharBefore(out + from, out + n, length);
        return last != nullptr && *last == c;
    }
};

} // namespace

void bospath(unsigned char *out, const unsigned char *dir, const unsigned char *name, const unsigned char *defaultExt) {
    const unsigned char *length = mdsCharLengthTable();
    NameBuilder b{out, length};
    out[0] = '\0';
    if (startsWithDrive(name, length)) {
        b.append(name, 2);
        name += 2;
        dir = nullptr;
    } else if (dir != nullptr && startsWithDrive(dir, length)) {
        b.append(dir, 2);
        dir += 2;
    }
    if (name[0] != '\\' && dir != nullptr) {
        std::size_t dirStart = b.n;
        b.append(dir);
        if (!b.endsWith('\\', dirStart))
            b.append(reinterpret_cast<const unsigned char *>("\\"));
    }
    std::size_t part = b.n;
    b.append(name);
    while (b.n > part && out[b.n - 1] == ' ')
        out[--b.n] = '\0';
    if (b.n > part && out[b.n - 1] == '.') {
        if (b.n - part == 1 || out[b.n - 2] != '.')
            out[--b.n] = '\0';
    }
    if (defaultExt != nullptr) {
        unsigned char *slash = findLastChar(out, out + b.n, '\\', length);
        unsigned char *component = slash != nullptr ? slash + 1 : out;
        if (findChar(component, '.', length) == nullptr) {
            b.append(reinterpret_cast<const unsigned char *>("."));
            b.append(defaultExt);
        }
    }
    bosfpath(out, 1);
}

ZoStatus bosParseName(unsigned char *path, unsigned char *name, unsigned char *ext, unsigned int report) {
    constexpr std::size_t kNamePartMax = 128;
    constexpr std::size_t kExtMax = 3;
    const unsigned char *length = mdsCharLengthTable();
    ext[0] = '\0';
    unsigned char *slash = findLastChar(path, path + lengthOf(path), '\\', length);
    unsigned char *part = slash != nullptr ? slash + 1 : (startsWithDrive(path, length) ? path + 2 : path);
    unsigned char *dot = findChar(part, '.', length);
    std::size_t partLength = dot != nullptr ? static_cast<std::size_t>(dot - part) : lengthOf(part);
    if (dot != nullptr) {
        std::size_t extLength = wholeCharsWithin(dot + 1, kExtMax, length);
        std::memcpy(ext, dot + 1, extLength);
        ext[extLength] = '\0';
    }
    ZoStatus status = ZoSuccess;
    if (partLength > kNamePartMax) {
        if (report != 0) {
            unsigned char whole[kBosNameSize];
            std::size_t shown = partLength < sizeof whole ? partLength : sizeof whole - 1;
            std::memcpy(whole, part, shown);
            whole[shown] = '\0';
            bosReport(ZoMessage::NameTooLong, whole);
            status = ZoFailure;
        }
        partLength = wholeCharsWithin(part, kNamePartMax, length);
    }
    std::memmove(name, part, partLength);
    name[partLength] = '\0';
    *part = '\0';
    return status;
}

void bosmpath(unsigned char *path) {
    const unsigned char *length = mdsCharLengthTable();
    unsigned char cwd[kBosNameSize];
    bosgtcwd(cwd, 1);
    std::size_t cut = 0;
    for (std::size_t i = 0; path[i] != '\0' && cwd[i] != '\0';) {
        unsigned step = bosCharSize(path + i, length);
        if (bosCharSize(cwd + i, length) != step || std::memcmp(path + i, cwd + i, step) != 0)
            break;
        if (path[i] == ':' || (path[i] == '\\' && i != 2))
            cut = i + 1;
        i += step;
    }
    std::memmove(path, path + cut, lengthOf(path + cut) + 1);
}

void bosgtcwd(unsigned char *buf, unsigned short withSlash) {
    // The host reports names in the ANSI code page already, so no OEM step is needed.
    if (!plat::currentDirectory(buf, kBosNameSize)) {
        buf[0] = '\0';
        return;
    }
    std::size_t n = lengthOf(buf);
    const unsigned char *last = lastCharBefore(buf, buf + n, mdsCharLengthTable());
    if (withSlash != 0 && (last == nullptr || *last != '\\') && n + 2 <= kBosNameSize) {
        buf[n] = '\\';
        buf[n + 1] = '\0';
    }
}

ZoStatus bosstcwd(const unsigned char *dir, unsigned short) {
    if (!plat::setCurrentDirectory(dir, mdsCharLengthTable())) {
        bosReport(ZoMessage::SetDirectory, dir);
        return ZoFailure;
    }
    return ZoSuccess;
}
