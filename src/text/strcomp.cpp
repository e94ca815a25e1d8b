// Bytewise and case-insensitive comparison.
//
// The case-insensitive walk is on the hot path of every keyword and name lookup, so it
// compares 16 bytes at a time while the texts agree: a block passes when its bytes are
// equal, or when all of them are ASCII and equal after folding A-Z. Any other block is
// walked byte by byte with the code page's upper-case table. In a double-byte code page a
// block passes only when it is all ASCII, which holds no lead byte, so the walk always
// resumes on a character boundary.
#include <zo/strfuncs.h>

#include <emmintrin.h>

#include <cstring>

#include "platform/codepage.h"
#include "text/textstep.h"

using zo::text::order;

namespace {

// Whether a 16-byte load at p stays inside p's memory page. Reading past the end of a
// NUL-terminated text is then harmless, though the sanitizers cannot know it.
inline bool blockInPage(const unsigned char *p) { return (reinterpret_cast<uintptr_t>(p) & 4095) <= 4096 - 16; }

__attribute__((no_sanitize_address, no_sanitize_thread)) inline __m128i loadBlock(const unsigned char *p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
}

// A-Z to a-z in an all-ASCII block.
inline __m128i foldAscii(__m128i v) {
    __m128i shifted = _mm_add_epi8(v, _mm_set1_epi8(static_cast<char>(0x80 - 'A')));
    __m128i upper = _mm_cmplt_epi8(shifted, _mm_set1_epi8(static_cast<char>(0x80 + 26)));
    return _mm_or_si128(v, _mm_and_si128(upper, _mm_set1_epi8(0x20)));
}

enum class BlockVerdict { Pass, Walk };

// Decides whether the next 16 bytes of both texts agree ignoring case. With stopAtNul a
// block holding a NUL of the first text is walked, so that the walk sees the end.
inline BlockVerdict checkBlock(const unsigned char *a, const unsigned char *b, bool stopAtNul, bool leadBytes) {
    __m128i va = loadBlock(a);
    __m128i vb = loadBlock(b);
    if (stopAtNul && _mm_movemask_epi8(_mm_cmpeq_epi8(va, _mm_setzero_si128())) != 0)
        return BlockVerdict::Walk;
    int nonAscii = _mm_movemask_epi8(_mm_or_si128(va, vb));
    if (nonAscii == 0 || !leadBytes) {
        if (_mm_movemask_epi8(_mm_cmpeq_epi8(va, vb)) == 0xFFFF)
            return BlockVerdict::Pass;
    }
    if (nonAscii == 0 && _mm_movemask_epi8(_mm_cmpeq_epi8(foldAscii(va), foldAscii(vb))) == 0xFFFF)
        return BlockVerdict::Pass;
    return BlockVerdict::Walk;
}

struct CiWalk {
    const unsigned char *upper = zo::plat::upperCaseTable();
    const unsigned char *lengths = mdsLeadByteLengthTable();
    bool leadBytes = zo::plat::hasLeadBytes();
};

// Case-insensitive order of two NUL-terminated texts, stepping by lead byte.
short compareCiTerminated(const unsigned char *a, const unsigned char *b) {
    CiWalk w;
    size_t i = 0;
    for (;;) {
        if (blockInPage(a + i) && blockInPage(b + i) &&
            checkBlock(a + i, b + i, true, w.leadBytes) == BlockVerdict::Pass) {
            i += 16;
            continue;
        }
        for (size_t blockEnd = i + 16; i < blockEnd;) {
            unsigned ca = a[i], cb = b[i];
            if (w.lengths[ca] == 2) {
                // A double-byte character compares exactly; both texts go on past its lead.
                if (ca != cb)
                    return order(ca, cb);
                unsigned ta = a[i + 1], tb = b[i + 1];
                if (ta != tb)
                    return order(ta, tb);
                if (ta == 0)
                    return 0;
                i += 2;
                continue;
            }
            if (ca != cb) {
                unsigned fa = w.upper[ca], fb = w.upper[cb];
                if (fa != fb)
                    return order(fa, fb);
            } else if (ca == 0) {
                return 0;
            }
            ++i;
        }
    }
}

// Case-insensitive order of the first n bytes of two texts (NUL bytes included).
short compareCiCounted(const unsigned char *a, const unsigned char *b, size_t n) {
    CiWalk w;
    size_t i = 0;
    while (i < n) {
        if (n - i >= 16 && checkBlock(a + i, b + i, false, w.leadBytes) == BlockVerdict::Pass) {
            i += 16;
            continue;
        }
        size_t blockEnd = n - i >= 16 ? i + 16 : n;
        while (i < blockEnd) {
            unsigned ca = a[i], cb = b[i];
            if (w.lengths[ca] == 2) {
                if (ca != cb)
                    return order(ca, cb);
                if (i + 1 == n)
                    return 0;
                if (a[i + 1] != b[i + 1])
                    return order(a[i + 1], b[i + 1]);
                i += 2;
                continue;
            }
            if (ca != cb && w.upper[ca] != w.upper[cb])
                return order(w.upper[ca], w.upper[cb]);
            ++i;
        }
    }
    return 0;
}

} // namespace

short strCompare(const unsigned char *a, uint32_t aLen, const unsigned char *b, uint32_t bLen) {
    int bytes = std::memcmp(a, b, aLen < bLen ? aLen : bLen);
    if (bytes != 0)
        return static_cast<short>(bytes < 0 ? -1 : 1);
    return order(aLen, bLen);
}

short strCompareCi(const unsigned char *a, const unsigned char *b) { return compareCiTerminated(a, b); }

short strCompareCi(const unsigned char *a, uint32_t aLen, const unsigned char *b, uint32_t bLen) {
    short walked = compareCiCounted(a, b, aLen < bLen ? aLen : bLen);
    return walked != 0 ? walked : order(aLen, bLen);
}

unsigned short strEqualCi(const unsigned char *a, const unsigned char *b) {
    return compareCiTerminated(a, b) == 0 ? 1 : 0;
}

unsigned short strEqualCi(const unsigned char *a, uint32_t aLen, const unsigned char *b, uint32_t bLen) {
    if (aLen != bLen)
        return 0;
    return compareCiCounted(a, b, aLen) == 0 ? 1 : 0;
}

short strCompareWithMaxLength(const unsigned char *a, const unsigned char *b, uint32_t n) {
    int bytes = std::strncmp(reinterpret_cast<const char *>(a), reinterpret_cast<const char *>(b), n);
    return static_cast<short>(bytes < 0 ? -1 : bytes > 0 ? 1 : 0);
}
