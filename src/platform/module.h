// Loadable modules of the host.
//
// The library names modules in Windows form (`C:\usr\lib\libzo.DLL`); the functions here
// translate those names to and from host paths (`/usr/lib/libzo.so.1`): the directory
// through the drive table, `\` to `/`, and the host suffix (".so" and any version numbers
// after it) to ".DLL" and back. A module handle is an opaque pointer; null is no module.
#pragma once

#include <cstdint>

#include <zo/zoexport.h>

namespace zo::plat {

// Handle of the loaded module that contains the given address (null when none). The
// handle stays valid while that module is loaded; it holds no reference of its own.
ZO_API void *moduleContaining(const void *address);

// Loads a module given by a Windows-form name (a full path, or a bare name that the host's
// search rules find). A host path (`/x/liby.so`) is accepted as it stands. Each successful
// load holds a reference that moduleFree gives back; an outside module (see below) stays
// in the process after its last reference goes. Null on failure. charLengths is the
// caller's character stepping table (256 lengths by first byte), so that the second byte
// of a double-byte character is never taken for a backslash.
ZO_API void *moduleLoad(const unsigned char *name, const unsigned char *charLengths);
ZO_API void moduleFree(void *module);
// Address of an exported symbol of the module, or null.
ZO_API void *moduleSymbol(void *module, const char *name);

// The module's file name in Windows form, NUL-terminated; a null module names the host
// program. Returns the length, or 0 when the name cannot be had or does not fit in size
// bytes (out then holds an empty text).
ZO_API uint32_t moduleFileName(void *module, unsigned char *out, uint32_t size);

// Reads text `id` of a resource module's string table into buffer, cut to size - 1 bytes
// and NUL-terminated. Returns the bytes copied: 0 (an empty text) when the module has no
// string table or no such text.
ZO_API int moduleLoadString(void *module, unsigned id, unsigned char *buffer, int size);

// Test hook: loads hostName for the outside module windowsName (`odbccp32.dll`) instead of
// its host counterpart; a null hostName restores the counterpart. Not safe while other
// threads load modules.
ZO_API void moduleTestReplaceOutside(const char *windowsName, const char *hostName);

// Name translation between host paths and Windows form (see above), through the drive
// table of the path services; a bare module name (no directory) stays bare. Each returns
// false, with out left empty, when the result does not fit in size bytes or the name
// cannot be mapped (a drive that the table does not know). A host path's bytes '/' and
// ".so" never occur inside a double-byte character; a Windows name is walked by
// charLengths.
ZO_API bool hostPathToWindows(const char *hostPath, unsigned char *out, uint32_t size);
ZO_API bool windowsPathToHost(const unsigned char *name, char *out, uint32_t size, const unsigned char *charLengths);

} // namespace zo::plat
