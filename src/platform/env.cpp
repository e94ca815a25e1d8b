#include "platform/env.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <pwd.h>
#include <unistd.h>

namespace zo::plat {
namespace {

bool copyName(const char *name, std::size_t length, char *out, std::size_t size) {
    if (length >= size)
        return false;
    std::memcpy(out, name, length);
    out[length] = '\0';
    return true;
}

} // namespace

bool environmentValue(const char *name, char *out, std::size_t size) {
    const char *value = std::getenv(name);
    if (value == nullptr || size == 0)
        return false;
    std::size_t length = std::strlen(value);
    if (length >= size)
        length = size - 1;
    std::memcpy(out, value, length);
    out[length] = '\0';
    return true;
}

bool machineName(char *out, std::size_t size) {
    char host[256];
    if (gethostname(host, sizeof host) != 0)
        return false;
    host[sizeof host - 1] = '\0';
    // Like the platform's computer names, a longer host name is cut to what fits.
    std::size_t length = std::strcspn(host, ".");
    if (size == 0)
        return false;
    return copyName(host, length < size ? length : size - 1, out, size);
}

bool userName(char *out, std::size_t size) {
    long bufferSize = sysconf(_SC_GETPW_R_SIZE_MAX);
    char buffer[16384];
    if (bufferSize <= 0 || static_cast<std::size_t>(bufferSize) > sizeof buffer)
        bufferSize = sizeof buffer;
    passwd entry;
    passwd *found = nullptr;
    if (getpwuid_r(geteuid(), &entry, buffer, static_cast<std::size_t>(bufferSize), &found) != 0 || found == nullptr)
        return false;
    return copyName(found->pw_name, std::strlen(found->pw_name), out, size);
}

namespace {

bool homeDirectory(char *out, std::size_t size) {
    const char *home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/')
        return copyName(home, std::strlen(home), out, size);
    char buffer[16384];
    passwd entry;
    passwd *found = nullptr;
    if (getpwuid_r(geteuid(), &entry, buffer, sizeof buffer, &found) != 0 || found == nullptr)
        return false;
    return copyName(found->pw_dir, std::strlen(found->pw_dir), out, size);
}

} // namespace

bool userConfigDirectory(char *out, std::size_t size) {
    const char *config = std::getenv("XDG_CONFIG_HOME");
    char home[4096];
    int n;
    if (config != nullptr && config[0] == '/')
        n = std::snprintf(out, size, "%s/zo", config);
    else if (homeDirectory(home, sizeof home))
        n = std::snprintf(out, size, "%s/.config/zo", home);
    else
        return false;
    return n > 0 && static_cast<std::size_t>(n) < size;
}

} // namespace zo::plat
