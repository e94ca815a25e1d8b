// Conversions between the ANSI code page, UCS-2 and UTF-8.
//
// UTF-8 is coded here, a 16-bit unit at a time; the ANSI code page converts through the
// platform's tables. The two conversions between UTF-8 and the ANSI code page copy a
// leading ASCII run as it is, then convert the rest through a temporary UCS-2 buffer in two
// passes; a rest above the whole-text limit (or one whose buffer cannot be had) is converted
// character by character instead, with the same result and no memory. Runs of plain ASCII
// (bytes or units 1-0x7F) are handled eight at a time in every pass.
#include <zo/cvwchar.h>

#include <zo/ramalloc.h>

#include <cstring>

#include "platform/codepage.h"
#include "platform/unicode.h"
#include "text/cvlimits.h"

namespace {

uint32_t g_wholeTextLimit = zo::text::kWholeTextLimit;

constexpr uint64_t kByteHighBits = 0x8080808080808080ull;
constexpr uint64_t kByteOnes = 0x0101010101010101ull;
constexpr uint64_t kUnitHighBits = 0xFF80FF80FF80FF80ull;
constexpr uint64_t kUnitOnes = 0x0001000100010001ull;

// Whether the eight bytes at p are all 1-0x7F: no high bit, and no 0 byte (a 0 byte
// borrows in the subtraction and sets its high bit).
inline bool plainAsciiBytes(const unsigned char *p) {
    uint64_t w;
    std::memcpy(&w, p, 8);
    return ((w | (w - kByteOnes)) & kByteHighBits) == 0;
}

// The same for four units.
inline bool plainAsciiUnits(const uint16_t *p) {
    uint64_t w;
    std::memcpy(&w, p, 8);
    return ((w | (w - kUnitOnes)) & kUnitHighBits) == 0;
}

// Length of the leading run of bytes below 0x80; a 0 byte ends the run and belongs to it.
size_t asciiRun(const unsigned char *src, size_t len) {
    size_t i = 0;
    while (i + 8 <= len && plainAsciiBytes(src + i))
        i += 8;
    while (i < len && src[i] < 0x80)
        if (src[i++] == 0)
            break;
    return i;
}

// UTF-8 length of a unit.
inline unsigned utf8Length(uint16_t unit) { return unit < 0x80 ? 1 : unit < 0x800 ? 2 : 3; }

inline void putUtf8(uint16_t unit, unsigned char *out) {
    if (unit < 0x80) {
        out[0] = static_cast<unsigned char>(unit);
    } else if (unit < 0x800) {
        out[0] = static_cast<unsigned char>(0xC0 | unit >> 6);
        out[1] = static_cast<unsigned char>(0x80 | (unit & 0x3F));
    } else {
        out[0] = static_cast<unsigned char>(0xE0 | unit >> 12);
        out[1] = static_cast<unsigned char>(0x80 | ((unit >> 6) & 0x3F));
        out[2] = static_cast<unsigned char>(0x80 | (unit & 0x3F));
    }
}

// Decodes the unit at src[i] (i < len): returns the bytes it takes. A sequence cut short
// by the end of the source is not decoded: its lead byte is a unit of its own, and so is
// each byte after it.
inline size_t takeUtf8(const unsigned char *src, size_t i, size_t len, uint16_t *unit) {
    const unsigned b = src[i];
    if (b >= 0xC0 && b < 0xE0 && len - i >= 2) {
        *unit = static_cast<uint16_t>((b & 0x1F) << 6 | (src[i + 1] & 0x3F));
        return 2;
    }
    if (b >= 0xE0 && b < 0xF0 && len - i >= 3) {
        *unit = static_cast<uint16_t>((b & 0x0F) << 12 | (src[i + 1] & 0x3F) << 6 | (src[i + 2] & 0x3F));
        return 3;
    }
    *unit = static_cast<uint16_t>(b);
    return 1;
}

// The conversions below take checked arguments, write at most their destination's size,
// stop after a 0 unit or byte (written, not counted) and set *written to the units
// produced.

ZoConvertReturn encodeUtf8(unsigned char *dest, size_t destSize, const uint16_t *src, size_t count, int32_t *written) {
    size_t i = 0, o = 0;
    ZoConvertReturn result = ZoConvertOk;
    while (i < count) {
        if (i + 8 <= count && o + 8 <= destSize && plainAsciiUnits(src + i) && plainAsciiUnits(src + i + 4)) {
            for (size_t k = 0; k < 8; ++k)
                dest[o + k] = static_cast<unsigned char>(src[i + k]);
            i += 8;
            o += 8;
            continue;
        }
        const uint16_t unit = src[i];
        const unsigned n = utf8Length(unit);
        if (o + n > destSize) {
            result = ZoConvertTruncated;
            break;
        }
        putUtf8(unit, dest + o);
        if (unit == 0)
            break;
        o += n;
        ++i;
    }
    *written = static_cast<int32_t>(o);
    return result;
}

// *sawNul tells whether the decoding stopped at a 0 unit (stored at dest[*written]).
ZoConvertReturn decodeUtf8(uint16_t *dest, size_t destCount, const unsigned char *src, size_t len, int32_t *written,
                           bool *sawNul) {
    size_t i = 0, o = 0;
    ZoConvertReturn result = ZoConvertOk;
    *sawNul = false;
    while (i < len) {
        if (i + 8 <= len && o + 8 <= destCount && plainAsciiBytes(src + i)) {
            for (size_t k = 0; k < 8; ++k)
                dest[o + k] = src[i + k];
            i += 8;
            o += 8;
            continue;
        }
        uint16_t unit;
        const size_t n = takeUtf8(src, i, len, &unit);
        if (o + 1 > destCount) {
            result = ZoConvertTruncated;
            break;
        }
        dest[o] = unit;
        if (unit == 0) {
            *sawNul = true;
            break;
        }
        ++o;
        i += n;
    }
    *written = static_cast<int32_t>(o);
    return result;
}

// The ANSI code page's conversions: the source up to and with its first 0 element is
// converted by the platform; a full destination keeps the whole characters that fit.
ZoConvertReturn fromPlatform(zo::plat::ConvertStatus status, int32_t converted, int32_t fitted, bool withNul,
                             int32_t *written) {
    switch (status) {
    case zo::plat::ConvertStatus::Ok: *written = converted - (withNul ? 1 : 0); return ZoConvertOk;
    case zo::plat::ConvertStatus::InsufficientBuffer: *written = fitted; return ZoConvertTruncated;
    case zo::plat::ConvertStatus::InvalidParameter: break;
    }
    return ZoConvertInvalid;
}

ZoConvertReturn unitsToAnsi(unsigned char *dest, size_t destSize, const uint16_t *src, size_t count, int32_t *written) {
    size_t n = 0;
    while (n < count && src[n] != 0)
        ++n;
    const bool withNul = n < count;
    zo::plat::ConvertStatus status;
    int32_t fitted = 0;
    int32_t converted = zo::plat::ucs2ToCodePage(zo::plat::ansiCodePage(), src, static_cast<int32_t>(n + withNul), dest,
                                                 static_cast<int32_t>(destSize), &status, &fitted);
    return fromPlatform(status, converted, fitted, withNul, written);
}

ZoConvertReturn ansiToUnits(uint16_t *dest, size_t destCount, const unsigned char *src, size_t len, int32_t *written) {
    auto *nul = static_cast<const unsigned char *>(std::memchr(src, 0, len));
    const bool withNul = nul != nullptr;
    const size_t n = withNul ? static_cast<size_t>(nul - src) + 1 : len;
    zo::plat::ConvertStatus status;
    int32_t fitted = 0;
    int32_t converted = zo::plat::codePageToUcs2(zo::plat::ansiCodePage(), src, static_cast<int32_t>(n), dest,
                                                 static_cast<int32_t>(destCount), &status, &fitted);
    return fromPlatform(status, converted, fitted, withNul, written);
}

// A source converted one character at a time, without memory: take(src, i, len, &unit)
// reads the character at i and returns its byte count; put(unit, bytes) writes the unit's
// bytes in the other encoding (at most 3) and returns their count. Stops after a 0 unit
// (written, not counted) or before a character that does not fit.
template <class Take, class Put>
ZoConvertReturn convertByChar(unsigned char *dest, size_t destSize, const unsigned char *src, size_t len,
                              int32_t *written, Take take, Put put) {
    size_t i = 0, o = 0;
    ZoConvertReturn result = ZoConvertOk;
    while (i < len) {
        uint16_t unit;
        i += take(src, i, len, &unit);
        unsigned char bytes[3];
        const unsigned n = put(unit, bytes);
        if (o + n > destSize) {
            result = ZoConvertTruncated;
            break;
        }
        std::memcpy(dest + o, bytes, n);
        if (unit == 0)
            break;
        o += n;
    }
    *written = static_cast<int32_t>(o);
    return result;
}

ZoConvertReturn utf8ToAnsiByChar(unsigned char *dest, size_t destSize, const unsigned char *src, size_t len,
                                 int32_t *written) {
    return convertByChar(dest, destSize, src, len, written, takeUtf8, zo::plat::unitToAnsiChar);
}

ZoConvertReturn ansiToUtf8ByChar(unsigned char *dest, size_t destSize, const unsigned char *src, size_t len,
                                 int32_t *written) {
    auto takeAnsi = [](const unsigned char *s, size_t i, size_t n, uint16_t *unit) -> size_t {
        return zo::plat::ansiCharToUnit(s + i, static_cast<uint32_t>(n - i), unit);
    };
    auto putUtf8Counted = [](uint16_t unit, unsigned char *bytes) {
        putUtf8(unit, bytes);
        return utf8Length(unit);
    };
    return convertByChar(dest, destSize, src, len, written, takeAnsi, putUtf8Counted);
}

// A temporary UCS-2 buffer for the rest of a source: null when the rest is above the
// whole-text limit or memory is short, and the conversion goes by character.
uint16_t *restBuffer(size_t restLen) {
    if (restLen > g_wholeTextLimit || restLen >= UINT32_MAX / 2)
        return nullptr;
    return static_cast<uint16_t *>(ramAlloc(static_cast<uint32_t>(restLen + 1) * 2));
}

ZoConvertReturn utf8ToAnsiRest(unsigned char *dest, size_t destSize, const unsigned char *src, size_t len,
                               int32_t *written) {
    uint16_t *units = restBuffer(len);
    if (units == nullptr)
        return utf8ToAnsiByChar(dest, destSize, src, len, written);
    int32_t decoded = 0;
    bool sawNul = false;
    (void)decodeUtf8(units, len + 1, src, len, &decoded, &sawNul); // the buffer holds every unit
    ZoConvertReturn result = unitsToAnsi(dest, destSize, units, static_cast<size_t>(decoded) + sawNul, written);
    ramFree(units);
    return result;
}

ZoConvertReturn ansiToUtf8Rest(unsigned char *dest, size_t destSize, const unsigned char *src, size_t len,
                               int32_t *written) {
    uint16_t *units = restBuffer(len);
    if (units == nullptr)
        return ansiToUtf8ByChar(dest, destSize, src, len, written);
    zo::plat::ConvertStatus status;
    // Every character is at least one byte, so the buffer holds them all.
    int32_t count = zo::plat::codePageToUcs2(zo::plat::ansiCodePage(), src, static_cast<int32_t>(len), units,
                                             static_cast<int32_t>(len + 1), &status);
    ZoConvertReturn result = status == zo::plat::ConvertStatus::Ok
                                 ? encodeUtf8(dest, destSize, units, static_cast<size_t>(count), written)
                                 : ZoConvertInvalid;
    ramFree(units);
    return result;
}

using RestConversion = ZoConvertReturn (*)(unsigned char *, size_t, const unsigned char *, size_t, int32_t *);

// The shape of both conversions between UTF-8 and the ANSI code page: the leading ASCII run
// is copied (a 0 byte in it ends the source), the rest converted after it.
ZoConvertReturn convertThroughUnits(unsigned char *dest, int32_t destSize, const unsigned char *src, int32_t srcLen,
                                    int32_t *written, RestConversion rest) {
    const size_t size = static_cast<size_t>(destSize), len = static_cast<size_t>(srcLen);
    const size_t run = asciiRun(src, len);
    const size_t copied = run < size ? run : size;
    std::memcpy(dest, src, copied);
    const bool endsAtNul = copied > 0 && src[copied - 1] == 0;
    *written = static_cast<int32_t>(copied - endsAtNul);
    if (copied < run)
        return ZoConvertTruncated;
    if (endsAtNul || copied == len)
        return ZoConvertOk;
    if (copied == size)
        return ZoConvertTruncated;
    int32_t restWritten = 0;
    ZoConvertReturn result = rest(dest + copied, size - copied, src + copied, len - copied, &restWritten);
    *written += restWritten;
    return result;
}

// Sets *written to 0 and tells whether the arguments are usable.
bool validArguments(const void *dest, int32_t destSize, const void *src, int32_t srcLen, int32_t *written) {
    if (written == nullptr)
        return false;
    *written = 0;
    return dest != nullptr && src != nullptr && destSize > 0 && srcLen > 0;
}

} // namespace

namespace zo::text {

uint32_t setWholeTextLimitForTest(uint32_t bytes) {
    uint32_t before = g_wholeTextLimit;
    g_wholeTextLimit = bytes;
    return before;
}

} // namespace zo::text

ZoConvertReturn cvUCS2ToUTF8(unsigned char *dest, int32_t destSize, const uint16_t *src, int32_t srcCount,
                             int32_t *written) {
    if (!validArguments(dest, destSize, src, srcCount, written))
        return ZoConvertInvalid;
    return encodeUtf8(dest, static_cast<size_t>(destSize), src, static_cast<size_t>(srcCount), written);
}

ZoConvertReturn cvUTF8ToUCS2(uint16_t *dest, int32_t destCount, const unsigned char *src, int32_t srcLen,
                             int32_t *written) {
    if (!validArguments(dest, destCount, src, srcLen, written))
        return ZoConvertInvalid;
    bool sawNul = false;
    return decodeUtf8(dest, static_cast<size_t>(destCount), src, static_cast<size_t>(srcLen), written, &sawNul);
}

ZoConvertReturn cvUCS2ToAnsi(char *dest, int32_t destSize, const uint16_t *src, int32_t srcCount, const uint16_t *,
                             int32_t *written, int32_t) {
    if (!validArguments(dest, destSize, src, srcCount, written))
        return ZoConvertInvalid;
    return unitsToAnsi(reinterpret_cast<unsigned char *>(dest), static_cast<size_t>(destSize), src,
                       static_cast<size_t>(srcCount), written);
}

ZoConvertReturn cvAnsiToUCS2(uint16_t *dest, int32_t destCount, const char *src, int32_t srcLen, const uint16_t *,
                             int32_t *written, int32_t) {
    if (!validArguments(dest, destCount, src, srcLen, written))
        return ZoConvertInvalid;
    return ansiToUnits(dest, static_cast<size_t>(destCount), reinterpret_cast<const unsigned char *>(src),
                       static_cast<size_t>(srcLen), written);
}

ZoConvertReturn cvUnicodeToAnsi(char *dest, int32_t destSize, const uint16_t *src, int32_t srcCount,
                                const uint16_t *defaultChar, int32_t *written, int32_t flag) {
    return cvUCS2ToAnsi(dest, destSize, src, srcCount, defaultChar, written, flag);
}

ZoConvertReturn cvAnsiToUnicode(uint16_t *dest, int32_t destCount, const char *src, int32_t srcLen,
                                const uint16_t *defaultChar, int32_t *written, int32_t flag) {
    return cvAnsiToUCS2(dest, destCount, src, srcLen, defaultChar, written, flag);
}

ZoConvertReturn cvUTF8ToAnsi(unsigned char *dest, int32_t destSize, const unsigned char *src, int32_t srcLen,
                             const uint16_t *, int32_t *written, int32_t) {
    if (!validArguments(dest, destSize, src, srcLen, written))
        return ZoConvertInvalid;
    return convertThroughUnits(dest, destSize, src, srcLen, written, utf8ToAnsiRest);
}

ZoConvertReturn cvAnsiToUTF8(unsigned char *dest, int32_t destSize, const unsigned char *src, int32_t srcLen,
                             const uint16_t *, int32_t *written, int32_t) {
    if (!validArguments(dest, destSize, src, srcLen, written))
        return ZoConvertInvalid;
    return convertThroughUnits(dest, destSize, src, srcLen, written, ansiToUtf8Rest);
}

int32_t setConversionReturnLength(ZoConvertReturn code, int32_t length) {
    return code >= ZoConvertOk && code <= ZoConvertPartialAlt ? length : 0;
}
