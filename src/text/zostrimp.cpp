// Helpers shared by the string classes: decimal digits and character-aligned search.
#include "text/zostrimp.h"

#include <zo/pertask.h>

#include "platform/codepage.h"

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

Stepping currentStepping() {
    const unsigned char *length = mdsCharLengthTable();
    if (length == zo::plat::utf8CharLengths())
        return {length, 3};
    return {length, zo::plat::hasLeadBytes() ? 2u : 1u};
}

namespace {

// Bytes below 0x80 are one character in every supported mode: no code page has a lead
// byte there, and UTF-8 leads start at 0xC0. Stepping relies on that.

// Steps forward from the character boundary pos over whole characters; returns the first
// boundary at or after target. Runs of single bytes are skipped eight at a time.
uint32_t stepForward(const unsigned char *text, uint32_t pos, uint32_t target, const unsigned char *charLength) {
    while (pos < target) {
        uint64_t word;
        if (target - pos >= 8 && (std::memcpy(&word, text + pos, 8), (word & 0x8080808080808080ull) == 0)) {
            pos += 8;
            continue;
        }
        // A branch, not a table load, for the single bytes: the next position then does not
        // wait for the load.
        unsigned char b = text[pos];
        if (b < 0x80)
            ++pos;
        else
            pos += charLength[b];
    }
    return pos;
}

// The same result as stepForward, found by resynchronising near the target. With
// characters of at most L bytes, a position q preceded by L - 1 bytes below 0x80, all at or
// after the boundary pos, is a boundary too: the character holding byte q - 1 starts at or
// after pos and in [q - L, q - 1]; if it starts after q - L its first byte is below 0x80,
// so it is that single byte; if it starts at q - L it is L bytes long. Either way it ends
// at q - 1.
uint32_t stepTo(const unsigned char *text, uint32_t pos, uint32_t target, const Stepping &step) {
    if (pos >= target)
        return pos;
    if (step.longest == 1)
        return target;
    const uint32_t needed = step.longest - 1;
    if (target - pos > 32) {
        uint32_t run = 0;
        for (uint32_t i = target; i > pos;) {
            --i;
            run = text[i] < 0x80 ? run + 1 : 0;
            if (run == needed) {
                pos = i + needed; // q: the bytes [q - L + 1, q - 1] are below 0x80
                break;
            }
        }
    }
    return stepForward(text, pos, target, step.length);
}

} // namespace

uint32_t searchBytes(const unsigned char *text, uint32_t length, uint32_t start, const unsigned char *pattern,
                     uint32_t patternLen, const Stepping &step) {
    if (text == nullptr || patternLen == 0 || start >= length || patternLen > length - start)
        return length;
    const unsigned char first = pattern[0];
    const uint32_t last = length - patternLen;
    // Candidates come from memchr; a candidate counts only where the character stepping
    // from start lands on it.
    for (uint32_t pos = start; pos <= last;) {
        auto *hit = static_cast<const unsigned char *>(std::memchr(text + pos, first, last - pos + 1));
        if (hit == nullptr)
            break;
        uint32_t candidate = static_cast<uint32_t>(hit - text);
        pos = stepTo(text, pos, candidate, step);
        if (pos != candidate)
            continue; // the byte was inside a character
        if (patternLen == 1 || std::memcmp(text + pos + 1, pattern + 1, patternLen - 1) == 0)
            return pos;
        pos += step.length[text[pos]];
    }
    return length;
}

uint32_t searchBytes(const unsigned char *text, uint32_t length, uint32_t start, const unsigned char *pattern,
                     uint32_t patternLen) {
    return searchBytes(text, length, start, pattern, patternLen, currentStepping());
}

uint32_t textLength(const unsigned char *text) {
    return text == nullptr ? 0 : static_cast<uint32_t>(std::strlen(reinterpret_cast<const char *>(text)));
}

} // namespace zo::text
