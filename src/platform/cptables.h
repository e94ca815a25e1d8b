// The active ANSI code page's tables, read directly by the library's hot loops (case-blind
// comparison). Internal to the library: the symbol is not exported, so code outside it uses
// the functions of codepage.h.
#pragma once

namespace zo::plat {

struct CodePageTables {
    unsigned ansi;
    bool doubleByte;
    unsigned char lengths[256]; // 2 for a lead byte, 1 else
    unsigned char upper[256];   // single-byte case mapping; lead bytes map to themselves
    unsigned char lower[256];
};

// Rebuilt when the code page is chosen (at attach, or by the test hook).
extern CodePageTables g_codePageTables;

inline const CodePageTables &codePageTables() { return g_codePageTables; }

} // namespace zo::plat
