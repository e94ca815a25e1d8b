// Adapting a name to the file system of its volume.
#include <zo/bosfile.h>
#include <zo/pertask.h>

#include <cstring>

#include "os/bosint.h"

namespace {

// The next backslash at or after p, stepping whole characters; null when there is none.
const unsigned char *nextBackslash(const unsigned char *p, const unsigned char *length) {
    for (; *p != '\0'; p += bosCharSize(p, length)) {
        if (*p == '\\')
            return p;
    }
    return nullptr;
}

// The root of the volume a name lives on: `\\server\share\`, `\`, the host root `/` for a
// host-native path, or the first three characters (`C:\`).
void volumeRootOf(const unsigned char *name, unsigned char (&root)[kBosNameSize + 1]) {
    std::size_t length = std::strlen(reinterpret_cast<const char *>(name));
    std::size_t take;
    bool addBackslash = false;
    if (name[0] == '\\' && name[1] == '\\') {
        const unsigned char *lengths = mdsCharLengthTable();
        const unsigned char *server = length > 2 ? nextBackslash(name + 2, lengths) : nullptr;
        const unsigned char *share = server != nullptr ? nextBackslash(server + 1, lengths) : nullptr;
        take = share != nullptr ? static_cast<std::size_t>(share - name) + 1 : length;
        addBackslash = share == nullptr;
    } else if (name[0] == '\\' || name[0] == '/') {
        take = 1;
    } else {
        take = length < 3 ? length : 3;
    }
    std::memcpy(root, name, take);
    if (addBackslash)
        root[take++] = '\\';
    root[take] = '\0';
}

} // namespace

ZoStatus applyOEMConvert(const unsigned char *name, unsigned char *out, int upperCase) {
    if (name == nullptr || out == nullptr)
        return ZoFailure;
    std::size_t length = std::strlen(reinterpret_cast<const char *>(name));
    if (length >= kBosNameSize)
        return ZoFailure;
    std::memmove(out, name, length + 1);
    unsigned char root[kBosNameSize + 1];
    volumeRootOf(out, root);
    zo::plat::VolumeInfo volume;
    if (!zo::plat::volumeInformation(root, &volume))
        return ZoFailure;
    if ((volume.flags & 0x3) == 0 && upperCase != 0)
        bosUpperName(out);
    bool longUnicodeNames = (volume.flags & 0x4) != 0 && volume.maxComponentLength >= 255 &&
                            (std::strcmp(volume.fileSystem, "FAT") == 0 || std::strcmp(volume.fileSystem, "NTFS") == 0);
    if (!longUnicodeNames)
        zo::plat::ansiToOem(out);
    return ZoSuccess;
}
