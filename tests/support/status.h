// Statuses in tests: every ZoStatus is checked, as the library's own code must.
#pragma once

#include <zo/zostatus.h>

#include <gtest/gtest.h>

namespace zotest {

// Expects success from a step the test relies on, reporting the caller's line when it
// fails, and lets the test go on (usable where a statement cannot be, as in a for header).
// The caller's place comes from the compiler built-ins rather than std::source_location,
// which the clang of the fuzz build cannot provide with this standard library.
inline void ok(ZoStatus status, const char *file = __builtin_FILE(), int line = __builtin_LINE()) {
    if (status != ZoSuccess)
        ADD_FAILURE_AT(file, line) << "expected ZoSuccess";
}

} // namespace zotest
