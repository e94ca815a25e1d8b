// Files: open, read, write, lock and close by handle; delete, rename and test files;
// enumerate files, directories and drives; take lines from text in memory.
//
// A handle is the host's file descriptor plus one, so 0 always means "no file". Names are
// byte strings of the ANSI code page in Windows form (`C:\DIR\FILE.TXT`, `\\srv\share\f`);
// host-native absolute paths (`/home/u/f`) are accepted too. Failures are recorded in the
// calling thread's error list (numbers 1501-1524 and 30040-30045).
#pragma once

#include <cstdint>

#include <zo/zoexport.h>
#include <zo/zoobject.h>

// Open modes of bosFileOpen.
constexpr uint32_t BOS_CREATE = 0x01;         // create or truncate; read-write
constexpr uint32_t BOS_READWRITE = 0x02;      // read-write (else read only)
constexpr uint32_t BOS_SEARCHPATH = 0x10;     // on failure try each directory of PATH
constexpr uint32_t BOS_EXCLUSIVE = 0x20;      // others may neither read nor write
constexpr uint32_t BOS_TEMPNAME = 0x40;       // make a new temporary file; name receives it
constexpr uint32_t BOS_TEMPOTHERDRIVE = 0x80; // as BOS_TEMPNAME, on another fixed drive's root

// Attribute word of bosfattr.
constexpr unsigned short BOS_ATTR_FILE = 0x1;
constexpr unsigned short BOS_ATTR_DIRECTORY = 0x2;
constexpr unsigned short BOS_ATTR_READONLY = 0x4;

// Opens or creates `name`. With BOS_TEMPNAME or BOS_TEMPOTHERDRIVE `name` must be a
// writable 256-byte buffer and receives the new file's full name. Stores the handle, or 0
// on a reported failure.
ZO_API ZoStatus bosFileOpen(unsigned char *name, uint32_t mode, int *handle);
// Handle 0 is nothing to do.
ZO_API ZoStatus bosFileClose(int handle);
// offset -1 reads (writes) at the current position, any other offset from the file's start.
ZO_API ZoStatus bosFileRead(int handle, int32_t offset, void *buf, uint32_t len, uint32_t *got);
// Writes all len bytes (in pieces of at most 65,534 bytes) or fails.
ZO_API ZoStatus bosFileWrite(int handle, int32_t offset, const void *buf, uint32_t len);
// origin 0 start, 1 current, 2 end. The new position, or 0xFFFFFFFF on failure.
ZO_API uint32_t bosFileSeek(int handle, int32_t offset, unsigned short origin);
// Sets the file's length, truncating or extending with zero bytes. Handle 0 does nothing.
ZO_API ZoStatus bosFileSize(int handle, uint32_t size);
// Writes the file's buffered data through to the device.
ZO_API void bosflush(int handle);
// Writes the file's data through to the device, recording a failure as the transfers do
// (bosflush reports nothing).
ZO_API ZoStatus bosFileCommit(int handle);
// unlock 0 locks, anything else unlocks length bytes from offset; never waits.
ZO_API ZoStatus bosRegionLock(int handle, unsigned short unlock, uint32_t offset, uint32_t length);

// A file that does not exist is deleted successfully.
ZO_API ZoStatus bosFileDelete(const unsigned char *name);
ZO_API ZoStatus bosrname(const unsigned char *oldName, const unsigned char *newName);
// Renames from onto to, replacing an existing to in one step, for a file written in full
// under a temporary name beside it: readers see either the old file or the new one. The
// directory is then synced so that the rename lasts, as far as the host allows (a failure
// there is not reported: the rename has happened). A failed rename is recorded as bosrname
// records it (30042, both names).
ZO_API ZoStatus bosFileReplace(const unsigned char *from, const unsigned char *to);
// 0 nothing there, 1 file, 5 read-only file, 2 directory.
ZO_API unsigned short bosfattr(const unsigned char *name);
// 1 for an ordinary file, 0 otherwise (a directory too).
ZO_API unsigned short bosexist(const unsigned char *name);
ZO_API unsigned short bosftest(const unsigned char *name);
// Last-write date as "MM/DD/YYYY" (UTC, at least 11 bytes) and the low 32 bits of the size.
// Status 1 without an error when the file does not exist.
ZO_API ZoStatus bosFileDateSize(const unsigned char *name, unsigned char *date, uint32_t *size);
// Copies name into out (they may be the same buffer, of 256 bytes) adapted to its volume:
// upper-cased when the volume keeps no case and upperCase is set, converted to the OEM code
// page unless the volume stores long Unicode names. Status 1, nothing recorded, when the
// volume cannot be asked (or the name does not fit in 256 bytes).
ZO_API ZoStatus applyOEMConvert(const unsigned char *name, unsigned char *out, int upperCase);

// Enumerations. *cursor is null before the first call; the function allocates it and frees
// it (setting it back to null) at the end. Status 1 only when the cursor cannot be made.
// Each match of the wildcard pattern given in `name` on the first call (name part only,
// `.` and `..` included); at the end name is unchanged.
ZO_API ZoStatus bosFindFiles(unsigned char **cursor, unsigned char *name);
// Subdirectories of the current directory except `.`, lower-cased; empty at the end.
ZO_API ZoStatus bosGetDirectoryNames(void **cursor, unsigned char *name);
// Present drives as one lower-case letter (`c`); empty at the end.
ZO_API ZoStatus bosGetFileSystems(void **cursor, unsigned char *drive);

// Takes the next line of text from index *pos into line (at most size characters and a
// terminator). *result: the line's length, -1 at the end of the text, -2 when the line does
// not fit (*pos then unchanged). Quotes may hold newlines; a line starting with `;` keeps
// only the `;`; 0x1A ends the text.
ZO_API void bosgetbl(const unsigned char *text, unsigned short *pos, unsigned char *line, unsigned short size,
                     short *result);
