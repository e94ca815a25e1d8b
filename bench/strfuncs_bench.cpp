// Byte-string functions beside their C library and ICU anchors, in code page 1252.
#include <zo/pertask.h>
#include <zo/strfuncs.h>

#include <benchmark/benchmark.h>
#include <strings.h>
#include <unicode/ucol.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "platform/collate.h"
#include "platform/unicode.h"

namespace {

const unsigned char *u(const std::string &text) { return reinterpret_cast<const unsigned char *>(text.c_str()); }

// Identifier-like words of 3 to 24 letters, digits and underscores.
std::vector<std::string> words(unsigned seed, size_t count) {
    static const char alphabet[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_";
    std::mt19937 rng(seed);
    std::vector<std::string> out;
    for (size_t i = 0; i < count; ++i) {
        std::string word;
        size_t length = 3 + rng() % 22;
        for (size_t j = 0; j < length; ++j)
            word += alphabet[rng() % (sizeof alphabet - 1)];
        out.push_back(word);
    }
    return out;
}

// The same words with every letter's case flipped: equal ignoring case.
std::vector<std::string> flipped(std::vector<std::string> in) {
    for (std::string &word : in)
        for (char &c : word)
            if (c >= 'a' && c <= 'z')
                c = static_cast<char>(c - 32);
            else if (c >= 'A' && c <= 'Z')
                c = static_cast<char>(c + 32);
    return in;
}

struct WordPairs {
    std::vector<std::string> a = words(1, 1000);
    std::vector<std::string> equalIgnoringCase = flipped(a);
    std::vector<std::string> different = words(2, 1000);
};
const WordPairs &pairs() {
    static WordPairs p;
    return p;
}

// Long keys that agree (ignoring case) for 200 bytes, then differ.
std::vector<std::string> longKeys(bool flip) {
    std::vector<std::string> keys;
    for (const std::string &w : pairs().a) {
        std::string key;
        while (key.size() < 200)
            key += w;
        keys.push_back(key + "#tail");
    }
    return flip ? flipped(keys) : keys;
}

template <class Compare>
void compareAll(benchmark::State &state, const std::vector<std::string> &a, const std::vector<std::string> &b,
                Compare compare) {
    for (auto _ : state) {
        int sum = 0;
        for (size_t i = 0; i < a.size(); ++i)
            sum += compare(a[i], b[i]);
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * a.size()));
}

int zoCompareCi(const std::string &a, const std::string &b) { return strCompareCi(u(a), u(b)); }
int libcCompareCi(const std::string &a, const std::string &b) { return strcasecmp(a.c_str(), b.c_str()); }
int zoEqualCi(const std::string &a, const std::string &b) { return strEqualCi(u(a), u(b)); }
int libcEqualCi(const std::string &a, const std::string &b) { return strcasecmp(a.c_str(), b.c_str()) == 0; }

void BM_StrCompareCi_Words(benchmark::State &s) { compareAll(s, pairs().a, pairs().different, zoCompareCi); }
void BM_Strcasecmp_Words(benchmark::State &s) { compareAll(s, pairs().a, pairs().different, libcCompareCi); }
void BM_StrCompareCi_CaseFlipped(benchmark::State &s) {
    compareAll(s, pairs().a, pairs().equalIgnoringCase, zoCompareCi);
}
void BM_Strcasecmp_CaseFlipped(benchmark::State &s) {
    compareAll(s, pairs().a, pairs().equalIgnoringCase, libcCompareCi);
}
void BM_StrEqualCi_CaseFlipped(benchmark::State &s) { compareAll(s, pairs().a, pairs().equalIgnoringCase, zoEqualCi); }
void BM_StrcasecmpEqual_CaseFlipped(benchmark::State &s) {
    compareAll(s, pairs().a, pairs().equalIgnoringCase, libcEqualCi);
}
void BM_StrEqualCi_Same(benchmark::State &s) { compareAll(s, pairs().a, pairs().a, zoEqualCi); }
void BM_StrcasecmpEqual_Same(benchmark::State &s) { compareAll(s, pairs().a, pairs().a, libcEqualCi); }
void BM_StrEqualCi_Long(benchmark::State &s) {
    static const std::vector<std::string> a = longKeys(false), b = longKeys(true);
    compareAll(s, a, b, zoEqualCi);
}
void BM_StrcasecmpEqual_Long(benchmark::State &s) {
    static const std::vector<std::string> a = longKeys(false), b = longKeys(true);
    compareAll(s, a, b, libcEqualCi);
}

BENCHMARK(BM_StrCompareCi_Words);
BENCHMARK(BM_Strcasecmp_Words);
BENCHMARK(BM_StrCompareCi_CaseFlipped);
BENCHMARK(BM_Strcasecmp_CaseFlipped);
BENCHMARK(BM_StrEqualCi_CaseFlipped);
BENCHMARK(BM_StrcasecmpEqual_CaseFlipped);
BENCHMARK(BM_StrEqualCi_Same);
BENCHMARK(BM_StrcasecmpEqual_Same);
BENCHMARK(BM_StrEqualCi_Long);
BENCHMARK(BM_StrcasecmpEqual_Long);

// A statement-sized text searched for a word near its end.
struct Haystack {
    std::string text;
    std::string needle = "WHERE id";
    Haystack() {
        for (const std::string &w : pairs().a)
            text += w + ' ';
        text.resize(4000);
        text += " WHERE id = 1";
    }
};
const Haystack &haystack() {
    static Haystack h;
    return h;
}

void BM_StrFind_Counted(benchmark::State &state) {
    const Haystack &h = haystack();
    for (auto _ : state)
        benchmark::DoNotOptimize(strFind(u(h.text), static_cast<uint32_t>(h.text.size()), u(h.needle),
                                         static_cast<uint32_t>(h.needle.size())));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * h.text.size()));
}

void BM_Memmem(benchmark::State &state) {
    const Haystack &h = haystack();
    for (auto _ : state)
        benchmark::DoNotOptimize(memmem(h.text.data(), h.text.size(), h.needle.data(), h.needle.size()));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * h.text.size()));
}

// The same search with the thread in UTF-8 mode: candidates are checked for character
// boundaries by walking the text.
void BM_StrFind_CountedUtf8(benchmark::State &state) {
    const Haystack &h = haystack();
    uint32_t utf8 = ZoCharModeUtf8;
    mdsSetPerThreadData(PerThreadCharMode, &utf8);
    for (auto _ : state)
        benchmark::DoNotOptimize(strFind(u(h.text), static_cast<uint32_t>(h.text.size()), u(h.needle),
                                         static_cast<uint32_t>(h.needle.size())));
    mdsSetPerThreadData(PerThreadCharMode, nullptr);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * h.text.size()));
}

BENCHMARK(BM_StrFind_Counted);
BENCHMARK(BM_StrFind_CountedUtf8);
BENCHMARK(BM_Memmem);

// Locale collation of short words: the library (ANSI text converted on each call) beside
// ICU comparing the same words already in UTF-16, with a collator for the same locale.
struct Collation {
    std::vector<std::string> ansi = words(3, 1000);
    std::vector<std::u16string> units;
    UCollator *collator = nullptr;
    Collation() {
        for (const std::string &w : ansi) {
            std::u16string unit(w.size(), u'\0');
            zo::plat::ConvertStatus status;
            zo::plat::codePageToUcs2(1252, u(w), static_cast<int32_t>(w.size()),
                                     reinterpret_cast<uint16_t *>(unit.data()), static_cast<int32_t>(unit.size()),
                                     &status);
            units.push_back(unit);
        }
        char locale[64];
        zo::plat::collationLocaleName(std::getenv("LC_ALL"), std::getenv("LC_COLLATE"), std::getenv("LANG"), locale,
                                      sizeof locale);
        UErrorCode error = U_ZERO_ERROR;
        collator = ucol_open(locale, &error);
    }
    ~Collation() { ucol_close(collator); }
};
const Collation &collation() {
    static Collation c;
    return c;
}

void BM_StrCompareIntl_Words(benchmark::State &state) {
    const Collation &c = collation();
    for (auto _ : state) {
        int sum = 0;
        for (size_t i = 0; i + 1 < c.ansi.size(); ++i)
            sum += strCompareIntl(u(c.ansi[i]), u(c.ansi[i + 1]));
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * (c.ansi.size() - 1)));
}

void BM_UcolStrcoll_Words(benchmark::State &state) {
    const Collation &c = collation();
    for (auto _ : state) {
        int sum = 0;
        for (size_t i = 0; i + 1 < c.units.size(); ++i)
            sum += ucol_strcoll(c.collator, c.units[i].data(), static_cast<int32_t>(c.units[i].size()),
                                c.units[i + 1].data(), static_cast<int32_t>(c.units[i + 1].size()));
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * (c.units.size() - 1)));
}

BENCHMARK(BM_StrCompareIntl_Words);
BENCHMARK(BM_UcolStrcoll_Words);

} // namespace
