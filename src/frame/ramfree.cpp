#include <zo/ramalloc.h>

#include "platform/memory.h"

void ramFree(const void *block) { zo::plat::heapFree(block); }
