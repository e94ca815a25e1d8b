// Pattern matching with an any-string and an any-character wildcard and an escape.
//
// The match walks the text and the pattern together, character by character, and keeps
// one restart point: the place after the most recent any-string wildcard. On a mismatch
// the wildcard takes one more text character and the walk resumes from there. Only the
// most recent wildcard needs a restart point (an earlier one can only absorb what the
// later one could), so the walk is at most text length times pattern length steps, and
// never backtracks further.
#include <zo/pertask.h>
#include <zo/strfuncs.h>

#include <cstring>

#include "platform/codepage.h"
#include "text/textstep.h"

namespace {

// Folding of UTF-8 text: ASCII letters only, since any other byte is part of a sequence or
// stands alone as a byte of no code page.
constexpr struct AsciiUpper {
    unsigned char of[256];
    constexpr AsciiUpper() : of() {
        for (unsigned b = 0; b < 256; ++b)
            of[b] = static_cast<unsigned char>(b >= 'a' && b <= 'z' ? b - 0x20 : b);
    }
} kAsciiUpper;

struct Like {
    const unsigned char *text;
    uint32_t textLen;
    const unsigned char *pattern;
    uint32_t patternLen;
    const unsigned char *lengths; // character stepping
    const unsigned char *upper;   // case folding of single-byte characters; null when exact
    unsigned char anyString, anyChar, escape;
};

// Character lengths: from the stepping table, cut at the end; always 1 when every
// character of the mode is one byte.
template <bool SingleByte>
inline uint32_t charAt(const unsigned char *s, uint32_t pos, uint32_t end, const unsigned char *lengths) {
    if (SingleByte)
        return 1;
    return zo::text::charLength(s + pos, s + end, lengths);
}

// A wildcard or escape is a one-byte character; a multi-byte character never is one.
template <bool SingleByte>
inline bool isSpecial(const Like &m, uint32_t p, unsigned char special) {
    return m.pattern[p] == special && charAt<SingleByte>(m.pattern, p, m.patternLen, m.lengths) == 1;
}

// Whether the pattern character at p (n bytes) matches the text character at t (k bytes).
inline bool sameChar(const Like &m, uint32_t p, uint32_t n, uint32_t t, uint32_t k) {
    if (n != k)
        return false;
    const unsigned char a = m.pattern[p], b = m.text[t];
    if (n == 1)
        return a == b || (m.upper != nullptr && m.upper[a] == m.upper[b]);
    return std::memcmp(m.pattern + p, m.text + t, n) == 0;
}

template <bool SingleByte>
unsigned match(const Like &m) {
    const uint32_t tn = m.textLen, pn = m.patternLen;
    uint32_t t = 0, p = 0;
    bool canRestart = false;
    uint32_t restartT = 0, restartP = 0;
    auto textChar = [&m](uint32_t at) { return charAt<SingleByte>(m.text, at, m.textLen, m.lengths); };
    while (t < tn) {
        bool matched = false;
        if (p < pn) {
            if (isSpecial<SingleByte>(m, p, m.anyString)) {
                while (p < pn && isSpecial<SingleByte>(m, p, m.anyString))
                    ++p;
                // Any-char wildcards right after it are bound where the any-string starts.
                while (p < pn && t < tn && isSpecial<SingleByte>(m, p, m.anyChar)) {
                    ++p;
                    t += textChar(t);
                }
                if (p == pn)
                    return 1;
                if (!isSpecial<SingleByte>(m, p, m.anyString)) {
                    canRestart = true;
                    restartT = t;
                    restartP = p;
                }
                continue;
            }
            if (isSpecial<SingleByte>(m, p, m.anyChar)) {
                t += textChar(t);
                ++p;
                continue;
            }
            uint32_t q = isSpecial<SingleByte>(m, p, m.escape) ? p + 1 : p;
            if (q < pn) {
                const uint32_t n = charAt<SingleByte>(m.pattern, q, pn, m.lengths), k = textChar(t);
                if (sameChar(m, q, n, t, k)) {
                    t += k;
                    p = q + n;
                    matched = true;
                }
            }
        }
        if (matched)
            continue;
        if (!canRestart)
            return 0;
        restartT += textChar(restartT);
        t = restartT;
        p = restartP;
    }
    while (p < pn && isSpecial<SingleByte>(m, p, m.anyString))
        ++p;
    return p == pn ? 1 : 0;
}

} // namespace

unsigned int strLike(const unsigned char *text, uint32_t textLen, const unsigned char *pattern, uint32_t patternLen,
                     unsigned char anyString, unsigned char anyChar, unsigned char escape, unsigned int caseSensitive,
                     unsigned int keepTrailing) {
    const unsigned char *lengths = mdsCharLengthTable();
    if (keepTrailing == 0) {
        textLen = strRightTrim(text, textLen);
        patternLen = strRightTrim(pattern, patternLen);
    }
    const bool utf8 = lengths == zo::plat::utf8CharLengths();
    const unsigned char *upper = (caseSensitive & 0xFFFF) != 0 ? nullptr
                                 : utf8                        ? kAsciiUpper.of
                                                               : zo::plat::upperCaseTable();
    const Like m{text, textLen, pattern, patternLen, lengths, upper, anyString, anyChar, escape};
    return zo::text::allSingleByte(lengths) ? match<true>(m) : match<false>(m);
}

unsigned int strLike(const unsigned char *text, const unsigned char *pattern, unsigned char anyString,
                     unsigned char anyChar, unsigned char escape, unsigned int caseSensitive,
                     unsigned int keepTrailing) {
    return strLike(text, static_cast<uint32_t>(std::strlen(reinterpret_cast<const char *>(text))), pattern,
                   static_cast<uint32_t>(std::strlen(reinterpret_cast<const char *>(pattern))), anyString, anyChar,
                   escape, caseSensitive, keepTrailing);
}
