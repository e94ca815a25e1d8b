// Profiles routed by name: to a real profile file, to the ODBC installer library, or to a
// registry key that stands in for the profile file.
#include <zo/registry.h>

#include <zo/cntdblib.h>
#include <zo/pertask.h>
#include <zo/zocritse.h>

#include <cstring>

#include "platform/module.h"
#include "platform/odbcinst.h"
#include "platform/profile.h"
#include "platform/registry.h"

namespace {

namespace plat = zo::plat;
using plat::RegistryRoot;

const unsigned char *u(const char *text) { return reinterpret_cast<const unsigned char *>(text); }

bool hasText(const unsigned char *text) { return text != nullptr && text[0] != '\0'; }

// ---- Routing ----

// The profiles kept elsewhere than in files, in the order of kMappedNames, which is searched
// for the file part of a name as a substring.
constexpr char kMappedNames[] =
    "ODBC.INI ODBCINST.INI CONTROL.INI RELAY.INI RELAYINS.INI NAVIG15.INI ZOLIB.INI TALMOR.INI";

struct MappedProfile {
    RegistryRoot root;
    const char *keyPath; // ends in a backslash: the section name is appended to it
    bool installer;      // owned by the ODBC installer library while that is there
};

constexpr MappedProfile kMappedProfiles[] = {
    {RegistryRoot::CurrentUser, "SOFTWARE\\ODBC\\ODBC.INI\\", true},
    {RegistryRoot::LocalMachine, "SOFTWARE\\ODBC\\ODBCINST.INI\\", false},
    {RegistryRoot::CurrentUser, "Control Panel\\", false},
    {RegistryRoot::CurrentUser, "SOFTWARE\\TALMOR\\RELAY.INI\\", false},
    {RegistryRoot::LocalMachine, "SOFTWARE\\TALMOR\\RELAYINS.INI\\", false},
    {RegistryRoot::CurrentUser, "SOFTWARE\\TALMOR\\NAVIG15.INI\\", false},
    {RegistryRoot::CurrentUser, "SOFTWARE\\TALMOR\\ZOLIB.INI\\", false},
    {RegistryRoot::LocalMachine, "SOFTWARE\\TALMOR\\", false},
};

enum class Route { ProfileFile, Installer, Registry };

struct Destination {
    Route route = Route::ProfileFile;
    RegistryRoot root = RegistryRoot::CurrentUser;
    const unsigned char *keyPath = nullptr;
};

// The character after the last backslash of a name (its start when there is none).
const unsigned char *filePartOf(const unsigned char *name) {
    const unsigned char *lengths = mdsCharLengthTable();
    const unsigned char *part = name;
    for (const unsigned char *p = name; *p != '\0';) {
        if (*p == '\\') {
            part = ++p;
            continue;
        }
        for (unsigned n = lengths[*p]; n > 0 && *p != '\0'; --n)
            ++p;
    }
    return part;
}

// The table entry whose text begins where the file part first occurs in the list; null
// when it occurs nowhere, first occurs inside an entry, or is empty (a name that ends in a
// backslash names a directory, no profile).
const MappedProfile *mappedProfile(const unsigned char *filePart) {
    if (filePart[0] == '\0')
        return nullptr;
    const char *hit = std::strstr(kMappedNames, reinterpret_cast<const char *>(filePart));
    if (hit == nullptr || (hit != kMappedNames && hit[-1] != ' '))
        return nullptr;
    size_t index = 0;
    for (const char *p = kMappedNames; p < hit; ++p)
        index += *p == ' ';
    return &kMappedProfiles[index];
}

// A profile name that names a registry key: `HKEY_LOCAL_MACHINE` or `HKEY_CURRENT_USER`
// at its start and a backslash somewhere; the key path follows the first backslash.
bool explicitKey(const unsigned char *name, Destination *to) {
    const char *text = reinterpret_cast<const char *>(name);
    const unsigned char *lengths = mdsCharLengthTable();
    const unsigned char *backslash = nullptr;
    for (const unsigned char *p = name; *p != '\0' && backslash == nullptr;) {
        if (*p == '\\')
            backslash = p;
        for (unsigned n = lengths[*p]; n > 0 && *p != '\0'; --n)
            ++p;
    }
    if (backslash == nullptr)
        return false;
    if (std::strncmp(text, "HKEY_LOCAL_MACHINE", 18) == 0)
        to->root = RegistryRoot::LocalMachine;
    else if (std::strncmp(text, "HKEY_CURRENT_USER", 17) == 0)
        to->root = RegistryRoot::CurrentUser;
    else
        return false;
    to->route = Route::Registry;
    to->keyPath = backslash + 1;
    return true;
}

Destination destinationOf(const unsigned char *fileName, int useRegistryPath) {
    Destination to;
    if (!hasText(fileName))
        return to;
    if (const MappedProfile *mapped = mappedProfile(filePartOf(fileName))) {
        to.route = mapped->installer ? Route::Installer : Route::Registry;
        to.root = mapped->root;
        to.keyPath = u(mapped->keyPath);
        return to;
    }
    if (useRegistryPath != 0 && explicitKey(fileName, &to))
        return to;
    return Destination{};
}

// ---- The ODBC installer library ----

// Loaded on first use and kept until unloadOdbcInst; guarded by the static registry lock.
struct Installer {
    void *module = nullptr;
    void *getString = nullptr;
    void *writeString = nullptr;
};

Installer g_installer;

ZoCriticalSection &registryLock() { return zoStaticCriticalSection(ZoStaticLock::Registry); }

// The installer's entry points, loading it if it is not loaded (a failed load is tried
// again on the next call).
Installer installer() {
    ZoLockGuard guard(registryLock());
    if (g_installer.module == nullptr) {
        g_installer.module = bosLoadLibrary(u("odbccp32.dll"), 0);
        if (g_installer.module != nullptr) {
            g_installer.getString = plat::moduleSymbol(g_installer.module, plat::kInstallerGetSymbol);
            g_installer.writeString = plat::moduleSymbol(g_installer.module, plat::kInstallerWriteSymbol);
        }
    }
    return g_installer;
}

// ---- The registry route ----

constexpr uint32_t kValueBuffer = 2048; // a value is read into this many bytes
constexpr uint32_t kListArea = 2048;    // names of a list are gathered in this many bytes
constexpr uint32_t kKeyNameSize = 2048;

// Copies text into out, cut to size - 1 bytes, terminated; its length. size is at least 1.
uint32_t copyCut(const unsigned char *text, unsigned char *out, uint32_t size) {
    size_t n = text != nullptr ? std::strlen(reinterpret_cast<const char *>(text)) : 0;
    if (n > size - 1)
        n = size - 1;
    if (n > 0)
        std::memcpy(out, text, n);
    out[n] = '\0';
    return static_cast<uint32_t>(n);
}

// The key path followed by the section (when given); false when it does not fit.
bool workingKey(const Destination &to, const unsigned char *section, unsigned char (&name)[kKeyNameSize]) {
    size_t pathLength = std::strlen(reinterpret_cast<const char *>(to.keyPath));
    size_t sectionLength = hasText(section) ? std::strlen(reinterpret_cast<const char *>(section)) : 0;
    if (pathLength + sectionLength >= sizeof name)
        return false;
    std::memcpy(name, to.keyPath, pathLength);
    if (sectionLength > 0)
        std::memcpy(name + pathLength, section, sectionLength);
    name[pathLength + sectionLength] = '\0';
    return true;
}

// Names of a key's values or subkeys gathered in a work area, each with its terminator.
// The area is cleared first, so whatever follows the last name reads as terminators.
struct NameGathering {
    unsigned char area[kListArea] = {};
    uint32_t used = 0;
    bool values = false;
    bool any = false;
    bool overflow = false;
};

bool gatherName(void *context, const unsigned char *name, uint32_t nameLength, uint32_t dataLength) {
    auto &g = *static_cast<NameGathering *>(context);
    // A value's data counts against the area too, as the lists have always been measured.
    uint64_t need = uint64_t{g.used} + nameLength + (g.values ? uint64_t{dataLength} + 2 : 1);
    if (need >= kListArea) {
        g.overflow = true;
        return false;
    }
    g.any = true;
    std::memcpy(g.area + g.used, name, nameLength);
    g.used += nameLength + 1; // the terminator is already there
    return true;
}

uint32_t listFromRegistry(const Destination &to, const unsigned char *section, const unsigned char *defaultValue,
                          unsigned char *out, uint32_t size) {
    unsigned char keyName[kKeyNameSize];
    NameGathering g;
    g.values = hasText(section);
    int result = plat::RegistryUnavailable;
    if (workingKey(to, section, keyName)) {
        const unsigned char *lengths = mdsCharLengthTable();
        result = g.values ? plat::registryListValues(to.root, keyName, gatherName, &g, lengths)
                          : plat::registryListSubkeys(to.root, keyName, gatherName, &g, lengths);
    }
    if (result != plat::RegistryOk || (!g.any && !g.overflow))
        return copyCut(defaultValue, out, size);
    if (size < 2) {
        out[0] = '\0';
        return 0;
    }
    if (g.overflow) {
        std::memcpy(out, g.area, size < kListArea ? size : kListArea);
        out[(size < kListArea ? size : kListArea) - 2] = '\0';
        out[(size < kListArea ? size : kListArea) - 1] = '\0';
        return size - 2;
    }
    uint32_t listLength = g.used + 1; // with the closing terminator
    if (size >= listLength) {
        std::memcpy(out, g.area, listLength);
        return g.used;
    }
    std::memcpy(out, g.area, size);
    out[size - 2] = '\0';
    out[size - 1] = '\0';
    return size - 2;
}

uint32_t readFromRegistry(const Destination &to, const unsigned char *section, const unsigned char *key,
                          const unsigned char *defaultValue, unsigned char *out, uint32_t size) {
    if (!hasText(section) || !hasText(key))
        return listFromRegistry(to, section, defaultValue, out, size);
    unsigned char keyName[kKeyNameSize];
    unsigned char value[kValueBuffer];
    uint32_t length;
    bool found = workingKey(to, section, keyName) &&
                 plat::registryReadValue(to.root, keyName, key, value, sizeof value, &length, mdsCharLengthTable()) ==
                     plat::RegistryOk;
    return copyCut(found ? value : defaultValue, out, size);
}

ZoStatus writeToRegistry(const Destination &to, const unsigned char *section, const unsigned char *key,
                         const unsigned char *value) {
    unsigned char keyName[kKeyNameSize];
    const unsigned char *lengths = mdsCharLengthTable();
    // Deleting a section needs its name: an empty one would name the key path itself.
    if ((!hasText(key) && !hasText(section)) || !workingKey(to, section, keyName))
        return ZoFailure;
    int result;
    if (!hasText(key))
        result = plat::registryDeleteKey(to.root, keyName, lengths);
    else if (hasText(value))
        result = plat::registryWriteValue(to.root, keyName, key, value, lengths);
    else
        result = plat::registryDeleteValue(to.root, keyName, key, lengths);
    // Deleting what is not there leaves the profile as asked.
    bool keyGone = result == plat::RegistryNoKey && !(hasText(key) && hasText(value));
    return result == plat::RegistryOk || keyGone ? ZoSuccess : ZoFailure;
}

} // namespace

uint32_t ntGetProfileString(const unsigned char *section, const unsigned char *key, const unsigned char *defaultValue,
                            unsigned char *out, uint32_t size, const unsigned char *fileName, int useRegistryPath) {
    if (size == 0)
        return 0;
    Destination to = destinationOf(fileName, useRegistryPath);
    if (to.route == Route::ProfileFile)
        return plat::profileGetString(section, key, defaultValue, out, size, fileName, mdsCharLengthTable());
    if (to.route == Route::Installer) {
        Installer entries = installer();
        if (entries.getString != nullptr)
            return plat::installerGetString(entries.getString, section, key, defaultValue, out, size, "ODBC.INI");
    }
    return readFromRegistry(to, section, key, defaultValue, out, size);
}

ZoStatus ntWriteProfileString(const unsigned char *section, const unsigned char *key, const unsigned char *value,
                              const unsigned char *fileName, int useRegistryPath) {
    Destination to = destinationOf(fileName, useRegistryPath);
    if (to.route == Route::ProfileFile)
        return plat::profileWriteString(section, key, value, fileName, mdsCharLengthTable()) != 0 ? ZoSuccess
                                                                                                  : ZoFailure;
    if (to.route == Route::Installer) {
        Installer entries = installer();
        if (entries.writeString != nullptr)
            return plat::installerWriteString(entries.writeString, section, key, value,
                                              reinterpret_cast<const char *>(fileName)) != 0
                       ? ZoSuccess
                       : ZoFailure;
    }
    return writeToRegistry(to, section, key, value);
}

void unloadOdbcInst() {
    ZoLockGuard guard(registryLock());
    plat::moduleFree(g_installer.module);
    g_installer = Installer{};
}
