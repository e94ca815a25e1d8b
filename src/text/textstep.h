// Character stepping shared by the byte-string functions.
#pragma once

#include <cstdint>

#include <zo/pertask.h>

#include "platform/codepage.h"

namespace zo::text {

// True when the stepping table makes every character one byte: the thread is in ANSI mode
// and the ANSI code page has no lead bytes. Walkers then use plain byte loops.
inline bool allSingleByte(const unsigned char *lengths) {
    return lengths == zo::plat::ansiCharLengths() && !zo::plat::hasLeadBytes();
}

// Start of the character after the one at p in a NUL-terminated text. A character cut
// short by the terminating NUL ends at that NUL, so a walk never passes the end.
inline const unsigned char *nextChar(const unsigned char *p, const unsigned char *lengths) {
    unsigned n = lengths[*p];
    for (unsigned i = 1; i < n; ++i)
        if (p[i] == 0)
            return p + i;
    return p + n;
}

// Length of the character at p in a counted text that ends at end (cut short at the end).
inline uint32_t charLength(const unsigned char *p, const unsigned char *end, const unsigned char *lengths) {
    uint32_t n = lengths[*p];
    uint32_t left = static_cast<uint32_t>(end - p);
    return n < left ? n : left;
}

inline short order(unsigned a, unsigned b) { return static_cast<short>(a < b ? -1 : a > b ? 1 : 0); }

} // namespace zo::text
