// The line reader beside std::getline on an ifstream: a 100 MB text file of CR LF lines of
// 10 to 150 bytes read line by line, with the reader's buffer at 64 KiB and at the query
// file's 2 KiB.
#include <zo/zofileby.h>

#include <benchmark/benchmark.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

namespace {

namespace fs = std::filesystem;

constexpr std::size_t kFileBytes = 100u * 1000 * 1000;

// The file is written once per run and removed at exit.
struct TextFile {
    fs::path host = fs::temp_directory_path() / "zo_linereader_bench.txt";
    std::string windows;
    std::size_t lines = 0;

    TextFile() {
        windows = "C:";
        for (char c : host.string())
            windows += c == '/' ? '\\' : c;
        std::ofstream out(host, std::ios::binary);
        std::mt19937 rng(7);
        std::string line;
        for (std::size_t written = 0; written < kFileBytes; written += line.size()) {
            line.assign(10 + rng() % 141, ' ');
            for (char &c : line)
                c = static_cast<char>('!' + rng() % 90);
            line += "\r\n";
            out << line;
            ++lines;
        }
    }
    ~TextFile() { fs::remove(host); }
};

const TextFile &textFile() {
    static TextFile file;
    return file;
}

void BM_ZoFileByLine100MB(benchmark::State &state) {
    const TextFile &file = textFile();
    for (auto _ : state) {
        ZoFileByLine reader;
        if (reader.openFile(reinterpret_cast<const unsigned char *>(file.windows.c_str()),
                            static_cast<uint32_t>(state.range(0))) != ZoSuccess) {
            state.SkipWithError("the file could not be opened");
            break;
        }
        reader.keepEol = 0;
        std::size_t lines = 0;
        uint64_t bytes = 0;
        ZoSubString line;
        while (reader.getNextLine(line) == ZoSuccess && reader.atEnd == 0) {
            lines += reader.lineComplete;
            bytes += line.length();
        }
        if (lines != file.lines) {
            state.SkipWithError("the reader stopped before the end of the file");
            break;
        }
        benchmark::DoNotOptimize(bytes);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFileBytes));
}
BENCHMARK(BM_ZoFileByLine100MB)->Arg(65536)->Arg(2048)->Unit(benchmark::kMillisecond);

void BM_StdGetline100MB(benchmark::State &state) {
    const TextFile &file = textFile();
    for (auto _ : state) {
        std::ifstream in(file.host, std::ios::binary);
        std::size_t lines = 0;
        uint64_t bytes = 0;
        std::string line;
        while (std::getline(in, line)) {
            ++lines;
            bytes += line.size();
        }
        if (lines != file.lines) {
            state.SkipWithError("getline stopped before the end of the file");
            break;
        }
        benchmark::DoNotOptimize(bytes);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFileBytes));
}
BENCHMARK(BM_StdGetline100MB)->Unit(benchmark::kMillisecond);

} // namespace
