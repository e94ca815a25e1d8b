// Helpers shared by the string classes.
#pragma once

#include <cstdint>

#include <zo/zoexport.h>

namespace zo::text {

// Room for the decimal form of any 32-bit value: a sign and ten digits.
constexpr uint32_t kDecimalMax = 11;

// Writes the decimal form of value (digits without leading zeros, a minus sign first when
// negative is set: the value is then the magnitude) to out; returns the byte count.
uint32_t formatDecimal(uint32_t magnitude, bool negative, unsigned char *out);
inline uint32_t formatDecimal(uint32_t value, unsigned char *out) { return formatDecimal(value, false, out); }
inline uint32_t formatDecimal(int32_t value, unsigned char *out) {
    // Negate in unsigned arithmetic so that the most negative value needs no special case.
    uint32_t magnitude = value < 0 ? 0u - static_cast<uint32_t>(value) : static_cast<uint32_t>(value);
    return formatDecimal(magnitude, value < 0, out);
}

// Offset of the first occurrence of pattern (patternLen > 0 bytes) in text[0, length) that
// starts on a character boundary at or after start, stepping from start by the calling
// thread's character rule; length when none.
uint32_t searchBytes(const unsigned char *text, uint32_t length, uint32_t start, const unsigned char *pattern,
                     uint32_t patternLen);
// The calling thread's character stepping: the length table (mdsCharLengthTable) and the
// longest character it gives.
struct Stepping {
    const unsigned char *length;
    unsigned longest;
};
Stepping currentStepping();
// The same search with the stepping given, for repeated searches.
uint32_t searchBytes(const unsigned char *text, uint32_t length, uint32_t start, const unsigned char *pattern,
                     uint32_t patternLen, const Stepping &step);

// Byte count of a NUL-terminated text.
uint32_t textLength(const unsigned char *text);

// True when the byte range [p, p + n) overlaps [base, base + size).
inline bool overlaps(const unsigned char *p, uint64_t n, const unsigned char *base, uint64_t size) {
    if (p == nullptr || base == nullptr)
        return false;
    auto a = reinterpret_cast<uintptr_t>(p), b = reinterpret_cast<uintptr_t>(base);
    return a < b + size && b < a + n;
}

} // namespace zo::text
