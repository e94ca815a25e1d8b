// The process's ANSI code page: selection, lead bytes and character lengths.
#pragma once

#include <cstdint>

#include <zo/zoexport.h>

namespace zo::plat {

// Reads ZO_ACP (default 1252) and builds the code page tables. Called at process attach;
// an unknown or unsupported value falls back to 1252.
ZO_API void codePageInit();
// The active ANSI code page and its OEM companion (437 for the single-byte pages,
// the same page for the double-byte ones).
ZO_API unsigned ansiCodePage();
ZO_API unsigned oemCodePage();
ZO_API bool isSupportedCodePage(unsigned codePage);
// Whether a code page has lead bytes (932, 936, 949, 950), and whether b is one of them.
bool isDoubleBytePage(unsigned codePage);
bool isLeadByteOf(unsigned codePage, unsigned char b);
// True when b starts a double-byte character of the ANSI code page.
ZO_API bool isLeadByte(unsigned char b);
// 256 entries: 2 for a lead byte of the ANSI code page, 1 else.
ZO_API const unsigned char *ansiCharLengths();
// 256 entries: the UTF-8 stepping lengths (1, 2 for 0xC0-0xDF, 3 for 0xE0-0xEF, 1 else).
ZO_API const unsigned char *utf8CharLengths();

// True when the ANSI code page has lead bytes (932, 936, 949, 950).
ZO_API bool hasLeadBytes();

// Single-byte case mapping of the ANSI code page: 256 entries, the byte itself where the
// byte has no single-byte counterpart (lead bytes included). A byte is mapped through its
// Unicode character and ICU's simple case mapping, and back.
ZO_API const unsigned char *upperCaseTable();
ZO_API const unsigned char *lowerCaseTable();
ZO_API unsigned char upperByte(unsigned char b);
ZO_API unsigned char lowerByte(unsigned char b);
// Case-maps length bytes in place, stepping by lead byte: double-byte characters are left
// as they are (a lead byte in the last position is left too).
ZO_API void upperBuffer(unsigned char *text, uint32_t length);
ZO_API void lowerBuffer(unsigned char *text, uint32_t length);

// Releases what the code page services hold (the collators); at process detach.
ZO_API void codePageRelease();

// Test hook: switch the process's ANSI code page and rebuild its tables; returns false for
// an unsupported page. Not safe while other threads walk text.
ZO_API bool setCodePageForTest(unsigned codePage);

} // namespace zo::plat
