// Bytewise and case-insensitive comparison.
//
// The case-insensitive walk is on the hot path of every keyword and name lookup, so it
// compares 16 bytes at a time (32 with AVX2) while the texts agree, skipping to the first
// byte that differs after folding ASCII letters. There it compares one character with the
// code page's upper-case table, or exactly when it is a double-byte character, and goes on.
// In a double-byte code page a block stops at the first byte at or above 0x80 too, so the
// skipped bytes hold no lead byte and the walk always resumes on a character boundary.
#include <zo/strfuncs.h>

#include <cstring>

#include "platform/cptables.h"
#include "platform/simd.h"
#include "text/textstep.h"

using zo::plat::Avx2Block;
using zo::plat::blockInPage;
using zo::plat::Sse2Block;
using zo::text::order;

namespace {

// The code page's tables, read once per call.
struct CiWalk {
    const zo::plat::CodePageTables &tables = zo::plat::codePageTables();
    const unsigned char *upper = tables.upper;
    const unsigned char *lengths = tables.lengths;
    bool leadBytes = tables.doubleByte;
};

enum class Step { Next, Differ, End };

// Compares the characters at a[i] and b[i], of which n bytes remain: a double-byte
// character (by the first text's lead byte) exactly, a single byte folded. Advances i past
// them, or reports the order where they differ.
inline Step stepCi(const CiWalk &w, const unsigned char *a, const unsigned char *b, size_t &i, size_t n,
                   short &result) {
    unsigned ca = a[i], cb = b[i];
    if (w.lengths[ca] == 2) {
        if (ca != cb) {
            result = order(ca, cb);
            return Step::Differ;
        }
        if (n < 2)
            return Step::End;
        if (a[i + 1] != b[i + 1]) {
            result = order(a[i + 1], b[i + 1]);
            return Step::Differ;
        }
        i += 2;
        return Step::Next;
    }
    if (ca != cb && w.upper[ca] != w.upper[cb]) {
        result = order(w.upper[ca], w.upper[cb]);
        return Step::Differ;
    }
    ++i;
    return Step::Next;
}

// Passes over the bytes of the block at i that agree: true when the whole block agreed
// (i moved past it), false when i stopped at a byte to look at or the block would leave
// the page of one text. Terminated texts stop at the first text's NUL too.
template <class Block, bool Terminated>
__attribute__((always_inline)) inline bool passAgreeing(const unsigned char *a, const unsigned char *b, size_t &i,
                                                        bool leadBytes) {
    if (!blockInPage<Block::kSize>(a + i) || !blockInPage<Block::kSize>(b + i))
        return false;
    Block block(a + i, b + i);
    uint32_t stops = Terminated ? block.stops(leadBytes) | block.nul() : block.stops(leadBytes);
    if (stops == 0) {
        i += Block::kSize;
        return true;
    }
    i += static_cast<size_t>(__builtin_ctz(stops));
    return false;
}

// Case-insensitive order of two NUL-terminated texts, stepping by lead byte.
template <class Block>
__attribute__((always_inline)) inline short walkTerminated(const unsigned char *a, const unsigned char *b) {
    CiWalk w;
    size_t i = 0;
    short result = 0;
    for (;;) {
        if (passAgreeing<Block, true>(a, b, i, w.leadBytes))
            continue;
        // A NUL in the first text ends the walk; the second text is longer unless it ends
        // there too.
        if (a[i] == 0)
            return b[i] == 0 ? 0 : -1;
        // The terminating NUL stands in for the bytes that remain, so a double-byte
        // character can always be read whole; one whose trail is the NUL of both texts
        // ends them.
        if (stepCi(w, a, b, i, 2, result) == Step::Differ)
            return result;
        if (a[i - 1] == 0)
            return 0;
    }
}

// Case-insensitive order of the first n bytes of two texts (NUL bytes included). A block
// that reaches past the end is looked at only as far as the end.
template <class Block>
__attribute__((always_inline)) inline short walkCounted(const unsigned char *a, const unsigned char *b, size_t n) {
    CiWalk w;
    size_t i = 0;
    short result = 0;
    while (i < n) {
        bool passed = passAgreeing<Block, false>(a, b, i, w.leadBytes);
        if (i >= n)
            return 0;
        if (passed)
            continue;
        switch (stepCi(w, a, b, i, n - i, result)) {
        case Step::Next: break;
        case Step::Differ: return result;
        case Step::End: return 0;
        }
    }
    return 0;
}

short terminatedSse2(const unsigned char *a, const unsigned char *b) { return walkTerminated<Sse2Block>(a, b); }
ZO_TARGET_AVX2 short terminatedAvx2(const unsigned char *a, const unsigned char *b) {
    return walkTerminated<Avx2Block>(a, b);
}
short countedSse2(const unsigned char *a, const unsigned char *b, size_t n) { return walkCounted<Sse2Block>(a, b, n); }
ZO_TARGET_AVX2 short countedAvx2(const unsigned char *a, const unsigned char *b, size_t n) {
    return walkCounted<Avx2Block>(a, b, n);
}

inline short compareCiTerminated(const unsigned char *a, const unsigned char *b) {
    if (a == b)
        return 0;
    return zo::plat::g_cpuHasAvx2 ? terminatedAvx2(a, b) : terminatedSse2(a, b);
}

inline short compareCiCounted(const unsigned char *a, const unsigned char *b, size_t n) {
    if (a == b)
        return 0;
    return zo::plat::g_cpuHasAvx2 ? countedAvx2(a, b, n) : countedSse2(a, b, n);
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
