// Path names: completing, building, splitting and shortening Windows-form paths, and the
// process's current directory. Path buffers hold at least 256 bytes; results are at most
// 254 characters and a terminator.
#pragma once

#include <zo/zoexport.h>
#include <zo/zoobject.h>

// Completes path in place into a full path (`C:\DIR\F`), removing `\..\` steps. With
// convert set the work is done in the OEM code page and the result is upper-cased.
// Network names (`\\srv\share`) and host-native paths (`/home/u`) are kept as given.
ZO_API void bosfpath(unsigned char *path, int convert);
// Builds a full upper-case path from a directory (may be null), a name and a default
// extension (may be null), added when the last component has none.
ZO_API void bospath(unsigned char *out, const unsigned char *dir, const unsigned char *name,
                    const unsigned char *defaultExt);
// Splits path in place: path keeps the directory (with its trailing `\` or `X:`), name the
// file part (at most 128 characters), ext at most 3 characters after the first dot of it.
// A longer file part is cut; with report set that is recorded (1524) and the status is 1.
ZO_API ZoStatus bosParseName(unsigned char *path, unsigned char *name, unsigned char *ext, unsigned int report);
// Removes from the front of a full path what it shares with the current directory.
ZO_API void bosmpath(unsigned char *path);
// The current directory (at most 255 bytes) in the ANSI code page, with a trailing
// backslash when withSlash is set.
ZO_API void bosgtcwd(unsigned char *buf, unsigned short withSlash);
// Makes dir the current directory; the second argument is not used.
ZO_API ZoStatus bosstcwd(const unsigned char *dir, unsigned short drive);
