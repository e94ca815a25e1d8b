// The scratch store: a byte-addressed space of up to 128 MiB kept in a small page cache
// that spills to a private temporary file only when the cache overflows.
#pragma once

#include <cstdint>

#include <zo/zocritse.h>
#include <zo/zoobject.h>
#include <zo/zosorted.h>

class ZoString;

// One free block of the store, kept in the store's free list ordered by offset.
class ZO_API TmpSpace : public ZoObject {
public:
    TmpSpace(uint32_t offset, uint32_t size) : offset(offset), size(size) {}
    ~TmpSpace() override;
    // -1, 0 or 1 as this block's offset is below, equal to or above the other's.
    short compare(const ZoObject *other) const override;

    uint32_t offset;
    uint32_t size;
};

// Offsets are positions in one linear space, which is also the layout of the backing file:
// page p holds offsets p * 2048 .. p * 2048 + 2047 and lies at file position p * 2048 once
// written out. Offset 0 is never handed out, so callers may use it to mean "no offset".
//
// The cache is two-way set-associative: set k owns 4096 bytes of the frames (way 0 the
// first page frame, way 1 the second) and holds two of the pages p with p mod sets == k.
// Every public operation runs under the store's lock unless it was built with noLock.
class ZO_API ZoTmpFile : public ZoObject {
public:
    static constexpr uint32_t PageSize = 2048;
    // Page numbers are 16 bits wide: offsets stay below 65,536 pages.
    static constexpr uint32_t AddressLimit = 65536u * PageSize;
    // Size that stands for "all space from here on" in tmpFindSpace and tmpFreeSpace.
    static constexpr uint32_t AllSpace = 0xFFFFFFFF;
    // Free blocks smaller than this are not tracked.
    static constexpr uint32_t MinFreeBlock = 256;

    // cacheSize is a power-of-two multiple of 4096 (other values are rounded down to
    // one, at least 4096). Nothing is allocated until the store is first used.
    explicit ZoTmpFile(uint16_t cacheSize = 32768, unsigned int noLock = 0);
    ~ZoTmpFile() override;
    ZoTmpFile(const ZoTmpFile &) = delete;
    ZoTmpFile &operator=(const ZoTmpFile &) = delete;

    // Allocates size bytes, from the lowest free block that is large enough or else at the
    // end, and returns their offset. AllSpace hands out everything from the end on.
    // Fails (1) when the cache cannot be allocated or the space would pass AddressLimit.
    ZoStatus tmpFindSpace(uint32_t size, uint32_t *offset);
    // Allocates size bytes at the end, 4-byte aligned and, when size <= 2048, inside one
    // page. Returns 0 (never a valid offset) when the space would pass AddressLimit.
    uint32_t getContiguousSpace(uint32_t size);
    // Gives a block back. AllSpace gives back everything from offset to the end.
    void tmpFreeSpace(uint32_t offset, uint32_t size);

    ZoStatus tmpWrite(uint32_t offset, const void *data, uint32_t length);
    // Needs the cache: fails (1) before anything was allocated or written.
    ZoStatus tmpRead(uint32_t offset, void *data, uint32_t length);
    // The same for any length, as successive transfers of at most 65,536 bytes.
    ZoStatus writeHuge(uint32_t offset, const void *data, uint32_t length);
    ZoStatus readHuge(uint32_t offset, void *data, uint32_t length);
    // Replaces the contents of text with length bytes read at offset (NUL-terminated),
    // growing its buffer first when it is missing or smaller than its length + length + 1.
    // On failure the string is left empty.
    ZoStatus read(uint32_t offset, ZoString *text, uint32_t length);

    // Brings the page holding offset into the cache and returns the address of offset in
    // it and the bytes left to the end of the page (1..2048). forWrite marks the page
    // modified; callers that write through the pointer must pass it. The address stays
    // valid while at most one other page of the same set is touched.
    ZoStatus tmpPointer(uint32_t offset, void **pointer, uint16_t *available, uint16_t forWrite);

    // Keeps the page holding offset in memory for the rest of the store's life (until
    // tmpTruncate), outside the two-way cache: its pointers never go stale and it is never
    // written to the file. At most the pin limit of pages are pinned (none by default).
    // Fails (1), pinning nothing, at the limit, when memory is exhausted or the page cannot
    // be read back; the page is then used through the cache as before.
    ZoStatus tmpPinPage(uint32_t offset);
    void setPinLimit(uint32_t pages) { pinLimit_ = pages; }
    uint32_t getPinLimit() const { return pinLimit_; }
    uint32_t getPinnedPages() const { return pinnedPages_; }

    // Closes the backing file's handle; the next page transfer reopens it by name.
    void tmpLoseFocus();
    // Discards everything: contents, free blocks and the backing file; keepCache keeps
    // the page frames for the next use.
    void tmpTruncate(unsigned int keepCache);

    // State, for tests and for the structures built on the store.
    uint16_t getCacheSize() const { return cacheSize_; }
    uint32_t getEndOffset() const { return endOffset_; }
    uint16_t getHighestPage() const { return highestPage_; }
    uint32_t getPagesInFile() const { return pagesInFile_; }
    int getFileHandle() const { return fileHandle_; }
    // Name of the backing file, null until the file is created.
    const unsigned char *getFileName() const { return fileName_; }
    bool hasCache() const { return setTable_ != nullptr; }
    bool hasPageFrames() const { return cache_ != nullptr; }
    const ZoSortedArray &getFreeList() const { return freeList_; }

private:
    // One set of the cache. Page numbers are kept 32 bits wide so that a way whose frame
    // could not be filled can be marked as holding no page (NoPage).
    struct CacheSet {
        uint32_t page[2];
        uint32_t flags;
    };
    enum : uint32_t { Way0Modified = 0x1, Way1Modified = 0x2, Way1Recent = 0x4 };
    static constexpr uint32_t NoPage = 0xFFFFFFFF;
    static constexpr uint32_t SetBytes = 2 * PageSize;
    // How an operation uses a page: only reads it, modifies part of it, or overwrites
    // it whole (then a page brought in need not be read from the file).
    enum class Access { Read, Modify, Overwrite };

    ZoStatus ensureCache();
    unsigned char *pinnedFrame(uint32_t page) const;
    void forgetCachedPage(uint32_t page, unsigned char *copyTo);
    void releasePinnedPages();
    ZoStatus pageFrame(uint32_t page, Access access, unsigned char **frame);
    ZoStatus replaceWay(CacheSet &set, unsigned way, uint32_t page, Access access, unsigned char *frame);
    ZoStatus transfer(uint32_t offset, unsigned char *buffer, uint32_t length, bool toStore);
    ZoStatus hugeTransfer(uint32_t offset, unsigned char *bytes, uint32_t length, bool toStore);
    static bool inRange(uint32_t offset, uint32_t length);

    // The backing file: all file traffic of the store goes through these.
    ZoStatus writePage(uint32_t page, const unsigned char *frame);
    ZoStatus readPage(uint32_t page, unsigned char *frame);
    ZoStatus openFile();
    void closeAndDeleteFile();

    TmpSpace *freeBlock(uint32_t index) const { return static_cast<TmpSpace *>(freeList_.getAt(index)); }
    void mergeFreeBlocks();

    uint16_t cacheSize_;
    uint16_t highestPage_ = 0;
    uint32_t endOffset_ = 1;
    int fileHandle_ = 0;
    unsigned char *fileName_ = nullptr;
    uint32_t pagesInFile_ = 0; // up to 65,536: one more than the highest page written
    uint32_t setMask_;
    CacheSet *setTable_ = nullptr;
    unsigned char *cache_ = nullptr;
    // Pinned pages: frames by page number, page >> 8 selecting a table of 256; null until
    // the first pin.
    unsigned char ***pinned_ = nullptr;
    uint32_t pinnedPages_ = 0;
    uint32_t pinLimit_ = 0;
    ZoSortedArray freeList_;
    ZoCriticalSection lock_;
};
