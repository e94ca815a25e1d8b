// The library's resource library: naming, loading and reference-counted release, and the
// per-process calls with which drivers hold it.
//
// Module handles are opaque pointers (null: no module). Module file names are in Windows
// form (`C:\usr\lib\libzo.DLL`); the resource library of a module `DIR\BASE.EXT` is
// `DIR\BASER.DLL`.
#pragma once

#include <cstdint>

#include <zo/zoexport.h>
#include <zo/zoobject.h>

// Splits the module's file name (at most 255 bytes) at its last backslash: directory gets
// the part before it, fileName the part after; either may be null (each needs 256 bytes).
// 1 when the name cannot be had or holds no backslash.
ZO_API ZoStatus getDllFileNameAndDirectory(void *module, unsigned char *directory, unsigned char *fileName);

// Loads the resource library of `module`: "R.DLL" takes the place of the file name's
// extension (with replaceLastChar, of the character before it and the extension), first in
// the module's directory, then by the host's search rules. With *refCount non-zero the
// library is loaded already and only the count goes up. On success *resource holds the
// handle and *refCount is one higher. 1 when the name cannot be built or nothing loads.
ZO_API ZoStatus bosLoadResourceDLL(void *module, int replaceLastChar, void **resource, uint32_t *refCount);
// Gives back one hold: frees the library when the last one goes and sets *resource to
// null. Nothing happens when *resource is null. Always 0.
ZO_API ZoStatus bosFreeResourceDLL(void **resource, uint32_t *refCount);

// Loads the library's own resource library (the message texts) into the per-task record,
// or counts one more hold on it. Always 1, also when no resource library was found.
ZO_API unsigned short mdsPerTaskInit(void);
// Gives back the hold of a matching mdsPerTaskInit; the last one frees the library.
ZO_API void mdsPerTaskTerm(void);
