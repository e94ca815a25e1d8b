// Letters among the single bytes of the process's ANSI code page: the test that the C
// runtime's isalpha makes in a locale set to that code page.
#pragma once

#include <zo/zoexport.h>

namespace zo::plat {

// 256 entries, indexed by byte: 1 for a letter of the active ANSI code page (ASCII letters
// and the code page's own, such as 0xE9 in 1252 or the half-width katakana of 932), 0
// else. Lead bytes of a double-byte page and bytes the page does not define are no
// letters. The table of each code page is built on first use and never changes after, so
// a pointer to it stays valid for the life of the process.
ZO_API const unsigned char *alphaByteTable();

} // namespace zo::plat
