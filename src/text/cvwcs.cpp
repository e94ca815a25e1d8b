// UCS-2 utilities and the 16-bit string functions.
#include <zo/cvwchar.h>

#include <zo/ramalloc.h>

#include <cstring>

#include "platform/codepage.h"
#include "platform/unicode.h"

namespace {

inline short order(unsigned a, unsigned b) { return static_cast<short>(a < b ? -1 : a > b ? 1 : 0); }

// Case-blind comparison folds A-Z to a-z only.
inline uint16_t foldAscii(uint16_t unit) {
    return unit >= 'A' && unit <= 'Z' ? static_cast<uint16_t>(unit + 32) : unit;
}
inline uint16_t asIs(uint16_t unit) { return unit; }

template <uint16_t (*Fold)(uint16_t)>
short compareTerminated(const uint16_t *a, const uint16_t *b) {
    for (size_t i = 0;; ++i) {
        const uint16_t x = Fold(a[i]), y = Fold(b[i]);
        if (x != y)
            return order(x, y);
        if (x == 0)
            return 0;
    }
}

template <uint16_t (*Fold)(uint16_t)>
short compareCounted(const uint16_t *a, uint32_t aLen, const uint16_t *b, uint32_t bLen) {
    const uint32_t n = aLen < bLen ? aLen : bLen;
    for (uint32_t i = 0; i < n; ++i) {
        const uint16_t x = Fold(a[i]), y = Fold(b[i]);
        if (x != y)
            return order(x, y);
    }
    return 0;
}

} // namespace

// ---- UCS-2 utilities --------------------------------------------------------------------

uint32_t cvUCS2Len(const uint16_t *text) { return wcsLen(text); }

uint32_t cvUnicodeLen(const uint16_t *text) { return wcsLen(text); }

uint32_t cvAsciiLenOfUnicodeStr(const uint16_t *text) {
    const uint32_t n = wcsLen(text);
    if (n == 0)
        return 0;
    zo::plat::ConvertStatus status;
    int32_t bytes =
        zo::plat::ucs2ToCodePage(zo::plat::ansiCodePage(), text, static_cast<int32_t>(n), nullptr, 0, &status);
    return static_cast<uint32_t>(bytes);
}

uint16_t *cvUnicodeDup(const uint16_t *text) {
    if (text == nullptr)
        return nullptr;
    const uint32_t n = wcsLen(text);
    if (n >= UINT32_MAX / 2)
        return nullptr;
    auto *copy = static_cast<uint16_t *>(ramAllocZ(2 * n + 2));
    if (copy != nullptr)
        std::memcpy(copy, text, 2 * size_t{n});
    return copy;
}

uint32_t cvUnicodeCopy(uint16_t *dest, const uint16_t *src) {
    const uint32_t n = wcsLen(src);
    if (dest == nullptr || n == 0)
        return 0;
    std::memmove(dest, src, 2 * size_t{n});
    return n;
}

// ---- 16-bit string functions ------------------------------------------------------------

uint32_t wcsLen(const uint16_t *text) {
    uint32_t n = 0;
    if (text != nullptr)
        while (text[n] != 0)
            ++n;
    return n;
}

uint32_t wcsUpper(uint16_t *text) { return text == nullptr ? 0 : zo::plat::unicodeUpperText(text); }

uint32_t wcsLower(uint16_t *text) { return text == nullptr ? 0 : zo::plat::unicodeLowerText(text); }

uint16_t *wcsCopy(uint16_t *dest, const uint16_t *src) {
    std::memmove(dest, src, 2 * (size_t{wcsLen(src)} + 1));
    return dest;
}

uint16_t *wcsCopy(uint16_t *dest, const uint16_t *src, uint32_t n) {
    uint32_t i = 0;
    for (; i < n && src[i] != 0; ++i)
        dest[i] = src[i];
    for (; i < n; ++i)
        dest[i] = 0;
    return dest;
}

uint16_t *wcsCat(uint16_t *dest, const uint16_t *src) {
    wcsCopy(dest + wcsLen(dest), src);
    return dest;
}

short wcsCompare(const uint16_t *a, const uint16_t *b) { return compareTerminated<asIs>(a, b); }

short wcsCompare(const uint16_t *a, uint32_t aLen, const uint16_t *b, uint32_t bLen) {
    return compareCounted<asIs>(a, aLen, b, bLen);
}

short wcsCompareCi(const uint16_t *a, const uint16_t *b) { return compareTerminated<foldAscii>(a, b); }

short wcsCompareCi(const uint16_t *a, uint32_t aLen, const uint16_t *b, uint32_t bLen) {
    return compareCounted<foldAscii>(a, aLen, b, bLen);
}

unsigned short wcsEqual(const uint16_t *a, const uint16_t *b) { return wcsCompare(a, b) == 0; }

unsigned short wcsEqual(const uint16_t *a, uint32_t aLen, const uint16_t *b, uint32_t bLen) {
    return wcsCompare(a, aLen, b, bLen) == 0;
}

unsigned short wcsEqualCi(const uint16_t *a, const uint16_t *b) { return wcsCompareCi(a, b) == 0; }

unsigned short wcsEqualCi(const uint16_t *a, uint32_t aLen, const uint16_t *b, uint32_t bLen) {
    return wcsCompareCi(a, aLen, b, bLen) == 0;
}

// Compared unit by unit, so that the walk stops at the text's end (where it differs from
// any unit of sub) and never reads past it.
uint16_t *wcsFind(const uint16_t *text, const uint16_t *sub) {
    for (const uint16_t *p = text;; ++p) {
        size_t i = 0;
        while (sub[i] != 0 && p[i] == sub[i])
            ++i;
        if (sub[i] == 0)
            return const_cast<uint16_t *>(p);
        if (*p == 0)
            return nullptr;
    }
}

uint16_t *wcsFind(const uint16_t *text, unsigned char c) { return wcsFind(text, c, strFindFirst); }

uint16_t *wcsFind(const uint16_t *text, unsigned char c, strFindOptions options) {
    if (text == nullptr || c == 0)
        return nullptr;
    const uint16_t *found = nullptr;
    for (const uint16_t *p = text; *p != 0; ++p)
        if (*p == c) {
            found = p;
            if (options == strFindFirst)
                break;
        }
    return const_cast<uint16_t *>(found);
}

uint16_t *wcsCharNext(const uint16_t *p) { return const_cast<uint16_t *>(p + 1); }

uint16_t *wcsCharNext(const uint16_t *p, uint32_t n) { return const_cast<uint16_t *>(p + n); }
