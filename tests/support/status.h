// Statuses in tests: every ZoStatus is checked, as the library's own code must.
#pragma once

#include <zo/zostatus.h>

#include <gtest/gtest.h>

#include <source_location>

namespace zotest {

// Expects success from a step the test relies on, reporting the caller's line when it
// fails, and lets the test go on (usable where a statement cannot be, as in a for header).
inline void ok(ZoStatus status, std::source_location where = std::source_location::current()) {
    if (status != ZoSuccess)
        ADD_FAILURE_AT(where.file_name(), static_cast<int>(where.line())) << "expected ZoSuccess";
}

} // namespace zotest
