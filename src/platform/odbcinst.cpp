#include "platform/odbcinst.h"

#include <climits>
#include <cstring>

namespace zo::plat {
namespace {

// The installer's entry points, as unixODBC declares them (LPCSTR, LPSTR, int, BOOL).
using GetString = int (*)(const char *section, const char *entry, const char *defaultValue, char *out, int size,
                          const char *fileName);
using WriteString = int (*)(const char *section, const char *entry, const char *value, const char *fileName);

const char *textOrNone(const unsigned char *text) {
    return text != nullptr && text[0] != '\0' ? reinterpret_cast<const char *>(text) : nullptr;
}

uint32_t fallback(bool list, const unsigned char *defaultValue, unsigned char *out, uint32_t size) {
    size_t n = 0;
    if (!list && defaultValue != nullptr) {
        n = std::strlen(reinterpret_cast<const char *>(defaultValue));
        if (n > size - 1)
            n = size - 1;
        std::memcpy(out, defaultValue, n);
    }
    out[n] = '\0';
    if (list && size > 1)
        out[1] = '\0';
    return static_cast<uint32_t>(n);
}

} // namespace

uint32_t installerGetString(void *entry, const unsigned char *section, const unsigned char *key,
                            const unsigned char *defaultValue, unsigned char *out, uint32_t size,
                            const char *fileName) {
    if (size == 0)
        return 0;
    const char *sectionName = textOrNone(section);
    const char *keyName = sectionName != nullptr ? textOrNone(key) : nullptr;
    bool list = keyName == nullptr;
    // The installer refuses buffers of fewer than 2 bytes.
    if (size < 2 || entry == nullptr)
        return fallback(list, defaultValue, out, size);
    const char *fallbackText = defaultValue != nullptr ? reinterpret_cast<const char *>(defaultValue) : "";
    int room = size > static_cast<uint32_t>(INT_MAX) ? INT_MAX : static_cast<int>(size);
    int got = reinterpret_cast<GetString>(entry)(sectionName, keyName, fallbackText, reinterpret_cast<char *>(out),
                                                 room, fileName);
    if (got < 0)
        return fallback(list, defaultValue, out, size);
    return static_cast<uint32_t>(got);
}

int installerWriteString(void *entry, const unsigned char *section, const unsigned char *key,
                         const unsigned char *value, const char *fileName) {
    if (entry == nullptr)
        return 0;
    auto write = reinterpret_cast<WriteString>(entry);
    return write(reinterpret_cast<const char *>(section), reinterpret_cast<const char *>(key),
                 reinterpret_cast<const char *>(value), fileName) != 0
               ? 1
               : 0;
}

} // namespace zo::plat
