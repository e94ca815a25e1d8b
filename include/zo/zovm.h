// File block cache: one process-wide read cache of 8 KiB file blocks, shared by every file
// a driver reads through it. Reads are served from cached blocks where they can be,
// writes go to the file first and then update the cached copies, and blocks are replaced
// least recently used first. The cache lives in the per-task slot PerTaskBlockCache.
#pragma once

#include <cstdint>

#include <zo/zoexport.h>
#include <zo/zostatus.h>

// How a read may use the cache.
enum VmHintType : int {
    VmHintNormal = 0, // a block not cached may take the place of the least recently used one
    VmHintNoEvict = 1 // a full cache stays as it is: a block not cached is read from the file
};

// Blocks are 8 KiB; a cache holds chunkLimit chunks of 8 blocks at most (memory grows one
// 64 KiB chunk at a time). Only the first 65,536 blocks of a file (512 MiB) are cached:
// transfers beyond go straight to the file.
constexpr uint32_t BvmBlockSize = 8192;
constexpr uint32_t BvmBlocksPerChunk = 8;
constexpr uint32_t BvmCacheableLimit = 65536u * BvmBlockSize;
// Block indexes are 16 bits: a larger chunk limit is taken as this one (which already
// covers the 512 MiB that can be cached).
constexpr uint16_t BvmMaxChunks = 8191;

// The process's cache: made on the first call (with room for chunkLimit chunks), shared
// by the later ones, whose chunkLimit is ignored; each call counts one user. Null when
// memory is exhausted (or the user count is at 65,535).
ZO_API void *bvmInit(uint16_t chunkLimit);
// Gives up one user of the process's cache; the last one frees it and all its memory.
ZO_API void bvmTerm(void *cache);

// Reads length bytes at offset of a file opened with bosFileOpen, block piece by block
// piece. *bytesRead receives the bytes read, fewer than length at the end of the file.
// Fails (1) when a file read fails or a chunk cannot be allocated, and for a negative
// offset or a range that passes 4 GiB.
ZO_API ZoStatus bvmFileRead(void *cache, int file, int32_t offset, void *data, uint32_t length, uint32_t *bytesRead,
                            VmHintType hint);
// Writes to the file, then updates the cached blocks of the range (blocks not cached are
// not loaded). When the file write fails the cached blocks of the range are dropped.
ZO_API ZoStatus bvmFileWrite(void *cache, int file, int32_t offset, const void *data, uint32_t length);
// Drops every cached block of the file. Always 0.
ZO_API ZoStatus bvmFlush(void *cache, int file);
// Drops the file's blocks and closes it (file 0: nothing to do).
ZO_API ZoStatus bvmFileClose(void *cache, int file);
