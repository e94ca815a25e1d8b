#include "platform/module.h"

#include "platform/path.h"

#include <dlfcn.h>
#include <link.h>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <strings.h>
#include <unistd.h>

namespace zo::plat {

namespace {

// Name of the function a resource module exports for reading its string table.
constexpr const char *kLoadStringSymbol = "zoLoadString";

// Bounded text builder: appends while there is room for the bytes and a final NUL, and
// remembers whether anything was cut.
class NameBuilder {
public:
    NameBuilder(char *out, uint32_t size) : out_(out), size_(size) {}
    void put(char c) {
        if (len_ + 1 < size_)
            out_[len_++] = c;
        else
            fits_ = false;
    }
    void append(const char *text, size_t n) {
        for (size_t i = 0; i < n; ++i)
            put(text[i]);
    }
    // NUL-terminates; an overflowing name leaves an empty text and yields false.
    bool finish() {
        if (size_ == 0)
            return false;
        if (!fits_)
            len_ = 0;
        out_[len_] = '\0';
        return fits_;
    }

private:
    char *out_;
    uint32_t size_;
    uint32_t len_ = 0;
    bool fits_ = true;
};

// Outside modules named by their Windows names, and the host libraries that stand in.
struct OutsideModule {
    const char *windowsName;
    const char *hostName;
};
constexpr OutsideModule kOutsideModules[] = {
    {"ODBCCP32.DLL", "libodbcinst.so.2"},
};

// A test's replacement for one outside module's host counterpart (empty names: none).
struct OutsideReplacement {
    char windowsName[64];
    char hostName[256];
};
OutsideReplacement g_outsideReplacement;

// The host library that stands in for an outside module's Windows name; null when the
// name is not an outside module's.
const char *outsideHostName(const char *windowsName) {
    if (g_outsideReplacement.windowsName[0] != '\0' && strcasecmp(windowsName, g_outsideReplacement.windowsName) == 0)
        return g_outsideReplacement.hostName;
    for (const OutsideModule &module : kOutsideModules)
        if (strcasecmp(windowsName, module.windowsName) == 0)
            return module.hostName;
    return nullptr;
}

// Whether a Windows-form name names a directory (a drive, a backslash or a slash) rather
// than being a bare file name. The second byte of a double-byte character is no backslash.
bool hasDirectory(const unsigned char *name, const unsigned char *charLengths) {
    if (name[0] != '\0' && name[1] == ':')
        return true;
    for (const unsigned char *p = name; *p != '\0';) {
        if (*p == '\\' || *p == '/')
            return true;
        unsigned step = charLengths[*p];
        while (step-- > 0 && *p != '\0')
            ++p;
    }
    return false;
}

// Start of the last component of a host path.
const char *lastComponent(const char *path) {
    const char *slash = std::strrchr(path, '/');
    return slash == nullptr ? path : slash + 1;
}

// Where the host suffix of a file name starts: the first ".so" that ends the name or is
// followed by a version number ("libzo.so", "libzo.so.1.0.0"); null when there is none.
const char *hostSuffix(const char *fileName) {
    for (const char *p = std::strstr(fileName, ".so"); p != nullptr; p = std::strstr(p + 1, ".so"))
        if (p[3] == '\0' || p[3] == '.')
            return p;
    return nullptr;
}

// Host path of a module: its link map name made absolute, or the program's own file for
// the main program (whose link map name is empty).
bool hostModulePath(void *module, char (&path)[PATH_MAX]) {
    const char *name = "";
    link_map *map = nullptr;
    if (module != nullptr) {
        if (dlinfo(module, RTLD_DI_LINKMAP, &map) != 0 || map == nullptr || map->l_name == nullptr)
            return false;
        name = map->l_name;
    }
    if (*name == '\0') {
        ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
        if (n <= 0)
            return false;
        path[n] = '\0';
        return true;
    }
    if (*name == '/') {
        if (std::strlen(name) >= sizeof path)
            return false;
        std::strcpy(path, name);
        return true;
    }
    return realpath(name, path) != nullptr;
}

} // namespace

bool hostPathToWindows(const char *hostPath, unsigned char *out, uint32_t size) {
    // The whole path goes through the drive table, which keeps the bytes of the last
    // component; the host suffix at its end is then replaced by ".DLL".
    unsigned char windows[PATH_MAX + 8];
    NameBuilder name(reinterpret_cast<char *>(out), size);
    if (windowsPathOf(hostPath, windows, sizeof windows)) {
        const char *text = reinterpret_cast<const char *>(windows);
        const char *suffix = hostSuffix(lastComponent(hostPath));
        const size_t suffixLength = suffix != nullptr ? std::strlen(suffix) : 0;
        name.append(text, std::strlen(text) - suffixLength);
        if (suffix != nullptr)
            name.append(".DLL", 4);
        return name.finish();
    }
    name.finish(); // an empty text
    return false;
}

bool windowsPathToHost(const unsigned char *windowsName, char *out, uint32_t size, const unsigned char *charLengths) {
    const char *p = reinterpret_cast<const char *>(windowsName);
    NameBuilder name(out, size);
    if (const char *hostName = outsideHostName(p)) {
        name.append(hostName, std::strlen(hostName));
        return name.finish();
    }
    // ".DLL" becomes ".so" (a host path is taken as it stands).
    size_t length = std::strlen(p);
    const bool dllSuffix = *p != '/' && length >= 4 && strcasecmp(p + length - 4, ".DLL") == 0;
    name.append(p, dllSuffix ? length - 4 : length);
    if (dllSuffix)
        name.append(".so", 3);
    if (!name.finish())
        return false;
    if (!hasDirectory(windowsName, charLengths))
        return true; // a bare name is left to the host's search rules
    char named[PATH_MAX];
    const size_t namedLength = std::strlen(out);
    if (namedLength >= sizeof named) {
        out[0] = '\0';
        return false;
    }
    std::memcpy(named, out, namedLength + 1);
    if (!hostPathOf(reinterpret_cast<const unsigned char *>(named), charLengths, out, size)) {
        out[0] = '\0';
        return false;
    }
    return true;
}

void moduleTestReplaceOutside(const char *windowsName, const char *hostName) {
    g_outsideReplacement = OutsideReplacement{};
    if (hostName == nullptr || std::strlen(windowsName) >= sizeof g_outsideReplacement.windowsName ||
        std::strlen(hostName) >= sizeof g_outsideReplacement.hostName)
        return;
    std::strcpy(g_outsideReplacement.windowsName, windowsName);
    std::strcpy(g_outsideReplacement.hostName, hostName);
}

void *moduleContaining(const void *address) {
    Dl_info info;
    if (dladdr(address, &info) == 0 || info.dli_fname == nullptr)
        return nullptr;
    // RTLD_NOLOAD finds the module without loading it; the reference it takes is given back
    // at once, the handle stays the module's identity while it is loaded.
    void *handle = dlopen(info.dli_fname, RTLD_LAZY | RTLD_NOLOAD);
    if (handle != nullptr)
        dlclose(handle);
    return handle;
}

void *moduleLoad(const unsigned char *name, const unsigned char *charLengths) {
    char path[PATH_MAX];
    if (name == nullptr || *name == '\0' || !windowsPathToHost(name, path, sizeof path, charLengths))
        return nullptr;
    // An outside module keeps process-wide state of its own (the installer's result cache)
    // that must outlive the library's hold on it, and the host's other users load it too:
    // it stays in the process once loaded.
    int stays = outsideHostName(reinterpret_cast<const char *>(name)) != nullptr ? RTLD_NODELETE : 0;
    return dlopen(path, RTLD_NOW | RTLD_LOCAL | stays);
}

void moduleFree(void *module) {
    if (module != nullptr)
        dlclose(module);
}

void *moduleSymbol(void *module, const char *name) {
    return module == nullptr || name == nullptr ? nullptr : dlsym(module, name);
}

uint32_t moduleFileName(void *module, unsigned char *out, uint32_t size) {
    char path[PATH_MAX];
    if (!hostModulePath(module, path)) {
        if (size > 0)
            out[0] = '\0';
        return 0;
    }
    return hostPathToWindows(path, out, size) ? static_cast<uint32_t>(std::strlen(reinterpret_cast<char *>(out))) : 0;
}

int moduleLoadString(void *module, unsigned id, unsigned char *buffer, int size) {
    if (size <= 0)
        return 0;
    using LoadString = int (*)(unsigned, char *, int);
    auto load = reinterpret_cast<LoadString>(moduleSymbol(module, kLoadStringSymbol));
    if (load == nullptr) {
        buffer[0] = '\0';
        return 0;
    }
    return load(id, reinterpret_cast<char *>(buffer), size);
}

} // namespace zo::plat
