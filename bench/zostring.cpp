// The string classes beside std::string: replacing every occurrence of a pattern, filling
// message placeholders, appending in small pieces, and finding a byte.
#include <zo/zoparams.h>
#include <zo/zostring.h>

#include <benchmark/benchmark.h>

#include <string>

namespace {

const unsigned char *bytes(const std::string &s) { return reinterpret_cast<const unsigned char *>(s.data()); }

// About 4 KB of text with a pattern every 40 bytes.
std::string sampleText() {
    std::string text;
    while (text.size() < 4096)
        text += "SELECT col FROM tab WHERE a = ? AND b=?;";
    return text;
}

void stdReplaceAll(std::string &text, const std::string &pattern, const std::string &with) {
    std::string::size_type pos = 0;
    while ((pos = text.find(pattern, pos)) != std::string::npos) {
        text.replace(pos, pattern.size(), with);
        pos += with.size();
    }
}

// std::string's replace in a loop moves the tail at each occurrence, as a naive edit would;
// the one-pass form below is the fair anchor for an all-at-once replacement.
std::string stdReplaceAllOnePass(const std::string &text, const std::string &pattern, const std::string &with) {
    std::string out;
    out.reserve(text.size() + text.size() / 4);
    std::string::size_type start = 0, pos;
    while ((pos = text.find(pattern, start)) != std::string::npos) {
        out.append(text, start, pos - start).append(with);
        start = pos + pattern.size();
    }
    out.append(text, start, std::string::npos);
    return out;
}

void BM_ZoString_ReplaceAll(benchmark::State &state) {
    std::string text = sampleText();
    for (auto _ : state) {
        ZoString s;
        if (s.initialize(bytes(text), static_cast<uint32_t>(text.size())) != ZoSuccess ||
            s.replaceSubString(reinterpret_cast<const unsigned char *>("?"),
                               reinterpret_cast<const unsigned char *>(":p1")) != ZoSuccess) {
            state.SkipWithError("no memory");
            break;
        }
        benchmark::DoNotOptimize(s.data());
    }
}
BENCHMARK(BM_ZoString_ReplaceAll);

void BM_StdString_ReplaceAllInPlace(benchmark::State &state) {
    std::string text = sampleText();
    for (auto _ : state) {
        std::string s = text;
        stdReplaceAll(s, "?", ":p1");
        benchmark::DoNotOptimize(s.data());
    }
}
BENCHMARK(BM_StdString_ReplaceAllInPlace);

void BM_StdString_ReplaceAllOnePass(benchmark::State &state) {
    std::string text = sampleText();
    for (auto _ : state) {
        std::string s = stdReplaceAllOnePass(text, "?", ":p1");
        benchmark::DoNotOptimize(s.data());
    }
}
BENCHMARK(BM_StdString_ReplaceAllOnePass);

const char kMessage[] = "Cannot open the file %s1 for %s2: error %n3 (%s1).";

void BM_ZoParamString_Fill(benchmark::State &state) {
    for (auto _ : state) {
        ZoParamString message;
        bool filled = message.initialize(kMessage) == ZoSuccess;
        message << "C:\\DATA\\CUSTOMERS.DBF"
                << "reading" << 32u;
        if (!filled || message.failed()) {
            state.SkipWithError("no memory");
            break;
        }
        benchmark::DoNotOptimize(message.data());
    }
}
BENCHMARK(BM_ZoParamString_Fill);

void BM_StdString_Fill(benchmark::State &state) {
    for (auto _ : state) {
        std::string message = kMessage;
        stdReplaceAll(message, "%s1", "C:\\DATA\\CUSTOMERS.DBF");
        stdReplaceAll(message, "%s2", "reading");
        stdReplaceAll(message, "%n3", std::to_string(32u));
        benchmark::DoNotOptimize(message.data());
    }
}
BENCHMARK(BM_StdString_Fill);

// Exact growth: every append reallocates (callers that know the size reserve first).
void BM_ZoString_Append16(benchmark::State &state) {
    const unsigned char piece[] = "0123456789abcdef";
    for (auto _ : state) {
        ZoString s;
        bool grown = true;
        for (int i = 0; i < 256; ++i)
            grown &= s.concat(piece, 16) == ZoSuccess;
        if (!grown) {
            state.SkipWithError("no memory");
            break;
        }
        benchmark::DoNotOptimize(s.data());
    }
}
BENCHMARK(BM_ZoString_Append16);

void BM_ZoString_Append16Reserved(benchmark::State &state) {
    const unsigned char piece[] = "0123456789abcdef";
    for (auto _ : state) {
        ZoString s;
        bool grown = s.initialize(4096u, 0) == ZoSuccess;
        for (int i = 0; i < 256; ++i)
            grown &= s.concat(piece, 16) == ZoSuccess;
        if (!grown) {
            state.SkipWithError("no memory");
            break;
        }
        benchmark::DoNotOptimize(s.data());
    }
}
BENCHMARK(BM_ZoString_Append16Reserved);

void BM_StdString_Append16(benchmark::State &state) {
    const char piece[] = "0123456789abcdef";
    for (auto _ : state) {
        std::string s;
        for (int i = 0; i < 256; ++i)
            s.append(piece, 16);
        benchmark::DoNotOptimize(s.data());
    }
}
BENCHMARK(BM_StdString_Append16);

void BM_ZoSubString_FindSubString(benchmark::State &state) {
    std::string text = sampleText() + "needle";
    ZoSubString view(bytes(text), static_cast<uint32_t>(text.size()));
    for (auto _ : state)
        benchmark::DoNotOptimize(view.findSubString(reinterpret_cast<const unsigned char *>("needle"), 0));
}
BENCHMARK(BM_ZoSubString_FindSubString);

void BM_StdString_Find(benchmark::State &state) {
    std::string text = sampleText() + "needle";
    for (auto _ : state)
        benchmark::DoNotOptimize(text.find("needle"));
}
BENCHMARK(BM_StdString_Find);

} // namespace
