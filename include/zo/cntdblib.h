// Dynamic libraries: the family's library names, the library's resource library (naming,
// loading and reference-counted release, and the per-process calls with which drivers hold
// it), and the per-process count of driver initialisations.
//
// Module handles are opaque pointers (null: no module). Module file names are in Windows
// form (`C:\usr\lib\libzo.DLL`), and a `.DLL` name loads the host's `.so` of that name;
// the resource library of a module `DIR\BASE.EXT` is `DIR\BASER.DLL`.
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

// Loads a library. With familyName 0, `name` as given (a full name, or a bare one found by
// the host's search rules). Otherwise the library of the family named `name`: the file
// `name` + "10" + ".DLL" in the directory of the resource library (of the host program when
// no resource library is loaded). The module handle, or null; nothing is recorded.
ZO_API void *bosLoadLibrary(const unsigned char *name, unsigned short familyName);
// Appends "10" to a family name in place (the buffer must have room for it).
ZO_API void bosdllname(unsigned char *name);

// Counts the drivers of the process that have started: with starting non-zero adds one and
// returns the count before, otherwise takes one away and returns the count after, so a
// driver learns that it is the first to start or the last to stop from a result of 0. The
// 16-bit count neither wraps below 0 nor past 65,535: it stays where it is. Under its own
// lock, which zoDisableStaticCriticalSections leaves enabled.
ZO_API unsigned short countDBLibInits(unsigned short starting);
