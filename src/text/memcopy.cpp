// Block primitives on arbitrary lengths: open loops, no allocation.
#include <zo/ramalloc.h>

#include <cstring>

void memCopyHuge(void *dest, const void *src, uint32_t count) {
    auto *d = static_cast<unsigned char *>(dest);
    auto *s = static_cast<const unsigned char *>(src);
    // Forward order is part of the contract (overlap with dest below src is safe), so this
    // is memmove only when it would copy the same way.
    if (d <= s || d >= s + count) {
        std::memmove(d, s, count);
        return;
    }
    for (uint32_t i = 0; i < count; ++i)
        d[i] = s[i];
}

void BUTMMCPD(void *dest, const void *src, uint32_t count) {
    auto *d = static_cast<unsigned char *>(dest);
    auto *s = static_cast<const unsigned char *>(src);
    if (d >= s || d + count <= s) {
        std::memmove(d, s, count);
        return;
    }
    for (uint32_t i = count; i > 0; --i)
        d[i - 1] = s[i - 1];
}

short BUTMMCMP(const void *a, const void *b, uint32_t count) {
    int order = std::memcmp(a, b, count);
    return static_cast<short>(order < 0 ? -1 : order > 0 ? 1 : 0);
}

void BUTMMSWP(void *a, void *b, unsigned count) {
    unsigned char buffer[512];
    auto *x = static_cast<unsigned char *>(a);
    auto *y = static_cast<unsigned char *>(b);
    while (count > 0) {
        unsigned chunk = count < sizeof buffer ? count : static_cast<unsigned>(sizeof buffer);
        std::memcpy(buffer, x, chunk);
        std::memcpy(x, y, chunk);
        std::memcpy(y, buffer, chunk);
        x += chunk;
        y += chunk;
        count -= chunk;
    }
}

void BUTU8FIL(void *dest, unsigned char value, uint32_t count) { std::memset(dest, value, count); }

uint32_t BUTSTLEN(const char *text) { return static_cast<uint32_t>(std::strlen(text)); }

char *BUTSTCPY(char *dest, const char *src) {
    size_t length = std::strlen(src);
    std::memcpy(dest, src, length + 1);
    return dest + length;
}

void BUTSTCAT(char *dest, const char *src) { BUTSTCPY(dest + std::strlen(dest), src); }

int BUTSTCMP(const char *a, const char *b) {
    int order = std::strcmp(a, b);
    return order < 0 ? -1 : order > 0 ? 1 : 0;
}
