#include <zo/ramalloc.h>
#include <zo/zoobject.h>

#include "platform/memory.h"

ZoStatus ramResize(void **block, uint32_t size) { return zo::plat::heapResize(block, size) ? ZoSuccess : ZoFailure; }
