// The host's ODBC installer library: unixODBC's libodbcinst, which the module service loads
// for the name `odbccp32.dll`. The caller loads it and looks the two entry points up by
// their names; the functions here call them with the installer's argument rules met and
// give its results the meaning of the platform's private-profile functions.
#pragma once

#include <cstdint>

#include <zo/zoexport.h>

namespace zo::plat {

constexpr const char kInstallerGetSymbol[] = "SQLGetPrivateProfileString";
constexpr const char kInstallerWriteSymbol[] = "SQLWritePrivateProfileString";

// Calls the installer's SQLGetPrivateProfileString at `entry`. An empty section or key is
// passed as none (the list of sections, or of the section's keys), a null default as an
// empty one, and a size beyond the installer's int range as the largest it takes. Returns
// the installer's result: the length of the value or list copied into out. When the
// installer fails, out gets the default value (cut to size - 1 bytes), or an empty list
// when a list was asked for, and its length is returned. Nothing is written when size is 0.
ZO_API uint32_t installerGetString(void *entry, const unsigned char *section, const unsigned char *key,
                                   const unsigned char *defaultValue, unsigned char *out, uint32_t size,
                                   const char *fileName);
// Calls the installer's SQLWritePrivateProfileString at `entry` with the arguments as given
// (a null value deletes the entry, a null key the section). 1 when the installer reports
// success, 0 otherwise.
ZO_API int installerWriteString(void *entry, const unsigned char *section, const unsigned char *key,
                                const unsigned char *value, const char *fileName);

} // namespace zo::plat
