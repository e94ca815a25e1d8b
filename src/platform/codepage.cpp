#include "platform/codepage.h"

#include <cstdlib>

#include "platform/collate.h"
#include "platform/cptables.h"
#include "platform/unicode.h"

namespace zo::plat {
namespace {

// Single-byte with ASCII case until the code page is read at attach, so no walker ever
// sees a length of 0 and case folding works from the start.
constexpr CodePageTables singleByteTables() {
    CodePageTables t{1252, false, {}, {}, {}};
    for (unsigned b = 0; b < 256; ++b) {
        t.lengths[b] = 1;
        t.upper[b] = static_cast<unsigned char>(b >= 'a' && b <= 'z' ? b - 0x20 : b);
        t.lower[b] = static_cast<unsigned char>(b >= 'A' && b <= 'Z' ? b + 0x20 : b);
    }
    return t;
}

constexpr unsigned char kUtf8Lengths[256] = {
#define ONE16 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1
#define TWO16 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2
#define THREE16 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3
    ONE16,   ONE16, ONE16, ONE16, ONE16, ONE16, ONE16, ONE16, // 0x00-0x7F
    ONE16,   ONE16, ONE16, ONE16,                             // 0x80-0xBF
    TWO16,   TWO16,                                           // 0xC0-0xDF
    THREE16,                                                  // 0xE0-0xEF
    ONE16                                                     // 0xF0-0xFF: stepped bytewise
#undef ONE16
#undef TWO16
#undef THREE16
};

// The byte's case counterpart through Unicode, or the byte itself when the mapped character
// is not a single byte of the page.
unsigned char mapCase(unsigned char b, uint16_t (*map)(uint16_t)) {
    uint16_t unit = 0;
    unsigned char mapped = 0;
    if (g_codePageTables.lengths[b] != 1 || !ansiByteToUnicode(b, &unit))
        return b;
    uint16_t target = map(unit);
    if (target == unit || !unicodeToAnsiByte(target, &mapped) || g_codePageTables.lengths[mapped] != 1)
        return b;
    return mapped;
}

void buildTables(unsigned codePage) {
    g_codePageTables.ansi = codePage;
    g_codePageTables.doubleByte = isDoubleBytePage(codePage);
    for (unsigned b = 0; b < 256; ++b)
        g_codePageTables.lengths[b] = isLeadByteOf(codePage, static_cast<unsigned char>(b)) ? 2 : 1;
    conversionTablesBuild(codePage);
    for (unsigned b = 0; b < 256; ++b) {
        g_codePageTables.upper[b] = mapCase(static_cast<unsigned char>(b), unicodeUpper);
        g_codePageTables.lower[b] = mapCase(static_cast<unsigned char>(b), unicodeLower);
    }
}

void mapBuffer(unsigned char *text, uint32_t length, const unsigned char *map) {
    const unsigned char *lengths = g_codePageTables.lengths;
    uint32_t i = 0;
    while (i < length) {
        if (lengths[text[i]] == 2) {
            i += 2;
            continue;
        }
        text[i] = map[text[i]];
        ++i;
    }
}

} // namespace

bool isDoubleBytePage(unsigned codePage) {
    return codePage == 932 || codePage == 936 || codePage == 949 || codePage == 950;
}

bool isLeadByteOf(unsigned codePage, unsigned char b) {
    if (codePage == 932)
        return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
    if (isDoubleBytePage(codePage))
        return b >= 0x81 && b <= 0xFE;
    return false;
}

CodePageTables g_codePageTables = singleByteTables();

bool isSupportedCodePage(unsigned codePage) {
    return (codePage >= 1250 && codePage <= 1258) || isDoubleBytePage(codePage);
}

void codePageInit() {
    unsigned codePage = 1252;
    if (const char *env = std::getenv("ZO_ACP")) {
        char *end = nullptr;
        unsigned long value = std::strtoul(env, &end, 10);
        if (end != env && *end == '\0' && isSupportedCodePage(static_cast<unsigned>(value)))
            codePage = static_cast<unsigned>(value);
    }
    buildTables(codePage);
}

unsigned ansiCodePage() { return g_codePageTables.ansi; }

unsigned oemCodePage() { return g_codePageTables.doubleByte ? g_codePageTables.ansi : 437; }

bool hasLeadBytes() { return g_codePageTables.doubleByte; }

const unsigned char *upperCaseTable() { return g_codePageTables.upper; }

const unsigned char *lowerCaseTable() { return g_codePageTables.lower; }

unsigned char upperByte(unsigned char b) { return g_codePageTables.upper[b]; }

unsigned char lowerByte(unsigned char b) { return g_codePageTables.lower[b]; }

void upperBuffer(unsigned char *text, uint32_t length) { mapBuffer(text, length, g_codePageTables.upper); }

void lowerBuffer(unsigned char *text, uint32_t length) { mapBuffer(text, length, g_codePageTables.lower); }

void codePageRelease() { collateRelease(); }

bool isLeadByte(unsigned char b) { return g_codePageTables.lengths[b] == 2; }

const unsigned char *ansiCharLengths() { return g_codePageTables.lengths; }

const unsigned char *utf8CharLengths() { return kUtf8Lengths; }

bool setCodePageForTest(unsigned codePage) {
    if (!isSupportedCodePage(codePage))
        return false;
    buildTables(codePage);
    return true;
}

} // namespace zo::plat
