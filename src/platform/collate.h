// Locale collation of ANSI code page text through an ICU collator of the user's locale.
#pragma once

#include <cstddef>
#include <cstdint>

#include <zo/zoexport.h>

namespace zo::plat {

// Orders two texts of the ANSI code page (aLen and bLen bytes) by the collation of the
// user's locale: negative, 0 or positive. ignoreCase compares letters and accents but not
// case. The collators are opened on first use, shared by all threads (ICU's collation
// calls on a const collator are thread-safe) and closed by collateRelease. When no
// collator can be had the texts are ordered by their UCS-2 units.
ZO_API int collateCompare(const unsigned char *a, uint32_t aLen, const unsigned char *b, uint32_t bLen,
                          bool ignoreCase);
// The same for NUL-terminated texts.
ZO_API int collateCompare(const unsigned char *a, const unsigned char *b, bool ignoreCase);

// The ICU locale name for the given environment values (each may be null): the first
// non-empty of LC_ALL, LC_COLLATE and LANG, without its ".codeset" and "@modifier"; ""
// (the root collation) when all are unset or the value is "C" or "POSIX".
ZO_API void collationLocaleName(const char *lcAll, const char *lcCollate, const char *lang, char *name,
                                std::size_t size);

// Closes the collators; a later comparison opens them again.
void collateRelease();

} // namespace zo::plat
