// Bytes to and from hexadecimal text.
#include <zo/convert.h>

#include <array>
#include <bit>

#include "frame/err.h"

namespace {

constexpr unsigned char kHexDigits[] = "0123456789ABCDEF";
constexpr unsigned char kNotHex = 0xFF;

// Value of each byte as a hexadecimal digit, kNotHex for the others.
constexpr std::array<unsigned char, 256> kHexValue = [] {
    std::array<unsigned char, 256> table{};
    for (unsigned c = 0; c < 256; ++c)
        table[c] = kNotHex;
    for (unsigned d = 0; d < 10; ++d)
        table['0' + d] = static_cast<unsigned char>(d);
    for (unsigned d = 0; d < 6; ++d) {
        table['A' + d] = static_cast<unsigned char>(10 + d);
        table['a' + d] = static_cast<unsigned char>(10 + d);
    }
    return table;
}();

// Expands n bytes to `width` output bytes each: two digits, each followed by
// width / 2 - 1 zero bytes. Works from the last byte to the first, so out may equal bytes.
uint32_t expand(unsigned char *out, const unsigned char *bytes, uint32_t n, unsigned width) {
    const unsigned step = width / 2;
    for (uint32_t i = n; i-- > 0;) {
        unsigned char b = bytes[i];
        unsigned char *at = out + uint64_t{i} * width;
        for (unsigned k = 1; k < width; ++k)
            at[k] = 0;
        at[0] = kHexDigits[b >> 4];
        at[step] = kHexDigits[b & 0x0F];
    }
    return static_cast<uint32_t>(uint64_t{n} * width);
}

// Decodes digits[0 .. count) (the hexadecimal digits of the text, already checked) into
// out, two digits per byte; bytes equal to `doubled` are written twice when doubling.
// Returns the bytes written. Each byte is written only after its digits were read, and
// never ahead of them, so out may equal the text.
uint32_t decode(unsigned char *out, const unsigned char *digits, uint32_t count, bool doubling, unsigned char doubled) {
    uint32_t written = 0;
    for (uint32_t i = 0; i < count; i += 2) {
        unsigned high = kHexValue[digits[i]];
        unsigned low = i + 1 < count ? kHexValue[digits[i + 1]] : 0;
        auto b = static_cast<unsigned char>(high << 4 | low);
        out[written++] = b;
        if (doubling && b == doubled)
            out[written++] = b;
    }
    return written;
}

ZoStatus notHex() {
    addResourceError(ZoMessage::NotHex);
    return ZoFailure;
}

} // namespace

uint32_t hexify(unsigned char *out, uint32_t value, unsigned short minDigits) {
    const unsigned significant = value == 0 ? 1 : (std::bit_width(value) + 3) / 4;
    const uint32_t total = minDigits > significant ? minDigits : significant;
    unsigned char *p = out + total;
    *p = '\0';
    for (unsigned k = 0; k < significant; ++k, value >>= 4)
        *--p = kHexDigits[value & 0x0F];
    while (p > out)
        *--p = '0';
    return total;
}

uint32_t hexify(unsigned char *out, const unsigned char *bytes, uint32_t n) { return expand(out, bytes, n, 2); }

uint32_t hexifyHuge(unsigned char *out, const unsigned char *bytes, uint32_t n) { return expand(out, bytes, n, 2); }

uint32_t wideHexify(unsigned char *out, const unsigned char *bytes, uint32_t n) { return expand(out, bytes, n, 4); }

unsigned short isHexString(const unsigned char *text, uint32_t n) {
    for (uint32_t i = 0; i < n; ++i)
        if (kHexValue[text[i]] == kNotHex)
            return 0;
    return 1;
}

ZoStatus dehexify(unsigned char *out, const unsigned char *hex, uint32_t n) {
    if (isHexString(hex, n) == 0)
        return notHex();
    decode(out, hex, n, false, 0);
    return ZoSuccess;
}

ZoStatus dehexifyHuge(unsigned char *out, const unsigned char *hex, uint32_t n) { return dehexify(out, hex, n); }

ZoStatus dehexify(unsigned char *out, const unsigned char *hex, uint32_t n, unsigned char doubled, uint32_t *outLen) {
    if (isHexString(hex, n) == 0)
        return notHex();
    uint32_t written = decode(out, hex, n, true, doubled);
    if (outLen != nullptr)
        *outLen = written;
    return ZoSuccess;
}

ZoStatus wideDehexify(unsigned char *out, const unsigned char *hex, uint32_t n) {
    // The digits are the non-zero bytes: check them all first, then decode them in pairs.
    // Byte k is written after its digits were read, far behind them, so out may equal hex.
    uint32_t digits = 0;
    for (uint32_t i = 0; i < n; ++i) {
        if (hex[i] == 0)
            continue;
        if (kHexValue[hex[i]] == kNotHex)
            return notHex();
        ++digits;
    }
    unsigned high = 0;
    uint32_t seen = 0;
    for (uint32_t i = 0; i < n; ++i) {
        if (hex[i] == 0)
            continue;
        unsigned value = kHexValue[hex[i]];
        if (seen % 2 == 0) {
            high = value;
            if (seen + 1 == digits) // an odd last digit: its high nibble alone
                out[seen / 2] = static_cast<unsigned char>(high << 4);
        } else {
            out[seen / 2] = static_cast<unsigned char>(high << 4 | value);
        }
        ++seen;
    }
    return ZoSuccess;
}
