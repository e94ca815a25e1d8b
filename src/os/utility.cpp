// Environment variables and machine identity.
#include <zo/bosenv.h>

#include <cstring>

#include "platform/env.h"

namespace {

constexpr std::size_t kEnvironmentBufferSize = 700;
unsigned char g_environment[kEnvironmentBufferSize];

// Copies a name of the host into out, cut to size characters.
ZoStatus copyCut(const char *name, char *out, uint32_t size) {
    std::size_t length = std::strlen(name);
    if (length > size)
        length = size;
    std::memcpy(out, name, length);
    out[length] = '\0';
    return ZoSuccess;
}

} // namespace

unsigned char *bosGetEnv(const unsigned char *name) {
    char *buffer = reinterpret_cast<char *>(g_environment);
    if (!zo::plat::environmentValue(reinterpret_cast<const char *>(name), buffer, sizeof g_environment) ||
        buffer[0] == '\0')
        return nullptr;
    return g_environment;
}

ZoStatus bosGetMachineName(char *out, uint32_t size) {
    if (out == nullptr || size == 0)
        return ZoSuccess;
    char name[16];
    if (!zo::plat::machineName(name, sizeof name))
        return ZoFailure;
    return copyCut(name, out, size);
}

ZoStatus bosGetHostUser(char *out, uint32_t size) {
    if (out == nullptr || size == 0)
        return ZoSuccess;
    char name[256];
    if (!zo::plat::userName(name, sizeof name))
        return ZoFailure;
    return copyCut(name, out, size);
}
