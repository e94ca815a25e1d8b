#include <zo/bosfile.h>
#include <zo/zostring.h>
#include <zo/zotmpfil.h>

#include <gtest/gtest.h>

#include "platform/file.h"
#include "support/alloc_failure.h"

#include <cstring>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr uint32_t Page = ZoTmpFile::PageSize;

std::vector<unsigned char> pattern(uint32_t length, unsigned seed) {
    std::vector<unsigned char> bytes(length);
    for (uint32_t i = 0; i < length; ++i)
        bytes[i] = static_cast<unsigned char>(seed * 131 + i * 7 + (i >> 8));
    return bytes;
}

std::vector<std::pair<uint32_t, uint32_t>> freeBlocks(const ZoTmpFile &store) {
    std::vector<std::pair<uint32_t, uint32_t>> out;
    const ZoSortedArray &list = store.getFreeList();
    for (uint32_t i = 0; i < list.getCount(); ++i) {
        const TmpSpace *block = static_cast<const TmpSpace *>(list.getAt(i));
        out.emplace_back(block->offset, block->size);
    }
    return out;
}

using Blocks = std::vector<std::pair<uint32_t, uint32_t>>;

TEST(ZoTmpFileSpace, FirstAllocationsAndAlignment) {
    ZoTmpFile store;
    EXPECT_EQ(store.getEndOffset(), 1u);
    EXPECT_FALSE(store.hasCache());
    uint32_t offset = 0;
    ASSERT_EQ(store.tmpFindSpace(100, &offset), ZoSuccess);
    EXPECT_EQ(offset, 1u);
    EXPECT_EQ(store.getEndOffset(), 101u);
    EXPECT_TRUE(store.hasCache());
    EXPECT_EQ(store.getContiguousSpace(8), 104u);
    ASSERT_EQ(store.tmpFindSpace(2000 - 112, &offset), ZoSuccess);
    EXPECT_EQ(store.getEndOffset(), 2000u);
    EXPECT_EQ(store.getContiguousSpace(100), 2048u); // 48 bytes left in the page: too few
    EXPECT_EQ(store.getEndOffset(), 2148u);
    EXPECT_EQ(store.getContiguousSpace(5000), 4096u); // larger than a page: starts one
}

TEST(ZoTmpFileSpace, FreeingAtTheEndLowersItAndAbsorbsFreeBlocks) {
    ZoTmpFile store;
    uint32_t a, b, c;
    ASSERT_EQ(store.tmpFindSpace(1000, &a), ZoSuccess);
    ASSERT_EQ(store.tmpFindSpace(400, &b), ZoSuccess);
    ASSERT_EQ(store.tmpFindSpace(300, &c), ZoSuccess);
    store.tmpFreeSpace(b, 400);
    EXPECT_EQ(freeBlocks(store), (Blocks{{b, 400}}));
    store.tmpFreeSpace(c, 300);
    EXPECT_EQ(store.getEndOffset(), b);
    EXPECT_TRUE(freeBlocks(store).empty());
}

TEST(ZoTmpFileSpace, SmallBlocksAreLostLargeOnesSplitOrGoWhole) {
    ZoTmpFile store;
    uint32_t a, b, c, d, o;
    ASSERT_EQ(store.tmpFindSpace(200, &a), ZoSuccess);
    ASSERT_EQ(store.tmpFindSpace(100, &b), ZoSuccess);
    ASSERT_EQ(store.tmpFindSpace(300, &c), ZoSuccess);
    ASSERT_EQ(store.tmpFindSpace(100, &d), ZoSuccess);
    store.tmpFreeSpace(a, 200); // under 256: not tracked
    EXPECT_TRUE(freeBlocks(store).empty());
    store.tmpFreeSpace(c, 300);
    EXPECT_EQ(freeBlocks(store), (Blocks{{c, 300}}));
    ASSERT_EQ(store.tmpFindSpace(40, &o), ZoSuccess);
    EXPECT_EQ(o, c);
    EXPECT_EQ(freeBlocks(store), (Blocks{{c + 40, 260}}));
    ASSERT_EQ(store.tmpFindSpace(100, &o), ZoSuccess); // rest 160 < 256: taken whole
    EXPECT_EQ(o, c + 40);
    EXPECT_TRUE(freeBlocks(store).empty());
    ASSERT_EQ(store.tmpFindSpace(10, &o), ZoSuccess);
    EXPECT_EQ(o, d + 100);
}

TEST(ZoTmpFileSpace, AdjacentBlocksMergeAndLowestFitWins) {
    ZoTmpFile store;
    uint32_t b[5], o;
    for (uint32_t &block : b)
        ASSERT_EQ(store.tmpFindSpace(300, &block), ZoSuccess);
    store.tmpFreeSpace(b[3], 300);
    store.tmpFreeSpace(b[1], 300);
    store.tmpFreeSpace(b[2], 300);
    EXPECT_EQ(freeBlocks(store), (Blocks{{b[1], 900}}));
    store.tmpFreeSpace(b[0], 300);
    EXPECT_EQ(freeBlocks(store), (Blocks{{b[0], 1200}}));
    ASSERT_EQ(store.tmpFindSpace(1200, &o), ZoSuccess);
    EXPECT_EQ(o, b[0]);
    // Giving back everything from an offset on drops the free blocks above it.
    store.tmpFreeSpace(b[0] + 600, 300);
    store.tmpFreeSpace(b[0] + 300, ZoTmpFile::AllSpace);
    EXPECT_EQ(store.getEndOffset(), b[0] + 300);
    EXPECT_TRUE(freeBlocks(store).empty());
}

TEST(ZoTmpFileSpace, AllSpaceAndTheAddressLimit) {
    ZoTmpFile store;
    uint32_t o;
    ASSERT_EQ(store.tmpFindSpace(ZoTmpFile::AllSpace, &o), ZoSuccess);
    EXPECT_EQ(o, 1u);
    EXPECT_EQ(store.getEndOffset(), ZoTmpFile::AllSpace);
    EXPECT_EQ(store.tmpFindSpace(10, &o), ZoFailure); // nothing left, and no wrap-around
    EXPECT_EQ(store.getContiguousSpace(4), 0u);
    store.tmpFreeSpace(1, ZoTmpFile::AllSpace);
    EXPECT_EQ(store.getEndOffset(), 1u);
    ASSERT_EQ(store.tmpFindSpace(ZoTmpFile::AddressLimit - 2048, &o), ZoSuccess);
    EXPECT_EQ(store.getContiguousSpace(2048), 0u);
    EXPECT_EQ(store.getContiguousSpace(2044), ZoTmpFile::AddressLimit - 2044);
}

TEST(ZoTmpFileSpace, BadFreesAreIgnored) {
    ZoTmpFile store;
    uint32_t o;
    ASSERT_EQ(store.tmpFindSpace(1000, &o), ZoSuccess);
    store.tmpFreeSpace(0, 500);            // offset 0 is never handed out
    store.tmpFreeSpace(600, 1000);         // reaches past the end
    store.tmpFreeSpace(0xFFFFFF00, 0x200); // would wrap
    EXPECT_EQ(store.getEndOffset(), 1001u);
    EXPECT_TRUE(freeBlocks(store).empty());
}

TEST(ZoTmpFileRange, ReadNeedsTheCacheAndOffsetsStayBelowTheLimit) {
    ZoTmpFile store;
    unsigned char bytes[8] = {};
    void *pointer;
    uint16_t available;
    EXPECT_EQ(store.tmpRead(1, bytes, 4), ZoFailure);
    EXPECT_EQ(store.tmpWrite(ZoTmpFile::AddressLimit - 2, bytes, 4), ZoFailure);
    EXPECT_EQ(store.tmpWrite(0xFFFFFFFE, bytes, 4), ZoFailure);
    EXPECT_EQ(store.tmpPointer(ZoTmpFile::AddressLimit, &pointer, &available, 0), ZoFailure);
    ASSERT_EQ(store.tmpWrite(ZoTmpFile::AddressLimit - 4, "abcd", 4), ZoSuccess);
    EXPECT_EQ(store.getEndOffset(), ZoTmpFile::AddressLimit);
    EXPECT_EQ(store.tmpRead(ZoTmpFile::AddressLimit - 4, bytes, 5), ZoFailure);
    ASSERT_EQ(store.tmpRead(ZoTmpFile::AddressLimit - 4, bytes, 4), ZoSuccess);
    EXPECT_EQ(std::memcmp(bytes, "abcd", 4), 0);
    ASSERT_EQ(store.tmpPointer(ZoTmpFile::AddressLimit - 1, &pointer, &available, 0), ZoSuccess);
    EXPECT_EQ(available, 1);
    EXPECT_EQ(*static_cast<char *>(pointer), 'd');
    // Bytes never written read as whatever the frame held, without failing.
    EXPECT_EQ(store.tmpRead(5 * Page + 3, bytes, 8), ZoSuccess);
}

TEST(ZoTmpFileCache, EvictionCreatesTheFileAndReadsBack) {
    ZoTmpFile store; // 8 sets: pages 0, 8 and 16 share set 0
    std::vector<unsigned char> p0 = pattern(Page, 1), p8 = pattern(Page, 2), p16 = pattern(Page, 3);
    ASSERT_EQ(store.tmpWrite(0, p0.data(), Page), ZoSuccess);
    ASSERT_EQ(store.tmpWrite(8 * Page, p8.data(), Page), ZoSuccess);
    EXPECT_EQ(store.getFileName(), nullptr);
    ASSERT_EQ(store.tmpWrite(16 * Page, p16.data(), Page), ZoSuccess);
    ASSERT_NE(store.getFileName(), nullptr); // page 0 went out
    EXPECT_NE(store.getFileHandle(), 0);
    EXPECT_EQ(store.getPagesInFile(), 1u);
    EXPECT_EQ(store.getHighestPage(), 0);
    std::vector<unsigned char> back(Page);
    ASSERT_EQ(store.tmpRead(0, back.data(), Page), ZoSuccess);
    EXPECT_EQ(back, p0);
    ASSERT_EQ(store.tmpRead(8 * Page, back.data(), Page), ZoSuccess);
    EXPECT_EQ(back, p8);
    ASSERT_EQ(store.tmpRead(16 * Page, back.data(), Page), ZoSuccess);
    EXPECT_EQ(back, p16);
    EXPECT_EQ(store.getHighestPage(), 16);
}

TEST(ZoTmpFileCache, PointerStaysValidBesideOneOtherPageOfItsSet) {
    ZoTmpFile store(4096); // one set of two ways
    void *first;
    void *second;
    uint16_t available;
    ASSERT_EQ(store.tmpPointer(3 * Page + 10, &first, &available, 1), ZoSuccess);
    EXPECT_EQ(available, Page - 10);
    std::memset(first, 'x', available);
    ASSERT_EQ(store.tmpPointer(7 * Page, &second, &available, 1), ZoSuccess);
    std::memset(second, 'y', Page);
    EXPECT_EQ(*static_cast<char *>(first), 'x'); // still resident
    // A third page evicts the older one, which comes back from the file.
    void *third;
    ASSERT_EQ(store.tmpPointer(9 * Page, &third, &available, 0), ZoSuccess);
    char c = 0;
    ASSERT_EQ(store.tmpRead(3 * Page + 10, &c, 1), ZoSuccess);
    EXPECT_EQ(c, 'x');
    ASSERT_EQ(store.tmpRead(7 * Page + 100, &c, 1), ZoSuccess);
    EXPECT_EQ(c, 'y');
}

// Pinned pages leave the two-way sets: their pointers hold through any traffic, they are
// never written out, and a page pinned after going out comes back from the file first.
TEST(ZoTmpFileCache, PinnedPagesStayPutUpToTheLimit) {
    ZoTmpFile store(4096); // one set of two ways
    store.setPinLimit(2);
    std::vector<unsigned char> p3 = pattern(Page, 4), p5 = pattern(Page, 5);
    ASSERT_EQ(store.tmpWrite(3 * Page, p3.data(), Page), ZoSuccess);
    ASSERT_EQ(store.tmpWrite(5 * Page, p5.data(), Page), ZoSuccess);
    ASSERT_EQ(store.tmpPinPage(3 * Page + 7), ZoSuccess);
    void *pinned;
    uint16_t available;
    ASSERT_EQ(store.tmpPointer(3 * Page, &pinned, &available, 1), ZoSuccess);
    // Pages 5 and 7 go out to the file as 7, 9 and 11 come in; page 3 stays in memory.
    for (uint32_t page : {7u, 9u, 11u})
        ASSERT_EQ(store.tmpWrite(page * Page, p5.data(), 10), ZoSuccess);
    EXPECT_EQ(std::memcmp(pinned, p3.data(), Page), 0);
    EXPECT_EQ(store.getHighestPage(), 7);
    // Pinning the evicted page 5 reads it back; a third pin is over the limit.
    ASSERT_EQ(store.tmpPinPage(5 * Page), ZoSuccess);
    EXPECT_EQ(store.tmpPinPage(13 * Page), ZoFailure);
    EXPECT_EQ(store.getPinnedPages(), 2u);
    std::vector<unsigned char> back(Page);
    ASSERT_EQ(store.tmpRead(5 * Page, back.data(), Page), ZoSuccess);
    EXPECT_EQ(back, p5);
    std::memset(pinned, 'z', Page);
    ASSERT_EQ(store.tmpRead(3 * Page, back.data(), Page), ZoSuccess);
    EXPECT_EQ(back, std::vector<unsigned char>(Page, 'z'));
    EXPECT_EQ(store.getPagesInFile(), 8u); // pinned pages are never written out
    store.tmpTruncate(0);
    EXPECT_EQ(store.getPinnedPages(), 0u);
    EXPECT_EQ(ZoTmpFile().tmpPinPage(0), ZoFailure); // no pins by default
}

TEST(ZoTmpFileCache, LoseFocusReopensTheFileByName) {
    ZoTmpFile store(4096);
    std::vector<unsigned char> data = pattern(5 * Page, 9);
    ASSERT_EQ(store.writeHuge(1, data.data(), 5 * Page), ZoSuccess);
    ASSERT_NE(store.getFileHandle(), 0);
    store.tmpLoseFocus();
    EXPECT_EQ(store.getFileHandle(), 0);
    ASSERT_NE(store.getFileName(), nullptr);
    std::vector<unsigned char> back(5 * Page);
    ASSERT_EQ(store.readHuge(1, back.data(), 5 * Page), ZoSuccess);
    EXPECT_EQ(back, data);
    EXPECT_NE(store.getFileHandle(), 0);
}

TEST(ZoTmpFileCache, TruncateDiscardsAndCanKeepTheFrames) {
    ZoTmpFile store(4096);
    std::vector<unsigned char> data = pattern(4 * Page, 5);
    ASSERT_EQ(store.tmpWrite(1, data.data(), 4 * Page), ZoSuccess);
    uint32_t o;
    ASSERT_EQ(store.tmpFindSpace(1000, &o), ZoSuccess);
    store.tmpFreeSpace(1, 1000);
    ASSERT_NE(store.getFileName(), nullptr);
    std::string name(reinterpret_cast<const char *>(store.getFileName()));
    EXPECT_EQ(bosexist(reinterpret_cast<const unsigned char *>(name.c_str())), 1);
    store.tmpTruncate(1);
    EXPECT_EQ(bosexist(reinterpret_cast<const unsigned char *>(name.c_str())), 0); // the file is gone
    EXPECT_EQ(store.getFileName(), nullptr);
    EXPECT_EQ(store.getFileHandle(), 0);
    EXPECT_EQ(store.getEndOffset(), 1u);
    EXPECT_EQ(store.getPagesInFile(), 0u);
    EXPECT_TRUE(freeBlocks(store).empty());
    EXPECT_FALSE(store.hasCache());
    EXPECT_TRUE(store.hasPageFrames());
    uint32_t points = zotest::forEachAllocationFailure([&](zotest::FailurePoint &point) {
        point.arm();
        ZoStatus status = store.tmpWrite(1, "z", 1);
        EXPECT_EQ(status, point.disarm() ? ZoFailure : ZoSuccess);
    });
    EXPECT_EQ(points, 1u); // only the set table
    store.tmpTruncate(0);
    EXPECT_FALSE(store.hasPageFrames());
}

TEST(ZoTmpFileCache, AllocationFailuresLeaveTheStoreUsable) {
    ZoTmpFile store;
    uint32_t points = zotest::forEachAllocationFailure([&](zotest::FailurePoint &point) {
        uint32_t o = 0;
        point.arm();
        ZoStatus status = store.tmpFindSpace(300, &o);
        EXPECT_EQ(status, point.disarm() ? ZoFailure : ZoSuccess);
    });
    EXPECT_EQ(points, 2u); // page frames, set table
    // A free block whose record cannot be made is lost, silently.
    uint32_t a, b;
    ASSERT_EQ(store.tmpFindSpace(300, &a), ZoSuccess);
    ASSERT_EQ(store.tmpFindSpace(300, &b), ZoSuccess);
    {
        zotest::NoMemory none;
        store.tmpFreeSpace(a, 300);
    }
    EXPECT_TRUE(freeBlocks(store).empty());
    uint32_t c;
    ASSERT_EQ(store.tmpFindSpace(300, &c), ZoSuccess);
    EXPECT_EQ(c, b + 300);
}

TEST(ZoTmpFileCache, NoMemoryForTheFileNameFailsTheEvictionOnly) {
    std::vector<unsigned char> page0 = pattern(Page, 1), page1 = pattern(Page, 2), page2 = pattern(Page, 3);
    uint32_t points = zotest::forEachAllocationFailure([&](zotest::FailurePoint &point) {
        ZoTmpFile store(4096);
        ASSERT_EQ(store.tmpWrite(0, page0.data(), Page), ZoSuccess);
        ASSERT_EQ(store.tmpWrite(Page, page1.data(), Page), ZoSuccess);
        point.arm();
        ZoStatus status = store.tmpWrite(2 * Page, page2.data(), Page); // evicts page 0
        if (point.disarm()) {
            EXPECT_EQ(status, ZoFailure);
            EXPECT_EQ(store.getFileName(), nullptr);
            ASSERT_EQ(store.tmpWrite(2 * Page, page2.data(), Page), ZoSuccess);
        } else {
            EXPECT_EQ(status, ZoSuccess);
        }
        std::vector<unsigned char> back(3 * Page), expected = page0;
        expected.insert(expected.end(), page1.begin(), page1.end());
        expected.insert(expected.end(), page2.begin(), page2.end());
        ASSERT_EQ(store.tmpRead(0, back.data(), 3 * Page), ZoSuccess);
        EXPECT_EQ(back, expected);
    });
    EXPECT_GE(points, 1u);
}

TEST(ZoTmpFileString, ReadReplacesTheStringContents) {
    ZoTmpFile store;
    ASSERT_EQ(store.tmpWrite(2040, "hello, paged world", 18), ZoSuccess);
    ZoString text;
    ASSERT_EQ(text.initialize("old text"), ZoSuccess);
    ASSERT_EQ(store.read(2047, &text, 11), ZoSuccess);
    EXPECT_EQ(text.length(), 11u);
    EXPECT_STREQ(reinterpret_cast<const char *>(text.data()), "paged world");
    ZoString empty;
    ASSERT_EQ(store.read(2040, &empty, 5), ZoSuccess);
    EXPECT_STREQ(reinterpret_cast<const char *>(empty.data()), "hello");
    EXPECT_EQ(store.read(ZoTmpFile::AddressLimit - 2, &empty, 5), ZoFailure);
    EXPECT_EQ(empty.length(), 0u);
}

TEST(ZoTmpFileLock, ThreadsShareAStore) {
    ZoTmpFile store(4096);
    constexpr int Threads = 4;
    constexpr uint32_t Span = 3 * Page;
    std::vector<std::thread> threads;
    std::vector<int> failures(Threads, 0);
    for (int t = 0; t < Threads; ++t) {
        threads.emplace_back([&, t] {
            std::vector<unsigned char> mine = pattern(Span, t + 1), back(Span);
            for (int round = 0; round < 50; ++round) {
                uint32_t at = 1 + t * Span;
                if (store.tmpWrite(at, mine.data(), Span) != ZoSuccess ||
                    store.tmpRead(at, back.data(), Span) != ZoSuccess || back != mine)
                    ++failures[t];
            }
        });
    }
    for (std::thread &thread : threads)
        thread.join();
    EXPECT_EQ(failures, std::vector<int>(Threads, 0));
}

// ---- backing-file faults -------------------------------------------------------------

// A fixed run of transfers on a one-set store, so that nearly every step moves a page to
// or from the file, with a lost handle in the middle (reopening by name).
struct FaultRun {
    static constexpr uint32_t Pages = 6;
    ZoTmpFile store{4096};
    std::vector<unsigned char> expected = std::vector<unsigned char>(Pages * Page);
    std::vector<std::pair<uint32_t, uint32_t>> failedWrites;
    int failures = 0;

    // Bytes of a failed write are in an unknown state until written again.
    std::vector<bool> unknown = std::vector<bool>(Pages * Page);

    void write(uint32_t offset, uint32_t length, unsigned seed) {
        std::vector<unsigned char> bytes = pattern(length, seed);
        std::copy(bytes.begin(), bytes.end(), expected.begin() + offset);
        bool ok = store.tmpWrite(offset, bytes.data(), length) == ZoSuccess;
        std::fill(unknown.begin() + offset, unknown.begin() + offset + length, !ok);
        if (!ok) {
            ++failures;
            failedWrites.emplace_back(offset, length);
        }
    }
    void read(uint32_t offset, uint32_t length) {
        std::vector<unsigned char> back(length);
        if (store.tmpRead(offset, back.data(), length) != ZoSuccess) {
            ++failures;
            return;
        }
        for (uint32_t i = 0; i < length; ++i)
            if (!unknown[offset + i] && back[i] != expected[offset + i]) {
                ADD_FAILURE() << "byte " << offset + i << " lost";
                return;
            }
    }
    void run() {
        for (uint32_t p = 0; p < Pages; ++p)
            write(p * Page, Page, p);
        read(0, Page);
        write(Page + 100, 300, 11);
        read(2 * Page - 50, 200);
        store.tmpLoseFocus();
        read(4 * Page, Page);
        write(3 * Page + 7, 2 * Page, 12);
        read(0, Pages * Page);
    }
    // With the faults gone, the writes that failed are made again and everything reads back.
    void verifyAfter() {
        zo::plat::fileTestClearFaults();
        for (auto [offset, length] : failedWrites) {
            std::vector<unsigned char> bytes(expected.begin() + offset, expected.begin() + offset + length);
            ASSERT_EQ(store.tmpWrite(offset, bytes.data(), length), ZoSuccess);
        }
        std::vector<unsigned char> back(Pages * Page);
        ASSERT_EQ(store.tmpRead(0, back.data(), Pages * Page), ZoSuccess);
        EXPECT_EQ(back, expected);
    }
};

struct FaultCase {
    zo::plat::FileOp op;
    zo::plat::FileFault fault;
    const char *name;
};

// The k-th open, read or write of the backing file fails (or writes short), for each k in
// turn: exactly the operation that needed it reports 1 and no data is lost.
TEST(ZoTmpFileFaults, EachFileCallFailingInTurn) {
    using zo::plat::FileFault;
    using zo::plat::FileOp;
    const FaultCase cases[] = {{FileOp::Open, FileFault::Fail, "open"},
                               {FileOp::Read, FileFault::Fail, "read"},
                               {FileOp::Write, FileFault::Fail, "write"},
                               {FileOp::Write, FileFault::ShortWrite, "short write"},
                               {FileOp::Write, FileFault::DiskFull, "disk full"}};
    for (const FaultCase &c : cases) {
        uint32_t k = 1;
        for (;; ++k) {
            SCOPED_TRACE(testing::Message() << c.name << " k=" << k);
            FaultRun run;
            zo::plat::fileTestInjectFault(c.op, k, c.fault);
            run.run();
            zo::plat::fileTestClearFaults();
            if (run.failures == 0)
                break; // fewer than k calls: nothing was injected
            EXPECT_EQ(run.failures, 1);
            run.verifyAfter();
            ASSERT_LT(k, 200u);
        }
        EXPECT_GT(k, 2u) << c.name; // the run did reach the file several times
    }
}

TEST(ZoTmpFileFaults, AWholePageWriteReadsNothing) {
    ZoTmpFile store(4096);
    std::vector<unsigned char> page = pattern(Page, 4);
    for (uint32_t p = 0; p < 3; ++p)
        ASSERT_EQ(store.tmpWrite(p * Page, page.data(), Page), ZoSuccess);
    ASSERT_GE(store.getPagesInFile(), 1u); // page 0 lies in the file now
    zo::plat::fileTestInjectFault(zo::plat::FileOp::Read, 1, zo::plat::FileFault::Fail);
    EXPECT_EQ(store.tmpWrite(0, page.data(), Page), ZoSuccess);      // overwrites: no read
    EXPECT_EQ(store.tmpWrite(Page + 1, page.data(), 10), ZoFailure); // needs page 1's bytes
    zo::plat::fileTestClearFaults();
    std::vector<unsigned char> back(Page);
    ASSERT_EQ(store.tmpRead(Page, back.data(), Page), ZoSuccess);
    EXPECT_EQ(back, page);
}

// ---- randomized model test -----------------------------------------------------------

// Random allocation, freeing, writing, reading and pointer access on a store with a tiny
// cache, against a byte-array copy of every live block. Blocks handed out must never
// overlap a live block.
TEST(ZoTmpFileModel, MatchesAByteArray) {
    ZoTmpFile store(8192); // 2 sets, 4 pages: spills almost at once
    std::mt19937 rng(777);
    std::map<uint32_t, std::vector<unsigned char>> live; // offset -> contents
    auto pick = [&]() {
        auto at = live.begin();
        std::advance(at, rng() % live.size());
        return at;
    };
    for (int op = 0; op < 20000; ++op) {
        uint32_t dice = rng() % 100;
        if (live.empty() || dice < 25) {
            uint32_t size = 1 + (rng() % 4 == 0 ? rng() % 9000 : rng() % 600);
            uint32_t offset;
            ASSERT_EQ(store.tmpFindSpace(size, &offset), ZoSuccess);
            ASSERT_GE(offset, 1u);
            auto next = live.lower_bound(offset);
            if (next != live.end()) {
                ASSERT_LE(offset + size, next->first) << "overlaps the block above";
            }
            if (next != live.begin()) {
                ASSERT_LE(std::prev(next)->first + std::prev(next)->second.size(), offset)
                    << "overlaps the block below";
            }
            std::vector<unsigned char> bytes = pattern(size, op);
            ASSERT_EQ(store.tmpWrite(offset, bytes.data(), size), ZoSuccess);
            live.emplace(offset, std::move(bytes));
        } else if (dice < 40) {
            auto victim = pick();
            store.tmpFreeSpace(victim->first, static_cast<uint32_t>(victim->second.size()));
            live.erase(victim);
        } else if (dice < 60) {
            auto block = pick();
            uint32_t size = static_cast<uint32_t>(block->second.size());
            uint32_t from = rng() % size, length = 1 + rng() % (size - from);
            for (uint32_t i = 0; i < length; ++i)
                block->second[from + i] = static_cast<unsigned char>(rng());
            ASSERT_EQ(store.tmpWrite(block->first + from, block->second.data() + from, length), ZoSuccess);
        } else if (dice < 85) {
            auto block = pick();
            std::vector<unsigned char> back(block->second.size());
            ASSERT_EQ(store.tmpRead(block->first, back.data(), static_cast<uint32_t>(back.size())), ZoSuccess);
            ASSERT_EQ(back, block->second) << "block at " << block->first << " after operation " << op;
        } else {
            auto block = pick();
            uint32_t size = static_cast<uint32_t>(block->second.size());
            uint32_t from = rng() % size;
            void *pointer;
            uint16_t available;
            bool write = rng() % 2 == 0;
            ASSERT_EQ(store.tmpPointer(block->first + from, &pointer, &available, write ? 1 : 0), ZoSuccess);
            uint32_t span = std::min<uint32_t>(available, size - from);
            ASSERT_EQ(available, Page - (block->first + from) % Page);
            unsigned char *bytes = static_cast<unsigned char *>(pointer);
            ASSERT_EQ(std::memcmp(bytes, block->second.data() + from, span), 0);
            if (write)
                for (uint32_t i = 0; i < span; ++i)
                    bytes[i] = block->second[from + i] = static_cast<unsigned char>(bytes[i] + 1);
        }
    }
    EXPECT_GT(store.getPagesInFile(), 8u);
}

} // namespace
