// Internal: the size above which the conversions between UTF-8 and the ANSI code page work
// character by character instead of through a temporary UCS-2 buffer.
#pragma once

#include <cstdint>

#include <zo/zoexport.h>

namespace zo::text {

// Sources of at most this many bytes (after their leading ASCII run) go through the buffer.
constexpr uint32_t kWholeTextLimit = 0x200000;

// Test hook: sets the limit (so that both ways can be compared on small texts) and returns
// the one before. Not safe while other threads convert.
ZO_API uint32_t setWholeTextLimitForTest(uint32_t bytes);

} // namespace zo::text
