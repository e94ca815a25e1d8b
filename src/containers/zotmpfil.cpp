// The scratch store: page cache, space allocation with its free list, and the backing file.
#include <zo/zotmpfil.h>

#include <zo/bosfile.h>
#include <zo/zostring.h>

#include <cstring>

#include "os/bosint.h"

namespace {

constexpr uint32_t PageShift = 11;
constexpr uint32_t PageMask = ZoTmpFile::PageSize - 1;
// Largest transfer of one tmpRead/tmpWrite step of readHuge/writeHuge.
constexpr uint32_t HugeStep = 65536;

// Number of cache sets for a requested cache size: the largest power of two that fits,
// at least one set of two pages.
uint32_t setCountFor(uint16_t cacheSize) {
    uint32_t sets = 1;
    while (sets * 2 * 4096 <= cacheSize)
        sets *= 2;
    return sets;
}

} // namespace

TmpSpace::~TmpSpace() = default;

short TmpSpace::compare(const ZoObject *other) const {
    uint32_t theirs = static_cast<const TmpSpace *>(other)->offset;
    return offset < theirs ? -1 : (offset > theirs ? 1 : 0);
}

ZoTmpFile::ZoTmpFile(uint16_t cacheSize, unsigned int noLock)
    : cacheSize_(static_cast<uint16_t>(setCountFor(cacheSize) * SetBytes)), setMask_(setCountFor(cacheSize) - 1),
      lock_(noLock != 0 ? 1 : 0) {
    freeList_.setDeleteContents(true);
}

ZoTmpFile::~ZoTmpFile() { tmpTruncate(0); }

// ---- cache -------------------------------------------------------------------------------

// Makes the page frames (unless kept from before) and a zeroed set table. A zeroed table
// names page 0 in both ways of every set, so page 0 counts as resident in way 0 of set 0;
// no other set can ever be asked for page 0.
ZoStatus ZoTmpFile::ensureCache() {
    if (setTable_ != nullptr)
        return ZoSuccess;
    if (cache_ == nullptr) {
        cache_ = static_cast<unsigned char *>(ramAlloc(cacheSize_));
        if (cache_ == nullptr)
            return ZoFailure;
    }
    setTable_ = static_cast<CacheSet *>(ramAllocZ(static_cast<uint32_t>((setMask_ + 1) * sizeof(CacheSet))));
    return setTable_ != nullptr ? ZoSuccess : ZoFailure;
}

bool ZoTmpFile::inRange(uint32_t offset, uint32_t length) {
    return static_cast<uint64_t>(offset) + length <= AddressLimit;
}

// Finds or brings in the frame of a page. On a miss the less recently used way of the set
// is replaced: written out first if modified, then filled from the file unless the caller
// overwrites the whole page.
ZoStatus ZoTmpFile::pageFrame(uint32_t page, Access access, unsigned char **frame) {
    if (pinned_ != nullptr) {
        if (unsigned char *pinnedPage = pinnedFrame(page)) {
            *frame = pinnedPage;
            return ZoSuccess;
        }
    }
    uint32_t setIndex = page & setMask_;
    CacheSet &set = setTable_[setIndex];
    unsigned char *base = cache_ + setIndex * SetBytes;
    unsigned way;
    if (set.page[0] == page) {
        way = 0;
        set.flags &= ~Way1Recent;
    } else if (set.page[1] == page) {
        way = 1;
        set.flags |= Way1Recent;
    } else {
        way = (set.flags & Way1Recent) != 0 ? 0 : 1;
        if (replaceWay(set, way, page, access, base + way * PageSize) != ZoSuccess)
            return ZoFailure;
    }
    if (access != Access::Read)
        set.flags |= way == 0 ? Way0Modified : Way1Modified;
    *frame = base + way * PageSize;
    return ZoSuccess;
}

ZoStatus ZoTmpFile::replaceWay(CacheSet &set, unsigned way, uint32_t page, Access access, unsigned char *frame) {
    uint32_t modified = way == 0 ? Way0Modified : Way1Modified;
    if ((set.flags & modified) != 0) {
        // On failure the victim stays resident and modified: nothing is lost.
        if (writePage(set.page[way], frame) != ZoSuccess)
            return ZoFailure;
        set.flags &= ~modified;
    }
    if (access != Access::Overwrite) {
        // A failed read may have disturbed the frame: it then holds no page at all.
        set.page[way] = NoPage;
        if (readPage(page, frame) != ZoSuccess)
            return ZoFailure;
    }
    set.page[way] = page;
    set.flags = way == 0 ? (set.flags & ~Way1Recent) : (set.flags | Way1Recent);
    return ZoSuccess;
}

// Copies a range between the caller's buffer and the store, page by page.
ZoStatus ZoTmpFile::transfer(uint32_t offset, unsigned char *buffer, uint32_t length, bool toStore) {
    while (length > 0) {
        uint32_t inPage = offset & PageMask;
        uint32_t piece = PageSize - inPage < length ? PageSize - inPage : length;
        Access access = !toStore ? Access::Read : (piece == PageSize ? Access::Overwrite : Access::Modify);
        unsigned char *frame;
        if (pageFrame(offset >> PageShift, access, &frame) != ZoSuccess)
            return ZoFailure;
        if (toStore)
            std::memcpy(frame + inPage, buffer, piece);
        else
            std::memcpy(buffer, frame + inPage, piece);
        offset += piece;
        buffer += piece;
        length -= piece;
    }
    return ZoSuccess;
}

ZoStatus ZoTmpFile::tmpWrite(uint32_t offset, const void *data, uint32_t length) {
    ZoLockGuard guard(lock_);
    if (!inRange(offset, length) || ensureCache() != ZoSuccess)
        return ZoFailure;
    if (transfer(offset, static_cast<unsigned char *>(const_cast<void *>(data)), length, true) != ZoSuccess)
        return ZoFailure;
    if (offset + length > endOffset_)
        endOffset_ = offset + length;
    return ZoSuccess;
}

ZoStatus ZoTmpFile::tmpRead(uint32_t offset, void *data, uint32_t length) {
    ZoLockGuard guard(lock_);
    if (!inRange(offset, length) || setTable_ == nullptr)
        return ZoFailure;
    return transfer(offset, static_cast<unsigned char *>(data), length, false);
}

// Transfers of any length as successive steps of at most HugeStep bytes.
ZoStatus ZoTmpFile::hugeTransfer(uint32_t offset, unsigned char *bytes, uint32_t length, bool toStore) {
    ZoLockGuard guard(lock_);
    for (uint32_t done = 0; done < length;) {
        uint32_t step = length - done < HugeStep ? length - done : HugeStep;
        ZoStatus status =
            toStore ? tmpWrite(offset + done, bytes + done, step) : tmpRead(offset + done, bytes + done, step);
        if (status != ZoSuccess)
            return ZoFailure;
        done += step;
    }
    return ZoSuccess;
}

ZoStatus ZoTmpFile::writeHuge(uint32_t offset, const void *data, uint32_t length) {
    return hugeTransfer(offset, static_cast<unsigned char *>(const_cast<void *>(data)), length, true);
}

ZoStatus ZoTmpFile::readHuge(uint32_t offset, void *data, uint32_t length) {
    return hugeTransfer(offset, static_cast<unsigned char *>(data), length, false);
}

ZoStatus ZoTmpFile::read(uint32_t offset, ZoString *text, uint32_t length) {
    ZoLockGuard guard(lock_);
    uint64_t wanted = static_cast<uint64_t>(text->length_) + length + 1;
    if (text->data_ == nullptr || text->capacity_ < wanted) {
        if (wanted > 0xFFFFFFFF || text->resize(static_cast<uint32_t>(wanted)) != ZoSuccess)
            return ZoFailure;
    }
    if (readHuge(offset, text->data_, length) != ZoSuccess) {
        text->length_ = 0;
        text->data_[0] = 0;
        return ZoFailure;
    }
    text->length_ = length;
    text->data_[length] = 0;
    return ZoSuccess;
}

ZoStatus ZoTmpFile::tmpPointer(uint32_t offset, void **pointer, uint16_t *available, uint16_t forWrite) {
    ZoLockGuard guard(lock_);
    if (offset >= AddressLimit || ensureCache() != ZoSuccess)
        return ZoFailure;
    unsigned char *frame;
    if (pageFrame(offset >> PageShift, forWrite != 0 ? Access::Modify : Access::Read, &frame) != ZoSuccess)
        return ZoFailure;
    uint32_t inPage = offset & PageMask;
    *pointer = frame + inPage;
    if (available != nullptr)
        *available = static_cast<uint16_t>(PageSize - inPage);
    return ZoSuccess;
}

// ---- pinned pages ------------------------------------------------------------------------
//
// A pinned page lives in a frame of its own, found by page number before the sets are
// looked at. It is never written out: the file's copy (if any) is stale from the pin on
// and is never read again, since the page stays pinned until the store is truncated.

unsigned char *ZoTmpFile::pinnedFrame(uint32_t page) const {
    unsigned char **table = pinned_[page >> 8];
    return table != nullptr ? table[page & 0xFF] : nullptr;
}

// Takes a page out of the sets: its newest contents are copied to copyTo when a way holds
// it. A zeroed set table names page 0 in both ways of set 0, so every way is looked at.
void ZoTmpFile::forgetCachedPage(uint32_t page, unsigned char *copyTo) {
    CacheSet &set = setTable_[page & setMask_];
    for (unsigned way = 0; way < 2; ++way) {
        if (set.page[way] != page)
            continue;
        if (copyTo != nullptr) {
            std::memcpy(copyTo, cache_ + (page & setMask_) * SetBytes + way * PageSize, PageSize);
            copyTo = nullptr;
        }
        set.page[way] = NoPage;
        set.flags &= ~(way == 0 ? Way0Modified : Way1Modified);
    }
}

ZoStatus ZoTmpFile::tmpPinPage(uint32_t offset) {
    ZoLockGuard guard(lock_);
    if (offset >= AddressLimit || ensureCache() != ZoSuccess)
        return ZoFailure;
    const uint32_t page = offset >> PageShift;
    if (pinned_ != nullptr && pinnedFrame(page) != nullptr)
        return ZoSuccess;
    if (pinnedPages_ >= pinLimit_)
        return ZoFailure;
    if (pinned_ == nullptr) {
        pinned_ = static_cast<unsigned char ***>(ramAllocZ(256 * sizeof(unsigned char **)));
        if (pinned_ == nullptr)
            return ZoFailure;
    }
    unsigned char **&table = pinned_[page >> 8];
    if (table == nullptr) {
        table = static_cast<unsigned char **>(ramAllocZ(256 * sizeof(unsigned char *)));
        if (table == nullptr)
            return ZoFailure;
    }
    auto *frame = static_cast<unsigned char *>(ramAlloc(PageSize));
    if (frame == nullptr)
        return ZoFailure;
    const CacheSet &set = setTable_[page & setMask_];
    if ((set.page[0] != page && set.page[1] != page) && readPage(page, frame) != ZoSuccess) {
        ramFree(frame);
        return ZoFailure;
    }
    forgetCachedPage(page, frame);
    table[page & 0xFF] = frame;
    ++pinnedPages_;
    return ZoSuccess;
}

void ZoTmpFile::releasePinnedPages() {
    if (pinned_ == nullptr)
        return;
    for (uint32_t high = 0; high < 256; ++high) {
        if (pinned_[high] == nullptr)
            continue;
        for (uint32_t low = 0; low < 256; ++low)
            ramFree(pinned_[high][low]);
        ramFree(pinned_[high]);
    }
    ramFree(pinned_);
    pinned_ = nullptr;
    pinnedPages_ = 0;
}

// ---- space -------------------------------------------------------------------------------

ZoStatus ZoTmpFile::tmpFindSpace(uint32_t size, uint32_t *offset) {
    ZoLockGuard guard(lock_);
    if (ensureCache() != ZoSuccess)
        return ZoFailure;
    if (size == AllSpace) {
        *offset = endOffset_;
        endOffset_ = AllSpace;
        return ZoSuccess;
    }
    // First fit: the list is in offset order, so the first large block is the lowest.
    for (uint32_t i = 0; i < freeList_.getCount(); ++i) {
        TmpSpace *block = freeBlock(i);
        if (block->size < size)
            continue;
        *offset = block->offset;
        if (block->size - size >= MinFreeBlock) {
            block->offset += size;
            block->size -= size;
        } else {
            freeList_.deleteAtIndex(i);
        }
        return ZoSuccess;
    }
    if (!inRange(endOffset_, size))
        return ZoFailure;
    *offset = endOffset_;
    endOffset_ += size;
    return ZoSuccess;
}

uint32_t ZoTmpFile::getContiguousSpace(uint32_t size) {
    ZoLockGuard guard(lock_);
    uint64_t start = (static_cast<uint64_t>(endOffset_) + 3) & ~uint64_t{3};
    if (PageSize - (start & PageMask) < size)
        start = (start | PageMask) + 1;
    if (start + size > AddressLimit)
        return 0;
    endOffset_ = static_cast<uint32_t>(start + size);
    return static_cast<uint32_t>(start);
}

void ZoTmpFile::tmpFreeSpace(uint32_t offset, uint32_t size) {
    ZoLockGuard guard(lock_);
    // Offset 0 was never handed out, and a block past the end cannot be given back.
    if (offset == 0 || (size != AllSpace && static_cast<uint64_t>(offset) + size > endOffset_))
        return;
    if (size == AllSpace || offset + size == endOffset_) {
        endOffset_ = offset;
    } else if (size < MinFreeBlock) {
        return;
    } else {
        TmpSpace *block = new TmpSpace(offset, size);
        if (block == nullptr || freeList_.add(block) != ZoSuccess) {
            // The space is lost; the store stays consistent.
            delete block;
            return;
        }
    }
    mergeFreeBlocks();
}

// Joins neighbouring blocks and lets a block that reaches the end shorten the used space.
void ZoTmpFile::mergeFreeBlocks() {
    for (uint32_t i = 1; i < freeList_.getCount();) {
        TmpSpace *previous = freeBlock(i - 1);
        TmpSpace *current = freeBlock(i);
        if (previous->offset + previous->size == current->offset) {
            previous->size += current->size;
            freeList_.deleteAtIndex(i);
        } else {
            ++i;
        }
    }
    uint32_t count = freeList_.getCount();
    // Blocks at or beyond a lowered end are swallowed by it.
    while (count > 0 && freeBlock(count - 1)->offset + freeBlock(count - 1)->size >= endOffset_) {
        TmpSpace *last = freeBlock(count - 1);
        if (last->offset < endOffset_)
            endOffset_ = last->offset;
        freeList_.deleteAtIndex(--count);
    }
}

// ---- lifecycle ---------------------------------------------------------------------------

void ZoTmpFile::tmpLoseFocus() {
    ZoLockGuard guard(lock_);
    // The pages stay in the file; a failed close is recorded and the next use reopens.
    if (fileHandle_ != 0)
        (void)bosFileClose(fileHandle_);
    fileHandle_ = 0;
}

void ZoTmpFile::tmpTruncate(unsigned int keepCache) {
    ZoLockGuard guard(lock_);
    releasePinnedPages();
    ramFree(setTable_);
    setTable_ = nullptr;
    if (keepCache == 0) {
        ramFree(cache_);
        cache_ = nullptr;
    }
    freeList_.deleteContents();
    if (fileName_ != nullptr)
        closeAndDeleteFile();
    endOffset_ = 1;
    highestPage_ = 0;
    pagesInFile_ = 0;
}

// ---- backing file ------------------------------------------------------------------------

// Creates the file at the first write-out, reopens it after tmpLoseFocus.
ZoStatus ZoTmpFile::openFile() {
    if (fileHandle_ != 0)
        return ZoSuccess;
    if (fileName_ != nullptr)
        return bosFileOpen(fileName_, BOS_READWRITE, &fileHandle_);
    fileName_ = static_cast<unsigned char *>(ramAllocZ(256));
    if (fileName_ == nullptr)
        return ZoFailure;
    if (bosFileOpen(fileName_, BOS_TEMPNAME | BOS_READWRITE, &fileHandle_) != ZoSuccess) {
        // Do not leave a half-made temporary file behind.
        if (fileName_[0] != 0)
            (void)bosFileDelete(fileName_); // already failing: the open's error is the one reported
        ramFree(fileName_);
        fileName_ = nullptr;
        fileHandle_ = 0;
        return ZoFailure;
    }
    return ZoSuccess;
}

ZoStatus ZoTmpFile::writePage(uint32_t page, const unsigned char *frame) {
    if (openFile() != ZoSuccess || bosFileWriteAt(fileHandle_, page << PageShift, frame, PageSize) != ZoSuccess)
        return ZoFailure;
    if (page > highestPage_)
        highestPage_ = static_cast<uint16_t>(page);
    if (page >= pagesInFile_)
        pagesInFile_ = page + 1;
    return ZoSuccess;
}

// A page never written out is not read: the frame keeps what it held (such bytes are
// unspecified to the caller). A page inside the file that was never written reads short.
ZoStatus ZoTmpFile::readPage(uint32_t page, unsigned char *frame) {
    if (fileName_ == nullptr || page >= pagesInFile_)
        return ZoSuccess;
    uint32_t got = 0;
    if (openFile() != ZoSuccess || bosFileReadAt(fileHandle_, page << PageShift, frame, PageSize, &got) != ZoSuccess)
        return ZoFailure;
    return ZoSuccess;
}

// The store is done with the file: failures to close or delete it are recorded in the
// error list, and nothing the caller holds depends on them.
void ZoTmpFile::closeAndDeleteFile() {
    if (fileHandle_ != 0)
        (void)bosFileClose(fileHandle_);
    fileHandle_ = 0;
    (void)bosFileDelete(fileName_);
    ramFree(fileName_);
    fileName_ = nullptr;
}
