// Decimal and hexadecimal conversion beside the standard library's to_chars/from_chars.
#include <benchmark/benchmark.h>

#include <zo/convert.h>

#include <charconv>
#include <cstring>
#include <random>
#include <vector>

namespace {

// Values of every length from 1 to 10 digits.
std::vector<uint32_t> sampleValues() {
    std::mt19937 random(11);
    std::vector<uint32_t> values(4096);
    for (uint32_t &v : values)
        v = random() >> (random() % 32);
    return values;
}

std::vector<std::vector<unsigned char>> sampleTexts() {
    std::vector<std::vector<unsigned char>> texts;
    for (uint32_t v : sampleValues()) {
        std::vector<unsigned char> text(12);
        convert(text.data(), v);
        texts.push_back(text);
    }
    return texts;
}

// Runs `format(value, out)` over the sample values, one item per value.
template <class Out, class Format>
void formatEachValue(benchmark::State &state, Format format) {
    auto values = sampleValues();
    Out out[16];
    for (auto _ : state)
        for (uint32_t v : values) {
            format(v, out);
            benchmark::DoNotOptimize(out);
        }
    state.SetItemsProcessed(state.iterations() * values.size());
}

void BM_ZoFormatDecimal(benchmark::State &state) {
    formatEachValue<unsigned char>(state, [](uint32_t v, unsigned char *out) { convert(out, v); });
}
BENCHMARK(BM_ZoFormatDecimal);

void BM_StdToCharsDecimal(benchmark::State &state) {
    formatEachValue<char>(state, [](uint32_t v, char *out) { *std::to_chars(out, out + 16, v).ptr = '\0'; });
}
BENCHMARK(BM_StdToCharsDecimal);

void BM_ZoParseDecimal(benchmark::State &state) {
    auto texts = sampleTexts();
    uint32_t value = 0;
    for (auto _ : state) {
        bool converted = true;
        for (const auto &text : texts) {
            converted &= convert(text.data(), &value) == ZoSuccess;
            benchmark::DoNotOptimize(value);
        }
        if (!converted) {
            state.SkipWithError("a sample did not convert");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations() * texts.size());
}
BENCHMARK(BM_ZoParseDecimal);

// from_chars with what the library does around it: the text is NUL-terminated.
void BM_StdFromCharsDecimal(benchmark::State &state) {
    auto texts = sampleTexts();
    uint32_t value = 0;
    for (auto _ : state) {
        bool converted = true;
        for (const auto &text : texts) {
            const char *p = reinterpret_cast<const char *>(text.data());
            converted &= std::from_chars(p, p + std::strlen(p), value).ec == std::errc();
            benchmark::DoNotOptimize(value);
        }
        if (!converted) {
            state.SkipWithError("a sample did not convert");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations() * texts.size());
}
BENCHMARK(BM_StdFromCharsDecimal);

void BM_ZoHexifyNumber(benchmark::State &state) {
    formatEachValue<unsigned char>(state, [](uint32_t v, unsigned char *out) { hexify(out, v, 0); });
}
BENCHMARK(BM_ZoHexifyNumber);

void BM_StdToCharsHex(benchmark::State &state) {
    formatEachValue<char>(state, [](uint32_t v, char *out) { *std::to_chars(out, out + 16, v, 16).ptr = '\0'; });
}
BENCHMARK(BM_StdToCharsHex);

// A block of bytes to hexadecimal text and back: the library's block functions beside
// to_chars/from_chars on each byte.
std::vector<unsigned char> sampleBytes() {
    std::mt19937 random(5);
    std::vector<unsigned char> bytes(4096);
    for (auto &b : bytes)
        b = static_cast<unsigned char>(random());
    return bytes;
}

void BM_ZoHexifyBytes(benchmark::State &state) {
    auto bytes = sampleBytes();
    std::vector<unsigned char> text(bytes.size() * 2);
    for (auto _ : state) {
        hexify(text.data(), bytes.data(), static_cast<uint32_t>(bytes.size()));
        benchmark::DoNotOptimize(text.data());
    }
    state.SetBytesProcessed(state.iterations() * bytes.size());
}
BENCHMARK(BM_ZoHexifyBytes);

void BM_StdToCharsBytes(benchmark::State &state) {
    auto bytes = sampleBytes();
    std::vector<char> text(bytes.size() * 2);
    for (auto _ : state) {
        char *p = text.data();
        for (unsigned char b : bytes) {
            if (b < 16)
                *p++ = '0';
            p = std::to_chars(p, p + 2, b, 16).ptr;
        }
        benchmark::DoNotOptimize(text.data());
    }
    state.SetBytesProcessed(state.iterations() * bytes.size());
}
BENCHMARK(BM_StdToCharsBytes);

void BM_ZoDehexifyBytes(benchmark::State &state) {
    auto bytes = sampleBytes();
    std::vector<unsigned char> text(bytes.size() * 2), back(bytes.size());
    hexify(text.data(), bytes.data(), static_cast<uint32_t>(bytes.size()));
    for (auto _ : state) {
        if (dehexify(back.data(), text.data(), static_cast<uint32_t>(text.size())) != ZoSuccess) {
            state.SkipWithError("the text did not convert");
            break;
        }
        benchmark::DoNotOptimize(back.data());
    }
    state.SetBytesProcessed(state.iterations() * bytes.size());
}
BENCHMARK(BM_ZoDehexifyBytes);

void BM_StdFromCharsBytes(benchmark::State &state) {
    auto bytes = sampleBytes();
    std::vector<unsigned char> text(bytes.size() * 2), back(bytes.size());
    hexify(text.data(), bytes.data(), static_cast<uint32_t>(bytes.size()));
    for (auto _ : state) {
        const char *p = reinterpret_cast<const char *>(text.data());
        bool converted = true;
        for (unsigned char &b : back) {
            converted &= std::from_chars(p, p + 2, b, 16).ec == std::errc();
            p += 2;
        }
        if (!converted) {
            state.SkipWithError("the text did not convert");
            break;
        }
        benchmark::DoNotOptimize(back.data());
    }
    state.SetBytesProcessed(state.iterations() * bytes.size());
}
BENCHMARK(BM_StdFromCharsBytes);

} // namespace
