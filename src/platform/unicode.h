// Conversions between the process's code pages and UCS-2, and Unicode case mapping.
//
// Every supported code page (the ANSI pages 1250-1258, 932, 936, 949, 950 and the OEM page
// 437) converts through tables, built from glibc iconv the first time the page is used
// and kept for the life of the process, so that any thread may convert at any time and a
// conversion never calls iconv itself. A single-byte page is 256 units and the sorted
// reverse pairs of its upper half; a double-byte page adds a unit for every lead and trail
// byte pair and a byte code for every UCS-2 unit.
#pragma once

#include <cstdint>

#include <zo/zoexport.h>

namespace zo::plat {

enum class ConvertStatus {
    Ok,
    InvalidParameter,   // a null pointer, a negative size or count, or a page not served
    InsufficientBuffer, // the output was cut at the destination's size
};

// Converts srcLen bytes of text in the given code page to UCS-2, the way the host converts
// with no flags: every byte counts (a NUL byte becomes a 0 unit), a byte or double-byte
// character the page does not define becomes '?' (a lead byte followed by a byte that is
// no trail byte of the page, or by the end of the text, is such a character on its own).
// Bytes a single-byte page leaves undefined stand for the unit of the same value, so they
// round-trip. With a null dest and destCount 0 nothing is written and the number of units
// needed is returned. Returns the number of units written; on failure returns 0 and says
// why in *status. InsufficientBuffer leaves the units that fit in dest and, when fitted is
// given, their number in *fitted.
ZO_API int32_t codePageToUcs2(unsigned codePage, const unsigned char *src, int32_t srcLen, uint16_t *dest,
                              int32_t destCount, ConvertStatus *status, int32_t *fitted = nullptr);
// The reverse: srcCount units to bytes of the code page; a unit it cannot hold becomes '?'.
// A double-byte character is never cut: *fitted counts the whole characters that fit.
ZO_API int32_t ucs2ToCodePage(unsigned codePage, const uint16_t *src, int32_t srcCount, unsigned char *dest,
                              int32_t destSize, ConvertStatus *status, int32_t *fitted = nullptr);

// The leading characters of src[0, srcLen) in the ANSI code page that fit in destCount
// units, converted as above: returns their units and stores in *taken the bytes they came
// from (a character is never cut). For conversions that go through a small buffer piece by
// piece.
ZO_API int32_t ansiToUnitsPart(const unsigned char *src, uint32_t srcLen, uint16_t *dest, uint32_t destCount,
                               uint32_t *taken);

// One character at a time in the ANSI code page, as the conversions above convert it, for
// walks that take no buffer. ansiCharToUnit reads the character at p, of which left > 0
// bytes remain (it never reads past them), stores its unit and returns its byte count.
// unitToAnsiChar writes the 1 or 2 bytes of a unit and returns their count.
ZO_API unsigned ansiCharToUnit(const unsigned char *p, uint32_t left, uint16_t *unit);
ZO_API unsigned unitToAnsiChar(uint16_t unit, unsigned char *out);

// The one code unit that a single byte of the ANSI code page stands for; false for a lead
// byte or a byte the page leaves undefined.
bool ansiByteToUnicode(unsigned char b, uint16_t *unit);
// The single byte of the ANSI code page for a code unit; false when it takes none or two.
bool unicodeToAnsiByte(uint16_t unit, unsigned char *b);

// Simple (one-to-one) Unicode case mapping of a BMP code unit.
ZO_API uint16_t unicodeUpper(uint16_t unit);
ZO_API uint16_t unicodeLower(uint16_t unit);
// Simple case mapping of a 16-bit text in place, up to its 0 unit: BMP units one by one,
// and a surrogate pair as the one character it encodes. Returns the number of units.
ZO_API uint32_t unicodeUpperText(uint16_t *text);
ZO_API uint32_t unicodeLowerText(uint16_t *text);

// Makes the tables of the ANSI page ready (called whenever the ANSI page is chosen, before
// its case tables are built).
void conversionTablesBuild(unsigned ansiPage);

} // namespace zo::plat
