#include <zo/ramalloc.h>
#include <zo/zoobject.h>

#include <cstdlib>

#include "frame/ramhook.h"

ZoStatus ramResize(void **block, uint32_t size) {
    if (ramHookRefuses())
        return ZoFailure;
    // realloc to 0 bytes may free the block and return null; keep a live block instead so
    // the caller's pointer always stays valid.
    void *grown = std::realloc(*block, size == 0 ? 1 : size);
    if (grown == nullptr)
        return ZoFailure;
    *block = grown;
    return ZoSuccess;
}
