// Conversions between the ANSI code page, UCS-2 and UTF-8.
//
// UTF-8 is coded here, a 16-bit unit at a time; the ANSI code page converts through the
// platform's tables. The two conversions between UTF-8 and the ANSI code page copy a
// leading ASCII run as it is, then convert the rest through a temporary UCS-2 buffer; a
// rest above the whole-text limit is converted character by character instead, with the
// same result. Runs of plain ASCII (bytes or units 1-0x7F) are handled sixteen at a time.
#include <zo/cvwchar.h>

#include <algorithm>
#include <cstring>

#include "platform/asciirun.h"
#include "platform/codepage.h"
#include "platform/unicode.h"
#include "text/cvlimits.h"

namespace {

uint32_t g_wholeTextLimit = zo::text::kWholeTextLimit;

// Length of the leading run of bytes below 0x80; a 0 byte ends the run and belongs to it.
size_t leadingAsciiRun(const unsigned char *src, size_t len) {
    size_t run = zo::plat::asciiRunLength(src, len);
    return run < len && src[run] == 0 ? run + 1 : run;
}

// UTF-8 length of a unit.
inline unsigned utf8Length(uint16_t unit) { return unit < 0x80 ? 1 : unit < 0x800 ? 2 : 3; }

// The UTF-8 bytes of a unit, the first in the low byte of the word.
inline uint32_t utf8Word(uint32_t unit) {
    const uint32_t two = (0xC0 | unit >> 6) | (0x80 | (unit & 0x3F)) << 8;
    const uint32_t three = (0xE0 | unit >> 12) | (0x80 | (unit >> 6 & 0x3F)) << 8 | (0x80 | (unit & 0x3F)) << 16;
    return unit < 0x80 ? unit : unit < 0x800 ? two : three;
}

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

// Decodes the unit at p, where at least 3 bytes can be read: returns the bytes it takes.
inline size_t takeUtf8Whole(const unsigned char *p, uint16_t *unit) {
    const unsigned b = p[0];
    if (b < 0xC0 || b >= 0xF0) {
        *unit = static_cast<uint16_t>(b);
        return 1;
    }
    if (b < 0xE0) {
        *unit = static_cast<uint16_t>((b & 0x1F) << 6 | (p[1] & 0x3F));
        return 2;
    }
    *unit = static_cast<uint16_t>((b & 0x0F) << 12 | (p[1] & 0x3F) << 6 | (p[2] & 0x3F));
    return 3;
}

// Decodes the unit at src[i] (i < len): returns the bytes it takes. A sequence cut short
// by the end of the source is not decoded: its lead byte is a unit of its own, and so is
// each byte after it.
inline size_t takeUtf8(const unsigned char *src, size_t i, size_t len, uint16_t *unit) {
    if (len - i >= 3)
        return takeUtf8Whole(src + i, unit);
    const unsigned b = src[i];
    if (b >= 0xC0 && b < 0xE0 && len - i == 2) {
        *unit = static_cast<uint16_t>((b & 0x1F) << 6 | (src[i + 1] & 0x3F));
        return 2;
    }
    *unit = static_cast<uint16_t>(b);
    return 1;
}

// The conversions below take checked arguments, write at most their destination's size,
// stop after a 0 unit or byte (written, not counted) and set *written to the units
// produced.

using zo::plat::kAsciiBlock;

// Whether a byte or unit is plain ASCII: 1-0x7F. Runs of them are copied 16 at a time
// while 16 elements and room for them are left.
inline bool plainAscii(unsigned value) { return value - 1u < 0x7Fu; }

// *sawNul tells whether the encoding stopped at a 0 unit.
ZoConvertReturn encodeUtf8(unsigned char *dest, size_t destSize, const uint16_t *src, size_t count, int32_t *written,
                           bool *sawNul) {
    size_t i = 0, o = 0;
    ZoConvertReturn result = ZoConvertOk;
    *sawNul = false;
    // While units and room abound: at a plain ASCII unit, whole blocks of them (a fixed
    // stride, so the next block is read before this one is checked), then the part of the
    // block before the unit that ended it; then one unit of any kind. A 0 unit goes to the
    // careful loop below.
    while (count - i > kAsciiBlock && destSize - o >= kAsciiBlock + 4) {
        if (plainAscii(src[i])) {
            const size_t run = zo::plat::asciiRun(zo::plat::narrowBlock<true>(src + i, dest + o));
            i += run;
            o += run;
            if (run == kAsciiBlock)
                continue;
        }
        const uint16_t unit = src[i];
        if (unit == 0)
            break;
        const uint32_t word = utf8Word(unit);
        std::memcpy(dest + o, &word, 4);
        o += utf8Length(unit);
        ++i;
    }
    while (i < count) {
        if (plainAscii(src[i]) && count - i >= kAsciiBlock && destSize - o >= kAsciiBlock) {
            const size_t run = zo::plat::asciiRun(zo::plat::narrowBlock<true>(src + i, dest + o));
            i += run;
            o += run;
            continue;
        }
        const uint16_t unit = src[i];
        const unsigned n = utf8Length(unit);
        if (o + n > destSize) {
            result = ZoConvertTruncated;
            break;
        }
        putUtf8(unit, dest + o);
        if (unit == 0) {
            *sawNul = true;
            break;
        }
        o += n;
        ++i;
    }
    *written = static_cast<int32_t>(o);
    return result;
}

// *sawNul tells whether the decoding stopped at a 0 unit (stored at dest[*written]);
// *taken is the bytes decoded.
ZoConvertReturn decodeUtf8(uint16_t *dest, size_t destCount, const unsigned char *src, size_t len, int32_t *written,
                           bool *sawNul, size_t *taken) {
    size_t i = 0, o = 0;
    ZoConvertReturn result = ZoConvertOk;
    *sawNul = false;
    // The same way round: blocks of plain ASCII, then one character of any kind.
    while (len - i > kAsciiBlock + 2 && destCount - o > kAsciiBlock) {
        if (plainAscii(src[i])) {
            const size_t run = zo::plat::asciiRun(zo::plat::widenBlock<true>(src + i, dest + o));
            i += run;
            o += run;
            if (run == kAsciiBlock)
                continue;
        }
        // A 0 unit (a 0 byte, or an over-long sequence such as C0 80) is left to the careful
        // loop, which stops there.
        uint16_t unit;
        const size_t n = takeUtf8Whole(src + i, &unit);
        if (unit == 0)
            break;
        dest[o++] = unit;
        i += n;
    }
    while (i < len) {
        if (plainAscii(src[i]) && len - i >= kAsciiBlock && destCount - o >= kAsciiBlock) {
            const size_t run = zo::plat::asciiRun(zo::plat::widenBlock<true>(src + i, dest + o));
            i += run;
            o += run;
            continue;
        }
        if (o == destCount) {
            result = ZoConvertTruncated;
            break;
        }
        i += takeUtf8(src, i, len, dest + o);
        if (dest[o] == 0) {
            *sawNul = true;
            break;
        }
        ++o;
    }
    *taken = i;
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
    const size_t n = zo::plat::findZeroUnit(src, count);
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

// The rest of a source up to the whole-text limit goes through a temporary UCS-2 buffer a
// piece at a time: a piece of the source is decoded into the buffer (whole characters only)
// and encoded after what is written. A buffer of this size stays in the processor's
// nearest cache and on the stack, so the pass needs no memory of its own.
constexpr size_t kPieceUnits = 4096;

ZoConvertReturn utf8ToAnsiRest(unsigned char *dest, size_t destSize, const unsigned char *src, size_t len,
                               int32_t *written) {
    if (len > g_wholeTextLimit)
        return utf8ToAnsiByChar(dest, destSize, src, len, written);
    uint16_t units[kPieceUnits];
    size_t i = 0, o = 0;
    ZoConvertReturn result = ZoConvertOk;
    bool sawNul = false;
    while (i < len && !sawNul && result == ZoConvertOk) {
        if (o == destSize) {
            result = ZoConvertTruncated;
            break;
        }
        int32_t decoded = 0, encoded = 0;
        size_t taken = 0;
        (void)decodeUtf8(units, kPieceUnits, src + i, len - i, &decoded, &sawNul,
                         &taken); // a full buffer ends the piece
        result = unitsToAnsi(dest + o, destSize - o, units, static_cast<size_t>(decoded) + sawNul, &encoded);
        i += taken;
        o += static_cast<size_t>(encoded);
    }
    *written = static_cast<int32_t>(o);
    return result;
}

ZoConvertReturn ansiToUtf8Rest(unsigned char *dest, size_t destSize, const unsigned char *src, size_t len,
                               int32_t *written) {
    if (len > g_wholeTextLimit)
        return ansiToUtf8ByChar(dest, destSize, src, len, written);
    uint16_t units[kPieceUnits];
    size_t i = 0, o = 0;
    ZoConvertReturn result = ZoConvertOk;
    bool sawNul = false;
    while (i < len && !sawNul && result == ZoConvertOk) {
        uint32_t taken = 0;
        int32_t encoded = 0;
        const int32_t decoded =
            zo::plat::ansiToUnitsPart(src + i, static_cast<uint32_t>(len - i), units, kPieceUnits, &taken);
        result = encodeUtf8(dest + o, destSize - o, units, static_cast<size_t>(decoded), &encoded, &sawNul);
        i += taken;
        o += static_cast<size_t>(encoded);
    }
    *written = static_cast<int32_t>(o);
    return result;
}

using RestConversion = ZoConvertReturn (*)(unsigned char *, size_t, const unsigned char *, size_t, int32_t *);

// The shape of both conversions between UTF-8 and the ANSI code page: the leading ASCII run
// is copied (a 0 byte in it ends the source), the rest converted after it.
ZoConvertReturn convertThroughUnits(unsigned char *dest, int32_t destSize, const unsigned char *src, int32_t srcLen,
                                    int32_t *written, RestConversion rest) {
    const size_t size = static_cast<size_t>(destSize), len = static_cast<size_t>(srcLen);
    const size_t run = leadingAsciiRun(src, len);
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
    bool sawNul = false;
    return encodeUtf8(dest, static_cast<size_t>(destSize), src, static_cast<size_t>(srcCount), written, &sawNul);
}

ZoConvertReturn cvUTF8ToUCS2(uint16_t *dest, int32_t destCount, const unsigned char *src, int32_t srcLen,
                             int32_t *written) {
    if (!validArguments(dest, destCount, src, srcLen, written))
        return ZoConvertInvalid;
    bool sawNul = false;
    size_t taken = 0;
    return decodeUtf8(dest, static_cast<size_t>(destCount), src, static_cast<size_t>(srcLen), written, &sawNul, &taken);
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
