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
// True when b starts a double-byte character of the ANSI code page.
ZO_API bool isLeadByte(unsigned char b);
// 256 entries: 2 for a lead byte of the ANSI code page, 1 else.
ZO_API const unsigned char *ansiCharLengths();
// 256 entries: the UTF-8 stepping lengths (1, 2 for 0xC0-0xDF, 3 for 0xE0-0xEF, 1 else).
ZO_API const unsigned char *utf8CharLengths();

// Test hook: switch the process's ANSI code page; returns false for an unsupported page.
// Not safe while other threads walk text.
ZO_API bool setCodePageForTest(unsigned codePage);

} // namespace zo::plat
