// Environment variables and machine identity.
#include <zo/bosenv.h>

#include <cstring>

#include "platform/env.h"

namespace {

constexpr std::size_t kEnvironmentBufferSize = 700;
unsigned char g_environment[kEnvironmentBufferSize];

// Asks the host for a name with `room` bytes and copies it into out, cut to size characters.
ZoStatus hostName(bool (*ask)(char *, std::size_t), std::size_t room, char *out, uint32_t size) {
    if (out == nullptr || size == 0)
        return ZoSuccess;
    char name[256];
    if (!ask(name, room))
        return ZoFailure;
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

ZoStatus bosGetMachineName(char *out, uint32_t size) { return hostName(zo::plat::machineName, 16, out, size); }

ZoStatus bosGetHostUser(char *out, uint32_t size) { return hostName(zo::plat::userName, 256, out, size); }
