// Demo: conversions between the ANSI code page, UCS-2 and UTF-8, pattern matching, in-place
// rewriting and token reading.
#include <zo/zo.h>

#include <cstdio>
#include <cstring>

#include "demo.h"

namespace {

const unsigned char *bytes(const char *s) { return reinterpret_cast<const unsigned char *>(s); }

void showConversions() {
    const char *ansi = "caf\xE9 \x80 5"; // code page 1252: e acute, euro sign
    unsigned char utf8[32];
    int32_t n = 0;
    ZoConvertReturn code =
        cvAnsiToUTF8(utf8, sizeof utf8, bytes(ansi), static_cast<int32_t>(std::strlen(ansi)), nullptr, &n, 0);
    std::printf("  cvAnsiToUTF8: code %d, %d bytes:", code, n);
    for (int32_t i = 0; i < n; ++i)
        std::printf(" %02X", utf8[i]);
    unsigned char small[5];
    code = cvAnsiToUTF8(small, sizeof small, bytes(ansi), static_cast<int32_t>(std::strlen(ansi)), nullptr, &n, 0);
    std::printf("\n  into 5 bytes: code %d (cut), %d bytes: %.*s...\n", code, n, n, reinterpret_cast<char *>(small));
    uint16_t units[8];
    code = cvUTF8ToUCS2(units, 8, bytes("\xE2\x82\xAC!"), 4, &n);
    std::printf("  cvUTF8ToUCS2 of the euro sign and '!': %d units, U+%04X U+%04X\n", n, units[0], units[1]);
}

void showLike() {
    const char *texts[] = {"customer_name", "Order_Date", "ship_date  "};
    for (const char *text : texts)
        std::printf("  strLike(\"%s\", \"%%date\") case-blind, trailing blanks dropped: %u\n", text,
                    strLike(bytes(text), bytes("%date"), '%', '_', '\\', 0, 0));
}

void showRewrite() {
    ZoString s;
    if (s.initialize("name = O'Brien;") != ZoSuccess)
        return;
    {
        ZoReplaceString r(&s);
        r.keep(7);
        (void)r.addQuotedBytes(r.data(), 7, '\''); // the demo shows the result either way
        r.skip(7);
    }
    std::printf("  ZoReplaceString quoting in place: %.*s\n", static_cast<int>(s.length()),
                reinterpret_cast<char *>(s.data()));
}

void showTokens() {
    const unsigned char *cursor = bytes("select {fn ucase(name)}, 'it''s' from t");
    unsigned char token[32];
    std::printf("  buttoken:");
    while (buttoken(token, &cursor, 0, sizeof token) == ZoSuccess && token[0] != 0)
        std::printf(" [%s]", reinterpret_cast<char *>(token));
    std::printf("\n");
}

} // namespace

void showText() {
    std::puts("== text: conversions, LIKE, in-place rewriting, tokens");
    showConversions();
    showLike();
    showRewrite();
    showTokens();
}
