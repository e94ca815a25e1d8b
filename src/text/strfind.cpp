// Searches for a byte, a byte outside quotes, and a text, on character boundaries.
//
// The searches let the C library find candidates (strchr, memmem, both vectorised) and
// then check that a candidate starts a character by walking from the last known boundary;
// the walk goes forward only, so a whole search stays linear. When every character is one
// byte the candidates are the answers.
#include <zo/ramalloc.h>
#include <zo/strfuncs.h>

#include <cstring>

#include "platform/codepage.h"
#include "platform/simd.h"
#include "text/textstep.h"

using zo::text::allSingleByte;
using zo::text::charLength;
using zo::text::nextChar;

namespace {

const char *chars(const unsigned char *text) { return reinterpret_cast<const char *>(text); }

unsigned char *bytes(const void *text) { return static_cast<unsigned char *>(const_cast<void *>(text)); }

// The first character boundary at or after target, walking from the boundary p; runs of
// 16 ASCII bytes, each a character of its own in every mode, are passed at once. target
// lies inside the text, whose end is given for a counted text and null for a
// NUL-terminated one.
const unsigned char *boundaryFrom(const unsigned char *p, const unsigned char *target, const unsigned char *end,
                                  const unsigned char *lengths) {
    while (p < target) {
        if (target - p >= 16 && zo::plat::asciiBlock16(p))
            p += 16;
        else
            p += end != nullptr ? charLength(p, end, lengths) : nextChar(p, lengths) - p;
    }
    return p;
}

// First character at or after the boundary p that starts with c (c is not 0).
unsigned char *findCharFrom(const unsigned char *p, unsigned char c, const unsigned char *lengths) {
    for (;;) {
        const unsigned char *candidate = bytes(std::strchr(chars(p), c));
        if (candidate == nullptr)
            return nullptr;
        p = boundaryFrom(p, candidate, nullptr, lengths);
        if (p == candidate)
            return bytes(p);
        // The candidate was inside a character; p is the boundary after it.
    }
}

unsigned char *findChar(const unsigned char *text, unsigned char c, const unsigned char *lengths) {
    if (c == 0)
        return nullptr;
    if (allSingleByte(lengths))
        return bytes(std::strchr(chars(text), c));
    return findCharFrom(text, c, lengths);
}

// First occurrence of sub in [p, end) that starts on a character boundary; p is one.
unsigned char *findTextFrom(const unsigned char *p, const unsigned char *end, const unsigned char *sub, uint32_t subLen,
                            const unsigned char *lengths) {
    for (;;) {
        const unsigned char *candidate = bytes(memmem(p, static_cast<size_t>(end - p), sub, subLen));
        if (candidate == nullptr)
            return nullptr;
        p = boundaryFrom(p, candidate, end, lengths);
        if (p == candidate)
            return bytes(p);
        if (static_cast<uint32_t>(end - p) < subLen)
            return nullptr;
    }
}

unsigned char *findText(const unsigned char *text, uint32_t textLen, const unsigned char *sub, uint32_t subLen,
                        const unsigned char *lengths) {
    if (subLen == 0 || subLen > textLen)
        return nullptr;
    if (allSingleByte(lengths))
        return bytes(memmem(text, textLen, sub, subLen));
    return findTextFrom(text, text + textLen, sub, subLen, lengths);
}

// Upper-cases a copy for the case-insensitive search. In ANSI mode the code page's case
// mapping applies to single-byte characters; UTF-8 text folds only its ASCII letters, since
// mapping its bytes through the code page would change lead bytes and move boundaries.
void upperCaseCopy(unsigned char *copy, const unsigned char *text, uint32_t length, bool utf8) {
    std::memcpy(copy, text, length);
    if (!utf8) {
        zo::plat::upperBuffer(copy, length);
        return;
    }
    for (uint32_t i = 0; i < length; ++i)
        if (copy[i] >= 'a' && copy[i] <= 'z')
            copy[i] = static_cast<unsigned char>(copy[i] - 0x20);
}

} // namespace

unsigned char *strFind(const unsigned char *text, unsigned char c) { return findChar(text, c, mdsCharLengthTable()); }

unsigned char *strFindAnsi(const unsigned char *text, unsigned char c) {
    return findChar(text, c, mdsLeadByteLengthTable());
}

unsigned char *strFindReverse(const unsigned char *text, unsigned char c) {
    const unsigned char *lengths = mdsCharLengthTable();
    if (c == 0)
        return nullptr;
    if (allSingleByte(lengths))
        return bytes(std::strrchr(chars(text), c));
    unsigned char *last = nullptr;
    for (unsigned char *found = findCharFrom(text, c, lengths); found != nullptr;
         found = findCharFrom(nextChar(found, lengths), c, lengths))
        last = found;
    return last;
}

unsigned char *strFind(const unsigned char *text, unsigned char c, unsigned char q1, unsigned char q2,
                       unsigned char q3) {
    const unsigned char *lengths = mdsCharLengthTable();
    unsigned char open = 0; // the quote of the section the walk is in, 0 outside
    for (const unsigned char *p = text; *p != 0; p = nextChar(p, lengths)) {
        if (open != 0) {
            if (*p == open)
                open = 0;
        } else if (*p == c) {
            return bytes(p);
        } else if (*p == q1 || *p == q2 || *p == q3) {
            open = *p;
        }
    }
    return nullptr;
}

unsigned char *strFind(const unsigned char *text, uint32_t textLen, const unsigned char *sub, uint32_t subLen) {
    return findText(text, textLen, sub, subLen, mdsCharLengthTable());
}

unsigned char *strFind(const unsigned char *text, const unsigned char *sub) {
    const unsigned char *lengths = mdsCharLengthTable();
    if (*sub == 0)
        return nullptr;
    if (allSingleByte(lengths))
        return bytes(std::strstr(chars(text), chars(sub)));
    return findText(text, static_cast<uint32_t>(std::strlen(chars(text))), sub,
                    static_cast<uint32_t>(std::strlen(chars(sub))), lengths);
}

unsigned char *strFindCi(const unsigned char *text, uint32_t textLen, const unsigned char *sub, uint32_t subLen) {
    if (subLen == 0 || subLen > textLen)
        return nullptr;
    auto *textCopy = static_cast<unsigned char *>(ramAlloc(textLen));
    auto *subCopy = static_cast<unsigned char *>(ramAlloc(subLen));
    unsigned char *found = nullptr;
    if (textCopy != nullptr && subCopy != nullptr) {
        const unsigned char *lengths = mdsCharLengthTable();
        bool utf8 = lengths == zo::plat::utf8CharLengths();
        upperCaseCopy(textCopy, text, textLen, utf8);
        upperCaseCopy(subCopy, sub, subLen, utf8);
        if (unsigned char *inCopy = findText(textCopy, textLen, subCopy, subLen, lengths))
            found = const_cast<unsigned char *>(text) + (inCopy - textCopy);
    }
    ramFree(textCopy);
    ramFree(subCopy);
    return found;
}

unsigned char *strFindCi(const unsigned char *text, uint32_t textLen, const unsigned char *sub) {
    return strFindCi(text, textLen, sub, static_cast<uint32_t>(std::strlen(chars(sub))));
}

unsigned char *strFindCi(const unsigned char *text, const unsigned char *sub) {
    return strFindCi(text, static_cast<uint32_t>(std::strlen(chars(text))), sub);
}
