#include "platform/unicode.h"

#include <algorithm>
#include <cstdio>
#include <mutex>

#include <iconv.h>
#include <unicode/uchar.h>
#include <unicode/utf16.h>

#include "platform/asciirun.h"
#include "platform/codepage.h"

namespace zo::plat {
namespace {

// The host's UCS-2 is little-endian 16-bit units; UTF-16LE reads and writes them as such.
constexpr const char *kUnitEncoding = "UTF-16LE";
constexpr uint16_t kQuestion = '?';

// The tables of one code page. A single byte's unit is in `single` (for a double-byte page
// '?' where the page leaves the byte undefined; lead bytes are read through `pairs`).
// The reverse direction is a table over all units: a single-byte page has the byte of
// each unit, a double-byte page its code (below 0x100 a single byte, else lead byte * 256
// + trail byte); 0 for none.
struct PageTables {
    std::once_flag built;
    bool usable = false;
    bool doubleByte = false;
    bool defined[256] = {};
    bool trail[256] = {}; // bytes that follow a lead byte in some character of the page
    unsigned char lengths[256] = {};
    uint16_t single[256] = {};
    uint16_t *pairs = nullptr;      // double-byte pages: [lead - 0x80][trail], 0 where undefined
    uint16_t *codes = nullptr;      // double-byte pages: [unit]
    unsigned char *bytes = nullptr; // single-byte pages: [unit]
};

constexpr unsigned kSingleBytePages[] = {437, 1250, 1251, 1252, 1253, 1254, 1255, 1256, 1257, 1258};
constexpr unsigned kDoubleBytePages[] = {932, 936, 949, 950};
constexpr unsigned kPairCount = 128 * 256;

PageTables g_single[std::size(kSingleBytePages)];
PageTables g_double[std::size(kDoubleBytePages)];
unsigned char g_bytes[std::size(kSingleBytePages)][65536];
uint16_t g_pairs[std::size(kDoubleBytePages)][kPairCount];
uint16_t g_codes[std::size(kDoubleBytePages)][65536];

// The active ANSI page's tables (set when the page is chosen).
const PageTables *g_active = nullptr;

iconv_t openIconv(const char *to, const char *from) {
    iconv_t cd = iconv_open(to, from);
    return cd == reinterpret_cast<iconv_t>(-1) ? nullptr : cd;
}

// Converts one complete character alone into out (at most outSize bytes): the bytes
// produced, or 0 when iconv refuses it or does not take all of it. Stateful pages (1255,
// 1258 compose diacritics) are flushed.
size_t convertAlone(iconv_t cd, const unsigned char *in, size_t inLen, unsigned char *out, size_t outSize) {
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    char *inp = reinterpret_cast<char *>(const_cast<unsigned char *>(in));
    size_t inLeft = inLen;
    char *outp = reinterpret_cast<char *>(out);
    size_t outLeft = outSize;
    if (iconv(cd, &inp, &inLeft, &outp, &outLeft) == static_cast<size_t>(-1) || inLeft != 0)
        return 0;
    if (iconv(cd, nullptr, nullptr, &outp, &outLeft) == static_cast<size_t>(-1))
        return 0;
    return outSize - outLeft;
}

// The one unit that a character of inLen bytes stands for.
bool bytesToUnit(iconv_t cd, const unsigned char *in, size_t inLen, uint16_t *unit) {
    unsigned char out[8];
    if (convertAlone(cd, in, inLen, out, sizeof out) != 2)
        return false;
    *unit = static_cast<uint16_t>(out[0] | (out[1] << 8));
    return true;
}

// The byte of every unit a single-byte page has; where two bytes stand for one unit the
// defined one, else the lower, is taken (bytes below 0x80 are ASCII on every page served).
void buildBytes(PageTables &page) {
    for (unsigned b = 255; b >= 0x80; --b)
        if (page.defined[b] || page.bytes[page.single[b]] == 0 || !page.defined[page.bytes[page.single[b]]])
            page.bytes[page.single[b]] = static_cast<unsigned char>(b);
    for (unsigned b = 1; b < 0x80; ++b)
        page.bytes[b] = static_cast<unsigned char>(b);
}

// The single bytes of a page. An undefined byte of a single-byte page stands for the unit
// of the same value, as the host's converters do, so that such bytes still round-trip; on
// a double-byte page it becomes '?'.
void buildSingles(PageTables &page, iconv_t toUnits) {
    for (unsigned b = 0; b < 256; ++b) {
        const unsigned char byte = static_cast<unsigned char>(b);
        uint16_t unit = 0;
        bool ok = page.lengths[b] == 1 && bytesToUnit(toUnits, &byte, 1, &unit);
        page.defined[b] = ok;
        page.single[b] = ok ? unit : page.doubleByte ? kQuestion : static_cast<uint16_t>(b);
    }
}

void buildPairs(PageTables &page, iconv_t toUnits) {
    for (unsigned lead = 0x80; lead < 256; ++lead) {
        if (page.lengths[lead] != 2)
            continue;
        for (unsigned trail = 0; trail < 256; ++trail) {
            const unsigned char pair[2] = {static_cast<unsigned char>(lead), static_cast<unsigned char>(trail)};
            uint16_t unit = 0;
            if (bytesToUnit(toUnits, pair, 2, &unit) && unit != 0) {
                page.pairs[(lead - 0x80) * 256 + trail] = unit;
                page.trail[trail] = true;
            }
        }
    }
}

void buildCodes(PageTables &page, iconv_t fromUnits) {
    for (unsigned unit = 1; unit < 65536; ++unit) {
        if (unit >= 0xD800 && unit <= 0xDFFF)
            continue; // a surrogate half alone is no character of any page
        const unsigned char in[2] = {static_cast<unsigned char>(unit), static_cast<unsigned char>(unit >> 8)};
        unsigned char out[8];
        size_t n = convertAlone(fromUnits, in, 2, out, sizeof out);
        if (n == 1)
            page.codes[unit] = out[0];
        else if (n == 2 && page.lengths[out[0]] == 2)
            page.codes[unit] = static_cast<uint16_t>(out[0] << 8 | out[1]);
    }
}

void buildPage(PageTables &page, unsigned codePage, unsigned slot, unsigned char *bytes) {
    char name[16];
    std::snprintf(name, sizeof name, "CP%u", codePage);
    iconv_t toUnits = openIconv(kUnitEncoding, name);
    iconv_t fromUnits = openIconv(name, kUnitEncoding);
    page.doubleByte = isDoubleBytePage(codePage);
    for (unsigned b = 0; b < 256; ++b)
        page.lengths[b] = isLeadByteOf(codePage, static_cast<unsigned char>(b)) ? 2 : 1;
    if (toUnits != nullptr && fromUnits != nullptr) {
        buildSingles(page, toUnits);
        if (page.doubleByte) {
            page.pairs = g_pairs[slot];
            page.codes = g_codes[slot];
            buildPairs(page, toUnits);
            buildCodes(page, fromUnits);
        } else {
            page.bytes = bytes;
            buildBytes(page);
        }
        page.usable = true;
    }
    if (toUnits != nullptr)
        iconv_close(toUnits);
    if (fromUnits != nullptr)
        iconv_close(fromUnits);
}

// The tables of a page, built on first use; null for a page that is not served.
const PageTables *tablesFor(unsigned codePage) {
    auto find = [codePage](const auto &pages, PageTables *tables, bool singleByte) -> PageTables * {
        for (unsigned i = 0; i < std::size(pages); ++i)
            if (pages[i] == codePage) {
                PageTables &page = tables[i];
                unsigned char *bytes = singleByte ? g_bytes[i] : nullptr;
                std::call_once(page.built, [&page, codePage, i, bytes] { buildPage(page, codePage, i, bytes); });
                return page.usable ? &page : nullptr;
            }
        return nullptr;
    };
    if (PageTables *page = find(kSingleBytePages, g_single, true))
        return page;
    return find(kDoubleBytePages, g_double, false);
}

// The character at p (left > 0 bytes): its unit, and the bytes it takes.
inline unsigned decodeChar(const PageTables &page, const unsigned char *p, size_t left, uint16_t *unit) {
    const unsigned char b = *p;
    if (page.lengths[b] != 2) {
        *unit = page.single[b];
        return 1;
    }
    if (left >= 2) {
        uint16_t u = page.pairs[(b - 0x80) * 256 + p[1]];
        if (u != 0) {
            *unit = u;
            return 2;
        }
        *unit = kQuestion;
        return page.trail[p[1]] ? 2 : 1;
    }
    *unit = kQuestion;
    return 1;
}

bool singleByteCode(const PageTables &page, uint16_t unit, unsigned char *b) {
    const unsigned char byte = page.bytes[unit];
    if (byte == 0 && unit != 0)
        return false;
    *b = byte;
    return true;
}

// The bytes of a unit: 1 or 2, '?' when the page has none. out must hold 2 bytes: a
// double-byte page's single byte is written with a second one after it, so that either
// kind is stored without a branch on the kind.
inline unsigned encodeUnit(const PageTables &page, uint16_t unit, unsigned char *out) {
    if (unit < 0x80) {
        out[0] = static_cast<unsigned char>(unit);
        return 1;
    }
    if (!page.doubleByte) {
        const unsigned char byte = page.bytes[unit];
        out[0] = byte != 0 ? byte : kQuestion; // unit 0 is below 0x80
        return 1;
    }
    const uint16_t code = page.codes[unit];
    if (code == 0) {
        out[0] = kQuestion;
        return 1;
    }
    const unsigned two = code >= 0x100;
    out[0] = static_cast<unsigned char>(two ? code >> 8 : code);
    out[1] = static_cast<unsigned char>(code);
    return 1 + two;
}

bool badArguments(const void *src, int32_t srcLen, const void *dest, int32_t destCount) {
    return src == nullptr || srcLen < 0 || destCount < 0 || (dest == nullptr && destCount > 0);
}

// Decodes bytes to units. Every page maps ASCII to itself: a single-byte page widens 16
// bytes at a time and then looks up the units of the bytes above 0x7F; a double-byte page
// copies runs of plain ASCII and goes character by character between them. Returns the
// units written, or (with a full destination) the units that fit, with *cut set; *taken is
// the bytes they came from.
int32_t decodeText(const PageTables &page, const unsigned char *src, size_t srcLen, uint16_t *dest, size_t destCount,
                   bool *cut, size_t *taken) {
    size_t i = 0, n = 0;
    while (!page.doubleByte && srcLen - i >= kAsciiBlock && destCount - n >= kAsciiBlock) {
        for (uint32_t high = widenBlock<false>(src + i, dest + n); high != 0; high &= high - 1) {
            const unsigned k = static_cast<unsigned>(__builtin_ctz(high));
            dest[n + k] = page.single[src[i + k]];
        }
        i += kAsciiBlock;
        n += kAsciiBlock;
    }
    while (i < srcLen) {
        if (src[i] < 0x80 && srcLen - i >= kAsciiBlock && destCount - n >= kAsciiBlock) {
            const size_t run = asciiRun(widenBlock<false>(src + i, dest + n));
            i += run;
            n += run;
            continue;
        }
        if (n == destCount) {
            *cut = true;
            break;
        }
        i += decodeChar(page, src + i, srcLen - i, dest + n);
        ++n;
    }
    *taken = i;
    return static_cast<int32_t>(n);
}

int32_t countUnits(const PageTables &page, const unsigned char *src, size_t srcLen) {
    size_t i = 0, n = 0;
    uint16_t unit;
    for (; i < srcLen; ++n)
        i += decodeChar(page, src + i, srcLen - i, &unit);
    return static_cast<int32_t>(n);
}

// Encodes units to bytes (with counting set, only counts them), the same ways round.
int32_t encodeText(const PageTables &page, const uint16_t *src, size_t srcCount, unsigned char *dest, size_t destSize,
                   bool counting, bool *cut) {
    size_t i = 0, n = 0;
    unsigned char bytes[2];
    while (!counting && !page.doubleByte && srcCount - i >= kAsciiBlock && destSize - n >= kAsciiBlock) {
        for (uint32_t high = narrowBlock<false>(src + i, dest + n); high != 0; high &= high - 1) {
            const unsigned k = static_cast<unsigned>(__builtin_ctz(high));
            encodeUnit(page, src[i + k], dest + n + k);
        }
        i += kAsciiBlock;
        n += kAsciiBlock;
    }
    while (i < srcCount) {
        if (!counting && src[i] < 0x80 && srcCount - i >= kAsciiBlock && destSize - n >= kAsciiBlock) {
            const size_t run = asciiRun(narrowBlock<false>(src + i, dest + n));
            i += run;
            n += run;
            continue;
        }
        if (!counting && destSize - n >= 2) {
            n += encodeUnit(page, src[i++], dest + n);
            continue;
        }
        const unsigned k = encodeUnit(page, src[i], bytes);
        if (!counting) {
            if (n + k > destSize) {
                *cut = true;
                break;
            }
            dest[n] = bytes[0];
        }
        n += k;
        ++i;
    }
    return static_cast<int32_t>(n);
}

// The result of a conversion that filled its destination: 0, with the count that fit.
int32_t insufficient(int32_t fit, ConvertStatus *status, int32_t *fitted) {
    *status = ConvertStatus::InsufficientBuffer;
    if (fitted != nullptr)
        *fitted = fit;
    return 0;
}

} // namespace

int32_t codePageToUcs2(unsigned codePage, const unsigned char *src, int32_t srcLen, uint16_t *dest, int32_t destCount,
                       ConvertStatus *status, int32_t *fitted) {
    *status = ConvertStatus::Ok;
    const PageTables *page = tablesFor(codePage);
    if (page == nullptr || badArguments(src, srcLen, dest, destCount)) {
        *status = ConvertStatus::InvalidParameter;
        return 0;
    }
    if (destCount == 0)
        return countUnits(*page, src, static_cast<size_t>(srcLen));
    bool cut = false;
    size_t taken = 0;
    int32_t n = decodeText(*page, src, static_cast<size_t>(srcLen), dest, static_cast<size_t>(destCount), &cut, &taken);
    return cut ? insufficient(n, status, fitted) : n;
}

int32_t ansiToUnitsPart(const unsigned char *src, uint32_t srcLen, uint16_t *dest, uint32_t destCount,
                        uint32_t *taken) {
    if (g_active == nullptr) { // before the code page is chosen: byte for unit
        const uint32_t n = srcLen < destCount ? srcLen : destCount;
        for (uint32_t i = 0; i < n; ++i)
            dest[i] = src[i];
        *taken = n;
        return static_cast<int32_t>(n);
    }
    bool cut = false;
    size_t used = 0;
    int32_t n = decodeText(*g_active, src, srcLen, dest, destCount, &cut, &used);
    *taken = static_cast<uint32_t>(used);
    return n;
}

int32_t ucs2ToCodePage(unsigned codePage, const uint16_t *src, int32_t srcCount, unsigned char *dest, int32_t destSize,
                       ConvertStatus *status, int32_t *fitted) {
    *status = ConvertStatus::Ok;
    const PageTables *page = tablesFor(codePage);
    if (page == nullptr || badArguments(src, srcCount, dest, destSize)) {
        *status = ConvertStatus::InvalidParameter;
        return 0;
    }
    bool cut = false;
    int32_t n =
        encodeText(*page, src, static_cast<size_t>(srcCount), dest, static_cast<size_t>(destSize), destSize == 0, &cut);
    return cut ? insufficient(n, status, fitted) : n;
}

unsigned ansiCharToUnit(const unsigned char *p, uint32_t left, uint16_t *unit) {
    if (g_active == nullptr) {
        *unit = *p;
        return 1;
    }
    return decodeChar(*g_active, p, left, unit);
}

unsigned unitToAnsiChar(uint16_t unit, unsigned char *out) {
    if (g_active == nullptr) {
        out[0] = unit < 0x100 ? static_cast<unsigned char>(unit) : kQuestion;
        return 1;
    }
    return encodeUnit(*g_active, unit, out);
}

bool ansiByteToUnicode(unsigned char b, uint16_t *unit) {
    if (g_active == nullptr || !g_active->defined[b])
        return false;
    *unit = g_active->single[b];
    return true;
}

bool unicodeToAnsiByte(uint16_t unit, unsigned char *b) {
    if (g_active == nullptr)
        return false;
    if (!g_active->doubleByte)
        return singleByteCode(*g_active, unit, b);
    const uint16_t code = unit < 0x80 ? unit : g_active->codes[unit];
    if (code >= 0x100 || (code == 0 && unit != 0))
        return false;
    *b = static_cast<unsigned char>(code);
    return true;
}

uint16_t unicodeUpper(uint16_t unit) {
    UChar32 c = u_toupper(unit);
    return c <= 0xFFFF ? static_cast<uint16_t>(c) : unit;
}

uint16_t unicodeLower(uint16_t unit) {
    UChar32 c = u_tolower(unit);
    return c <= 0xFFFF ? static_cast<uint16_t>(c) : unit;
}

namespace {

uint32_t mapText(uint16_t *text, UChar32 (*map)(UChar32)) {
    uint32_t i = 0;
    while (text[i] != 0) {
        const uint16_t unit = text[i];
        if (U16_IS_LEAD(unit) && U16_IS_TRAIL(text[i + 1])) {
            UChar32 c = map(U16_GET_SUPPLEMENTARY(unit, text[i + 1]));
            if (c > 0xFFFF) { // simple mappings of supplementary characters stay supplementary
                text[i] = U16_LEAD(c);
                text[i + 1] = U16_TRAIL(c);
            }
            i += 2;
            continue;
        }
        UChar32 c = map(unit);
        if (c <= 0xFFFF)
            text[i] = static_cast<uint16_t>(c);
        ++i;
    }
    return i;
}

} // namespace

uint32_t unicodeUpperText(uint16_t *text) { return mapText(text, u_toupper); }

uint32_t unicodeLowerText(uint16_t *text) { return mapText(text, u_tolower); }

void conversionTablesBuild(unsigned ansiPage) { g_active = tablesFor(ansiPage); }

} // namespace zo::plat
