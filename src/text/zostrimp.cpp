// Helpers shared by the string classes: decimal digits and character-aligned search.
#include "text/zostrimp.h"

#include <zo/pertask.h>

#include <cstring>

namespace zo::text {

uint32_t formatDecimal(uint32_t magnitude, bool negative, unsigned char *out) {
    unsigned char reversed[10];
    uint32_t digits = 0;
    do {
        reversed[digits++] = static_cast<unsigned char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    uint32_t n = 0;
    if (negative)
        out[n++] = '-';
    while (digits > 0)
        out[n++] = reversed[--digits];
    return n;
}

uint32_t searchBytes(const unsigned char *text, uint32_t length, uint32_t start, const unsigned char *pattern,
                     uint32_t patternLen) {
    if (text == nullptr || patternLen == 0 || start >= length || patternLen > length - start)
        return length;
    const unsigned char *charLength = mdsCharLengthTable();
    const unsigned char first = pattern[0];
    const uint32_t last = length - patternLen;
    for (uint32_t pos = start; pos <= last; pos += charLength[text[pos]]) {
        if (text[pos] == first && std::memcmp(text + pos + 1, pattern + 1, patternLen - 1) == 0)
            return pos;
    }
    return length;
}

uint32_t textLength(const unsigned char *text) {
    return text == nullptr ? 0 : static_cast<uint32_t>(std::strlen(reinterpret_cast<const char *>(text)));
}

} // namespace zo::text
