// Runs of plain ASCII (1-0x7F, no NUL) in the conversions between bytes and 16-bit units,
// handled 16 at a time with SSE2 (every x86-64 has it). Every conversion of the library
// meets mostly such runs, and every encoding it serves writes them unchanged.
#pragma once

#include <immintrin.h>

#include <cstddef>
#include <cstdint>

namespace zo::plat {

// Positions (one bit each) of the bytes in a 16-byte block that end a run: 0 or >= 0x80.
inline uint32_t asciiStops(__m128i v) {
    return static_cast<uint32_t>(_mm_movemask_epi8(v) | _mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_setzero_si128())));
}

constexpr size_t kAsciiBlock = 16;

// Widening and narrowing 16 elements at a time. Each writes all 16 results and returns the
// positions (one bit each) the caller must look at: those at or above 0x80 and, when
// withZero is set, the 0 elements too (for walks that stop at a NUL).
template <bool WithZero>
inline uint32_t widenBlock(const unsigned char *src, uint16_t *dest) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(src));
    _mm_storeu_si128(reinterpret_cast<__m128i *>(dest), _mm_unpacklo_epi8(v, _mm_setzero_si128()));
    _mm_storeu_si128(reinterpret_cast<__m128i *>(dest + 8), _mm_unpackhi_epi8(v, _mm_setzero_si128()));
    return WithZero ? asciiStops(v) : static_cast<uint32_t>(_mm_movemask_epi8(v));
}

template <bool WithZero>
inline uint32_t narrowBlock(const uint16_t *src, unsigned char *dest) {
    const __m128i lo = _mm_loadu_si128(reinterpret_cast<const __m128i *>(src));
    const __m128i hi = _mm_loadu_si128(reinterpret_cast<const __m128i *>(src + 8));
    _mm_storeu_si128(reinterpret_cast<__m128i *>(dest), _mm_packus_epi16(lo, hi));
    // Units 1-0x7F are those whose value minus one, as a signed 16-bit number, is 0-0x7E;
    // without the zero test, those whose value is 0-0x7F.
    auto marked = [](__m128i v) {
        const __m128i shifted = WithZero ? _mm_sub_epi16(v, _mm_set1_epi16(1)) : v;
        return _mm_or_si128(_mm_cmpgt_epi16(shifted, _mm_set1_epi16(WithZero ? 0x7E : 0x7F)),
                            _mm_cmplt_epi16(shifted, _mm_setzero_si128()));
    };
    return static_cast<uint32_t>(_mm_movemask_epi8(_mm_packs_epi16(marked(lo), marked(hi))));
}

// The elements of a block before its first stop. Taken as a branch, not computed, so that
// in a run of whole blocks the fixed stride lets the next block be read before this one is
// checked.
inline size_t asciiRun(uint32_t stops) {
    if (stops == 0)
        return kAsciiBlock;
    return static_cast<size_t>(__builtin_ctz(stops));
}

// Length of the leading run of plain ASCII bytes of src[0, n).
inline size_t asciiRunLength(const unsigned char *src, size_t n) {
    size_t i = 0;
    for (; i + 16 <= n; i += 16)
        if (uint32_t stops = asciiStops(_mm_loadu_si128(reinterpret_cast<const __m128i *>(src + i))))
            return i + static_cast<size_t>(__builtin_ctz(stops));
    while (i < n && src[i] != 0 && src[i] < 0x80)
        ++i;
    return i;
}

// Index of the first 0 unit of src[0, n), or n.
inline size_t findZeroUnit(const uint16_t *src, size_t n) {
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(src + i));
        if (uint32_t zero = static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi16(v, _mm_setzero_si128()))))
            return i + static_cast<size_t>(__builtin_ctz(zero)) / 2;
    }
    while (i < n && src[i] != 0)
        ++i;
    return i;
}

} // namespace zo::plat
