// Numbers to and from decimal text, bytes to and from hexadecimal text, and the
// reversible scrambling of stored text.
#pragma once

#include <cstdint>

#include <zo/zoexport.h>
#include <zo/zoobject.h>

// ---- Integer to decimal text. Each writes the digits and a NUL and returns the number of
// characters written (the NUL not counted).

// The digits of value; a single 0 for zero.
ZO_API unsigned short convert(unsigned char *out, uint32_t value);
// A minus sign for a negative value, then the digits of its magnitude.
ZO_API unsigned short convert(unsigned char *out, int32_t value);
// A field of width bytes (then a NUL), right-aligned (leftAlign 0) or left-aligned, using
// at most 10 digit places: leading zeros become blanks (right-aligned) or are left out;
// the units digit is always written. Returns the digits written; a value that does not
// fit fills the field with width - 1 asterisks and a blank and returns 0.
ZO_API unsigned short convert(unsigned char *out, unsigned short width, uint32_t value, unsigned short leftAlign);

// ---- Decimal text to integer. Leading blanks (white space and the double-byte
// ideographic space) and plus signs are skipped, then digits are read, then trailing
// blanks; a minus sign may follow the leading blanks in the signed forms. A text without
// digits gives 0. On failure the output is left alone and error 2701 (out of range) or
// 2702 (not a number) is added with the text as its parameter.

ZO_API ZoStatus convert(const unsigned char *text, uint32_t *out);      // 0 .. 4,294,967,295
ZO_API ZoStatus convert(const unsigned char *text, int32_t *out);       // -2,147,483,648 .. 2,147,483,647
ZO_API ZoStatus convert(const unsigned char *text, uint16_t *out);      // 0 .. 65,535
ZO_API ZoStatus convert(const unsigned char *text, int16_t *out);       // -32,768 .. 32,767
ZO_API ZoStatus convert(const unsigned char *text, unsigned char *out); // 0 .. 255
ZO_API ZoStatus convert(const unsigned char *text, char *out);          // -128 .. 127
// Counted forms: the n bytes (up to a NUL among them) parsed as the unsigned forms above.
ZO_API ZoStatus convert(const unsigned char *bytes, unsigned short n, uint16_t *out);
ZO_API ZoStatus convert(const unsigned char *bytes, unsigned short n, uint32_t *out);

// ---- Hexadecimal. Output digits are 0-9 and A-F; input digits may be either case.

// At least minDigits digits (and at least one), leading zeros, and a NUL. Returns the
// number of digits.
ZO_API uint32_t hexify(unsigned char *out, uint32_t value, unsigned short minDigits);
// Two digits per byte, high nibble first, no NUL. Returns 2n. out may equal bytes (the
// text then replaces the bytes it was made from).
ZO_API uint32_t hexify(unsigned char *out, const unsigned char *bytes, uint32_t n);
ZO_API uint32_t hexifyHuge(unsigned char *out, const unsigned char *bytes, uint32_t n);
// The same as 16-bit characters: each digit followed by a 0 byte. Returns 4n; out may
// equal bytes.
ZO_API uint32_t wideHexify(unsigned char *out, const unsigned char *bytes, uint32_t n);

// n digits to n / 2 bytes; an odd last digit gives a byte holding only its high nibble.
// A character that is not a hexadecimal digit adds error 2708 and returns 1, with out
// untouched. out may equal hex.
ZO_API ZoStatus dehexify(unsigned char *out, const unsigned char *hex, uint32_t n);
ZO_API ZoStatus dehexifyHuge(unsigned char *out, const unsigned char *hex, uint32_t n);
// As dehexify, but every decoded byte equal to doubled is written twice; *outLen (when
// outLen is not null) receives the number of bytes written.
ZO_API ZoStatus dehexify(unsigned char *out, const unsigned char *hex, uint32_t n, unsigned char doubled,
                         uint32_t *outLen);
// As dehexify over the n bytes of 16-bit hexadecimal text; 0 bytes are skipped.
ZO_API ZoStatus wideDehexify(unsigned char *out, const unsigned char *hex, uint32_t n);
// 1 when all n bytes are hexadecimal digits, else 0.
ZO_API unsigned short isHexString(const unsigned char *text, uint32_t n);

// ---- Scrambling of a buffer in place. decrypt undoes encrypt with the same mode and key;
// other modes leave the buffer unchanged. key may be null (a built-in key is used).
//   mode 1: every byte complemented;
//   mode 2: as mode 1, but CR and LF bytes are left alone so that the scrambled text keeps
//           its lines. The bytes 0xF2 and 0xF5 scramble to CR and LF and therefore do not
//           come back: text holding them must not be stored in this mode (see
//           checkScrambleReversible). Files written in this mode rely on it as it is;
//   mode 3: a 32-round TEA-like cipher on byte pairs with a 4-byte key.
ZO_API void encrypt(unsigned char *buffer, uint32_t n, unsigned short mode, const unsigned char *key);
ZO_API void decrypt(unsigned char *buffer, uint32_t n, unsigned short mode, const unsigned char *key);
// Whether decrypt will give back these n bytes after encrypt in this mode: 0 when it will,
// else 1 with error 2711 added, its parameter the offset of the first byte that would be
// lost. Callers that store scrambled text check it first and refuse text that fails.
ZO_API ZoStatus checkScrambleReversible(const unsigned char *buffer, uint32_t n, unsigned short mode);
