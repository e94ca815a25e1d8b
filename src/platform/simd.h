// Block primitives for the library's text walks: 16-byte SSE2 blocks (every x86-64 has
// them) and 32-byte AVX2 blocks (used where the processor has them).
#pragma once

#include <immintrin.h>

#include <cstddef>
#include <cstdint>

namespace zo::plat {

// Whether a block of Size bytes at p stays inside p's memory page. A walk of NUL-terminated
// text reads whole blocks only then, so reading past the NUL is harmless; the sanitizers
// cannot know that, so those loads are not instrumented (ZO_UNCHECKED_LOAD).
template <size_t Size>
inline bool blockInPage(const unsigned char *p) {
    return (reinterpret_cast<uintptr_t>(p) & 4095) <= 4096 - Size;
}

#define ZO_UNCHECKED_LOAD __attribute__((no_sanitize_address, no_sanitize_thread))

// A block of two texts, for case-blind comparison. stops() gives the positions where the
// walk must stop and look: bytes that differ after folding ASCII letters A-Z to a-z, and
// (in a double-byte code page) bytes of the first text at or above 0x80, any of which may
// be a lead byte. Bytes before the first stop are equal ignoring case and none of them
// starts a double-byte character. nul() gives the positions of the first text's NUL bytes.
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
    uint32_t nul() const { return static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(a, _mm_setzero_si128()))); }
    __m128i a, b;
};

#define ZO_TARGET_AVX2 __attribute__((target("avx2")))

struct Avx2Block {
    static constexpr size_t kSize = 32;
    ZO_TARGET_AVX2 ZO_UNCHECKED_LOAD Avx2Block(const unsigned char *pa, const unsigned char *pb)
        : a(_mm256_loadu_si256(reinterpret_cast<const __m256i *>(pa))),
          b(_mm256_loadu_si256(reinterpret_cast<const __m256i *>(pb))) {}
    ZO_TARGET_AVX2 static __m256i fold(__m256i v) {
        __m256i shifted = _mm256_add_epi8(v, _mm256_set1_epi8(static_cast<char>(0x80 - 'A')));
        __m256i upper = _mm256_cmpgt_epi8(_mm256_set1_epi8(static_cast<char>(0x80 + 26)), shifted);
        return _mm256_or_si256(v, _mm256_and_si256(upper, _mm256_set1_epi8(0x20)));
    }
    ZO_TARGET_AVX2 uint32_t stops(bool leadBytes) const {
        uint32_t differ = ~static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(fold(a), fold(b))));
        return leadBytes ? differ | static_cast<uint32_t>(_mm256_movemask_epi8(a)) : differ;
    }
    ZO_TARGET_AVX2 uint32_t nul() const {
        return static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(a, _mm256_setzero_si256())));
    }
    __m256i a, b;
};

// Whether the 16 bytes at p are all ASCII. The bytes must lie inside the text.
inline bool asciiBlock16(const unsigned char *p) {
    return _mm_movemask_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i *>(p))) == 0;
}

// Whether the processor has AVX2 (decided once, at load; false until then).
inline const bool g_cpuHasAvx2 = __builtin_cpu_supports("avx2");

} // namespace zo::plat
