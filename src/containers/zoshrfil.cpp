// Shared files: byte ranges of a file mapped block by block onto 4 KiB blocks of a store.
#include <zo/zoshrfil.h>

namespace {

// A stretch of a transfer that lies in one block.
struct Piece {
    uint32_t block;   // index in the file's block list
    uint32_t inBlock; // offset within the block
    uint32_t done;    // bytes of the transfer before it
    uint32_t length;
};

// Runs step over the pieces of [offset, offset + length) in order, up to the first failure.
template <class Step>
ZoStatus eachPiece(uint32_t offset, uint32_t length, Step step) {
    for (uint32_t done = 0; done < length;) {
        const uint64_t position = uint64_t{offset} + done;
        Piece piece{static_cast<uint32_t>(position / ZoSharedFile::BlockSize),
                    static_cast<uint32_t>(position % ZoSharedFile::BlockSize), done, 0};
        const uint32_t room = ZoSharedFile::BlockSize - piece.inBlock;
        piece.length = length - done < room ? length - done : room;
        if (step(piece) != ZoSuccess)
            return ZoFailure;
        done += piece.length;
    }
    return ZoSuccess;
}

} // namespace

ZoSharedFile::ZoSharedFile(ZoTmpFile *store) : sharedStore_(store) {}

ZoSharedFile::~ZoSharedFile() { truncate(); }

// Blocks up to index count - 1 exist: new ones are taken from the store's free space,
// lowest offset first, and recorded in file order.
ZoStatus ZoSharedFile::ensureBlocks(uint32_t count) {
    if (count > MaxBlocks)
        return ZoFailure;
    while (blocks_.getCount() < count) {
        uint32_t offset;
        if (sharedStore_->tmpFindSpace(BlockSize, &offset) != ZoSuccess)
            return ZoFailure;
        if (blocks_.append(offset) != ZoSuccess) {
            sharedStore_->tmpFreeSpace(offset, BlockSize);
            return ZoFailure;
        }
    }
    return ZoSuccess;
}

ZoStatus ZoSharedFile::write(uint32_t offset, const void *data, uint32_t length) {
    const auto *bytes = static_cast<const unsigned char *>(data);
    return eachPiece(offset, length, [&](const Piece &p) {
        if (ensureBlocks(p.block + 1) != ZoSuccess)
            return ZoFailure;
        return sharedStore_->tmpWrite(blocks_.getAt(p.block) + p.inBlock, bytes + p.done, p.length);
    });
}

ZoStatus ZoSharedFile::read(uint32_t offset, void *data, uint32_t length) {
    auto *bytes = static_cast<unsigned char *>(data);
    if (uint64_t{offset} + length > uint64_t{blocks_.getCount()} * BlockSize)
        return ZoFailure;
    return eachPiece(offset, length, [&](const Piece &p) {
        return sharedStore_->tmpRead(blocks_.getAt(p.block) + p.inBlock, bytes + p.done, p.length);
    });
}

void ZoSharedFile::truncate() {
    for (uint32_t i = 0; i < blocks_.getCount(); ++i)
        sharedStore_->tmpFreeSpace(blocks_.getAt(i), BlockSize);
    (void)blocks_.shrink(0); // to no buffer at all: nothing to reallocate, cannot fail
}
