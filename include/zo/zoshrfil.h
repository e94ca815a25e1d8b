// Shared file: a growable scratch file of its own inside a scratch store that other such
// files share, kept in 4096-byte blocks allocated from the store as it grows.
#pragma once

#include <cstdint>

#include <zo/zoarray.h>
#include <zo/zotmpfil.h>

// File offset f lies in block f / 4096, at store offset blocks[f / 4096] + f % 4096. The
// file does not record its length; callers keep it. A file holds at most 65,536 blocks.
// The file itself is not locked: each store call is serialised by the store's lock, so
// files sharing a store may be used from different threads, each by one at a time.
class ZO_API ZoSharedFile : public ZoObject {
public:
    static constexpr uint32_t BlockSize = 4096;
    static constexpr uint32_t MaxBlocks = 65536;

    // An empty file in store (not owned; it must outlive the file).
    explicit ZoSharedFile(ZoTmpFile *store);
    // Gives the blocks back to the store.
    ~ZoSharedFile() override;
    ZoSharedFile(const ZoSharedFile &) = delete;
    ZoSharedFile &operator=(const ZoSharedFile &) = delete;

    // Writes block piece by block piece, allocating blocks as the range needs them (a
    // write beyond the last block also gets the blocks between). Fails (1) when a block
    // cannot be allocated or recorded, beyond 65,536 blocks, or when a store write fails;
    // the pieces written before stay.
    ZoStatus write(uint32_t offset, const void *data, uint32_t length);
    // Reads a range that lies in the file's blocks; fails (1) for one that does not, or
    // when a store read fails.
    ZoStatus read(uint32_t offset, void *data, uint32_t length);
    // Gives every block back to the store's free list: the file is empty again.
    void truncate();

    uint32_t getBlockCount() const { return blocks_.getCount(); }
    // Store offset of block i (i < getBlockCount()).
    uint32_t getBlockOffset(uint32_t i) const { return blocks_.getAt(i); }
    ZoTmpFile *getStore() const { return sharedStore_; }

private:
    ZoStatus ensureBlocks(uint32_t count);

    ZoTmpFile *sharedStore_;
    ZoArrayU32 blocks_;
};
