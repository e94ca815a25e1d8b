#include "platform/charclass.h"

#include <mutex>

#include <unicode/uchar.h>
#include <unicode/ucnv.h>

#include "platform/codepage.h"

namespace zo::plat {
namespace {

struct PageLetters {
    unsigned codePage;
    const char *converterName;
    std::once_flag built;
    unsigned char table[256];
};

PageLetters g_pages[] = {
    {1250, "windows-1250", {}, {}}, {1251, "windows-1251", {}, {}}, {1252, "windows-1252", {}, {}},
    {1253, "windows-1253", {}, {}}, {1254, "windows-1254", {}, {}}, {1255, "windows-1255", {}, {}},
    {1256, "windows-1256", {}, {}}, {1257, "windows-1257", {}, {}}, {1258, "windows-1258", {}, {}},
    {932, "windows-932", {}, {}},   {936, "windows-936", {}, {}},   {949, "windows-949", {}, {}},
    {950, "windows-950", {}, {}},
};

// ASCII letters are letters in every code page; they also serve when a converter is missing.
unsigned char asciiAlpha(unsigned b) { return (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z'); }

// Built while page is the active code page, so the lead-byte test is that page's.
void build(PageLetters &page) {
    for (unsigned b = 0; b < 0x80; ++b)
        page.table[b] = asciiAlpha(b);
    UErrorCode status = U_ZERO_ERROR;
    UConverter *converter = ucnv_open(page.converterName, &status);
    if (U_FAILURE(status) || converter == nullptr)
        return;
    for (unsigned b = 0x80; b < 0x100; ++b) {
        if (isLeadByte(static_cast<unsigned char>(b)))
            continue;
        const char byte = static_cast<char>(b);
        UChar unit[2] = {0, 0};
        status = U_ZERO_ERROR;
        ucnv_reset(converter);
        const int32_t n = ucnv_toUChars(converter, unit, 2, &byte, 1, &status);
        if (U_SUCCESS(status) && n == 1 && unit[0] != 0xFFFD && unit[0] != 0x1A)
            page.table[b] = u_isalpha(unit[0]) ? 1 : 0;
    }
    ucnv_close(converter);
}

} // namespace

const unsigned char *alphaByteTable() {
    const unsigned codePage = ansiCodePage();
    PageLetters *page = &g_pages[2];
    for (PageLetters &candidate : g_pages)
        if (candidate.codePage == codePage)
            page = &candidate;
    std::call_once(page->built, build, *page);
    return page->table;
}

} // namespace zo::plat
