// Blank-padded, locale-collated and floating-point key comparison.
#include <zo/strfuncs.h>

#include <cstring>

#include "platform/collate.h"
#include "text/textstep.h"

using zo::text::order;

namespace {

// A counted text ends at its first NUL byte, as if it had been copied and terminated.
uint32_t lengthToNul(const unsigned char *text, uint32_t length) {
    const void *nul = std::memchr(text, 0, length);
    return nul != nullptr ? static_cast<uint32_t>(static_cast<const unsigned char *>(nul) - text) : length;
}

short sign(int result) { return static_cast<short>(result < 0 ? -1 : result > 0 ? 1 : 0); }

} // namespace

short strComparePad(const unsigned char *a, const unsigned char *b) {
    size_t i = 0;
    while (a[i] != 0 && b[i] != 0) {
        if (a[i] != b[i])
            return order(a[i], b[i]);
        ++i;
    }
    // The longer text decides by its first byte that is not a blank, whatever its value.
    for (size_t j = i; b[j] != 0; ++j)
        if (b[j] != ' ')
            return -1;
    for (size_t j = i; a[j] != 0; ++j)
        if (a[j] != ' ')
            return 1;
    return 0;
}

short strCompareIntl(const unsigned char *a, const unsigned char *b) {
    return sign(zo::plat::collateCompare(a, b, false));
}

short strCompareIntl(const unsigned char *a, uint32_t aLen, const unsigned char *b, uint32_t bLen) {
    return sign(zo::plat::collateCompare(a, lengthToNul(a, aLen), b, lengthToNul(b, bLen), false));
}

short strCompareCiIntl(const unsigned char *a, const unsigned char *b) {
    return sign(zo::plat::collateCompare(a, b, true));
}

short strCompareCiIntl(const unsigned char *a, uint32_t aLen, const unsigned char *b, uint32_t bLen) {
    return sign(zo::plat::collateCompare(a, lengthToNul(a, aLen), b, lengthToNul(b, bLen), true));
}

short floatCompare(const unsigned char *a, const unsigned char *b) {
    bool aNegative = (a[7] & 0x80) != 0;
    bool bNegative = (b[7] & 0x80) != 0;
    if (aNegative != bNegative)
        return static_cast<short>(aNegative ? -1 : 1);
    for (int i = 7; i >= 0; --i)
        if (a[i] != b[i]) {
            short byBytes = order(a[i], b[i]);
            return static_cast<short>(aNegative ? -byBytes : byBytes);
        }
    return 0;
}
