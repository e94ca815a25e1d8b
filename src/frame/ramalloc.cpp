// Allocation through the C runtime heap, with the test hook that makes allocations fail.
#include <zo/ramalloc.h>
#include <zo/zoobject.h>

#include <atomic>
#include <cstdlib>
#include <cstring>

#include "frame/ramhook.h"

namespace {
// The hook is armed when failAt is nonzero. Each attempted allocation takes a ticket; the
// ticket equal to failAt fails, and with failEvery so do all later ones.
std::atomic<uint32_t> g_failAt{0};
std::atomic<bool> g_failEvery{false};
std::atomic<uint32_t> g_attempts{0};
} // namespace

bool ramHookRefuses() {
    uint32_t failAt = g_failAt.load(std::memory_order_relaxed);
    if (failAt == 0)
        return false;
    uint32_t ticket = g_attempts.fetch_add(1, std::memory_order_relaxed) + 1;
    return ticket == failAt || (ticket > failAt && g_failEvery.load(std::memory_order_relaxed));
}

uint32_t ramTestFailAllocation(uint32_t n, bool every) {
    uint32_t attempts = g_attempts.exchange(0, std::memory_order_relaxed);
    g_failEvery.store(every, std::memory_order_relaxed);
    g_failAt.store(n, std::memory_order_relaxed);
    return attempts;
}

uint32_t ramTestAllocationCount() { return g_attempts.load(std::memory_order_relaxed); }

void *ramAlloc(uint32_t size) {
    if (ramHookRefuses())
        return nullptr;
    return std::malloc(size == 0 ? 1 : size);
}

void *ramAllocZ(uint32_t size) {
    if (ramHookRefuses())
        return nullptr;
    return std::calloc(size == 0 ? 1 : size, 1);
}

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

unsigned bosMemLock(uint32_t *flag) {
    return std::atomic_ref<uint32_t>(*flag).exchange(1, std::memory_order_acquire) == 0 ? 1 : 0;
}

void bosMemUnLock(uint32_t *flag) { std::atomic_ref<uint32_t>(*flag).exchange(0, std::memory_order_release); }
