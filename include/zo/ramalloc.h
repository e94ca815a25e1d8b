// Memory services: the library's allocator and its block and string primitives.
#pragma once

#include <cstdint>

#include <zo/zoexport.h>
#include <zo/zostatus.h>

// Every allocation of the library goes through these. A request of 0 bytes yields a
// 1-byte block, so a successful allocation is never null. None of them records an error.
ZO_API void *ramAlloc(uint32_t size);
ZO_API void *ramAllocZ(uint32_t size);
ZO_API void ramFree(const void *block);
// Reallocates *block to size bytes (0 is passed as given). On failure returns 1 and leaves
// *block and its contents untouched. A null *block makes a new block.
ZO_API ZoStatus ramResize(void **block, uint32_t size);
ZO_API unsigned char *ramAllocStr(const unsigned char *text);
// Copies length bytes (NUL bytes included) and adds a terminating NUL.
ZO_API unsigned char *ramAllocStr(const unsigned char *text, uint32_t length);

// Copies forward, first byte to last: for overlapping areas only dest below src is safe.
ZO_API void memCopyHuge(void *dest, const void *src, uint32_t count);

// Atomic spin flag: 0 free, 1 held. bosMemLock returns 1 when the caller took the flag,
// 0 when it was already held; it never waits.
ZO_API unsigned bosMemLock(uint32_t *flag);
ZO_API void bosMemUnLock(uint32_t *flag);

// Block primitives exported with C linkage under their plain names.
ZO_EXTERN_C ZO_API void BUTMMCPD(void *dest, const void *src, uint32_t count);
ZO_EXTERN_C ZO_API short BUTMMCMP(const void *a, const void *b, uint32_t count);
ZO_EXTERN_C ZO_API void BUTMMSWP(void *a, void *b, unsigned count);
ZO_EXTERN_C ZO_API void BUTU8FIL(void *dest, unsigned char value, uint32_t count);
ZO_EXTERN_C ZO_API uint32_t BUTSTLEN(const char *text);
ZO_EXTERN_C ZO_API char *BUTSTCPY(char *dest, const char *src);
ZO_EXTERN_C ZO_API void BUTSTCAT(char *dest, const char *src);
ZO_EXTERN_C ZO_API int BUTSTCMP(const char *a, const char *b);

// Test hook: make allocations fail. With `every` false only the n-th allocation from now
// (1 = the next one) fails; with `every` true that one and all later ones fail. n = 0
// switches the hook off. Counts ramAlloc, ramAllocZ, ramAllocStr and ramResize calls of
// the calling process. Returns how many allocations were attempted since the last call.
ZO_API uint32_t ramTestFailAllocation(uint32_t n, bool every);
// How many allocations were attempted since the hook was last set.
ZO_API uint32_t ramTestAllocationCount();
