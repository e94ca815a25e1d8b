#include "platform/memory.h"

#include <atomic>
#include <cstdlib>

namespace zo::plat {

namespace {

// The hook is armed when failAt is nonzero. Each attempted allocation takes a ticket; the
// ticket equal to failAt fails, and with failEvery so do all later ones.
std::atomic<uint32_t> g_failAt{0};
std::atomic<bool> g_failEvery{false};
std::atomic<uint32_t> g_attempts{0};

bool hookRefuses() {
    uint32_t failAt = g_failAt.load(std::memory_order_relaxed);
    if (failAt == 0)
        return false;
    uint32_t ticket = g_attempts.fetch_add(1, std::memory_order_relaxed) + 1;
    return ticket == failAt || (ticket > failAt && g_failEvery.load(std::memory_order_relaxed));
}

} // namespace

void *heapAlloc(uint32_t size, bool zeroed) {
    if (hookRefuses())
        return nullptr;
    size = size == 0 ? 1 : size;
    return zeroed ? std::calloc(size, 1) : std::malloc(size);
}

bool heapResize(void **block, uint32_t size) {
    if (hookRefuses())
        return false;
    // realloc to 0 bytes may free the block and return null; keep a live block instead so
    // the caller's pointer always stays valid.
    void *grown = std::realloc(*block, size == 0 ? 1 : size);
    if (grown == nullptr)
        return false;
    *block = grown;
    return true;
}

void heapFree(const void *block) { std::free(const_cast<void *>(block)); }

uint32_t heapTestFailAllocation(uint32_t n, bool every) {
    uint32_t attempts = g_attempts.exchange(0, std::memory_order_relaxed);
    g_failEvery.store(every, std::memory_order_relaxed);
    g_failAt.store(n, std::memory_order_relaxed);
    return attempts;
}

uint32_t heapTestAllocationCount() { return g_attempts.load(std::memory_order_relaxed); }

} // namespace zo::plat
