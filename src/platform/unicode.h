// Conversions between the process's code pages and UCS-2, and Unicode case mapping.
//
// Single-byte code pages (the ANSI pages 1250-1258 and the OEM page 437) convert through
// 256-entry tables built from glibc iconv when the code page is chosen; the double-byte
// pages (932, 936, 949, 950) convert through iconv itself, from a small pool of
// descriptors, so that any thread may convert at any time.
#pragma once

#include <cstdint>

#include <zo/zoexport.h>

namespace zo::plat {

enum class ConvertStatus {
    Ok,
    InvalidParameter,   // a null pointer or a negative size or count
    InsufficientBuffer, // the output was cut at the destination's size
};

// Converts srcLen bytes of text in the given code page (the ANSI or the OEM page) to UCS-2,
// the way the host converts with no flags: every byte counts (a NUL byte becomes a 0 unit),
// a byte or double-byte character the page does not define becomes '?'. With a null dest
// and destCount 0 nothing is written and the number of units needed is returned.
// Returns the number of units written; on failure returns 0 and says why in *status
// (InsufficientBuffer leaves the units that fit in dest).
ZO_API int32_t codePageToUcs2(unsigned codePage, const unsigned char *src, int32_t srcLen, uint16_t *dest,
                              int32_t destCount, ConvertStatus *status);
// The reverse: srcCount units to bytes of the code page; a unit it cannot hold becomes '?'.
ZO_API int32_t ucs2ToCodePage(unsigned codePage, const uint16_t *src, int32_t srcCount, unsigned char *dest,
                              int32_t destSize, ConvertStatus *status);

// The one code unit that a single byte of the ANSI code page stands for; false for a lead
// byte or a byte the page leaves undefined.
bool ansiByteToUnicode(unsigned char b, uint16_t *unit);
// The single byte of the ANSI code page for a code unit; false when it takes none or two.
bool unicodeToAnsiByte(uint16_t unit, unsigned char *b);

// Simple (one-to-one) Unicode case mapping of a BMP code unit.
ZO_API uint16_t unicodeUpper(uint16_t unit);
ZO_API uint16_t unicodeLower(uint16_t unit);

// Builds the conversion tables of the ANSI page and its OEM companion (called whenever the
// ANSI page is chosen, after its lead bytes are known) and releases the iconv descriptors
// (at process detach).
void conversionTablesBuild(unsigned ansiPage, bool ansiDoubleByte, unsigned oemPage);
void conversionRelease();

} // namespace zo::plat
