// Internal: what tests may ask the file block cache.
#pragma once

#include <cstdint>

#include <zo/zoexport.h>

// 1 when the block (file offset / 8192) of the file is cached, else 0.
ZO_API unsigned bvmTestIsCached(void *cache, int file, uint32_t block);
// Block descriptors made so far (8 a chunk).
ZO_API uint32_t bvmTestBlocksMade(void *cache);
