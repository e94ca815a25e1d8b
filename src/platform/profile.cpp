// Profile files.
//
// The file, as read and written here:
//   - lines end with LF or CR LF; new lines are written with the ending of the file's first
//     line (LF for a new file);
//   - `[name]` starts a section (blanks around the brackets and the name are ignored, and so
//     is anything after `]`); `[]` starts none;
//   - `key=value` inside a section is an entry: blanks around the key and the value are
//     ignored, and a value wrapped in a pair of equal quotes (`"` or `'`) loses them;
//   - lines whose first non-blank byte is `;` or `#` are comments; comments, blank lines,
//     entries before the first section and any other line carry no meaning, and a rewrite
//     keeps them byte for byte;
//   - sections and keys compare ignoring ASCII case (bytes of double-byte characters
//     exactly); the first of equal ones counts.
// A write changes only the line of the entry, or the lines of the section, concerned. A
// value with blanks at either end, or wrapped in equal quotes itself, is written in double
// quotes so that it reads back unchanged.
#include "platform/profile.h"

#include "platform/codepage.h"
#include "platform/env.h"
#include "platform/file.h"
#include "platform/memory.h"
#include "platform/path.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace zo::plat {
namespace {

// A profile bigger than this is not read (its reads give the defaults, its writes fail).
constexpr uint32_t kMaxProfileSize = 16u << 20;

// ---- The Windows directory ----

struct WindowsDirectory {
    std::mutex lock;
    bool known = false;
    char host[kHostPathMax];
};

WindowsDirectory g_windowsDirectory;

bool joinPath(char *out, std::size_t size, const char *dir, const char *separator, const char *leaf) {
    int n = std::snprintf(out, size, "%s%s%s", dir, separator, leaf);
    return n >= 0 && static_cast<std::size_t>(n) < size;
}

// The host directory that the environment names (see profile.h), without a trailing slash.
bool locateWindowsDirectory(char *out, std::size_t size) {
    const char *windir = std::getenv("ZO_WINDIR");
    bool found = windir != nullptr && windir[0] != '\0'
                     ? hostPathOf(reinterpret_cast<const unsigned char *>(windir), ansiCharLengths(), out, size)
                     : userConfigDirectory(out, size);
    if (!found || out[0] != '/')
        return false;
    for (std::size_t n = std::strlen(out); n > 1 && out[n - 1] == '/'; --n)
        out[n - 1] = '\0';
    return true;
}

bool windowsDirectoryHost(char *out, std::size_t size) {
    std::lock_guard<std::mutex> guard(g_windowsDirectory.lock);
    if (!g_windowsDirectory.known)
        g_windowsDirectory.known = locateWindowsDirectory(g_windowsDirectory.host, sizeof g_windowsDirectory.host);
    return g_windowsDirectory.known && joinPath(out, size, g_windowsDirectory.host, "", "");
}

// A name that says where it is: a drive, a root, a network name or a host path.
bool isFullName(const unsigned char *name) {
    bool drive = ((name[0] | 0x20) >= 'a' && (name[0] | 0x20) <= 'z') && name[1] == ':';
    return drive || name[0] == '\\' || name[0] == '/';
}

// ---- Text of a profile ----

struct Span {
    const unsigned char *p;
    uint32_t n;
};

Span spanOf(const unsigned char *text) {
    if (text == nullptr)
        return {reinterpret_cast<const unsigned char *>(""), 0};
    return {text, static_cast<uint32_t>(std::strlen(reinterpret_cast<const char *>(text)))};
}

bool isBlank(unsigned char c) { return c == ' ' || c == '\t'; }

Span trim(Span s) {
    while (s.n > 0 && isBlank(s.p[0]))
        ++s.p, --s.n;
    while (s.n > 0 && isBlank(s.p[s.n - 1]))
        --s.n;
    return s;
}

// Bytes of the character at p, never past end.
uint32_t charSize(const unsigned char *p, const unsigned char *end, const unsigned char *lengths) {
    uint32_t n = lengths[*p];
    uint32_t left = static_cast<uint32_t>(end - p);
    return n < left ? n : left;
}

// The first character c (a single byte) in s, stepping by character; null when none.
const unsigned char *findChar(Span s, unsigned char c, const unsigned char *lengths) {
    const unsigned char *end = s.p + s.n;
    for (const unsigned char *p = s.p; p < end; p += charSize(p, end, lengths))
        if (*p == c)
            return p;
    return nullptr;
}

// The bytes of the whole characters of s that fit in room bytes.
uint32_t wholeCharsWithin(Span s, uint32_t room, const unsigned char *lengths) {
    const unsigned char *end = s.p + s.n;
    uint32_t n = 0;
    for (const unsigned char *p = s.p; p < end;) {
        uint32_t step = charSize(p, end, lengths);
        if (n + step > room)
            break;
        n += step;
        p += step;
    }
    return n;
}

unsigned char foldAscii(unsigned char c) { return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + 32) : c; }

// Equal ignoring ASCII case; the bytes of a double-byte character compare exactly.
bool sameName(Span a, Span b, const unsigned char *lengths) {
    if (a.n != b.n)
        return false;
    const unsigned char *end = a.p + a.n;
    for (uint32_t i = 0; i < a.n;) {
        uint32_t step = charSize(a.p + i, end, lengths);
        if (step == 1 ? foldAscii(a.p[i]) != foldAscii(b.p[i]) : std::memcmp(a.p + i, b.p + i, step) != 0)
            return false;
        i += step;
    }
    return true;
}

bool isQuote(unsigned char c) { return c == '"' || c == '\''; }

bool wrappedInQuotes(Span s) { return s.n >= 2 && isQuote(s.p[0]) && s.p[s.n - 1] == s.p[0]; }

Span unquote(Span s) { return wrappedInQuotes(s) ? Span{s.p + 1, s.n - 2} : s; }

enum class LineKind { Other, Section, Entry };

struct Line {
    uint32_t start; // first byte
    uint32_t end;   // end of its text, before the line break
    uint32_t next;  // first byte of the next line
    bool broken;    // ends with a line break (the last line of a file may not)
    LineKind kind;
    Span name; // section name or key
    Span value;
};

// Walks the lines of a profile and tells what each one is.
class LineReader {
public:
    LineReader(const unsigned char *data, uint32_t size, const unsigned char *lengths)
        : data_(data), size_(size), lengths_(lengths) {}

    bool next(Line *line) {
        if (pos_ >= size_)
            return false;
        line->start = pos_;
        const void *newline = std::memchr(data_ + pos_, '\n', size_ - pos_);
        uint32_t end =
            newline != nullptr ? static_cast<uint32_t>(static_cast<const unsigned char *>(newline) - data_) : size_;
        line->next = newline != nullptr ? end + 1 : size_;
        line->broken = newline != nullptr;
        if (end > pos_ && data_[end - 1] == '\r')
            --end;
        line->end = end;
        classify(line);
        pos_ = line->next;
        return true;
    }

private:
    void classify(Line *line) const {
        line->kind = LineKind::Other;
        Span text = trim({data_ + line->start, line->end - line->start});
        if (text.n == 0 || text.p[0] == ';' || text.p[0] == '#')
            return;
        if (text.p[0] == '[') {
            Span inside{text.p + 1, text.n - 1};
            const unsigned char *close = findChar(inside, ']', lengths_);
            if (close == nullptr)
                return;
            line->name = trim({inside.p, static_cast<uint32_t>(close - inside.p)});
            if (line->name.n > 0)
                line->kind = LineKind::Section;
            return;
        }
        const unsigned char *equals = findChar(text, '=', lengths_);
        if (equals == nullptr)
            return;
        line->name = trim({text.p, static_cast<uint32_t>(equals - text.p)});
        const unsigned char *valueStart = equals + 1;
        line->value = trim({valueStart, static_cast<uint32_t>(text.p + text.n - valueStart)});
        if (line->name.n > 0)
            line->kind = LineKind::Entry;
    }

    const unsigned char *data_;
    uint32_t size_;
    const unsigned char *lengths_;
    uint32_t pos_ = 0;
};

// Where a section and one of its entries stand in a profile.
struct SectionPlace {
    bool found = false;
    Line header{};
    uint32_t end = 0;      // start of the next section, or the end of the file
    uint32_t lastLine = 0; // next-line position of the last entry (of the header when none)
    bool lastEndsLine = true;
    bool entryFound = false;
    Line entry{};
};

// Finds the first section named `section` and, when key is given, its first entry `key`.
SectionPlace locate(const unsigned char *data, uint32_t size, Span section, const Span *key,
                    const unsigned char *lengths) {
    SectionPlace place;
    place.end = size;
    LineReader reader(data, size, lengths);
    Line line;
    while (reader.next(&line)) {
        if (line.kind == LineKind::Section) {
            if (place.found) {
                place.end = line.start;
                break;
            }
            if (sameName(line.name, section, lengths)) {
                place.found = true;
                place.header = line;
                place.lastLine = line.next;
                place.lastEndsLine = line.broken;
            }
        } else if (place.found && line.kind == LineKind::Entry) {
            place.lastLine = line.next;
            place.lastEndsLine = line.broken;
            if (key != nullptr && !place.entryFound && sameName(line.name, *key, lengths)) {
                place.entryFound = true;
                place.entry = line;
            }
        }
    }
    return place;
}

// ---- Reading ----

// A whole file in a block of the platform heap.
class FileBytes {
public:
    FileBytes() = default;
    FileBytes(const FileBytes &) = delete;
    FileBytes &operator=(const FileBytes &) = delete;
    ~FileBytes() { heapFree(data_); }

    // Reads the file open at fd; *identity receives its status as read.
    bool load(int fd, struct stat *identity = nullptr) {
        struct stat st;
        if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > static_cast<off_t>(kMaxProfileSize))
            return false;
        if (identity != nullptr)
            *identity = st;
        uint32_t size = static_cast<uint32_t>(st.st_size);
        data_ = static_cast<unsigned char *>(heapAlloc(size + 1, false));
        uint32_t got = 0;
        if (data_ == nullptr || fileRead(fd, data_, size, &got) != FileOk)
            return false;
        size_ = got;
        return true;
    }
    const unsigned char *data() const { return data_; }
    uint32_t size() const { return size_; }
    Span all() const { return {data_, size_}; }
    // Hands the block over to the caller, who frees it with heapFree.
    unsigned char *release() {
        unsigned char *block = data_;
        data_ = nullptr;
        return block;
    }

private:
    unsigned char *data_ = nullptr;
    uint32_t size_ = 0;
};

bool loadProfile(const char *host, FileBytes *bytes, struct stat *identity) {
    int fd;
    if (fileOpen(host, FileOpenRead, &fd) != FileOk)
        return false;
    bool loaded = bytes->load(fd, identity);
    (void)fileClose(fd); // read-only: nothing to lose
    return loaded;
}

// ---- Profiles read recently ----
//
// A read keeps the file's bytes with the identity of what it read: device, inode, size,
// modification and change times. A later read of the same name whose status shows the same
// identity answers from them, with one status call instead of reading the file. Writes
// through this library replace the file (a new inode); a file changed in place changes its
// times. File times advance in steps of a few milliseconds, so a change in the same step as
// a read could keep the identity: a file changed within the last two seconds is therefore
// never kept. Small files only, a few of them.
constexpr uint32_t kCachedProfiles = 8;
constexpr uint32_t kMaxCachedSize = 256u << 10;
constexpr int64_t kSettledNanoseconds = 2'000'000'000;
std::atomic<int64_t> g_settledNanoseconds{kSettledNanoseconds};

// The answer to a recent read of one entry, by the section and key as the caller spelled
// them (and the character rule they were read with).
constexpr uint32_t kRememberedLookups = 8;
constexpr uint32_t kRememberedName = 64;

struct Lookup {
    unsigned char section[kRememberedName];
    unsigned char key[kRememberedName];
    uint32_t sectionLength, keyLength;
    const unsigned char *lengths;
    bool found;
    uint32_t valueAt, valueLength; // the value (quotes taken off) within the bytes
};

struct CachedProfile {
    char host[kHostPathMax];
    struct stat identity;
    unsigned char *bytes; // null: the slot is free
    uint32_t size;
    uint64_t lastUse;
    Lookup lookups[kRememberedLookups];
    uint32_t lookupCount;
    uint32_t nextLookup;
};

struct ProfileCache {
    std::mutex lock;
    CachedProfile slots[kCachedProfiles];
    uint64_t uses = 0;
};

ProfileCache g_cache;

bool sameIdentity(const struct stat &a, const struct stat &b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
           a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec &&
           a.st_ctim.tv_sec == b.st_ctim.tv_sec && a.st_ctim.tv_nsec == b.st_ctim.tv_nsec;
}

int64_t nanoseconds(const timespec &t) { return int64_t{t.tv_sec} * 1'000'000'000 + t.tv_nsec; }

// A file whose last change is long enough ago that a change now would show.
bool settled(const struct stat &identity) {
    timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    int64_t changed = std::max(nanoseconds(identity.st_mtim), nanoseconds(identity.st_ctim));
    return nanoseconds(now) - changed > g_settledNanoseconds.load(std::memory_order_relaxed);
}

// The cached bytes of host if its identity is still `current`; null otherwise. The caller
// holds the cache's lock while it uses them.
CachedProfile *cachedProfile(const char *host, const struct stat &current) {
    for (CachedProfile &slot : g_cache.slots)
        if (slot.bytes != nullptr && std::strcmp(slot.host, host) == 0) {
            if (!sameIdentity(slot.identity, current))
                return nullptr;
            slot.lastUse = ++g_cache.uses;
            return &slot;
        }
    return nullptr;
}

// Keeps the bytes just read for host (the least recently used slot gives way).
void keepProfile(const char *host, const struct stat &identity, FileBytes *file) {
    if (file->size() > kMaxCachedSize || std::strlen(host) >= kHostPathMax || !settled(identity))
        return;
    std::lock_guard<std::mutex> guard(g_cache.lock);
    CachedProfile *victim = &g_cache.slots[0];
    for (CachedProfile &slot : g_cache.slots) {
        if (slot.bytes != nullptr && std::strcmp(slot.host, host) == 0) {
            victim = &slot;
            break;
        }
        if (slot.bytes == nullptr || (victim->bytes != nullptr && slot.lastUse < victim->lastUse))
            victim = &slot;
    }
    heapFree(victim->bytes);
    std::strcpy(victim->host, host);
    victim->identity = identity;
    victim->size = file->size();
    victim->bytes = file->release();
    victim->lastUse = ++g_cache.uses;
    victim->lookupCount = 0;
    victim->nextLookup = 0;
}

// A list of terminated names closed by an extra terminator, built in the caller's buffer of
// at least 2 bytes. A name that does not fit is cut at a character boundary and ends the
// list, whose last two bytes are then terminators.
class NameList {
public:
    NameList(unsigned char *out, uint32_t size, const unsigned char *lengths)
        : out_(out), size_(size), lengths_(lengths) {}

    bool add(Span name) {
        if (full_)
            return false;
        if (used_ + name.n + 2 <= size_) {
            std::memcpy(out_ + used_, name.p, name.n);
            used_ += name.n;
            out_[used_++] = '\0';
            return true;
        }
        // What fits of the name before the two closing terminators; when not even one byte
        // does, the terminators take the place of the last name's own.
        uint32_t room = size_ - used_ > 2 ? size_ - used_ - 2 : 0;
        uint32_t kept = wholeCharsWithin(name, room, lengths_);
        std::memcpy(out_ + used_, name.p, kept);
        uint32_t end = used_ + kept < size_ - 2 ? used_ + kept : size_ - 2;
        std::memset(out_ + end, 0, size_ - end);
        full_ = true;
        return false;
    }
    uint32_t finish() {
        if (full_)
            return size_ - 2;
        out_[used_] = '\0';
        return used_;
    }

private:
    unsigned char *out_;
    uint32_t size_;
    const unsigned char *lengths_;
    uint32_t used_ = 0;
    bool full_ = false;
};

// The sections of the file, or the keys of its first section named `section`.
uint32_t listNames(Span file, const Span *section, unsigned char *out, uint32_t size, const unsigned char *lengths) {
    if (size < 2) {
        out[0] = '\0';
        return 0;
    }
    NameList list(out, size, lengths);
    LineReader reader(file.p, file.n, lengths);
    Line line;
    bool inSection = false;
    while (reader.next(&line)) {
        if (section == nullptr) {
            if (line.kind == LineKind::Section && !list.add(line.name))
                break;
        } else if (line.kind == LineKind::Section) {
            if (inSection)
                break;
            inSection = sameName(line.name, *section, lengths);
        } else if (inSection && line.kind == LineKind::Entry && !list.add(line.name)) {
            break;
        }
    }
    return list.finish();
}

uint32_t copyValue(Span value, unsigned char *out, uint32_t size, const unsigned char *lengths) {
    uint32_t n = wholeCharsWithin(value, size - 1, lengths);
    std::memcpy(out, value.p, n);
    out[n] = '\0';
    return n;
}

bool hasText(const unsigned char *text) { return text != nullptr && text[0] != '\0'; }

// ---- Writing ----

// What a write does to the file: the bytes [from, to) of the old file give way to the
// pieces below, in this order, each present when not empty.
struct Edit {
    bool changes = false;
    uint32_t from = 0;
    uint32_t to = 0;
    bool breakFirst = false; // ends an unterminated last line
    bool blankLine = false;  // separates a new section from what precedes it
    Span header{};           // name of a new section
    Span key{};              // key of a new entry
    bool valueFollows = false;
    bool breakAfter = false;
};

// True when the file's last line is empty (it ends with two line breaks).
bool endsWithBlankLine(const FileBytes &file) {
    const unsigned char *d = file.data();
    uint32_t n = file.size();
    if (n == 0 || d[n - 1] != '\n')
        return false;
    --n;
    if (n > 0 && d[n - 1] == '\r')
        --n;
    return n == 0 || d[n - 1] == '\n';
}

Edit planSet(const FileBytes &file, Span section, Span key, const unsigned char *lengths) {
    SectionPlace place = locate(file.data(), file.size(), section, &key, lengths);
    Edit edit;
    edit.changes = true;
    edit.valueFollows = true;
    if (place.entryFound) {
        // The entry keeps its indentation, the spelling of its key and its line break.
        edit.from = static_cast<uint32_t>(place.entry.name.p + place.entry.name.n - file.data());
        edit.to = place.entry.end;
        return edit;
    }
    edit.key = key;
    edit.breakAfter = true;
    if (place.found) {
        edit.from = edit.to = place.lastLine;
        edit.breakFirst = !place.lastEndsLine;
        return edit;
    }
    edit.from = edit.to = file.size();
    edit.breakFirst = file.size() > 0 && file.data()[file.size() - 1] != '\n';
    edit.blankLine = file.size() > 0 && !endsWithBlankLine(file);
    edit.header = section;
    return edit;
}

Edit planDelete(const FileBytes &file, Span section, const Span *key, const unsigned char *lengths) {
    SectionPlace place = locate(file.data(), file.size(), section, key, lengths);
    Edit edit;
    if (key == nullptr && place.found) {
        edit.changes = true;
        edit.from = place.header.start;
        edit.to = place.end;
    } else if (key != nullptr && place.entryFound) {
        edit.changes = true;
        edit.from = place.entry.start;
        edit.to = place.entry.next;
    }
    return edit;
}

// Appends to a block sized beforehand.
struct Writer {
    unsigned char *p;
    void put(const void *bytes, uint32_t n) {
        if (n == 0)
            return; // an absent piece may have no bytes at all
        std::memcpy(p, bytes, n);
        p += n;
    }
    void put(Span s) { put(s.p, s.n); }
    void put(char c) { *p++ = static_cast<unsigned char>(c); }
};

bool needsQuotes(Span value) {
    return value.n > 0 && (isBlank(value.p[0]) || isBlank(value.p[value.n - 1]) || wrappedInQuotes(value));
}

Span lineBreakOf(const FileBytes &file) {
    const void *newline = std::memchr(file.data(), '\n', file.size());
    bool crlf = newline != nullptr && newline != file.data() && static_cast<const unsigned char *>(newline)[-1] == '\r';
    return spanOf(reinterpret_cast<const unsigned char *>(crlf ? "\r\n" : "\n"));
}

// The new contents of the file: the old bytes with the edit applied. Null when out of memory.
unsigned char *applyEdit(const FileBytes &file, const Edit &edit, Span value, uint32_t *size) {
    Span br = lineBreakOf(file);
    bool quoted = needsQuotes(value);
    uint64_t grown = uint64_t{edit.header.n} + edit.key.n + value.n + 4 * br.n + 8;
    if (file.size() + grown > kMaxProfileSize)
        return nullptr;
    auto *bytes = static_cast<unsigned char *>(heapAlloc(static_cast<uint32_t>(file.size() + grown), false));
    if (bytes == nullptr)
        return nullptr;
    Writer w{bytes};
    w.put(file.data(), edit.from);
    // A last line that ends in a carriage return alone needs only the line feed.
    if (edit.breakFirst)
        w.put(edit.from > 0 && file.data()[edit.from - 1] == '\r'
                  ? spanOf(reinterpret_cast<const unsigned char *>("\n"))
                  : br);
    if (edit.blankLine)
        w.put(br);
    if (edit.header.n > 0) {
        w.put('[');
        w.put(edit.header);
        w.put(']');
        w.put(br);
    }
    w.put(edit.key);
    if (edit.valueFollows) {
        w.put('=');
        if (quoted)
            w.put('"');
        w.put(value);
        if (quoted)
            w.put('"');
    }
    if (edit.breakAfter)
        w.put(br);
    w.put(file.data() + edit.to, file.size() - edit.to);
    *size = static_cast<uint32_t>(w.p - bytes);
    return bytes;
}

bool hasLineBreak(Span s) { return std::memchr(s.p, '\n', s.n) != nullptr || std::memchr(s.p, '\r', s.n) != nullptr; }

// Whether the last character of s is whole: a lead byte at its end would take the `]` or
// `=` written after the name for its second byte, and the line would not read back.
bool endsWithWholeCharacter(Span s, const unsigned char *lengths) {
    uint32_t i = 0;
    while (i < s.n)
        i += lengths[s.p[i]];
    return i == s.n;
}

bool validSection(Span s, const unsigned char *lengths) {
    return s.n > 0 && !hasLineBreak(s) && findChar(s, ']', lengths) == nullptr && endsWithWholeCharacter(s, lengths);
}

bool validKey(Span k, const unsigned char *lengths) {
    return k.n > 0 && !hasLineBreak(k) && findChar(k, '=', lengths) == nullptr && k.p[0] != '[' && k.p[0] != ';' &&
           k.p[0] != '#' && endsWithWholeCharacter(k, lengths);
}

// The directory part of a host path.
bool directoryOf(const char *host, char *out, std::size_t size) {
    const char *slash = std::strrchr(host, '/');
    std::size_t n = slash == nullptr ? 0 : static_cast<std::size_t>(slash - host);
    const char *dir = n == 0 ? (slash == nullptr ? "." : "/") : host;
    if (n == 0)
        n = std::strlen(dir);
    if (n >= size)
        return false;
    std::memcpy(out, dir, n);
    out[n] = '\0';
    return true;
}

// An exclusive advisory lock on the profile for a whole read-modify-replace. The lock is an
// open-file-description record lock, independent of the sharing locks of the file layer.
// A writer that waited may find the name replaced by another writer's new file: it then
// locks the file that is there now, so it never edits contents that are gone.
class ProfileLock {
public:
    ProfileLock() = default;
    ProfileLock(const ProfileLock &) = delete;
    ProfileLock &operator=(const ProfileLock &) = delete;
    ~ProfileLock() {
        if (fd_ < 0)
            return;
        // A file made only to be locked goes again unless a write landed on its name.
        if (created_ && !replaced_)
            (void)unlink(host_);
        close(fd_);
    }

    bool acquire(const char *host) {
        host_ = host;
        for (int attempt = 0; attempt < 1000; ++attempt) {
            bool made = false;
            int fd = open(host, O_RDWR | O_CLOEXEC);
            if (fd < 0 && errno == ENOENT) {
                fd = open(host, O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
                made = true;
                if (fd < 0 && errno == EEXIST)
                    continue;
            }
            if (fd < 0)
                return false;
            if (lockAndCheck(fd, host)) {
                fd_ = fd;
                created_ = made;
                return true;
            }
            close(fd);
        }
        return false;
    }
    int fd() const { return fd_; }
    void markReplaced() { replaced_ = true; }

private:
    static bool lockAndCheck(int fd, const char *host) {
        struct flock whole {};
        whole.l_type = F_WRLCK;
        whole.l_whence = SEEK_SET;
        while (fcntl(fd, F_OFD_SETLKW, &whole) != 0)
            if (errno != EINTR)
                return false;
        struct stat held, named;
        return fstat(fd, &held) == 0 && S_ISREG(held.st_mode) && stat(host, &named) == 0 &&
               held.st_dev == named.st_dev && held.st_ino == named.st_ino;
    }

    const char *host_ = nullptr;
    int fd_ = -1;
    bool created_ = false;
    bool replaced_ = false;
};

bool syncDirectory(const char *dir) {
    int fd = open(dir, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    bool synced = fileSync(fd) == FileOk;
    close(fd);
    return synced;
}

// Replaces the file at host by bytes: a temporary file in the same directory gets them,
// the owner and mode of the file it replaces, and is flushed and renamed over it.
bool replaceFile(const char *host, const unsigned char *bytes, uint32_t size, int lockedFd) {
    char dir[kHostPathMax];
    char temp[kHostPathMax];
    struct stat old;
    if (fstat(lockedFd, &old) != 0 || !directoryOf(host, dir, sizeof dir) ||
        fileMakeTemporary(dir, ".zoini", temp, sizeof temp) != FileOk)
        return false;
    int fd;
    if (fileOpen(temp, FileOpenReadWrite, &fd) != FileOk) {
        (void)fileRemove(temp); // nothing else to undo
        return false;
    }
    uint32_t written = 0;
    (void)fchown(fd, old.st_uid, old.st_gid); // only a privileged writer can give a file away
    bool ok = fchmod(fd, old.st_mode & 07777) == 0 && fileWrite(fd, bytes, size, &written) == FileOk &&
              written == size && fileSync(fd) == FileOk;
    ok = fileClose(fd) == FileOk && ok;
    ok = ok && fileReplace(temp, host) == FileOk;
    if (!ok) {
        (void)fileRemove(temp); // the old file stands; the temporary one is all there is to undo
        return false;
    }
    return syncDirectory(dir);
}

enum class WriteKind { Set, DeleteEntry, DeleteSection };

int writeProfile(WriteKind kind, Span section, Span key, Span value, const char *host, const unsigned char *lengths) {
    ProfileLock lock;
    FileBytes file;
    if (!lock.acquire(host) || !file.load(lock.fd()))
        return 0;
    Edit edit = kind == WriteKind::Set
                    ? planSet(file, section, key, lengths)
                    : planDelete(file, section, kind == WriteKind::DeleteEntry ? &key : nullptr, lengths);
    if (!edit.changes)
        return 1;
    uint32_t size = 0;
    unsigned char *bytes = applyEdit(file, edit, value, &size);
    if (bytes == nullptr)
        return 0;
    bool replaced = replaceFile(host, bytes, size, lock.fd());
    heapFree(bytes);
    if (replaced)
        lock.markReplaced();
    return replaced ? 1 : 0;
}

// A read: what is asked and where the answer goes.
struct Request {
    const unsigned char *section, *key, *defaultValue;
    unsigned char *out;
    uint32_t size; // at least 1
    const unsigned char *lengths;
};

bool wantsList(const Request &r) { return !hasText(r.section) || !hasText(r.key); }

// The value of the entry asked for, quotes taken off; false when there is none.
bool findValue(const Request &r, Span file, Span *value) {
    Span sectionName = trim(spanOf(r.section));
    Span keyName = trim(spanOf(r.key));
    SectionPlace place = locate(file.p, file.n, sectionName, &keyName, r.lengths);
    if (place.entryFound)
        *value = unquote(place.entry.value);
    return place.entryFound;
}

uint32_t answerValue(const Request &r, bool found, Span value) {
    return copyValue(found ? value : spanOf(r.defaultValue), r.out, r.size, r.lengths);
}

// Answers a read from the bytes of the profile (none when there is no file).
uint32_t answer(const Request &r, Span file) {
    if (wantsList(r)) {
        Span sectionName = trim(spanOf(r.section));
        return listNames(file, hasText(r.section) ? &sectionName : nullptr, r.out, r.size, r.lengths);
    }
    Span value{};
    bool found = findValue(r, file, &value);
    return answerValue(r, found, value);
}

bool sameLookup(const Lookup &l, const Request &r, Span section, Span key) {
    return l.lengths == r.lengths && l.sectionLength == section.n && l.keyLength == key.n &&
           std::memcmp(l.section, section.p, section.n) == 0 && std::memcmp(l.key, key.p, key.n) == 0;
}

// Answers a read from a kept profile, remembering where the entries asked for are.
uint32_t answerFromCache(const Request &r, CachedProfile &cached) {
    Span file{cached.bytes, cached.size};
    Span section = spanOf(r.section);
    Span key = spanOf(r.key);
    if (wantsList(r) || section.n > kRememberedName || key.n > kRememberedName)
        return answer(r, file);
    for (uint32_t i = 0; i < cached.lookupCount; ++i) {
        const Lookup &l = cached.lookups[i];
        if (sameLookup(l, r, section, key))
            return answerValue(r, l.found, Span{cached.bytes + l.valueAt, l.valueLength});
    }
    Span value{};
    bool found = findValue(r, file, &value);
    Lookup &l = cached.lookups[cached.nextLookup];
    cached.nextLookup = (cached.nextLookup + 1) % kRememberedLookups;
    if (cached.lookupCount < kRememberedLookups)
        ++cached.lookupCount;
    std::memcpy(l.section, section.p, section.n);
    std::memcpy(l.key, key.p, key.n);
    l.sectionLength = section.n;
    l.keyLength = key.n;
    l.lengths = r.lengths;
    l.found = found;
    l.valueAt = found ? static_cast<uint32_t>(value.p - cached.bytes) : 0;
    l.valueLength = found ? value.n : 0;
    return answerValue(r, found, value);
}

} // namespace

bool windowsDirectory(unsigned char *out, std::size_t size) {
    char host[kHostPathMax];
    return windowsDirectoryHost(host, sizeof host) && windowsPathOf(host, out, size);
}

namespace {

// The host path of a profile name, spelled as named (resolve: with the case of its
// components resolved as the emulated volume does).
bool profilePath(const unsigned char *fileName, const unsigned char *charLengths, bool resolve, char *out,
                 std::size_t size) {
    if (fileName == nullptr || fileName[0] == '\0')
        return false;
    auto translate = resolve ? hostPathOf : hostPathAsNamed;
    if (isFullName(fileName))
        return translate(fileName, charLengths, out, size);
    char dir[kHostPathMax];
    char joined[kHostPathMax];
    return windowsDirectoryHost(dir, sizeof dir) &&
           joinPath(joined, sizeof joined, dir, "/", reinterpret_cast<const char *>(fileName)) &&
           translate(reinterpret_cast<const unsigned char *>(joined), charLengths, out, size);
}

// The host path of an existing profile and its status: the name as spelled when that
// exists (one status call), else the one its case resolves to.
bool existingProfile(const unsigned char *fileName, const unsigned char *charLengths, char (&host)[kHostPathMax],
                     struct stat *status) {
    if (profilePath(fileName, charLengths, false, host, sizeof host) && stat(host, status) == 0)
        return true;
    return profilePath(fileName, charLengths, true, host, sizeof host) && stat(host, status) == 0;
}

} // namespace

bool profileHostPath(const unsigned char *fileName, const unsigned char *charLengths, char *out, std::size_t size) {
    return profilePath(fileName, charLengths, true, out, size);
}

uint32_t profileGetString(const unsigned char *section, const unsigned char *key, const unsigned char *defaultValue,
                          unsigned char *out, uint32_t size, const unsigned char *fileName,
                          const unsigned char *charLengths) {
    if (size == 0)
        return 0;
    Request request{section, key, defaultValue, out, size, charLengths};
    char host[kHostPathMax];
    struct stat current;
    if (!existingProfile(fileName, charLengths, host, &current))
        return answer(request, Span{nullptr, 0});
    {
        std::lock_guard<std::mutex> guard(g_cache.lock);
        if (CachedProfile *cached = cachedProfile(host, current))
            return answerFromCache(request, *cached);
    }
    FileBytes file;
    struct stat identity;
    if (!loadProfile(host, &file, &identity))
        return answer(request, Span{nullptr, 0});
    uint32_t n = answer(request, file.all());
    keepProfile(host, identity, &file);
    return n;
}

int profileWriteString(const unsigned char *section, const unsigned char *key, const unsigned char *value,
                       const unsigned char *fileName, const unsigned char *charLengths) {
    Span sectionName = trim(spanOf(section));
    Span keyName = trim(spanOf(key));
    Span text = spanOf(value);
    if (!validSection(sectionName, charLengths) || (key != nullptr && !validKey(keyName, charLengths)) ||
        hasLineBreak(text))
        return 0;
    char host[kHostPathMax];
    if (!profileHostPath(fileName, charLengths, host, sizeof host))
        return 0;
    if (!isFullName(fileName)) {
        char dir[kHostPathMax];
        if (windowsDirectoryHost(dir, sizeof dir))
            (void)fileMakeDirectories(dir); // a directory that cannot be made fails the write below
    }
    WriteKind kind = key == nullptr     ? WriteKind::DeleteSection
                     : value == nullptr ? WriteKind::DeleteEntry
                                        : WriteKind::Set;
    return writeProfile(kind, sectionName, keyName, text, host, charLengths);
}

void profileRelease() {
    std::lock_guard<std::mutex> guard(g_cache.lock);
    for (CachedProfile &slot : g_cache.slots) {
        heapFree(slot.bytes);
        slot.bytes = nullptr;
    }
}

void profileSetSettleTimeForTest(int64_t nanoseconds) {
    g_settledNanoseconds.store(nanoseconds < 0 ? kSettledNanoseconds : nanoseconds, std::memory_order_relaxed);
}

void profileResetForTest() {
    {
        std::lock_guard<std::mutex> guard(g_windowsDirectory.lock);
        g_windowsDirectory.known = false;
    }
    profileRelease();
}

} // namespace zo::plat
