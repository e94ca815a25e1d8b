// The host heap under the library's allocator, with the test hook that makes allocations
// fail. The platform's own allocations go through here too, so the hook reaches them.
#pragma once

#include <cstdint>

#include <zo/zoexport.h>

namespace zo::plat {

// A block of `size` bytes (0 is taken as 1), zero-filled when asked; null on exhaustion or
// when the test hook refuses.
ZO_API void *heapAlloc(uint32_t size, bool zeroed);
// Resizes *block to `size` bytes (0 is taken as 1, so the block stays live). On failure
// *block and its contents are untouched and false is returned. A null *block makes a new
// block.
ZO_API bool heapResize(void **block, uint32_t size);
ZO_API void heapFree(const void *block);

// The test hook: with `every` false only the n-th allocation from now (1 = the next one)
// fails; with `every` true that one and all later ones fail; n = 0 switches it off.
// Returns how many allocations were attempted since the hook was last set.
ZO_API uint32_t heapTestFailAllocation(uint32_t n, bool every);
ZO_API uint32_t heapTestAllocationCount();

} // namespace zo::plat
