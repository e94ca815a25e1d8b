// Files and paths beside their anchors: block transfers against C stdio (unbuffered),
// opening by Windows-form name against fopen of the host path, lines from memory against a
// plain newline split, and path completion against std::filesystem's lexical normalisation.
#include <zo/bosfile.h>
#include <zo/bospath.h>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr std::size_t kBlock = 64 * 1024;
constexpr std::size_t kFile = 1024 * 1024;

struct BenchFile {
    fs::path host = fs::temp_directory_path() / "zo_files_bench.bin";
    std::string windows;
    BenchFile() {
        windows = "C:";
        for (char c : host.string())
            windows += c == '/' ? '\\' : c;
        std::FILE *f = std::fopen(host.c_str(), "wb");
        std::vector<char> zero(kFile);
        std::fwrite(zero.data(), 1, zero.size(), f);
        std::fclose(f);
    }
    ~BenchFile() { fs::remove(host); }
};

void BM_BosWriteRead1MiB(benchmark::State &state) {
    BenchFile file;
    unsigned char name[256];
    std::strcpy(reinterpret_cast<char *>(name), file.windows.c_str());
    int h = 0;
    if (bosFileOpen(name, BOS_READWRITE, &h) != ZoSuccess) {
        state.SkipWithError("the file could not be opened");
        return;
    }
    std::vector<unsigned char> block(kBlock, 0x5A);
    for (auto _ : state) {
        bool transferred = true;
        for (std::size_t at = 0; at < kFile; at += kBlock)
            transferred &= bosFileWrite(h, static_cast<int32_t>(at), block.data(), kBlock) == ZoSuccess;
        uint32_t got = 0;
        for (std::size_t at = 0; at < kFile; at += kBlock)
            transferred &= bosFileRead(h, static_cast<int32_t>(at), block.data(), kBlock, &got) == ZoSuccess;
        if (!transferred) {
            state.SkipWithError("a block transfer failed");
            break;
        }
        benchmark::DoNotOptimize(got);
    }
    if (bosFileClose(h) != ZoSuccess && !state.error_occurred())
        state.SkipWithError("the file could not be closed");
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * 2 * kFile));
}
BENCHMARK(BM_BosWriteRead1MiB);

void BM_StdioWriteRead1MiB(benchmark::State &state) {
    BenchFile file;
    std::FILE *f = std::fopen(file.host.c_str(), "r+b");
    std::setvbuf(f, nullptr, _IONBF, 0);
    std::vector<unsigned char> block(kBlock, 0x5A);
    for (auto _ : state) {
        for (std::size_t at = 0; at < kFile; at += kBlock) {
            std::fseek(f, static_cast<long>(at), SEEK_SET);
            std::fwrite(block.data(), 1, kBlock, f);
        }
        std::size_t got = 0;
        for (std::size_t at = 0; at < kFile; at += kBlock) {
            std::fseek(f, static_cast<long>(at), SEEK_SET);
            got = std::fread(block.data(), 1, kBlock, f);
        }
        benchmark::DoNotOptimize(got);
    }
    std::fclose(f);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * 2 * kFile));
}
BENCHMARK(BM_StdioWriteRead1MiB);

// Opens and closes a Windows-form name over and over.
void openCloseLoop(benchmark::State &state, const std::string &windowsName) {
    unsigned char name[256];
    for (auto _ : state) {
        std::strcpy(reinterpret_cast<char *>(name), windowsName.c_str());
        int h = 0;
        if (bosFileOpen(name, 0, &h) != ZoSuccess || bosFileClose(h) != ZoSuccess) {
            state.SkipWithError("the file could not be opened and closed");
            break;
        }
    }
}

// The name in another case than the file's: each component is resolved ignoring case.
void BM_BosOpenCloseUpperCaseName(benchmark::State &state) {
    BenchFile file;
    std::string upper = file.windows;
    for (char &c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    openCloseLoop(state, upper);
}
BENCHMARK(BM_BosOpenCloseUpperCaseName);

void BM_BosOpenCloseExactName(benchmark::State &state) {
    BenchFile file;
    openCloseLoop(state, file.windows);
}
BENCHMARK(BM_BosOpenCloseExactName);

void BM_StdioOpenClose(benchmark::State &state) {
    BenchFile file;
    for (auto _ : state) {
        std::FILE *f = std::fopen(file.host.c_str(), "rb");
        std::fclose(f);
    }
}
BENCHMARK(BM_StdioOpenClose);

// Lines of about 40 bytes, as many as fit below 64 KiB: bosgetbl's position is 16 bits, so
// it reads all of this text, as the split does.
std::string sampleText() {
    std::string text;
    for (int i = 0;; ++i) {
        std::string line = "key" + std::to_string(i) + "=\"some value\"; more text here\r\n";
        if (text.size() + line.size() > 0xFFFF)
            return text;
        text += line;
    }
}

std::size_t lineCount(const std::string &text) {
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

void BM_BosGetLines(benchmark::State &state) {
    const std::string text = sampleText();
    const std::size_t expected = lineCount(text);
    unsigned char line[256];
    for (auto _ : state) {
        unsigned short pos = 0;
        short result = 0;
        std::size_t lines = 0;
        for (;;) {
            bosgetbl(reinterpret_cast<const unsigned char *>(text.c_str()), &pos, line, 255, &result);
            if (result < 0)
                break;
            ++lines;
        }
        if (lines != expected) {
            state.SkipWithError("bosgetbl stopped before the end of the text");
            break;
        }
        benchmark::DoNotOptimize(lines);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_BosGetLines);

void BM_SplitLines(benchmark::State &state) {
    const std::string text = sampleText();
    const std::size_t expected = lineCount(text);
    char line[256];
    for (auto _ : state) {
        std::string_view rest(text);
        std::size_t lines = 0;
        while (!rest.empty()) {
            std::size_t end = rest.find('\n');
            std::string_view l = rest.substr(0, end);
            if (!l.empty() && l.back() == '\r')
                l.remove_suffix(1);
            std::memcpy(line, l.data(), l.size());
            line[l.size()] = 0;
            benchmark::DoNotOptimize(line);
            ++lines;
            rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        }
        if (lines != expected) {
            state.SkipWithError("the split stopped before the end of the text");
            break;
        }
        benchmark::DoNotOptimize(lines);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_SplitLines);

const char kDottedPath[] = "C:\\data\\reports\\2005\\..\\..\\queries\\monthly\\..\\summary.qry";

void BM_BosFullPath(benchmark::State &state) {
    unsigned char path[256];
    for (auto _ : state) {
        std::memcpy(path, kDottedPath, sizeof kDottedPath);
        bosfpath(path, 0);
        benchmark::DoNotOptimize(path);
    }
}
BENCHMARK(BM_BosFullPath);

void BM_FilesystemNormal(benchmark::State &state) {
    std::string host = "/data/reports/2005/../../queries/monthly/../summary.qry";
    for (auto _ : state) {
        fs::path p = fs::path(host).lexically_normal();
        benchmark::DoNotOptimize(p);
    }
}
BENCHMARK(BM_FilesystemNormal);

} // namespace
