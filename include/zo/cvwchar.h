// Character-set conversion between the process's ANSI code page, UCS-2 and UTF-8, and
// 16-bit string functions.
//
// The ANSI code page is the process's one (ZO_ACP), single- or double-byte. UCS-2 text is
// 16-bit units. The UTF-8 form is the one of 1 to 3 bytes per 16-bit unit: each unit,
// surrogate halves included (each on its own), becomes 1 byte (below 0x80), 2 bytes
// (0x80-0x7FF) or 3 bytes; a four-byte sequence is not decoded (its bytes become units of
// their own).
//
// Conversions never allocate the caller's output: they take a destination and its size
// (bytes for ANSI and UTF-8, units for UCS-2), set *written to 0 first and then to the
// units produced, and return a ZoConvertReturn. A NUL in the source is written (when there
// is room) and ends the conversion without being counted; no terminator is added that the
// source does not hold. A source is never read past its length: a character cut short by
// the end of the source converts as its bytes alone.
#pragma once

#include <cstdint>

#include <zo/zoexport.h>

enum ZoConvertReturn : int {
    ZoConvertOk = 0,         // converted; *written is the count
    ZoConvertTruncated = 1,  // the destination was too small: the output is cut after the last
                             // whole character that fit, *written counts what was written
    ZoConvertPartial = 2,    // codes 2 and 3: partial results of other converters (never
    ZoConvertPartialAlt = 3, // produced here); their count is valid
    ZoConvertInvalid = 4,    // a null pointer, or a size or count that is not positive; *written is 0
    ZoConvertFailed = 5,     // any other failure; *written is 0
};

// ---- Conversions ------------------------------------------------------------------------

ZO_API ZoConvertReturn cvUCS2ToUTF8(unsigned char *dest, int32_t destSize, const uint16_t *src, int32_t srcCount,
                                    int32_t *written);
// Decodes without checking continuation bytes: a lead byte 0xC0-0xDF takes the next byte,
// 0xE0-0xEF the next two; any other byte is the unit of its value.
ZO_API ZoConvertReturn cvUTF8ToUCS2(uint16_t *dest, int32_t destCount, const unsigned char *src, int32_t srcLen,
                                    int32_t *written);
// UCS-2 and the ANSI code page; what the page cannot hold becomes '?'. The default
// character and the flag are accepted for the callers' sake and not used.
ZO_API ZoConvertReturn cvUCS2ToAnsi(char *dest, int32_t destSize, const uint16_t *src, int32_t srcCount,
                                    const uint16_t *defaultChar, int32_t *written, int32_t flag);
ZO_API ZoConvertReturn cvAnsiToUCS2(uint16_t *dest, int32_t destCount, const char *src, int32_t srcLen,
                                    const uint16_t *defaultChar, int32_t *written, int32_t flag);
ZO_API ZoConvertReturn cvUnicodeToAnsi(char *dest, int32_t destSize, const uint16_t *src, int32_t srcCount,
                                       const uint16_t *defaultChar, int32_t *written, int32_t flag);
ZO_API ZoConvertReturn cvAnsiToUnicode(uint16_t *dest, int32_t destCount, const char *src, int32_t srcLen,
                                       const uint16_t *defaultChar, int32_t *written, int32_t flag);
// UTF-8 and the ANSI code page, through UCS-2. A leading run of ASCII is copied as it is.
ZO_API ZoConvertReturn cvUTF8ToAnsi(unsigned char *dest, int32_t destSize, const unsigned char *src, int32_t srcLen,
                                    const uint16_t *defaultChar, int32_t *written, int32_t flag);
ZO_API ZoConvertReturn cvAnsiToUTF8(unsigned char *dest, int32_t destSize, const unsigned char *src, int32_t srcLen,
                                    const uint16_t *defaultChar, int32_t *written, int32_t flag);
// length for the codes whose count is valid (0-3), else 0.
ZO_API int32_t setConversionReturnLength(ZoConvertReturn code, int32_t length);

// ---- UCS-2 utilities --------------------------------------------------------------------

// Units before the 0 unit (0 for a null text).
ZO_API uint32_t cvUCS2Len(const uint16_t *text);
ZO_API uint32_t cvUnicodeLen(const uint16_t *text);
// ANSI bytes the text converts to, terminator not included.
ZO_API uint32_t cvAsciiLenOfUnicodeStr(const uint16_t *text);
// A copy in a new ramAllocZ block, with its 0 unit; null when memory is exhausted or text
// is null.
ZO_API uint16_t *cvUnicodeDup(const uint16_t *text);
// Copies the units of src without the terminator and returns their number; 0 (nothing
// copied) when dest or src is null or src is empty.
ZO_API uint32_t cvUnicodeCopy(uint16_t *dest, const uint16_t *src);

// ---- 16-bit string functions ------------------------------------------------------------

// How wcsFind looks for a unit: from the start (the first one) or from the end (the last).
enum strFindOptions : unsigned { strFindFirst = 0, strFindLast = 1 };

ZO_API uint32_t wcsLen(const uint16_t *text);
// Unicode simple case mapping in place (a surrogate pair maps as its character); return
// the length.
ZO_API uint32_t wcsUpper(uint16_t *text);
ZO_API uint32_t wcsLower(uint16_t *text);
// Copies with the terminator; returns dest.
ZO_API uint16_t *wcsCopy(uint16_t *dest, const uint16_t *src);
// At most n units; a shorter src is padded with 0 units up to n; no terminator is added
// when src has n units or more. Returns dest.
ZO_API uint16_t *wcsCopy(uint16_t *dest, const uint16_t *src, uint32_t n);
// Appends src to the terminated dest; returns dest.
ZO_API uint16_t *wcsCat(uint16_t *dest, const uint16_t *src);
// Ordinal order as -1, 0, 1. The counted form compares the first min(aLen, bLen) units
// only: a text equals its own prefix.
ZO_API short wcsCompare(const uint16_t *a, const uint16_t *b);
ZO_API short wcsCompare(const uint16_t *a, uint32_t aLen, const uint16_t *b, uint32_t bLen);
// The same with A-Z folded to a-z.
ZO_API short wcsCompareCi(const uint16_t *a, const uint16_t *b);
ZO_API short wcsCompareCi(const uint16_t *a, uint32_t aLen, const uint16_t *b, uint32_t bLen);
// 1 when the matching comparison gives 0, else 0.
ZO_API unsigned short wcsEqual(const uint16_t *a, const uint16_t *b);
ZO_API unsigned short wcsEqual(const uint16_t *a, uint32_t aLen, const uint16_t *b, uint32_t bLen);
ZO_API unsigned short wcsEqualCi(const uint16_t *a, const uint16_t *b);
ZO_API unsigned short wcsEqualCi(const uint16_t *a, uint32_t aLen, const uint16_t *b, uint32_t bLen);
// First occurrence of sub in text, or null; an empty sub is found at the start.
ZO_API uint16_t *wcsFind(const uint16_t *text, const uint16_t *sub);
// First unit equal to the byte c (the last one with strFindLast), or null; never the
// terminator. The text is not changed.
ZO_API uint16_t *wcsFind(const uint16_t *text, unsigned char c);
ZO_API uint16_t *wcsFind(const uint16_t *text, unsigned char c, strFindOptions options);
ZO_API uint16_t *wcsCharNext(const uint16_t *p);
ZO_API uint16_t *wcsCharNext(const uint16_t *p, uint32_t n);
