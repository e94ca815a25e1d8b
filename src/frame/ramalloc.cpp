// Allocation through the host heap of the platform layer, whose test hook makes
// allocations fail.
#include <zo/ramalloc.h>
#include <zo/zoobject.h>

#include <atomic>
#include <cstring>

#include "platform/memory.h"

void *ramAlloc(uint32_t size) { return zo::plat::heapAlloc(size, false); }

void *ramAllocZ(uint32_t size) { return zo::plat::heapAlloc(size, true); }

unsigned char *ramAllocStr(const unsigned char *text, uint32_t length) {
    auto *copy = static_cast<unsigned char *>(ramAlloc(length + 1));
    if (copy == nullptr)
        return nullptr;
    std::memcpy(copy, text, length);
    copy[length] = 0;
    return copy;
}

unsigned char *ramAllocStr(const unsigned char *text) {
    return ramAllocStr(text, static_cast<uint32_t>(std::strlen(reinterpret_cast<const char *>(text))));
}

uint32_t ramTestFailAllocation(uint32_t n, bool every) { return zo::plat::heapTestFailAllocation(n, every); }

uint32_t ramTestAllocationCount() { return zo::plat::heapTestAllocationCount(); }

unsigned bosMemLock(uint32_t *flag) {
    return std::atomic_ref<uint32_t>(*flag).exchange(1, std::memory_order_acquire) == 0 ? 1 : 0;
}

void bosMemUnLock(uint32_t *flag) { std::atomic_ref<uint32_t>(*flag).exchange(0, std::memory_order_release); }
