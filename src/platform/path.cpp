#include "platform/path.h"

#include "platform/codepage.h"
#include "platform/unicode.h"

#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace zo::plat {
namespace {

constexpr std::size_t kRootMax = 1024;

struct DriveTable {
    char roots[26][kRootMax];
    char uncRoot[kRootMax];
};

DriveTable g_drives;

int driveIndex(char letter) {
    if (letter >= 'a' && letter <= 'z')
        return letter - 'a';
    if (letter >= 'A' && letter <= 'Z')
        return letter - 'A';
    return -1;
}

// Stores a host directory without its trailing slashes (the root stays "/"). Relative or
// oversized directories are not accepted.
bool storeRoot(char *slot, const char *dir, std::size_t length) {
    while (length > 1 && dir[length - 1] == '/')
        --length;
    if (length == 0 || dir[0] != '/' || length >= kRootMax)
        return false;
    std::memcpy(slot, dir, length);
    slot[length] = '\0';
    return true;
}

// Reads `X=/dir;Y=/dir2` entries (an optional colon after the letter is allowed); entries
// that do not parse are skipped.
void loadDrives(const char *entries) {
    std::memset(&g_drives, 0, sizeof g_drives);
    std::strcpy(g_drives.roots[2], "/");
    const char *unc = std::getenv("ZO_UNC_ROOT");
    if (unc == nullptr || !storeRoot(g_drives.uncRoot, unc, std::strlen(unc)))
        std::strcpy(g_drives.uncRoot, "/net");
    for (const char *p = entries; p != nullptr && *p != '\0';) {
        const char *end = std::strchr(p, ';');
        std::size_t length = end != nullptr ? static_cast<std::size_t>(end - p) : std::strlen(p);
        int index = driveIndex(*p);
        std::size_t at = (length > 1 && p[1] == ':') ? 2 : 1;
        if (index >= 0 && length > at && p[at] == '=') {
            char candidate[kRootMax];
            if (storeRoot(candidate, p + at + 1, length - at - 1))
                std::strcpy(g_drives.roots[index], candidate);
        }
        p += length;
        if (*p == ';')
            ++p;
    }
}

const DriveTable &drives() {
    static const bool loaded = (loadDrives(std::getenv("ZO_DRIVES")), true);
    (void)loaded;
    return g_drives;
}

bool isDirectory(const char *hostPath) {
    struct stat st;
    return stat(hostPath, &st) == 0 && S_ISDIR(st.st_mode);
}

// Appends bytes to a bounded host path; remembers an overflow.
struct PathBuilder {
    char *out;
    std::size_t size;
    std::size_t length = 0;
    bool overflow = false;

    void put(char c) {
        if (length + 1 >= size) {
            overflow = true;
            return;
        }
        out[length++] = c;
        out[length] = '\0';
    }
    void append(const char *text) {
        while (*text != '\0')
            put(*text++);
    }
    // Copies a Windows-form name, turning separators into slashes and never doubling one.
    void appendName(const unsigned char *name, const unsigned char *lengths) {
        for (const unsigned char *p = name; *p != '\0';) {
            unsigned step = lengths[*p];
            if (*p == '\\' || *p == '/') {
                if (length == 0 || out[length - 1] != '/')
                    put('/');
                ++p;
                continue;
            }
            for (unsigned i = 0; i < step && *p != '\0'; ++i)
                put(static_cast<char>(*p++));
        }
    }
};

unsigned char foldAscii(unsigned char c) { return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 32) : c; }

// Equal ignoring ASCII case; the bytes of a double-byte character compare exactly.
bool sameIgnoringCase(const char *a, const char *b, const unsigned char *lengths) {
    auto p = reinterpret_cast<const unsigned char *>(a);
    auto q = reinterpret_cast<const unsigned char *>(b);
    while (*p != '\0' && *q != '\0') {
        unsigned step = lengths[*p];
        if (step == 1) {
            if (foldAscii(*p) != foldAscii(*q))
                return false;
            ++p, ++q;
            continue;
        }
        for (unsigned i = 0; i < step; ++i, ++p, ++q)
            if (*p != *q || *p == '\0')
                return false;
    }
    return *p == *q;
}

// Replaces `component` by the single entry of `dir` that matches it ignoring case.
bool adoptCaseFromDirectory(const char *dir, char *component, const unsigned char *lengths) {
    DIR *d = opendir(dir);
    if (d == nullptr)
        return false;
    char match[256];
    int matches = 0;
    std::size_t length = std::strlen(component);
    while (dirent *entry = readdir(d)) {
        if (std::strlen(entry->d_name) == length && sameIgnoringCase(entry->d_name, component, lengths)) {
            std::memcpy(match, entry->d_name, length + 1);
            ++matches;
        }
    }
    closedir(d);
    if (matches != 1)
        return false;
    std::memcpy(component, match, length);
    return true;
}

// Resolves, component by component, the case of a host path in place (case folding keeps
// the length). Stops at the first component that has no unique match.
void resolveCase(char *path, const unsigned char *lengths) {
    struct stat st;
    if (lstat(path, &st) == 0)
        return;
    std::size_t start = path[0] == '/' ? 1 : 0;
    while (path[start] != '\0') {
        std::size_t end = start;
        while (path[end] != '\0' && path[end] != '/')
            ++end;
        char saved = path[end];
        path[end] = '\0';
        bool found = lstat(path, &st) == 0;
        if (!found && end > start) {
            if (start == 0) {
                found = adoptCaseFromDirectory(".", path, lengths);
            } else if (start == 1) {
                found = adoptCaseFromDirectory("/", path + 1, lengths);
            } else {
                path[start - 1] = '\0';
                found = adoptCaseFromDirectory(path, path + start, lengths);
                path[start - 1] = '/';
            }
        }
        path[end] = saved;
        if (!found || saved == '\0')
            return;
        start = end + 1;
    }
}

// Host directory of the drive the current directory is on (the C: root when none).
const char *currentDriveRoot() {
    unsigned char cwd[kHostPathMax];
    const char *root = nullptr;
    if (currentDirectory(cwd, sizeof cwd))
        root = driveRoot(static_cast<char>(cwd[0]));
    return root != nullptr ? root : drives().roots[2];
}

VolumeInfo g_volumeOverride;
bool g_volumeOverridden = false;

} // namespace

const char *driveRoot(char letter) {
    int index = driveIndex(letter);
    if (index < 0 || drives().roots[index][0] == '\0')
        return nullptr;
    return drives().roots[index];
}

uint32_t logicalDrives() {
    uint32_t mask = 0;
    for (int i = 0; i < 26; ++i)
        if (drives().roots[i][0] != '\0' && isDirectory(drives().roots[i]))
            mask |= 1u << i;
    return mask;
}

DriveType driveType(char letter) {
    const char *root = driveRoot(letter);
    return root != nullptr && isDirectory(root) ? DriveFixed : DriveNoRootDir;
}

bool setDrivesForTest(const char *entries) {
    drives();
    loadDrives(entries != nullptr ? entries : std::getenv("ZO_DRIVES"));
    return true;
}

bool hostPathOf(const unsigned char *name, const unsigned char *lengths, char *out, std::size_t size) {
    if (!hostPathAsNamed(name, lengths, out, size))
        return false;
    resolveCase(out, lengths);
    return true;
}

bool hostPathAsNamed(const unsigned char *name, const unsigned char *lengths, char *out, std::size_t size) {
    if (size == 0)
        return false;
    out[0] = '\0';
    PathBuilder b{out, size};
    const unsigned char *rest = name;
    if (name[0] == '/') {
        // Host-native: taken as it stands.
    } else if (name[0] == '\\' && name[1] == '\\') {
        b.append(drives().uncRoot);
        rest = name + 1;
    } else if (driveIndex(static_cast<char>(name[0])) >= 0 && name[1] == ':') {
        const char *root = driveRoot(static_cast<char>(name[0]));
        if (root == nullptr)
            return false;
        rest = name + 2;
        if (rest[0] != '\\' && rest[0] != '/') {
            // Drive-relative: from the current directory when it is on that drive.
            unsigned char cwd[kHostPathMax];
            char cwdHost[kHostPathMax];
            bool onDrive = currentDirectory(cwd, sizeof cwd) &&
                           driveIndex(static_cast<char>(cwd[0])) == driveIndex(static_cast<char>(name[0])) &&
                           getcwd(cwdHost, sizeof cwdHost) != nullptr;
            b.append(onDrive ? cwdHost : root);
            b.put('/');
        } else {
            b.append(root);
        }
    } else if (name[0] == '\\') {
        b.append(currentDriveRoot());
    }
    b.appendName(rest, lengths);
    return !b.overflow;
}

bool windowsPathOf(const char *hostPath, unsigned char *out, std::size_t size) {
    if (hostPath[0] != '/')
        return false;
    int best = -1;
    std::size_t bestLength = 0;
    for (int i = 0; i < 26; ++i) {
        const char *root = drives().roots[i];
        std::size_t length = std::strlen(root);
        if (length == 0)
            continue;
        if (length == 1)
            length = 0; // the host root covers every absolute path
        bool covers =
            std::strncmp(hostPath, root, length) == 0 && (hostPath[length] == '/' || hostPath[length] == '\0');
        if (covers && (best < 0 || length > bestLength)) {
            best = i;
            bestLength = length;
        }
    }
    if (best < 0)
        return false;
    const char *rest = hostPath + bestLength;
    while (*rest == '/')
        ++rest;
    std::size_t need = 3 + std::strlen(rest) + 1;
    if (need > size)
        return false;
    out[0] = static_cast<unsigned char>('A' + best);
    out[1] = ':';
    out[2] = '\\';
    std::size_t n = 3;
    bool endsWithSlash = false;
    for (; *rest != '\0'; ++rest) {
        endsWithSlash = *rest == '/';
        out[n++] = endsWithSlash ? '\\' : static_cast<unsigned char>(*rest);
    }
    // A host path with a trailing slash loses that slash. Only a slash counts: a final 0x5C
    // byte may be the trail byte of a double-byte character.
    if (endsWithSlash)
        --n;
    out[n] = '\0';
    return true;
}

bool currentDirectory(unsigned char *out, std::size_t size) {
    char cwd[kHostPathMax];
    return getcwd(cwd, sizeof cwd) != nullptr && windowsPathOf(cwd, out, size);
}

bool setCurrentDirectory(const unsigned char *dir, const unsigned char *lengths) {
    char host[kHostPathMax];
    return hostPathOf(dir, lengths, host, sizeof host) && chdir(host) == 0;
}

bool temporaryDirectory(unsigned char *out, std::size_t size) {
    const char *dir = std::getenv("TMPDIR");
    if (dir == nullptr || dir[0] != '/' || !isDirectory(dir))
        dir = "/tmp";
    if (!windowsPathOf(dir, out, size))
        return false;
    std::size_t length = std::strlen(reinterpret_cast<char *>(out));
    if (out[length - 1] != '\\') {
        if (length + 2 > size)
            return false;
        out[length] = '\\';
        out[length + 1] = '\0';
    }
    return true;
}

bool volumeInformation(const unsigned char *root, VolumeInfo *info) {
    const char *r = reinterpret_cast<const char *>(root);
    std::size_t length = std::strlen(r);
    bool rootShape = (length == 3 && root[1] == ':' && root[2] == '\\') || (length == 1 && root[0] == '\\') ||
                     (length > 2 && root[0] == '\\' && root[1] == '\\' && root[length - 1] == '\\') || root[0] == '/';
    char host[kHostPathMax];
    if (!rootShape || !hostPathOf(root, ansiCharLengths(), host, sizeof host) || !isDirectory(host))
        return false;
    if (g_volumeOverridden) {
        *info = g_volumeOverride;
    } else {
        info->flags = 0x6;
        info->maxComponentLength = 255;
        std::strcpy(info->fileSystem, "NTFS");
    }
    return true;
}

void setVolumeInformationForTest(const VolumeInfo *info) {
    g_volumeOverridden = info != nullptr;
    if (info != nullptr)
        g_volumeOverride = *info;
}

namespace {

// Byte tables between a single-byte ANSI page and its OEM page, built once per page.
struct OemTables {
    std::once_flag built;
    unsigned char toOem[256];
    unsigned char toAnsi[256];
};

OemTables g_oemTables[9]; // code pages 1250-1258

// table[b] = the byte of page `to` for byte b of page `from` ('?' when it has none).
void buildOneWay(unsigned from, unsigned to, unsigned char *table) {
    table[0] = 0;
    for (unsigned b = 1; b < 256; ++b) {
        unsigned char in = static_cast<unsigned char>(b);
        uint16_t unit = '?';
        unsigned char out = '?';
        ConvertStatus status;
        if (codePageToUcs2(from, &in, 1, &unit, 1, &status) == 1)
            ucs2ToCodePage(to, &unit, 1, &out, 1, &status);
        table[b] = out != 0 ? out : '?';
    }
}

// The tables of the current ANSI page, null for the double-byte pages.
const OemTables *oemTables() {
    unsigned page = ansiCodePage();
    if (page < 1250 || page > 1258)
        return nullptr;
    OemTables &t = g_oemTables[page - 1250];
    std::call_once(t.built, [&t, page] {
        buildOneWay(page, oemCodePage(), t.toOem);
        buildOneWay(oemCodePage(), page, t.toAnsi);
    });
    return &t;
}

void mapBytes(unsigned char *text, const unsigned char *table) {
    for (; *text != '\0'; ++text)
        *text = table[*text];
}

} // namespace

void ansiToOem(unsigned char *text) {
    if (const OemTables *t = oemTables())
        mapBytes(text, t->toOem);
}

void oemToAnsi(unsigned char *text) {
    if (const OemTables *t = oemTables())
        mapBytes(text, t->toAnsi);
}

} // namespace zo::plat
