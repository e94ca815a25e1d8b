// Right trimming of white space and of blanks.
#include <zo/strfuncs.h>

#include <cstring>

#include "platform/codepage.h"
#include "text/textstep.h"

namespace {

// White space of the C locale: blank, tab, line feed, vertical tab, form feed, return.
bool isSpaceByte(unsigned char b) { return b == ' ' || (b >= '\t' && b <= '\r'); }

// A character of n bytes at p is white space: its first byte is, or it is the double-byte
// ideographic space of a code page whose lead bytes include 0x81.
bool isWhiteChar(const unsigned char *p, uint32_t n) {
    if (n == 1)
        return isSpaceByte(*p);
    return n == 2 && p[0] == 0x81 && p[1] == 0x40 && zo::plat::isLeadByte(0x81);
}

bool isBlankChar(const unsigned char *p, uint32_t n) { return n == 1 && *p == ' '; }

// Length up to the end of the last character that is not trimmed. With one-byte
// characters the scan runs backwards from the end; otherwise the characters are found
// from the start, since a byte alone cannot tell whether it is a trail byte.
uint32_t keptLength(const unsigned char *text, uint32_t length, bool (*trimmed)(const unsigned char *, uint32_t)) {
    const unsigned char *lengths = mdsCharLengthTable();
    if (zo::text::allSingleByte(lengths)) {
        while (length > 0 && trimmed(text + length - 1, 1))
            --length;
        return length;
    }
    const unsigned char *end = text + length;
    uint32_t kept = 0;
    for (const unsigned char *p = text; p < end;) {
        uint32_t n = zo::text::charLength(p, end, lengths);
        p += n;
        if (!trimmed(p - n, n))
            kept = static_cast<uint32_t>(p - text);
    }
    return kept;
}

void trimTerminated(unsigned char *text, bool (*trimmed)(const unsigned char *, uint32_t)) {
    uint32_t length = static_cast<uint32_t>(std::strlen(reinterpret_cast<const char *>(text)));
    text[keptLength(text, length, trimmed)] = 0;
}

} // namespace

uint32_t strRightTrim(const unsigned char *text, uint32_t length) { return keptLength(text, length, isWhiteChar); }

void strRightTrim(unsigned char *text) { trimTerminated(text, isWhiteChar); }

uint32_t strRightTrimBlanks(const unsigned char *text, uint32_t length) {
    return keptLength(text, length, isBlankChar);
}

void strRightTrimBlanks(unsigned char *text) { trimTerminated(text, isBlankChar); }
