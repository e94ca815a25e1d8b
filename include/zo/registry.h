// Profile entries by profile file name. Each call is routed by the name's file part: the
// ODBC data-source profile `ODBC.INI` goes to the ODBC installer library, the other
// profiles that the registry keeps (`ODBCINST.INI`, `CONTROL.INI`, `RELAY.INI`,
// `RELAYINS.INI`, `NAVIG15.INI`, `ZOLIB.INI`, `TALMOR.INI`, and with useRegistryPath a name
// that is itself a key, `HKEY_LOCAL_MACHINE\SOFTWARE\X\`) to a registry key, and every other
// name to a real profile file (a bare name such as `WIN.INI` lives in the Windows
// directory). A section of a registry-kept profile is the subkey of that name, an entry a
// string value in it.
#pragma once

#include <cstdint>

#include <zo/zoexport.h>
#include <zo/zostatus.h>

// Reads an entry, or a list of names, into out (size bytes):
// - section and key given: the entry's value, or defaultValue when there is none (null
//   meaning empty), cut to size - 1 bytes and terminated; returns its length;
// - section given, key null or empty: the keys of the section; section null or empty: the
//   sections of the profile. A list is a sequence of terminated names closed by an extra
//   terminator; the length of the list without that closing terminator is returned. A list
//   that does not fit is cut, its last two bytes are terminators, and size - 2 is returned.
//   (On the registry route an empty list gives defaultValue instead.)
// Nothing is ever reported: every failure gives the default. Nothing is written when size
// is 0.
ZO_API uint32_t ntGetProfileString(const unsigned char *section, const unsigned char *key,
                                   const unsigned char *defaultValue, unsigned char *out, uint32_t size,
                                   const unsigned char *fileName, int useRegistryPath);

// Writes value under key in section; a null value deletes the entry (on the registry route
// an empty one too), a null key the whole section. ZoSuccess when the profile holds the
// change afterwards, ZoFailure when it could not be made.
ZO_API ZoStatus ntWriteProfileString(const unsigned char *section, const unsigned char *key, const unsigned char *value,
                                     const unsigned char *fileName, int useRegistryPath);

// Frees the ODBC installer library if it is loaded; the next call that needs it loads it
// again. Called when the library is unloaded from the process.
ZO_API void unloadOdbcInst();
