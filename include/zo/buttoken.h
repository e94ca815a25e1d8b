// Token helpers for drivers that cut text into fixed buffers without the scanner classes.
#pragma once

#include <cstdint>

#include <zo/zoexport.h>
#include <zo/zostatus.h>

// The flags word of buttoken: the mode in bits 0-11 and three switches.
enum : uint16_t {
    ButTokenModeMask = 0x0FFF,
    ButTokenKeepCase = 0x2000, // do not upper-case words
    ButTokenToHeap = 0x4000,   // continue a token that does not fit in a heap copy
    ButTokenDrop = 0x8000,     // drop the part of a token that does not fit
};

// Modes, by what makes up a word token:
//   0  letters, multi-byte characters, digits and '_'
//   1  a plain run: every character above the blank up to one of , / ( ) | ; inside
//      backquotes every character (a backquote opens and closes)
//   2  as 0, plus # and $, and \ followed by - + * or / (both taken); a word may start with #
//   3  as 0; a word may also start with '.', and then a further '.' joins it, but once it is
//      longer than one character the character after a '.' ends it; a number followed by
//      '.' and a letter ends before the '.'
//   4  as 0, plus : and . ; a digit or ':' starts a word
//   5  from its first letter a word runs to the end of the text
//   6  as 2
// A mode above 6 reads as mode 0.

// Reads the token at *cursor (after white space), writes it NUL-terminated to out, which
// holds outSize bytes, and moves *cursor past it. Words are upper-cased unless
// ButTokenKeepCase is given; numbers, quoted strings (a doubled quote inside is stored
// once), operators, brace groups and parameter markers are kept as they are.
//
// A token that does not fit: with ButTokenToHeap it goes on in a ramAlloc block whose
// address is stored in out from byte 2 on (unaligned), after the token's first byte and a
// NUL; the caller frees the block. This needs outSize >= 2 + the size of a pointer; a
// smaller out is treated as without the flag. With ButTokenDrop the rest of the token is
// read but not stored. Otherwise the call fails with error 2700.
//
// A quoted string or brace group that the text ends in before it is closed fails with
// error 2703. On failure *cursor is not moved and no heap block is left to the caller.
ZO_EXTERN_C ZO_API ZoStatus buttoken(unsigned char *out, const unsigned char **cursor, uint16_t flags,
                                     uint32_t outSize);

// Makes room for `needed` more bytes after *cursor in the ramAlloc block *buffer of *size
// bytes: without a block, allocates one step of (needed rounded down to a multiple of 512)
// + 512 bytes; with one that lacks the room, grows it by one such step and keeps *cursor at
// the same offset. Sizes stay below 65,536: a growth past that fails, as does an allocation
// failure, a null argument or a cursor outside the block; nothing changes then.
ZO_EXTERN_C ZO_API ZoStatus butxpand(unsigned char **buffer, unsigned char **cursor, uint16_t *size, uint16_t needed);
