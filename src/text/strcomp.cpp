// Bytewise and case-insensitive comparison.
//
// The case-insensitive walk is on the hot path of every keyword and name lookup, so it
// compares 16 bytes at a time (32 with AVX2) while the texts agree, skipping to the first
// byte that differs after folding ASCII letters. There it compares one character with the
// code page's upper-case table, or exactly when it is a double-byte character, and goes on.
// In a double-byte code page a block stops at the first byte at or above 0x80 too, so the
// skipped bytes hold no lead byte and the walk always resumes on a character boundary.
#include <zo/strfuncs.h>

#include <immintrin.h>

#include <cstring>

#include "platform/cptables.h"
#include "text/textstep.h"

using zo::text::order;

namespace {

// Texts are read a block at a time while they agree. A block load at p must stay inside
// p's memory page: reading past the end of a NUL-terminated text is then harmless, though
// the sanitizers cannot know it, so the loads are not instrumented.
template <size_t Size>
inline bool blockInPage(const unsigned char *p) {
    return (reinterpret_cast<uintptr_t>(p) & 4095) <= 4096 - Size;
}

#define ZO_UNCHECKED_LOAD __attribute__((no_sanitize_address, no_sanitize_thread))

// A block of both texts. stops() gives the positions where the walk must stop and look:
// bytes that differ after folding ASCII letters A-Z to a-z, and (in a double-byte code
// page) bytes of the first text at or above 0x80, any of which may be a lead byte. Bytes
// before the first stop are equal ignoring case and none of them starts a double-byte
// character. nul() gives the positions of the first text's NUL bytes.
struct Sse2Block {
    static constexpr size_t kSize = 16;
    ZO_UNCHECKED_LOAD Sse2Block(const unsigned char *pa, const unsigned char *pb)
        : a(_mm_loadu_si128(reinterpret_cast<const __m128i *>(pa))),
          b(_mm_loadu_si128(reinterpret_cast<const __m128i *>(pb))) {}
    static __m128i fold(__m128i v) {
        __m128i shifted = _mm_add_epi8(v, _mm_set1_epi8(static_cast<char>(0x80 - 'A')));
        __m128i upper = _mm_cmplt_epi8(shifted, _mm_set1_epi8(static_cast<char>(0x80 + 26)));
        return _mm_or_si128(v, _mm_and_si128(upper, _mm_set1_epi8(0x20)));
    }
    uint32_t stops(bool leadBytes) const {
        uint32_t differ = static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(fold(a), fold(b)))) ^ 0xFFFFu;
        return leadBytes ? differ | static_cast<uint32_t>(_mm_movemask_epi8(a)) : differ;
    }
    uint32_t nul() const {
        return static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(a, _mm_setzero_si128())));
    }
    __m128i a, b;
};

#define ZO_AVX2 __attribute__((target("avx2")))

struct Avx2Block {
    static constexpr size_t kSize = 32;
    ZO_AVX2 ZO_UNCHECKED_LOAD Avx2Block(const unsigned char *pa, const unsigned char *pb)
        : a(_mm256_loadu_si256(reinterpret_cast<const __m256i *>(pa))),
          b(_mm256_loadu_si256(reinterpret_cast<const __m256i *>(pb))) {}
    ZO_AVX2 static __m256i fold(__m256i v) {
        __m256i shifted = _mm256_add_epi8(v, _mm256_set1_epi8(static_cast<char>(0x80 - 'A')));
        __m256i upper = _mm256_cmpgt_epi8(_mm256_set1_epi8(static_cast<char>(0x80 + 26)), shifted);
        return _mm256_or_si256(v, _mm256_and_si256(upper, _mm256_set1_epi8(0x20)));
    }
    ZO_AVX2 uint32_t stops(bool leadBytes) const {
        uint32_t differ = ~static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(fold(a), fold(b))));
        return leadBytes ? differ | static_cast<uint32_t>(_mm256_movemask_epi8(a)) : differ;
    }
    ZO_AVX2 uint32_t nul() const {
        return static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(a, _mm256_setzero_si256())));
    }
    __m256i a, b;
};

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
ZO_AVX2 short terminatedAvx2(const unsigned char *a, const unsigned char *b) { return walkTerminated<Avx2Block>(a, b); }
short countedSse2(const unsigned char *a, const unsigned char *b, size_t n) { return walkCounted<Sse2Block>(a, b, n); }
ZO_AVX2 short countedAvx2(const unsigned char *a, const unsigned char *b, size_t n) {
    return walkCounted<Avx2Block>(a, b, n);
}

// AVX2 blocks where the processor has them (decided once, at load).
const bool g_avx2 = __builtin_cpu_supports("avx2");

inline short compareCiTerminated(const unsigned char *a, const unsigned char *b) {
    if (a == b)
        return 0;
    return g_avx2 ? terminatedAvx2(a, b) : terminatedSse2(a, b);
}

inline short compareCiCounted(const unsigned char *a, const unsigned char *b, size_t n) {
    if (a == b)
        return 0;
    return g_avx2 ? countedAvx2(a, b, n) : countedSse2(a, b, n);
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
