// Trace output beside its anchors: writeLine of 100-byte lines to a trace file that writes
// whole lines in blocks (flush off) against fprintf and fputc on a stdio stream, and one
// that writes each line at once (flush on) against one write(2) per line. Both sides write
// the same bytes to a file opened for appending, cut back to empty every 100,000 lines
// outside the timing.
#include <zo/bosfile.h>
#include <zo/zotrace.h>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include <fcntl.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

constexpr int kLinesPerCut = 100000;

// 98 bytes of text: with CR LF a 100-byte line.
const std::string &lineText() {
    static const std::string text = [] {
        std::string t = "12:00:00.00 SQLExecDirect hstmt=0x5A3C00 status=0 rows=42 ";
        t.resize(98, 'x');
        return t;
    }();
    return text;
}

struct BenchFile {
    fs::path host = fs::temp_directory_path() / "zo_trace_bench.log";
    std::string windows = "C:" + [this] {
        std::string w = host.string();
        for (char &c : w)
            c = c == '/' ? '\\' : c;
        return w;
    }();
    ~BenchFile() { fs::remove(host); }
};

void traceLines(benchmark::State &state, bool flush) {
    BenchFile file;
    ZoTrace trace;
    if (trace.initialize(nullptr, 0, reinterpret_cast<const unsigned char *>(file.windows.c_str())) != ZoSuccess) {
        state.SkipWithError("trace file not made");
        return;
    }
    if (!flush)
        trace.setFlags(trace.flags() & ~ZoTrace::FlushEachLine);
    const auto *text = reinterpret_cast<const unsigned char *>(lineText().c_str());
    int lines = 0;
    for (auto _ : state) {
        if (trace.writeLine(text) != ZoSuccess) {
            state.SkipWithError("writeLine failed");
            break;
        }
        if (++lines == kLinesPerCut) {
            state.PauseTiming();
            trace.resetTrace(); // writes what is pending
            if (trace.initialize(nullptr, 0, reinterpret_cast<const unsigned char *>(file.windows.c_str())) !=
                ZoSuccess)
                state.SkipWithError("trace file not made again");
            if (!flush)
                trace.setFlags(trace.flags() & ~ZoTrace::FlushEachLine);
            lines = 0;
            state.ResumeTiming();
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * 100);
}

void BM_TraceWriteLineFlushOff(benchmark::State &state) { traceLines(state, false); }
BENCHMARK(BM_TraceWriteLineFlushOff);

void BM_StdioFprintfFputc(benchmark::State &state) {
    BenchFile file;
    std::FILE *out = std::fopen(file.host.c_str(), "a");
    const std::string text = lineText() + "\r";
    int lines = 0;
    for (auto _ : state) {
        std::fprintf(out, "%s", text.c_str());
        std::fputc('\n', out);
        if (++lines == kLinesPerCut) {
            state.PauseTiming();
            std::fflush(out);
            if (ftruncate(fileno(out), 0) != 0)
                state.SkipWithError("file not cut back");
            lines = 0;
            state.ResumeTiming();
        }
    }
    std::fclose(out);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * 100);
}
BENCHMARK(BM_StdioFprintfFputc);

void BM_TraceWriteLineFlushOn(benchmark::State &state) { traceLines(state, true); }
BENCHMARK(BM_TraceWriteLineFlushOn);

void BM_WritePerLine(benchmark::State &state) {
    BenchFile file;
    int fd = open(file.host.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0644);
    const std::string line = lineText() + "\r\n";
    int lines = 0;
    for (auto _ : state) {
        if (write(fd, line.data(), line.size()) != static_cast<ssize_t>(line.size())) {
            state.SkipWithError("write failed");
            break;
        }
        if (++lines == kLinesPerCut) {
            state.PauseTiming();
            if (ftruncate(fd, 0) != 0)
                state.SkipWithError("file not cut back");
            lines = 0;
            state.ResumeTiming();
        }
    }
    close(fd);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * 100);
}
BENCHMARK(BM_WritePerLine);

} // namespace
