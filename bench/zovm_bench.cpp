// The file block cache against pread on a 64 MB file (in the page cache): 1,000,000 reads
// of 512 bytes at random offsets through a warm cache that holds the whole file (hits),
// and reads that always miss through caches of several sizes (a miss reads its 8 KiB
// block and evicts the least recently used one, whatever the cache's size).
#include <zo/bosfile.h>
#include <zo/zovm.h>

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr uint32_t FileSize = 64u << 20;
constexpr uint32_t ReadSize = 512;
constexpr uint32_t Reads = 1000000;
constexpr uint32_t Blocks = FileSize / BvmBlockSize;

// The file, made once for the run and removed at its end.
struct DataFile {
    std::string path = (std::filesystem::temp_directory_path() / "zo_bvm_bench.dat").string();
    DataFile() {
        std::mt19937 rng(64);
        std::vector<uint32_t> words(FileSize / 4);
        for (uint32_t &w : words)
            w = rng();
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char *>(words.data()), static_cast<std::streamsize>(FileSize));
    }
    ~DataFile() { std::filesystem::remove(path); }
};

const DataFile &dataFile() {
    static const DataFile file;
    return file;
}

// The file opened through the library, and the process's cache of chunkLimit chunks; the
// benchmark is skipped when either cannot be had.
struct CachedFile {
    CachedFile(benchmark::State &state, uint16_t chunkLimit) : cache(bvmInit(chunkLimit)) {
        unsigned char name[256] = {};
        std::memcpy(name, dataFile().path.c_str(), dataFile().path.size() + 1);
        if (cache == nullptr || bosFileOpen(name, 0, &file) != ZoSuccess)
            state.SkipWithError("the file or the cache could not be had");
    }
    ~CachedFile() {
        (void)bvmFileClose(cache, file); // only drops blocks and closes a read-only file
        bvmTerm(cache);
    }
    bool ready() const { return cache != nullptr && file != 0; }
    void *cache;
    int file = 0;
};

// Random offsets anywhere in the file (a read may span two blocks).
const std::vector<uint32_t> &randomOffsets() {
    static const std::vector<uint32_t> offsets = [] {
        std::mt19937 rng(512);
        std::vector<uint32_t> out(Reads);
        for (uint32_t &o : out)
            o = rng() % (FileSize - ReadSize);
        return out;
    }();
    return offsets;
}

// Every block once in a shuffled order, again and again: each block comes back only after
// all the others, so no cache smaller than the file keeps it.
const std::vector<uint32_t> &missingOffsets() {
    static const std::vector<uint32_t> offsets = [] {
        std::mt19937 rng(8192);
        std::vector<uint32_t> order(Blocks);
        for (uint32_t b = 0; b < Blocks; ++b)
            order[b] = b;
        std::shuffle(order.begin(), order.end(), rng);
        std::vector<uint32_t> out(Reads);
        for (uint32_t i = 0; i < Reads; ++i)
            out[i] = order[i % Blocks] * BvmBlockSize + 100;
        return out;
    }();
    return offsets;
}

void readAll(benchmark::State &state, const CachedFile &f, const std::vector<uint32_t> &offsets) {
    unsigned char buffer[ReadSize];
    for (auto _ : state) {
        uint64_t sum = 0;
        bool read = true;
        for (uint32_t offset : offsets) {
            uint32_t got = 0;
            read &= bvmFileRead(f.cache, f.file, static_cast<int32_t>(offset), buffer, ReadSize, &got, VmHintNormal) ==
                    ZoSuccess;
            sum += buffer[0];
        }
        if (!read) {
            state.SkipWithError("a read failed");
            break;
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * offsets.size()));
}

void BM_Bvm_WarmHits(benchmark::State &state) {
    CachedFile f(state, FileSize / (BvmBlocksPerChunk * BvmBlockSize));
    std::vector<unsigned char> whole(FileSize);
    uint32_t got = 0;
    if (!f.ready() || bvmFileRead(f.cache, f.file, 0, whole.data(), FileSize, &got, VmHintNormal) != ZoSuccess) {
        state.SkipWithError("the cache could not be warmed");
        return;
    }
    readAll(state, f, randomOffsets());
}

// Argument: the cache's chunk limit (8 blocks a chunk; the file has 8,192 blocks).
void BM_Bvm_Misses(benchmark::State &state) {
    CachedFile f(state, static_cast<uint16_t>(state.range(0)));
    if (f.ready())
        readAll(state, f, missingOffsets());
}

// Argument: bytes a read asks for (512 as the cached reads; 8,192 as a miss's block read).
void preadAll(benchmark::State &state, const std::vector<uint32_t> &offsets) {
    const int fd = ::open(dataFile().path.c_str(), O_RDONLY);
    const auto size = static_cast<size_t>(state.range(0));
    std::vector<unsigned char> buffer(size);
    for (auto _ : state) {
        uint64_t sum = 0;
        for (uint32_t offset : offsets) {
            const off_t at = size == BvmBlockSize ? offset / BvmBlockSize * BvmBlockSize : offset;
            if (::pread(fd, buffer.data(), size, at) < 0)
                state.SkipWithError("pread failed");
            sum += buffer[0];
        }
        benchmark::DoNotOptimize(sum);
    }
    ::close(fd);
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * offsets.size()));
}

void BM_Pread_Random(benchmark::State &state) { preadAll(state, randomOffsets()); }

BENCHMARK(BM_Bvm_WarmHits)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Pread_Random)->Arg(ReadSize)->Arg(BvmBlockSize)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Bvm_Misses)->Arg(1)->Arg(16)->Arg(128)->Arg(512)->Iterations(2)->Unit(benchmark::kMillisecond);

} // namespace
