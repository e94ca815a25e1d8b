// Profile (INI) files of the host: the private-profile contract on text files of
// `[section]` headers and `key=value` entries.
//
// A profile is named in Windows form. A full name (`C:\dir\x.ini`, `\dir\x.ini`,
// `\\server\share\x.ini`, or a host path `/etc/x.ini`) is used as it is, through the drive
// table and its case-blind name resolution; any other name (`WIN.INI`, `sub\x.ini`) lives in
// the library's Windows directory: ZO_WINDIR (a host path or a Windows-form name), else
// `$XDG_CONFIG_HOME/zo`, else `$HOME/.config/zo`. The environment is read once per process.
//
// A read answers from the bytes of an earlier read of the file while the file's status
// shows it unchanged (see profile.cpp). Reading takes no lock: every write replaces the whole file at once (a temporary file in
// the same directory, written, flushed to the device and renamed over the old one, then the
// directory flushed), so a reader sees the old file or the new one, never a torn one.
// Writers take an advisory lock on the file for the whole read-modify-replace, so two
// processes writing different entries of one file at the same time both land.
//
// Names are bytes of the ANSI code page; functions that walk text take the caller's
// character-length table (256 lengths by first byte), so that the trail byte of a
// double-byte character is never taken for `]`, `=` or a path separator.
#pragma once

#include <cstddef>
#include <cstdint>

#include <zo/zoexport.h>

namespace zo::plat {

// The Windows directory in Windows form, without a trailing backslash. False when it does
// not fit in size bytes or cannot be named in Windows form.
ZO_API bool windowsDirectory(unsigned char *out, std::size_t size);
// The host path of a profile name (see above). False when it cannot be mapped or does not fit.
ZO_API bool profileHostPath(const unsigned char *fileName, const unsigned char *charLengths, char *out,
                            std::size_t size);

// The get-private-profile-string contract. With a section and a key, copies the entry's
// value (or defaultValue, null meaning empty, when the file, the section or the key is
// missing) into out, cut to size - 1 bytes at a character boundary and terminated, and
// returns its length. With a section and no key (null or empty), the keys of the section;
// with no section (null or empty), the sections of the file: a list of terminated names
// closed by an extra terminator, returning its length without that closing terminator. A
// list that does not fit is cut, its last two bytes are terminators and size - 2 is
// returned. Nothing is written when size is 0.
ZO_API uint32_t profileGetString(const unsigned char *section, const unsigned char *key,
                                 const unsigned char *defaultValue, unsigned char *out, uint32_t size,
                                 const unsigned char *fileName, const unsigned char *charLengths);

// The write-private-profile-string contract: sets key to value in section (creating the
// file, the section or the entry as needed); a null value deletes the entry, a null key the
// whole section. Non-zero when the file holds the change afterwards (deleting what is not
// there succeeds without touching the file); 0 when it could not be written, and for names
// and values that the file could not hold: an empty section or key, a line break anywhere,
// a `]` in a section name, a key with `=` or starting with `[`, `;` or `#`, or a section
// or key ending in the first byte of a double-byte character.
ZO_API int profileWriteString(const unsigned char *section, const unsigned char *key, const unsigned char *value,
                              const unsigned char *fileName, const unsigned char *charLengths);

// Frees the profiles kept from recent reads (at process detach).
ZO_API void profileRelease();
// Test hook: how long ago a file must have changed for its bytes to be kept from a read
// (negative: the default, two seconds).
ZO_API void profileSetSettleTimeForTest(int64_t nanoseconds);
// Test hook: forgets the Windows directory, so that the environment is read again, and the
// profiles kept from recent reads.
ZO_API void profileResetForTest();

} // namespace zo::plat
