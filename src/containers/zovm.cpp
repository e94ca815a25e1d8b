// The file block cache: block descriptors in 97 hash chains, frames in 64 KiB chunks, and
// least-recently-used replacement by 16-bit use stamps.
//
// Stamps. Every use of a block (a hit or a load by a read) stamps it with useClock, which
// then counts up. When the stamp given was 0xFFFE every stamp and the clock are halved.
// An eviction evicts the block with the smallest stamp, the lowest descriptor index among
// equal ones; while useClock is above 40,000 every stamp is halved first, as the search
// looks at it. Halving maps every stamp through the same non-decreasing function, so the
// order of stamps is the order of recency, with ties appearing as stamps collapse.
//
// Finding the victim. Rather than scanning and halving every descriptor, each stamp keeps
// the count of halvings done when it was given (its epoch); its value now is the stamp
// shifted right by the halvings since. A tournament tree over the descriptors keeps, per
// subtree, the smallest value and the epoch it was computed at: shifting commutes with
// taking the minimum, so a subtree's minimum stays exact however many halvings passed.
// Stamps given by hits are only noted (a pending list); the tree takes them in before the
// next eviction, which then walks down to the leftmost leaf holding the minimum. A hit
// costs O(1), an eviction O(log n) plus the hits since the last one.
#include <zo/zovm.h>

#include <zo/bosfile.h>
#include <zo/messages.h>
#include <zo/pertask.h>
#include <zo/ramalloc.h>
#include <zo/zocritse.h>
#include <zo/zoerror.h>

#include <cstring>

#include "containers/zovmint.h"
#include "os/bosint.h"

namespace {

constexpr uint32_t BucketCount = 97;
constexpr uint32_t ChunkBytes = BvmBlocksPerChunk * BvmBlockSize;
constexpr uint16_t NoBlock = 0xFFFF;
constexpr uint16_t HalvingClock = 40000; // above it every eviction halves all stamps
constexpr uint16_t LastStamp = 0xFFFE;   // stamping it halves all stamps and the clock
constexpr uint32_t Infinite = 0xFFFFFFFF;
constexpr uint16_t Multipliers[16] = {13, 61, 29, 43, 17, 67, 31, 47, 19, 71, 37, 53, 23, 73, 41, 59};

struct BlockDescriptor {
    int32_t fileHandle; // 0: free
    uint16_t blockNumber;
    uint16_t reserved;
    uint16_t validBytes; // bytes the block's read returned
    uint16_t lastUse;    // the stamp as given, before later halvings
    uint16_t nextInChain;
};

// A subtree's smallest stamp as it was at `epoch` halvings.
struct VictimNode {
    uint64_t epoch;
    uint32_t value;
};

struct BlockCache {
    uint16_t useClock;
    ZoCriticalSection *cacheLock;
    uint16_t userCount;
    uint16_t maxBlocks;
    uint16_t blocksMade;
    uint16_t freeBlock;
    BlockDescriptor *descriptors;
    uint16_t buckets[BucketCount];
    unsigned char **chunks;
    // The victim search: halvings so far, each descriptor's epoch, the tournament tree
    // (leaves from `leaves` on), and the descriptors stamped since it was last brought up
    // to date.
    uint64_t halvings;
    uint64_t *stampEpochs;
    VictimNode *tree;
    uint32_t leaves;
    uint16_t *pending;
    uint8_t *isPending;
    uint32_t pendingCount;
};

uint32_t bucketOf(int32_t handle, uint16_t block) {
    const uint32_t h = static_cast<uint32_t>(handle);
    return (h + Multipliers[h % 16] * (uint32_t{block} + 1)) % BucketCount;
}

unsigned char *frameOf(const BlockCache *cache, uint16_t index) {
    return cache->chunks[index / BvmBlocksPerChunk] + (index % BvmBlocksPerChunk) * BvmBlockSize;
}

BlockCache *processCache() { return static_cast<BlockCache *>(mdsGetPerTaskData(PerTaskBlockCache)); }

// ---- construction ----------------------------------------------------------------------

uint32_t treeLeavesFor(uint32_t blocks) {
    uint32_t leaves = 1;
    while (leaves < blocks)
        leaves *= 2;
    return leaves;
}

void freeCache(BlockCache *cache) {
    if (cache->chunks != nullptr)
        for (uint32_t i = 0; i < cache->maxBlocks / BvmBlocksPerChunk; ++i)
            ramFree(cache->chunks[i]);
    delete cache->cacheLock;
    ramFree(cache->descriptors);
    ramFree(cache->stampEpochs);
    ramFree(cache->tree);
    ramFree(cache->pending);
    ramFree(cache->isPending);
    ramFree(cache);
}

BlockCache *makeCache(uint16_t chunkLimit) {
    if (chunkLimit > BvmMaxChunks)
        chunkLimit = BvmMaxChunks;
    const uint32_t blocks = uint32_t{chunkLimit} * BvmBlocksPerChunk;
    // The root and its chunk pointers in one zero-filled block.
    auto *cache = static_cast<BlockCache *>(ramAllocZ(sizeof(BlockCache) + chunkLimit * sizeof(unsigned char *)));
    if (cache == nullptr)
        return nullptr;
    cache->chunks = reinterpret_cast<unsigned char **>(cache + 1);
    cache->maxBlocks = static_cast<uint16_t>(blocks);
    cache->freeBlock = NoBlock;
    for (uint16_t &head : cache->buckets)
        head = NoBlock;
    cache->leaves = treeLeavesFor(blocks);
    const bool disabled =
        (zoStaticCriticalSection(ZoStaticLock::BlockCache).flags() & ZoCriticalSection::Disabled) != 0;
    cache->cacheLock = new ZoCriticalSection(disabled ? 1 : 0);
    cache->descriptors = static_cast<BlockDescriptor *>(ramAllocZ((blocks + 1) * sizeof(BlockDescriptor)));
    cache->stampEpochs = static_cast<uint64_t *>(ramAllocZ((blocks + 1) * sizeof(uint64_t)));
    cache->tree = static_cast<VictimNode *>(ramAlloc(2 * cache->leaves * sizeof(VictimNode)));
    cache->pending = static_cast<uint16_t *>(ramAlloc((blocks + 1) * sizeof(uint16_t)));
    cache->isPending = static_cast<uint8_t *>(ramAllocZ(blocks + 1));
    if (cache->cacheLock == nullptr || cache->descriptors == nullptr || cache->stampEpochs == nullptr ||
        cache->tree == nullptr || cache->pending == nullptr || cache->isPending == nullptr) {
        freeCache(cache);
        return nullptr;
    }
    // Leaves without a descriptor never win; the others are filled before any eviction.
    for (uint32_t i = 0; i < 2 * cache->leaves; ++i)
        cache->tree[i] = VictimNode{0, Infinite};
    return cache;
}

// ---- the victim search -------------------------------------------------------------------

uint32_t currentValue(const BlockCache *cache, const VictimNode &node) {
    if (node.value == Infinite)
        return Infinite;
    const uint64_t since = cache->halvings - node.epoch;
    return since >= 16 ? 0 : node.value >> since;
}

void refreshLeaf(BlockCache *cache, uint16_t index) {
    uint32_t at = cache->leaves + index;
    cache->tree[at] = VictimNode{cache->stampEpochs[index], cache->descriptors[index].lastUse};
    for (at /= 2; at >= 1; at /= 2) {
        const uint32_t left = currentValue(cache, cache->tree[2 * at]);
        const uint32_t right = currentValue(cache, cache->tree[2 * at + 1]);
        cache->tree[at] = VictimNode{cache->halvings, left < right ? left : right};
    }
}

void bringTreeUpToDate(BlockCache *cache) {
    for (uint32_t i = 0; i < cache->pendingCount; ++i) {
        const uint16_t index = cache->pending[i];
        cache->isPending[index] = 0;
        refreshLeaf(cache, index);
    }
    cache->pendingCount = 0;
}

// Every stamp (and, for the clock's own halving, the clock) halves.
void halveAllStamps(BlockCache *cache) { ++cache->halvings; }

// The block with the smallest stamp now, the lowest index among equal ones. Only called
// on a full cache: every descriptor holds a block and has been stamped.
uint16_t leastRecentlyUsed(BlockCache *cache) {
    if (cache->useClock > HalvingClock)
        halveAllStamps(cache);
    bringTreeUpToDate(cache);
    const uint32_t smallest = currentValue(cache, cache->tree[1]);
    uint32_t at = 1;
    while (at < cache->leaves)
        at = currentValue(cache, cache->tree[2 * at]) == smallest ? 2 * at : 2 * at + 1;
    return static_cast<uint16_t>(at - cache->leaves);
}

void stamp(BlockCache *cache, uint16_t index) {
    const uint16_t given = cache->useClock;
    cache->descriptors[index].lastUse = given;
    cache->stampEpochs[index] = cache->halvings;
    if (cache->isPending[index] == 0) {
        cache->isPending[index] = 1;
        cache->pending[cache->pendingCount++] = index;
    }
    ++cache->useClock;
    if (given == LastStamp) {
        halveAllStamps(cache);
        cache->useClock /= 2;
    }
}

// ---- descriptors and chains ------------------------------------------------------------

uint16_t findBlock(const BlockCache *cache, int32_t handle, uint16_t block) {
    for (uint16_t i = cache->buckets[bucketOf(handle, block)]; i != NoBlock; i = cache->descriptors[i].nextInChain) {
        const BlockDescriptor &d = cache->descriptors[i];
        if (d.blockNumber == block && d.fileHandle == handle)
            return i;
    }
    return NoBlock;
}

void pushFree(BlockCache *cache, uint16_t index) {
    BlockDescriptor &d = cache->descriptors[index];
    d.fileHandle = 0;
    d.nextInChain = cache->freeBlock;
    cache->freeBlock = index;
}

void unlinkBlock(BlockCache *cache, uint16_t index) {
    const BlockDescriptor &d = cache->descriptors[index];
    uint16_t *link = &cache->buckets[bucketOf(d.fileHandle, d.blockNumber)];
    while (*link != index)
        link = &cache->descriptors[*link].nextInChain;
    *link = d.nextInChain;
}

// A free descriptor: from the free list, or from a new chunk while the limit allows one.
// NoBlock with success when the cache is full; failure when a chunk cannot be allocated.
ZoStatus takeFreeDescriptor(BlockCache *cache, uint16_t *index) {
    if (cache->freeBlock == NoBlock && cache->blocksMade < cache->maxBlocks) {
        auto *chunk = static_cast<unsigned char *>(ramAlloc(ChunkBytes));
        if (chunk == nullptr)
            return ZoFailure;
        cache->chunks[cache->blocksMade / BvmBlocksPerChunk] = chunk;
        for (uint32_t i = BvmBlocksPerChunk; i > 0; --i)
            pushFree(cache, static_cast<uint16_t>(cache->blocksMade + i - 1));
        cache->blocksMade = static_cast<uint16_t>(cache->blocksMade + BvmBlocksPerChunk);
    }
    *index = cache->freeBlock;
    if (*index != NoBlock)
        cache->freeBlock = cache->descriptors[*index].nextInChain;
    return ZoSuccess;
}

void dropBlock(BlockCache *cache, uint16_t index) {
    unlinkBlock(cache, index);
    pushFree(cache, index);
}

// ---- file transfers -----------------------------------------------------------------------

// Reads a block into a frame. A read refused for denied access is not the caller's
// failure: the error is taken back and *denied set, so that the piece is read on its own.
// The read runs with a list of its own as the thread's current one; other errors then go
// on to the caller's list.
ZoStatus readBlock(int32_t handle, uint16_t block, unsigned char *frame, uint32_t *got, bool *denied) {
    *denied = false;
    ZoErrorList own;
    ZoErrorKeeper::setErrorList(&own);
    const ZoStatus status = bosFileReadAt(handle, uint32_t{block} * BvmBlockSize, frame, BvmBlockSize, got);
    (void)ZoErrorKeeper::giveUpErrorList(); // it is `own`, installed above
    if (status == ZoSuccess)
        return ZoSuccess;
    ZoError *last = own.getLastError();
    if (last != nullptr && last->getErrorNumber() == static_cast<uint16_t>(ZoMessage::AccessDenied)) {
        *denied = true;
        return ZoSuccess;
    }
    while (ZoError *error = own.removeFirstError()) {
        if (error->isStatic())
            ZoErrorKeeper::addMemoryError();
        else
            (void)ZoErrorKeeper::addError(error); // the caller's list keeps it or drops it by its rules
    }
    return ZoFailure;
}

// The block's descriptor, loaded from the file when it is not cached. NoBlock with
// success when the piece is to be read from the file on its own (a full cache with hint
// 1, or a load refused for denied access).
ZoStatus blockForRead(BlockCache *cache, int32_t handle, uint16_t block, VmHintType hint, uint16_t *found) {
    *found = NoBlock;
    uint16_t index = findBlock(cache, handle, block);
    if (index == NoBlock) {
        if (takeFreeDescriptor(cache, &index) != ZoSuccess)
            return ZoFailure;
        if (index == NoBlock) {
            // Full (a cache of no chunks always is): evict, unless the hint forbids it.
            if (hint == VmHintNoEvict || cache->blocksMade == 0)
                return ZoSuccess;
            index = leastRecentlyUsed(cache);
            unlinkBlock(cache, index);
        }
        uint32_t got = 0;
        bool denied = false;
        if (readBlock(handle, block, frameOf(cache, index), &got, &denied) != ZoSuccess || denied) {
            pushFree(cache, index);
            return denied ? ZoSuccess : ZoFailure;
        }
        BlockDescriptor &d = cache->descriptors[index];
        d.fileHandle = handle;
        d.blockNumber = block;
        d.validBytes = static_cast<uint16_t>(got);
        const uint32_t bucket = bucketOf(handle, block);
        d.nextInChain = cache->buckets[bucket];
        cache->buckets[bucket] = index;
    }
    stamp(cache, index);
    *found = index;
    return ZoSuccess;
}

// One piece of a read, within one block: from the cached frame when it holds the piece's
// bytes, otherwise from the file.
ZoStatus readPiece(BlockCache *cache, int32_t handle, uint32_t position, unsigned char *to, uint32_t length,
                   VmHintType hint, uint32_t *got) {
    if (cache != nullptr && position < BvmCacheableLimit) {
        const auto block = static_cast<uint16_t>(position / BvmBlockSize);
        const uint32_t inBlock = position % BvmBlockSize;
        uint16_t index;
        if (blockForRead(cache, handle, block, hint, &index) != ZoSuccess)
            return ZoFailure;
        if (index != NoBlock && inBlock + length <= cache->descriptors[index].validBytes) {
            std::memcpy(to, frameOf(cache, index) + inBlock, length);
            *got = length;
            return ZoSuccess;
        }
    }
    return bosFileReadAt(handle, position, to, length, got);
}

// Bytes of the piece that starts at position: up to its block's end or the range's end.
uint32_t pieceLength(uint32_t position, uint64_t end) {
    const uint32_t toBlockEnd = BvmBlockSize - position % BvmBlockSize;
    return end - position < toBlockEnd ? static_cast<uint32_t>(end - position) : toBlockEnd;
}

// Offsets are file positions from 0 up; a range must end within 4 GiB.
bool validRange(int32_t offset, uint32_t length) {
    return offset >= 0 && static_cast<uint64_t>(offset) + length <= 0xFFFFFFFFu;
}

// Brings the cached blocks of a written range in line with the file.
void updateCachedBlocks(BlockCache *cache, int32_t handle, uint32_t offset, const unsigned char *bytes,
                        uint32_t length) {
    const uint64_t end = uint64_t{offset} + length;
    for (uint32_t position = offset; position < end && position < BvmCacheableLimit;) {
        const uint32_t piece = pieceLength(position, end);
        const uint16_t index = findBlock(cache, handle, static_cast<uint16_t>(position / BvmBlockSize));
        if (index != NoBlock) {
            BlockDescriptor &d = cache->descriptors[index];
            const uint32_t inBlock = position % BvmBlockSize;
            std::memcpy(frameOf(cache, index) + inBlock, bytes + (position - offset), piece);
            // Valid bytes grow only by a piece that joins them: bytes between the valid
            // ones and a piece further on are the file's, which the frame does not hold.
            if (inBlock <= d.validBytes && inBlock + piece > d.validBytes)
                d.validBytes = static_cast<uint16_t>(inBlock + piece);
        }
        position += piece;
    }
}

void dropRange(BlockCache *cache, int32_t handle, uint32_t offset, uint32_t length) {
    const uint64_t end = uint64_t{offset} + length;
    for (uint32_t position = offset; position < end && position < BvmCacheableLimit;) {
        const uint16_t index = findBlock(cache, handle, static_cast<uint16_t>(position / BvmBlockSize));
        if (index != NoBlock)
            dropBlock(cache, index);
        position += pieceLength(position, end);
    }
}

// The cache a caller's handle stands for: the process's, if it is that one.
BlockCache *cacheOf(void *handle) {
    auto *cache = static_cast<BlockCache *>(handle);
    return cache != nullptr && cache == processCache() ? cache : nullptr;
}

} // namespace

void *bvmInit(uint16_t chunkLimit) {
    ZoLockGuard guard(zoStaticCriticalSection(ZoStaticLock::BlockCache));
    if (BlockCache *cache = processCache()) {
        if (cache->userCount == 0xFFFF)
            return nullptr;
        ++cache->userCount;
        return cache;
    }
    BlockCache *cache = makeCache(chunkLimit);
    if (cache == nullptr)
        return nullptr;
    cache->userCount = 1;
    mdsSetPerTaskData(PerTaskBlockCache, cache);
    return cache;
}

void bvmTerm(void *handle) {
    ZoLockGuard guard(zoStaticCriticalSection(ZoStaticLock::BlockCache));
    BlockCache *cache = cacheOf(handle);
    if (cache == nullptr || --cache->userCount > 0)
        return;
    mdsSetPerTaskData(PerTaskBlockCache, nullptr);
    freeCache(cache);
}

// A null (or foreign) cache reads and writes straight through the file.
ZoStatus bvmFileRead(void *handle, int file, int32_t offset, void *data, uint32_t length, uint32_t *bytesRead,
                     VmHintType hint) {
    *bytesRead = 0;
    if (!validRange(offset, length))
        return ZoFailure;
    BlockCache *cache = cacheOf(handle);
    if (cache != nullptr)
        cache->cacheLock->enter();
    auto *to = static_cast<unsigned char *>(data);
    const uint64_t end = uint64_t(offset) + length;
    ZoStatus status = ZoSuccess;
    for (uint32_t position = static_cast<uint32_t>(offset); position < end;) {
        const uint32_t piece = pieceLength(position, end);
        uint32_t got = 0;
        status = readPiece(cache, file, position, to + *bytesRead, piece, hint, &got);
        *bytesRead += got;
        if (status != ZoSuccess || got < piece)
            break;
        position += piece;
    }
    if (cache != nullptr)
        cache->cacheLock->leave();
    return status;
}

ZoStatus bvmFileWrite(void *handle, int file, int32_t offset, const void *data, uint32_t length) {
    if (!validRange(offset, length))
        return ZoFailure;
    BlockCache *cache = cacheOf(handle);
    if (cache == nullptr)
        return bosFileWriteAt(file, static_cast<uint32_t>(offset), data, length);
    ZoLockGuard guard(*cache->cacheLock);
    if (bosFileWriteAt(file, static_cast<uint32_t>(offset), data, length) != ZoSuccess) {
        // Part of the range may have been written: what is cached of it may be stale.
        dropRange(cache, file, static_cast<uint32_t>(offset), length);
        return ZoFailure;
    }
    updateCachedBlocks(cache, file, static_cast<uint32_t>(offset), static_cast<const unsigned char *>(data), length);
    return ZoSuccess;
}

ZoStatus bvmFlush(void *handle, int file) {
    BlockCache *cache = cacheOf(handle);
    if (cache == nullptr || file == 0)
        return ZoSuccess;
    ZoLockGuard guard(*cache->cacheLock);
    for (uint16_t i = 0; i < cache->blocksMade; ++i)
        if (cache->descriptors[i].fileHandle == file)
            dropBlock(cache, i);
    return ZoSuccess;
}

ZoStatus bvmFileClose(void *cache, int file) {
    if (file == 0)
        return ZoSuccess;
    (void)bvmFlush(cache, file); // always succeeds
    return bosFileClose(file);
}

// ---- test hooks ----------------------------------------------------------------------------

unsigned bvmTestIsCached(void *handle, int file, uint32_t block) {
    BlockCache *cache = cacheOf(handle);
    if (cache == nullptr || block >= 65536)
        return 0;
    ZoLockGuard guard(*cache->cacheLock);
    return findBlock(cache, file, static_cast<uint16_t>(block)) != NoBlock ? 1 : 0;
}

uint32_t bvmTestBlocksMade(void *handle) {
    BlockCache *cache = cacheOf(handle);
    return cache != nullptr ? cache->blocksMade : 0;
}
