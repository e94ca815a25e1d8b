// Growth of a heap buffer with a write cursor, in 512-byte steps, with 16-bit sizes.
#include <zo/buttoken.h>

#include <zo/ramalloc.h>

#include <cstdint>

namespace {

constexpr uint32_t kStep = 512;
constexpr uint32_t kMostBytes = 0xFFFF;

} // namespace

ZoStatus butxpand(unsigned char **buffer, unsigned char **cursor, uint16_t *size, uint16_t needed) {
    if (buffer == nullptr || cursor == nullptr || size == nullptr)
        return ZoFailure;
    const uint32_t step = (needed & ~(kStep - 1)) + kStep;
    if (*buffer == nullptr) {
        if (step > kMostBytes)
            return ZoFailure;
        auto *block = static_cast<unsigned char *>(ramAlloc(step));
        if (block == nullptr)
            return ZoFailure;
        *buffer = *cursor = block;
        *size = static_cast<uint16_t>(step);
        return ZoSuccess;
    }
    const uintptr_t start = reinterpret_cast<uintptr_t>(*buffer), at = reinterpret_cast<uintptr_t>(*cursor);
    if (at < start || at - start > *size)
        return ZoFailure;
    const uint32_t offset = static_cast<uint32_t>(at - start);
    if (*size - offset >= needed)
        return ZoSuccess;
    // One step always suffices: it is larger than needed.
    const uint32_t grown = *size + step;
    void *block = *buffer;
    if (grown > kMostBytes || ramResize(&block, grown) != ZoSuccess)
        return ZoFailure;
    *buffer = static_cast<unsigned char *>(block);
    *cursor = *buffer + offset;
    *size = static_cast<uint16_t>(grown);
    return ZoSuccess;
}
