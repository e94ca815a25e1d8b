#include "platform/codepage.h"

#include <cstdlib>

namespace zo::plat {
namespace {

struct CodePageTables {
    unsigned ansi;
    unsigned char lengths[256];
};

// Single-byte until the code page is read at attach, so no walker ever sees a length of 0.
constexpr CodePageTables singleByteTables() {
    CodePageTables t{1252, {}};
    for (auto &length : t.lengths)
        length = 1;
    return t;
}

CodePageTables g_tables = singleByteTables();

constexpr unsigned char kUtf8Lengths[256] = {
#define ONE16 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1
#define TWO16 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2
#define THREE16 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3
    ONE16, ONE16, ONE16, ONE16, ONE16, ONE16, ONE16, ONE16,   // 0x00-0x7F
    ONE16, ONE16, ONE16, ONE16,                               // 0x80-0xBF
    TWO16, TWO16,                                             // 0xC0-0xDF
    THREE16,                                                  // 0xE0-0xEF
    ONE16                                                     // 0xF0-0xFF: stepped bytewise
#undef ONE16
#undef TWO16
#undef THREE16
};

bool isDoubleByte(unsigned codePage) {
    return codePage == 932 || codePage == 936 || codePage == 949 || codePage == 950;
}

bool leadByteOf(unsigned codePage, unsigned b) {
    if (codePage == 932)
        return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
    if (isDoubleByte(codePage))
        return b >= 0x81 && b <= 0xFE;
    return false;
}

void buildTables(unsigned codePage) {
    g_tables.ansi = codePage;
    for (unsigned b = 0; b < 256; ++b)
        g_tables.lengths[b] = leadByteOf(codePage, b) ? 2 : 1;
}

} // namespace

bool isSupportedCodePage(unsigned codePage) {
    return (codePage >= 1250 && codePage <= 1258) || isDoubleByte(codePage);
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

unsigned ansiCodePage() { return g_tables.ansi; }

unsigned oemCodePage() { return isDoubleByte(g_tables.ansi) ? g_tables.ansi : 437; }

bool isLeadByte(unsigned char b) { return g_tables.lengths[b] == 2; }

const unsigned char *ansiCharLengths() { return g_tables.lengths; }

const unsigned char *utf8CharLengths() { return kUtf8Lengths; }

bool setCodePageForTest(unsigned codePage) {
    if (!isSupportedCodePage(codePage))
        return false;
    buildTables(codePage);
    return true;
}

} // namespace zo::plat
