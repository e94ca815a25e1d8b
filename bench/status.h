// Statuses in benchmarks: a failed step would make the figures meaningless, so it stops
// the run at once.
#pragma once

#include <zo/zostatus.h>

#include <cstdio>
#include <cstdlib>

namespace zobench {

inline void ok(ZoStatus status) {
    if (status != ZoSuccess) {
        std::fputs("benchmark step failed\n", stderr);
        std::abort();
    }
}

} // namespace zobench
