// Classes of the bytes of a 16-byte block of text, as bit masks (bit i for byte i), for the
// scanner's runs of blanks and word characters. Bytes from 0x80 up belong to no class.
#pragma once

#include <emmintrin.h>

#include <cstdint>

namespace zo::plat {

// The 16 bytes at p must lie inside the text.
inline __m128i loadBlock16(const unsigned char *p) { return _mm_loadu_si128(reinterpret_cast<const __m128i *>(p)); }

// Bytes in [low, high] (low <= high < 0x80).
inline __m128i bytesInRange(__m128i v, char low, char high) {
    // Shifting the range to start at -128 turns it into one signed comparison.
    const __m128i shifted = _mm_sub_epi8(v, _mm_set1_epi8(static_cast<char>(low + 128)));
    return _mm_cmplt_epi8(shifted, _mm_set1_epi8(static_cast<char>(high - low - 128 + 1)));
}

// ASCII white space: blank, tab, line feed, vertical tab, form feed, carriage return.
inline uint32_t spaceMask16(__m128i v) {
    const __m128i blank = _mm_cmpeq_epi8(v, _mm_set1_epi8(' '));
    return static_cast<uint32_t>(_mm_movemask_epi8(_mm_or_si128(blank, bytesInRange(v, '\t', '\r'))));
}
inline uint32_t spaceMask16(const unsigned char *p) { return spaceMask16(loadBlock16(p)); }

// ASCII letters, digits and '_'.
inline uint32_t wordMask16(__m128i v) {
    const __m128i folded = _mm_or_si128(v, _mm_set1_epi8(0x20)); // A-Z to a-z; digits stay
    const __m128i letter = bytesInRange(folded, 'a', 'z');
    const __m128i digit = bytesInRange(v, '0', '9');
    const __m128i underscore = _mm_cmpeq_epi8(v, _mm_set1_epi8('_'));
    return static_cast<uint32_t>(_mm_movemask_epi8(_mm_or_si128(_mm_or_si128(letter, digit), underscore)));
}
inline uint32_t wordMask16(const unsigned char *p) { return wordMask16(loadBlock16(p)); }

} // namespace zo::plat
