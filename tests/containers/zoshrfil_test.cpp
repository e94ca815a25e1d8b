#include <zo/zoshrfil.h>

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <vector>
#include "support/alloc_failure.h"
#include "support/status.h"

namespace {

using Bytes = std::vector<unsigned char>;

Bytes pattern(uint32_t length, unsigned seed) {
    Bytes bytes(length);
    for (uint32_t i = 0; i < length; ++i)
        bytes[i] = static_cast<unsigned char>(seed * 37 + i * 11 + (i >> 9));
    return bytes;
}

Bytes readBack(ZoSharedFile &file, uint32_t offset, uint32_t length) {
    Bytes out(length);
    zotest::ok(file.read(offset, out.data(), length));
    return out;
}

TEST(ZoSharedFileEdges, AWriteAcrossABlockEdgeTakesTwoBlocks) {
    ZoTmpFile store;
    ZoSharedFile file(&store);
    Bytes ten = pattern(10, 1);
    zotest::ok(file.write(4090, ten.data(), 10));
    ASSERT_EQ(file.getBlockCount(), 2u);
    // Six bytes at the end of the first block, four at the start of the second.
    Bytes first(6), second(4);
    zotest::ok(store.tmpRead(file.getBlockOffset(0) + 4090, first.data(), 6));
    zotest::ok(store.tmpRead(file.getBlockOffset(1), second.data(), 4));
    EXPECT_EQ(first, Bytes(ten.begin(), ten.begin() + 6));
    EXPECT_EQ(second, Bytes(ten.begin() + 6, ten.end()));
    EXPECT_EQ(readBack(file, 4090, 10), ten);
    // Ranges outside the blocks are refused.
    unsigned char byte;
    EXPECT_EQ(file.read(8192, &byte, 1), ZoFailure);
    EXPECT_EQ(file.read(8191, &byte, 2), ZoFailure);
}

TEST(ZoSharedFileEdges, TruncatedBlocksGoToTheNextFileLowestFirst) {
    ZoTmpFile store;
    ZoSharedFile a(&store), b(&store), c(&store);
    Bytes block = pattern(ZoSharedFile::BlockSize, 2);
    // a and b interleave their blocks in the store; c keeps the end of the space in use.
    for (uint32_t i = 0; i < 3; ++i) {
        zotest::ok(a.write(i * ZoSharedFile::BlockSize, block.data(), ZoSharedFile::BlockSize));
        zotest::ok(b.write(i * ZoSharedFile::BlockSize, block.data(), ZoSharedFile::BlockSize));
    }
    zotest::ok(c.write(0, block.data(), 1));
    std::vector<uint32_t> freed{a.getBlockOffset(0), a.getBlockOffset(1), a.getBlockOffset(2)};
    a.truncate();
    EXPECT_EQ(a.getBlockCount(), 0u);
    // b's new blocks are a's old ones, lowest store offset first.
    Bytes other = pattern(3 * ZoSharedFile::BlockSize, 3);
    zotest::ok(b.write(3 * ZoSharedFile::BlockSize, other.data(), static_cast<uint32_t>(other.size())));
    ASSERT_EQ(b.getBlockCount(), 6u);
    for (uint32_t i = 0; i < 3; ++i)
        EXPECT_EQ(b.getBlockOffset(3 + i), freed[i]);
    // Blocks far apart in the store read back as one range.
    EXPECT_EQ(readBack(b, 3 * ZoSharedFile::BlockSize - 5, 10),
              Bytes({block[4091], block[4092], block[4093], block[4094], block[4095], other[0], other[1], other[2],
                     other[3], other[4]}));
}

// A write that starts past the last block gets the blocks in between, so the mapping of
// offsets to blocks stays exact.
TEST(ZoSharedFileEdges, AWriteBeyondTheEndFillsTheGapWithBlocks) {
    ZoTmpFile store;
    ZoSharedFile file(&store);
    Bytes bytes = pattern(100, 4);
    zotest::ok(file.write(3 * ZoSharedFile::BlockSize + 7, bytes.data(), 100));
    EXPECT_EQ(file.getBlockCount(), 4u);
    EXPECT_EQ(readBack(file, 3 * ZoSharedFile::BlockSize + 7, 100), bytes);
    // Past 65,536 blocks the write fails.
    EXPECT_EQ(file.write(ZoSharedFile::MaxBlocks * ZoSharedFile::BlockSize, bytes.data(), 1), ZoFailure);
}

TEST(ZoSharedFileFailure, NoMemoryForTheBlockListFailsAndLosesNoSpace) {
    uint32_t points = zotest::forEachAllocationFailure([](zotest::FailurePoint &point) {
        ZoTmpFile store;
        ZoSharedFile file(&store);
        Bytes bytes = pattern(3 * ZoSharedFile::BlockSize, 5);
        point.arm();
        ZoStatus status = file.write(0, bytes.data(), static_cast<uint32_t>(bytes.size()));
        point.disarm();
        if (status != ZoSuccess) {
            // The store holds exactly the blocks the file recorded.
            EXPECT_EQ(store.getEndOffset(), 1 + file.getBlockCount() * ZoSharedFile::BlockSize);
            zotest::ok(file.write(0, bytes.data(), static_cast<uint32_t>(bytes.size())));
        }
        EXPECT_EQ(readBack(file, 0, static_cast<uint32_t>(bytes.size())), bytes);
    });
    EXPECT_GE(points, 3u); // cache frames, set table, block list
}

// Several files in one store grow, shrink to nothing and grow again, each against a byte
// array; the store's small cache makes their blocks go through its file.
TEST(ZoSharedFileModel, FilesSharingAStoreMatchByteArrays) {
    ZoTmpFile store(8192);
    constexpr int Files = 4;
    std::vector<std::unique_ptr<ZoSharedFile>> files;
    std::vector<Bytes> oracles(Files);
    for (int i = 0; i < Files; ++i)
        files.push_back(std::make_unique<ZoSharedFile>(&store));
    std::mt19937 rng(99);
    for (int op = 0; op < 10000; ++op) {
        int f = static_cast<int>(rng() % Files);
        Bytes &oracle = oracles[f];
        uint32_t dice = rng() % 100;
        if (dice < 3) {
            files[f]->truncate();
            oracle.clear();
        } else if (dice < 60) {
            // Writes start anywhere up to the end of what was written (no gaps).
            uint32_t offset = static_cast<uint32_t>(rng() % (oracle.size() + 1));
            uint32_t length = 1 + rng() % (rng() % 4 == 0 ? 20000 : 300);
            Bytes bytes = pattern(length, static_cast<unsigned>(op));
            ASSERT_EQ(files[f]->write(offset, bytes.data(), length), ZoSuccess);
            if (offset + length > oracle.size())
                oracle.resize(offset + length);
            std::copy(bytes.begin(), bytes.end(), oracle.begin() + offset);
        } else if (!oracle.empty()) {
            uint32_t offset = static_cast<uint32_t>(rng() % oracle.size());
            uint32_t length = 1 + static_cast<uint32_t>(rng() % (oracle.size() - offset));
            ASSERT_EQ(readBack(*files[f], offset, length),
                      Bytes(oracle.begin() + offset, oracle.begin() + offset + length))
                << "file " << f << " at " << offset << " length " << length;
        }
        ASSERT_EQ(files[f]->getBlockCount(), (oracle.size() + ZoSharedFile::BlockSize - 1) / ZoSharedFile::BlockSize);
    }
    EXPECT_GT(store.getPagesInFile(), 4u);
    // Once every file is empty, the store's space is all free again.
    for (auto &file : files)
        file->truncate();
    EXPECT_EQ(store.getEndOffset(), 1u);
}

} // namespace
