#include <zo/ramalloc.h>

#include <cstdlib>

void ramFree(const void *block) { std::free(const_cast<void *>(block)); }
