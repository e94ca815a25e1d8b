// Bounded copies, quoting and removal of quotes.
#include <zo/strfuncs.h>

#include <cstring>

#include "text/textstep.h"

namespace {

uint32_t textLength(const unsigned char *text) {
    return static_cast<uint32_t>(std::strlen(reinterpret_cast<const char *>(text)));
}

// Copies the inner bytes of a quoted text [from, to), one quote for each doubled pair,
// stepping by lead byte; a lone quote is copied as it is. Returns the end of the output.
unsigned char *copyInner(unsigned char *dest, const unsigned char *from, const unsigned char *to, unsigned char quote) {
    const unsigned char *lengths = mdsLeadByteLengthTable();
    while (from < to) {
        uint32_t n = zo::text::charLength(from, to, lengths);
        if (n == 1 && *from == quote && from + 1 < to && from[1] == quote) {
            *dest++ = quote;
            from += 2;
            continue;
        }
        std::memmove(dest, from, n);
        dest += n;
        from += n;
    }
    return dest;
}

} // namespace

void strCopy(unsigned char *dest, uint32_t destSize, const unsigned char *src) {
    if (destSize == 0)
        return;
    dest[destSize - 1] = 0;
    for (uint32_t i = 0; i + 1 < destSize; ++i)
        if ((dest[i] = src[i]) == 0)
            break;
}

unsigned char *strCopy(unsigned char *dest, const unsigned char *src, uint32_t length) {
    std::memmove(dest, src, length);
    dest[length] = 0;
    return dest + length;
}

unsigned char *strCopyQuoted(unsigned char *dest, const unsigned char *src, uint32_t length, unsigned short quote) {
    const unsigned char q = static_cast<unsigned char>(quote);
    const unsigned char *lengths = mdsLeadByteLengthTable();
    *dest++ = q;
    for (uint32_t i = 0; i < length;) {
        if (lengths[src[i]] == 2) {
            // A double-byte character goes whole; a lead byte without its trail is dropped.
            if (i + 1 < length) {
                *dest++ = src[i];
                *dest++ = src[i + 1];
            }
            i += 2;
            continue;
        }
        if (src[i] == q)
            *dest++ = q;
        *dest++ = src[i++];
    }
    *dest++ = q;
    *dest = 0;
    return dest;
}

unsigned char *strCopyQuoted(unsigned char *dest, const unsigned char *src, unsigned short quote) {
    return strCopyQuoted(dest, src, textLength(src), quote);
}

unsigned char *strCatQuoted(unsigned char *dest, const unsigned char *src, unsigned short quote) {
    return strCopyQuoted(dest + textLength(dest), src, quote);
}

unsigned char *strCopyUnquoted(unsigned char *dest, const unsigned char *src, uint32_t length) {
    // The first and last bytes are the quotes; the copy never goes past the inner bytes.
    unsigned char *end = length < 2 ? dest : copyInner(dest, src + 1, src + length - 1, src[0]);
    *end = 0;
    return end;
}

unsigned char *strCopyUnquoted(unsigned char *dest, const unsigned char *src) {
    return strCopyUnquoted(dest, src, textLength(src));
}

uint32_t strRemoveQuotes(unsigned char *text, uint32_t length, unsigned char quote) {
    if (length <= 1 || text[0] != quote)
        return length;
    const unsigned char *lengths = mdsCharLengthTable();
    const unsigned char *end = text + length;
    const unsigned char *last = text;
    for (const unsigned char *p = text; p < end; p += zo::text::charLength(p, end, lengths))
        last = p;
    if (*last != quote)
        return length;
    // Every quote inside must be doubled, the pair lying wholly inside.
    const unsigned char *innerEnd = text + length - 1;
    for (const unsigned char *p = text + 1; p < innerEnd;) {
        if (*p == quote) {
            if (p + 1 >= innerEnd || p[1] != quote)
                return length;
            p += 2;
            continue;
        }
        p += zo::text::charLength(p, innerEnd, lengths);
    }
    return static_cast<uint32_t>(copyInner(text, text + 1, innerEnd, quote) - text);
}

void strRemoveQuotes(unsigned char *text, unsigned char quote) {
    uint32_t length = strRemoveQuotes(text, textLength(text), quote);
    text[length] = 0;
}
