// Byte-string functions: comparison, copying and quoting, searching, trimming.
//
// Texts are bytes, NUL-terminated or counted (pointer and length; counted texts may hold 0
// bytes). No function splits a double-byte or UTF-8 character. Two stepping rules are used,
// as each function says:
//  - by character: the calling thread's character mode (UTF-8 lengths 1/2/3 when its
//    PerThreadCharMode word is 2, else the ANSI code page's lead bytes);
//  - by lead byte: the ANSI code page's lead bytes alone, whatever the thread's mode.
// Case folding maps a single byte through the code page's upper case; a double-byte
// character is never folded. Comparisons return -1, 0 or 1 (the locale comparisons return
// the collation's negative, zero or positive value); equality tests return 1 or 0.
// No function records an error.
#pragma once

#include <cstdint>

#include <zo/zoexport.h>

// ---- Comparison -------------------------------------------------------------------------

// Unsigned bytewise over min(aLen, bLen); on a tie the shorter text is less.
ZO_API short strCompare(const unsigned char *a, uint32_t aLen, const unsigned char *b, uint32_t bLen);
// Case-insensitive, stepping by lead byte; a double-byte character compares exactly.
ZO_API short strCompareCi(const unsigned char *a, const unsigned char *b);
// Counted form over min(aLen, bLen) bytes; on a tie the shorter text is less.
ZO_API short strCompareCi(const unsigned char *a, uint32_t aLen, const unsigned char *b, uint32_t bLen);
// 1 when equal ignoring case (double-byte characters must match exactly), else 0.
ZO_API unsigned short strEqualCi(const unsigned char *a, const unsigned char *b);
// 0 when the lengths differ, else as above over aLen bytes.
ZO_API unsigned short strEqualCi(const unsigned char *a, uint32_t aLen, const unsigned char *b, uint32_t bLen);
// Blank-padded: the shorter text compares as if padded with blanks, so "ab" equals "ab  "
// and is less than "ab\t".
ZO_API short strComparePad(const unsigned char *a, const unsigned char *b);
// Collation of the user's locale on ANSI code page text, case-sensitive. The counted forms
// compare each text up to its first NUL byte within its length.
ZO_API short strCompareIntl(const unsigned char *a, const unsigned char *b);
ZO_API short strCompareIntl(const unsigned char *a, uint32_t aLen, const unsigned char *b, uint32_t bLen);
// The same, ignoring case.
ZO_API short strCompareCiIntl(const unsigned char *a, const unsigned char *b);
ZO_API short strCompareCiIntl(const unsigned char *a, uint32_t aLen, const unsigned char *b, uint32_t bLen);
// strncmp over at most n bytes, as -1, 0 or 1.
ZO_API short strCompareWithMaxLength(const unsigned char *a, const unsigned char *b, uint32_t n);
// Orders two 8-byte little-endian IEEE 754 doubles as sort keys: a set sign bit is less
// (so -0 < +0), then the bytes from the most significant, reversed for negatives.
ZO_API short floatCompare(const unsigned char *a, const unsigned char *b);

// ---- Copying and quoting ----------------------------------------------------------------

// Bounded copy: at most destSize-1 bytes, always terminated (nothing is written when
// destSize is 0).
ZO_API void strCopy(unsigned char *dest, uint32_t destSize, const unsigned char *src);
// Copies length bytes and a NUL; returns the address of that NUL.
ZO_API unsigned char *strCopy(unsigned char *dest, const unsigned char *src, uint32_t length);
// Writes quote, src with every quote byte doubled, quote and a NUL; returns the address of
// the NUL. Steps by lead byte: a double-byte character is copied whole, a lead byte in the
// last position is dropped. dest must hold 2 * length + 3 bytes.
ZO_API unsigned char *strCopyQuoted(unsigned char *dest, const unsigned char *src, uint32_t length,
                                    unsigned short quote);
ZO_API unsigned char *strCopyQuoted(unsigned char *dest, const unsigned char *src, unsigned short quote);
// Appends the quoted form of src to the NUL-terminated dest; returns the new end.
ZO_API unsigned char *strCatQuoted(unsigned char *dest, const unsigned char *src, unsigned short quote);
// src is quoted and its first byte is the quote: drops the first and last bytes and turns
// each doubled quote into one, stepping by lead byte; writes a NUL and returns its address.
ZO_API unsigned char *strCopyUnquoted(unsigned char *dest, const unsigned char *src, uint32_t length);
ZO_API unsigned char *strCopyUnquoted(unsigned char *dest, const unsigned char *src);
// Removes the quotes of a properly quoted text in place and returns the new length; a text
// that is not properly quoted is left alone and its length returned.
ZO_API uint32_t strRemoveQuotes(unsigned char *text, uint32_t length, unsigned char quote);
ZO_API void strRemoveQuotes(unsigned char *text, unsigned char quote);

// ---- Searching --------------------------------------------------------------------------

// First character whose first byte is c, stepping by character; null when none before the
// terminating NUL.
ZO_API unsigned char *strFind(const unsigned char *text, unsigned char c);
// The same, stepping by lead byte.
ZO_API unsigned char *strFindAnsi(const unsigned char *text, unsigned char c);
// The last such character, or null.
ZO_API unsigned char *strFindReverse(const unsigned char *text, unsigned char c);
// First c outside quoted sections: a section opens at q1, q2 or q3 and closes at the next
// occurrence of the same byte. c is tested first, so a c that is also a quote is found.
ZO_API unsigned char *strFind(const unsigned char *text, unsigned char c, unsigned char q1, unsigned char q2,
                              unsigned char q3);
// First occurrence of sub that starts on a character boundary; null when subLen is 0 or
// exceeds textLen.
ZO_API unsigned char *strFind(const unsigned char *text, uint32_t textLen, const unsigned char *sub, uint32_t subLen);
ZO_API unsigned char *strFind(const unsigned char *text, const unsigned char *sub);
// Case-insensitive forms: the texts are upper-cased in copies and searched as above; null
// when there is no match or the copies cannot be allocated.
ZO_API unsigned char *strFindCi(const unsigned char *text, const unsigned char *sub);
ZO_API unsigned char *strFindCi(const unsigned char *text, uint32_t textLen, const unsigned char *sub);
ZO_API unsigned char *strFindCi(const unsigned char *text, uint32_t textLen, const unsigned char *sub, uint32_t subLen);

// Character classes for strContains and strDoesNotContain.
enum : unsigned short { StrLowerLetters = 1, StrUpperLetters = 2, StrDigits = 4 };
// 1 when every character (by its first byte, stepping by character) is in set (a
// NUL-terminated byte list, may be null) or in a selected class; an empty text gives 1.
ZO_API unsigned short strContains(const unsigned char *text, uint32_t length, const unsigned char *set,
                                  unsigned short classes);
// 1 when no character is in set or in a selected class; an empty text gives 1.
ZO_API unsigned short strDoesNotContain(const unsigned char *text, uint32_t length, const unsigned char *set,
                                        unsigned short classes);

// ---- Trimming ---------------------------------------------------------------------------

// Length without trailing white space (isspace in the C locale, and the ideographic space
// 0x81 0x40 when 0x81 is a lead byte), stepping by character.
ZO_API uint32_t strRightTrim(const unsigned char *text, uint32_t length);
// NUL-terminated form: writes a NUL after the last kept character.
ZO_API void strRightTrim(unsigned char *text);
// The same for the blank (0x20) alone.
ZO_API uint32_t strRightTrimBlanks(const unsigned char *text, uint32_t length);
ZO_API void strRightTrimBlanks(unsigned char *text);

// ---- Pattern matching -------------------------------------------------------------------

// 1 when the text matches the pattern, else 0. In the pattern, anyString stands for any run
// of characters (none included), anyChar for exactly one character, and escape makes the
// next pattern character literal (a pattern that ends in it matches nothing). The three are
// one-byte characters; matching is by character (the thread's stepping rule), never inside
// a double-byte or UTF-8 character. caseSensitive 0 (its low 16 bits are tested) folds
// single-byte characters as the case-blind comparisons do (ASCII letters only in UTF-8
// mode); multi-byte characters always compare exactly. keepTrailing 0 first drops trailing
// white space from both text and pattern (as strRightTrim). Takes at most text length
// times pattern length steps.
ZO_API unsigned int strLike(const unsigned char *text, uint32_t textLen, const unsigned char *pattern,
                            uint32_t patternLen, unsigned char anyString, unsigned char anyChar, unsigned char escape,
                            unsigned int caseSensitive, unsigned int keepTrailing);
ZO_API unsigned int strLike(const unsigned char *text, const unsigned char *pattern, unsigned char anyString,
                            unsigned char anyChar, unsigned char escape, unsigned int caseSensitive,
                            unsigned int keepTrailing);
