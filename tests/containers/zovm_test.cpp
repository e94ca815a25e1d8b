#include <zo/bosfile.h>
#include <zo/pertask.h>
#include <zo/zovm.h>

#include <gtest/gtest.h>

#include "containers/zovmint.h"
#include "platform/file.h"
#include "support/alloc_failure.h"
#include "support/error_capture.h"
#include "support/status.h"
#include "support/temp_dir.h"

#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;
namespace plat = zo::plat;
constexpr uint32_t Block = BvmBlockSize;

Bytes pattern(uint32_t length, unsigned seed) {
    Bytes bytes(length);
    for (uint32_t i = 0; i < length; ++i)
        bytes[i] = static_cast<unsigned char>(seed * 29 + i * 13 + (i >> 10) + 1);
    return bytes;
}

// The process's cache for the length of a test.
struct Cache {
    explicit Cache(uint16_t chunks) : handle(bvmInit(chunks)) {}
    ~Cache() { bvmTerm(handle); }
    void *handle;
};

struct FaultsCleared {
    ~FaultsCleared() { plat::fileTestClearFaults(); }
};

// A file of the temporary directory, open read-write through the library.
struct File {
    File(const zotest::TempDir &dir, const std::string &name, const Bytes &contents) : path(dir.host(name)) {
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char *>(contents.data()), static_cast<std::streamsize>(contents.size()));
        unsigned char buffer[256] = {};
        std::memcpy(buffer, path.c_str(), path.size() + 1);
        zotest::ok(bosFileOpen(buffer, BOS_READWRITE, &handle));
    }
    ~File() { (void)bosFileClose(handle); } // 0 once the test closed it
    Bytes onDisk() const {
        std::ifstream in(path, std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), {});
    }
    std::string path;
    int handle = 0;
};

Bytes cachedRead(void *cache, int file, uint32_t offset, uint32_t length, VmHintType hint = VmHintNormal,
                 ZoStatus expected = ZoSuccess) {
    Bytes out(length);
    uint32_t got = 0;
    EXPECT_EQ(bvmFileRead(cache, file, static_cast<int32_t>(offset), out.data(), length, &got, hint), expected);
    out.resize(got);
    return out;
}

Bytes slice(const Bytes &bytes, size_t offset, size_t length) {
    offset = std::min(offset, bytes.size());
    return Bytes(bytes.begin() + offset, bytes.begin() + std::min(bytes.size(), offset + length));
}

TEST(BvmLifetime, InitIsCountedAndTheLastTermFrees) {
    void *first = bvmInit(2);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(mdsGetPerTaskData(PerTaskBlockCache), first);
    void *second = bvmInit(50); // the limit is the first caller's
    EXPECT_EQ(second, first);
    bvmTerm(first);
    EXPECT_EQ(mdsGetPerTaskData(PerTaskBlockCache), first);
    bvmTerm(second);
    EXPECT_EQ(mdsGetPerTaskData(PerTaskBlockCache), nullptr);
    // A handle that is no longer the process's cache is ignored.
    bvmTerm(first);
}

// Without memory no cache is made and the slot stays empty; a chunk that cannot be made
// fails the read that needed it, and the cache goes on.
TEST(BvmLifetime, NoMemoryMakesNoCacheAndFailsOnlyTheReadThatGrows) {
    uint32_t points = zotest::forEachAllocationFailure([](zotest::FailurePoint &point) {
        point.arm();
        void *cache = bvmInit(2);
        if (point.disarm()) {
            EXPECT_EQ(cache, nullptr);
            EXPECT_EQ(mdsGetPerTaskData(PerTaskBlockCache), nullptr);
        } else {
            EXPECT_NE(cache, nullptr);
        }
        bvmTerm(cache);
    });
    EXPECT_GE(points, 6u); // root, lock, descriptors, stamp epochs, tournament tree, pending lists
    zotest::TempDir dir;
    Bytes contents = pattern(2 * Block, 20);
    File f(dir, "a.dat", contents);
    Cache c(2);
    {
        zotest::NoMemory none;
        cachedRead(c.handle, f.handle, 0, 10, VmHintNormal, ZoFailure);
    }
    EXPECT_EQ(cachedRead(c.handle, f.handle, 0, 2 * Block), contents);
}

TEST(BvmRead, PiecesFollowBlocksAndStopAtTheEnd) {
    zotest::TempDir dir;
    Bytes contents = pattern(3 * Block + 500, 1);
    File f(dir, "a.dat", contents);
    Cache c(4);
    // 42 bytes at the end of block 0 and 58 at the start of block 1.
    EXPECT_EQ(cachedRead(c.handle, f.handle, Block - 42, 100), slice(contents, Block - 42, 100));
    EXPECT_EQ(bvmTestIsCached(c.handle, f.handle, 0), 1u);
    EXPECT_EQ(bvmTestIsCached(c.handle, f.handle, 1), 1u);
    EXPECT_EQ(bvmTestIsCached(c.handle, f.handle, 2), 0u);
    // Past the end: the bytes that exist, status 0; nothing at all beyond.
    EXPECT_EQ(cachedRead(c.handle, f.handle, 3 * Block + 300, 1000), slice(contents, 3 * Block + 300, 1000));
    EXPECT_TRUE(cachedRead(c.handle, f.handle, 5 * Block, 10).empty());
    EXPECT_TRUE(cachedRead(c.handle, f.handle, 0, 0).empty());
    cachedRead(c.handle, f.handle, uint32_t(-8), 10, VmHintNormal, ZoFailure); // a negative offset
}

TEST(BvmRead, ANullCacheReadsAndWritesTheFile) {
    zotest::TempDir dir;
    Bytes contents = pattern(Block, 2);
    File f(dir, "a.dat", contents);
    EXPECT_EQ(cachedRead(nullptr, f.handle, 10, 100), slice(contents, 10, 100));
    Bytes bytes = pattern(20, 3);
    zotest::ok(bvmFileWrite(nullptr, f.handle, 5, bytes.data(), 20));
    std::copy(bytes.begin(), bytes.end(), contents.begin() + 5);
    EXPECT_EQ(f.onDisk(), contents);
}

TEST(BvmWrite, WritesUpdateCachedBlocksAndTheirValidBytes) {
    zotest::TempDir dir;
    Bytes contents = pattern(100, 4);
    File f(dir, "a.dat", contents);
    Cache c(1);
    FaultsCleared cleared;
    cachedRead(c.handle, f.handle, 0, 100);
    Bytes bytes = pattern(80, 5);
    zotest::ok(bvmFileWrite(c.handle, f.handle, 60, bytes.data(), 80)); // extends the short block
    contents.resize(140);
    std::copy(bytes.begin(), bytes.end(), contents.begin() + 60);
    EXPECT_EQ(f.onDisk(), contents);
    // Served from the block: any file read would fail now.
    plat::fileTestInjectFault(plat::FileOp::Read, 1, plat::FileFault::Fail);
    EXPECT_EQ(cachedRead(c.handle, f.handle, 0, 140), contents);
}

// A write that starts past a block's valid bytes leaves them as they are: the bytes
// between belong to the file (here a hole of zeros), which the frame does not hold.
TEST(BvmWrite, AWritePastTheValidBytesLeavesTheGapToTheFile) {
    zotest::TempDir dir;
    Cache c(1);
    // Fill every frame with other bytes first, then give the frames back.
    File other(dir, "other.dat", pattern(8 * Block, 6));
    cachedRead(c.handle, other.handle, 0, 8 * Block);
    zotest::ok(bvmFlush(c.handle, other.handle));
    File f(dir, "a.dat", pattern(100, 7));
    cachedRead(c.handle, f.handle, 0, 100);
    Bytes bytes = pattern(50, 8);
    zotest::ok(bvmFileWrite(c.handle, f.handle, 200, bytes.data(), 50));
    EXPECT_EQ(cachedRead(c.handle, f.handle, 0, 250), f.onDisk());
}

TEST(BvmWrite, AFailedWriteDropsTheBlocksItTouched) {
    zotest::TempDir dir;
    Bytes contents = pattern(3 * Block, 9);
    File f(dir, "a.dat", contents);
    Cache c(1);
    FaultsCleared cleared;
    zotest::ErrorCapture errors;
    cachedRead(c.handle, f.handle, 0, 3 * Block);
    Bytes bytes = pattern(Block, 10);
    plat::fileTestInjectFault(plat::FileOp::Write, 1, plat::FileFault::ShortWrite);
    EXPECT_EQ(bvmFileWrite(c.handle, f.handle, Block / 2, bytes.data(), Block), ZoFailure);
    EXPECT_EQ(bvmTestIsCached(c.handle, f.handle, 0), 0u);
    EXPECT_EQ(bvmTestIsCached(c.handle, f.handle, 1), 0u);
    EXPECT_EQ(bvmTestIsCached(c.handle, f.handle, 2), 1u);
    // Whatever the short write left, reads agree with the file.
    EXPECT_EQ(cachedRead(c.handle, f.handle, 0, 3 * Block), f.onDisk());
}

TEST(BvmEviction, TheLeastRecentBlockGoesUnlessTheHintForbids) {
    zotest::TempDir dir;
    File f(dir, "a.dat", pattern(10 * Block, 11));
    for (VmHintType hint : {VmHintNormal, VmHintNoEvict}) {
        Cache c(1); // 8 frames
        for (uint32_t b = 0; b < 8; ++b)
            cachedRead(c.handle, f.handle, b * Block, 1);
        cachedRead(c.handle, f.handle, 0, 1); // block 0 is now the most recent
        EXPECT_EQ(cachedRead(c.handle, f.handle, 8 * Block, 10, hint), slice(f.onDisk(), 8 * Block, 10));
        EXPECT_EQ(bvmTestIsCached(c.handle, f.handle, 8), hint == VmHintNormal ? 1u : 0u);
        EXPECT_EQ(bvmTestIsCached(c.handle, f.handle, 1), hint == VmHintNormal ? 0u : 1u);
        EXPECT_EQ(bvmTestIsCached(c.handle, f.handle, 0), 1u);
        EXPECT_EQ(bvmTestBlocksMade(c.handle), 8u);
    }
}

TEST(BvmFlush, FlushDropsOneFileAndCloseClosesIt) {
    zotest::TempDir dir;
    File a(dir, "a.dat", pattern(2 * Block, 12)), b(dir, "b.dat", pattern(2 * Block, 13));
    Cache c(2);
    cachedRead(c.handle, a.handle, 0, 2 * Block);
    cachedRead(c.handle, b.handle, 0, 2 * Block);
    zotest::ok(bvmFlush(c.handle, a.handle));
    EXPECT_EQ(bvmTestIsCached(c.handle, a.handle, 0) + bvmTestIsCached(c.handle, a.handle, 1), 0u);
    EXPECT_EQ(bvmTestIsCached(c.handle, b.handle, 0) + bvmTestIsCached(c.handle, b.handle, 1), 2u);
    cachedRead(c.handle, a.handle, 0, 10);
    zotest::ok(bvmFileClose(c.handle, a.handle));
    EXPECT_EQ(bvmTestIsCached(c.handle, a.handle, 0), 0u);
    a.handle = 0;
    zotest::ok(bvmFileClose(c.handle, 0));
}

// Blocks are numbered in 16 bits: offsets from 512 MiB on must bypass the cache rather
// than wrap onto block 0.
TEST(BvmLimit, OffsetsFrom512MiBGoStraightToTheFile) {
    zotest::TempDir dir;
    File f(dir, "sparse.dat", pattern(Block, 14));
    const uint32_t edge = BvmCacheableLimit;
    Bytes across = pattern(300, 15);
    zotest::ok(bvmFileWrite(nullptr, f.handle, static_cast<int32_t>(edge - 100), across.data(), 300));
    Cache c(2);
    EXPECT_EQ(cachedRead(c.handle, f.handle, edge - 100, 300), across);
    EXPECT_EQ(bvmTestIsCached(c.handle, f.handle, 65535), 1u);
    EXPECT_EQ(bvmTestIsCached(c.handle, f.handle, 0), 0u);
    EXPECT_EQ(cachedRead(c.handle, f.handle, edge, 200), slice(across, 100, 200));
    EXPECT_EQ(bvmTestIsCached(c.handle, f.handle, 0), 0u);
    // A write there reaches the file and leaves block 0 alone.
    cachedRead(c.handle, f.handle, 0, 10);
    Bytes bytes = pattern(10, 16);
    zotest::ok(bvmFileWrite(c.handle, f.handle, static_cast<int32_t>(edge), bytes.data(), 10));
    EXPECT_EQ(cachedRead(c.handle, f.handle, 0, 10), slice(pattern(Block, 14), 0, 10));
    EXPECT_EQ(cachedRead(c.handle, f.handle, edge, 10), bytes);
}

TEST(BvmFaults, DeniedBlockReadsFallBackOthersFail) {
    zotest::TempDir dir;
    Bytes contents = pattern(2 * Block, 17);
    File f(dir, "a.dat", contents);
    Cache c(1);
    FaultsCleared cleared;
    zotest::ErrorCapture errors;
    // Denied: the error is taken back and the piece read on its own.
    plat::fileTestInjectFault(plat::FileOp::Read, 1, plat::FileFault::Fail, plat::FileAccessDenied);
    EXPECT_EQ(cachedRead(c.handle, f.handle, 100, 50), slice(contents, 100, 50));
    EXPECT_EQ(errors.list.getCount(), 0u);
    EXPECT_EQ(bvmTestIsCached(c.handle, f.handle, 0), 0u);
    // Any other failure fails the read and is recorded.
    plat::fileTestInjectFault(plat::FileOp::Read, 1, plat::FileFault::Fail, plat::FileOtherError);
    EXPECT_TRUE(cachedRead(c.handle, f.handle, Block - 10, 50, VmHintNormal, ZoFailure).empty());
    EXPECT_EQ(errors.list.getCount(), 1u);
    EXPECT_EQ(bvmTestIsCached(c.handle, f.handle, 0), 0u);
    // The cache stays usable.
    EXPECT_EQ(cachedRead(c.handle, f.handle, 0, 2 * Block), contents);
}

// ---- the replacement order against the described algorithm ------------------------------

// The cache as described, descriptor by descriptor: stamps halved when the stamp 0xFFFE is
// given and, while the clock is above 40,000, at every eviction; the victim is the first
// descriptor with the smallest stamp. It tracks only which blocks are where.
class DescribedCache {
public:
    explicit DescribedCache(uint16_t chunks) : descriptors_(chunks * 8u) {}

    void read(int file, uint32_t block, bool noEvict) {
        int index = find(file, block);
        if (index < 0) {
            if (free_.empty() && made_ < descriptors_.size()) {
                for (uint32_t i = 8; i > 0; --i)
                    free_.push_back(static_cast<int>(made_ + i - 1));
                made_ += 8;
            }
            if (!free_.empty()) {
                index = free_.back();
                free_.pop_back();
            } else if (noEvict) {
                return;
            } else {
                index = victim();
            }
            descriptors_[index].file = file;
            descriptors_[index].block = block;
        }
        stamp(index);
    }
    void flush(int file) {
        for (uint32_t i = 0; i < made_; ++i) {
            if (descriptors_[i].file == file) {
                descriptors_[i].file = 0;
                free_.push_back(static_cast<int>(i));
            }
        }
    }
    bool cached(int file, uint32_t block) const { return find(file, block) >= 0; }

private:
    struct Descriptor {
        int file = 0;
        uint32_t block = 0;
        uint32_t lastUse = 0;
    };
    int find(int file, uint32_t block) const {
        for (uint32_t i = 0; i < made_; ++i)
            if (descriptors_[i].file == file && descriptors_[i].block == block)
                return static_cast<int>(i);
        return -1;
    }
    int victim() {
        int best = -1;
        for (uint32_t i = 0; i < made_; ++i) {
            if (clock_ > 40000)
                descriptors_[i].lastUse /= 2;
            if (best < 0 || descriptors_[i].lastUse < descriptors_[best].lastUse)
                best = static_cast<int>(i);
        }
        return best;
    }
    void stamp(int index) {
        uint32_t given = clock_;
        descriptors_[index].lastUse = given;
        ++clock_;
        if (given == 0xFFFE) {
            for (Descriptor &d : descriptors_)
                d.lastUse /= 2;
            clock_ /= 2;
        }
    }

    std::vector<Descriptor> descriptors_;
    std::vector<int> free_;
    uint32_t made_ = 0;
    uint32_t clock_ = 0;
};

// Far past both halving points (40,000 and 0xFFFE), with hits, misses, hint-1 reads and
// flushes, the same blocks are cached as by the described scan.
TEST(BvmEviction, TheVictimIsTheOneTheFullScanWouldPick) {
    zotest::TempDir dir;
    File a(dir, "a.dat", pattern(24 * Block, 18)), b(dir, "b.dat", pattern(24 * Block, 19));
    const int files[2] = {a.handle, b.handle};
    for (uint16_t chunks : {1, 3}) {
        Cache c(chunks);
        DescribedCache model(chunks);
        std::mt19937 rng(chunks);
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
        const int reads = 90000;
#else
        const int reads = 150000;
#endif
        for (int op = 0; op < reads; ++op) {
            int file = files[rng() % 2];
            // Some blocks are much hotter than others, so stamps spread widely.
            uint32_t block = rng() % 4 == 0 ? rng() % 24 : rng() % (chunks * 8u - 2);
            bool noEvict = rng() % 10 == 0;
            if (rng() % 2000 == 0) {
                zotest::ok(bvmFlush(c.handle, file));
                model.flush(file);
                continue;
            }
            unsigned char byte;
            uint32_t got;
            zotest::ok(bvmFileRead(c.handle, file, static_cast<int32_t>(block * Block), &byte, 1, &got,
                                   noEvict ? VmHintNoEvict : VmHintNormal));
            model.read(file, block, noEvict);
            if (op % 7 != 0)
                continue;
            for (int f : files)
                for (uint32_t blk = 0; blk < 24; ++blk)
                    ASSERT_EQ(bvmTestIsCached(c.handle, f, blk), model.cached(f, blk) ? 1u : 0u)
                        << "chunks " << chunks << " op " << op << " block " << blk;
        }
    }
}

// ---- randomized against the file ----------------------------------------------------------

// Threads share the cache, each reading and writing files of its own at random offsets and
// lengths across block edges, past the ends too, with flushes; every read is compared
// with a byte array of the file.
void exerciseFiles(void *cache, const zotest::TempDir &dir, int thread, int ops) {
    std::mt19937 rng(static_cast<unsigned>(thread * 7919 + ops));
    std::vector<std::unique_ptr<File>> files;
    std::vector<Bytes> oracles;
    for (int i = 0; i < 2; ++i) {
        oracles.push_back(pattern(static_cast<uint32_t>(5 * Block + rng() % (6 * Block)), rng()));
        files.push_back(
            std::make_unique<File>(dir, "t" + std::to_string(thread) + "_" + std::to_string(i), oracles.back()));
    }
    for (int op = 0; op < ops; ++op) {
        const size_t i = rng() % 2;
        Bytes &oracle = oracles[i];
        const int handle = files[i]->handle;
        const uint32_t offset = static_cast<uint32_t>(rng() % (oracle.size() + Block));
        const uint32_t length = rng() % 8 == 0 ? rng() % (3 * Block) : rng() % 700;
        const uint32_t dice = rng() % 100;
        if (dice < 20) {
            Bytes bytes = pattern(length, rng());
            ASSERT_EQ(bvmFileWrite(cache, handle, static_cast<int32_t>(offset), bytes.data(), length), ZoSuccess);
            if (length > 0 && offset + length > oracle.size())
                oracle.resize(offset + length, 0);
            std::copy(bytes.begin(), bytes.end(), oracle.begin() + offset);
        } else if (dice < 22) {
            ASSERT_EQ(bvmFlush(cache, handle), ZoSuccess);
        } else {
            VmHintType hint = dice < 30 ? VmHintNoEvict : VmHintNormal;
            ASSERT_EQ(cachedRead(cache, handle, offset, length, hint), slice(oracle, offset, length))
                << "thread " << thread << " file " << i << " at " << offset << " length " << length;
        }
    }
    for (size_t i = 0; i < files.size(); ++i) {
        EXPECT_EQ(files[i]->onDisk(), oracles[i]);
        // Closed through the cache: a file opened later under the same handle must not
        // find these blocks.
        EXPECT_EQ(bvmFileClose(cache, files[i]->handle), ZoSuccess);
        files[i]->handle = 0;
    }
}

TEST(BvmModel, ThreadsAndFilesAgainstByteArrays) {
    zotest::TempDir dir;
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    const int ops = 800;
#else
    const int ops = 3000;
#endif
    for (uint16_t chunks : {1, 2, 5, 40}) {
        SCOPED_TRACE(testing::Message() << "chunks " << chunks);
        Cache c(chunks);
        std::vector<std::thread> threads;
        for (int t = 0; t < 3; ++t)
            threads.emplace_back([&, t] { exerciseFiles(c.handle, dir, t, ops); });
        for (std::thread &t : threads)
            t.join();
    }
}

} // namespace
