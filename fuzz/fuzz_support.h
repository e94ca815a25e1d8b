// Helpers shared by the fuzz targets.
#pragma once

#include <cstdlib>

#include "platform/codepage.h"

namespace zofuzz {

// Stops the run (a finding) when an invariant does not hold.
inline void check(bool condition) {
    if (!condition)
        std::abort();
}

// Switching code pages rebuilds their tables: only switch when the page changes.
inline void useCodePage(unsigned page) {
    static unsigned current = 0;
    if (page != current && zo::plat::setCodePageForTest(page))
        current = page;
}

} // namespace zofuzz
