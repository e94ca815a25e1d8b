// Character-set conversion beside glibc iconv on the same bytes: 1 MB of mostly-ASCII text
// in code page 1252, 1 MB of Japanese text in code page 932 (kana, kanji, some ASCII), and
// their UCS-2 and UTF-8 forms.
#include <zo/cvwchar.h>

#include <benchmark/benchmark.h>
#include <iconv.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "platform/codepage.h"

namespace {

constexpr size_t kSize = 1 << 20;

// Mostly-ASCII text: SQL words and names, one word in about forty with an accented letter
// (about one byte in a hundred above 0x7F).
std::u16string mostlyAscii() {
    static const char16_t *const words[] = {u"select", u"from",  u"where", u"order", u"by",        u"name",
                                            u"value",  u"table", u"index", u"group", u"caf\u00E9", u"na\u00EFve"};
    std::mt19937 rng(1);
    std::u16string text;
    while (text.size() < kSize) {
        size_t w = rng() % std::size(words);
        if (w >= 10 && rng() % 8 != 0)
            w = rng() % 10;
        text += std::u16string(words[w]) + (rng() % 8 ? u" " : u".\r\n");
    }
    return text.substr(0, kSize);
}

// The whole input converted; stops the run when iconv refuses it.
std::string iconvAll(const char *to, const char *from, const std::string &in) {
    iconv_t cd = iconv_open(to, from);
    std::string out(in.size() * 4 + 16, '\0');
    char *ip = const_cast<char *>(in.data()), *op = out.data();
    size_t il = in.size(), ol = out.size();
    if (cd == reinterpret_cast<iconv_t>(-1) || iconv(cd, &ip, &il, &op, &ol) == static_cast<size_t>(-1))
        std::abort();
    iconv_close(cd);
    out.resize(out.size() - ol);
    return out;
}

std::string unitBytes(const std::u16string &w) {
    return std::string(reinterpret_cast<const char *>(w.data()), w.size() * 2);
}

bool in932(char16_t unit) {
    iconv_t cd = iconv_open("CP932", "UTF-16LE");
    char in[2] = {static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)}, out[4];
    char *ip = in, *op = out;
    size_t il = 2, ol = 4;
    bool ok = iconv(cd, &ip, &il, &op, &ol) != static_cast<size_t>(-1);
    iconv_close(cd);
    return ok;
}

std::u16string japanese() {
    std::vector<char16_t> kanji;
    for (char16_t unit = 0x4E00; kanji.size() < 2000; ++unit)
        if (in932(unit))
            kanji.push_back(unit);
    std::mt19937 rng(2);
    std::u16string text;
    while (text.size() < kSize) {
        switch (rng() % 10) {
        case 0: text += u"SQL "; break;
        case 1: text += u"\u3001"; break;
        case 2:
        case 3:
        case 4: text += static_cast<char16_t>(0x3042 + rng() % 80); break; // hiragana
        case 5: text += static_cast<char16_t>(0x30A2 + rng() % 80); break; // katakana
        default: text += kanji[rng() % kanji.size()]; break;
        }
    }
    return text;
}

// A text's first `bytes` bytes, cut back to the start of a character of the page (or of
// UTF-8).
std::string cut(const std::string &text, size_t bytes, bool doubleByte) {
    if (!doubleByte) {
        while (bytes < text.size() && (static_cast<unsigned char>(text[bytes]) & 0xC0) == 0x80)
            --bytes;
        return text.substr(0, bytes);
    }
    size_t end = 0;
    for (size_t i = 0; i < text.size();) {
        const unsigned char b = static_cast<unsigned char>(text[i]);
        i += (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC) ? 2 : 1;
        if (i > bytes)
            break;
        end = i;
    }
    return text.substr(0, end);
}

// One text in its three forms, each about 1 MB and cut at a character: the page's bytes,
// UTF-8 and UCS-2.
struct Forms {
    std::string ansi, utf8, units;
    Forms(const char *page, const std::u16string &text, bool doubleByte) {
        const std::string all = iconvAll(page, "UTF-16LE", unitBytes(text));
        ansi = cut(all, kSize, doubleByte);
        utf8 = cut(iconvAll("UTF-8", "UTF-16LE", unitBytes(text)), kSize, false);
        units = unitBytes(text.substr(0, kSize / 2));
    }
};

const Forms &western() {
    static Forms f("CP1252", mostlyAscii(), false);
    return f;
}

const Forms &eastern() {
    static Forms f("CP932", japanese(), true);
    return f;
}

// Runs the conversion of `in` in the given code page; counts the input bytes.
template <class Convert>
void convertLoop(benchmark::State &state, unsigned page, const std::string &in, Convert convert) {
    if (!zo::plat::setCodePageForTest(page))
        std::abort();
    static std::string out(kSize * 4, '\0');
    for (auto _ : state)
        benchmark::DoNotOptimize(convert(in, out.data(), out.size()));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * in.size()));
    (void)zo::plat::setCodePageForTest(1252);
}

using ByteConversion = ZoConvertReturn (*)(unsigned char *, int32_t, const unsigned char *, int32_t, const uint16_t *,
                                           int32_t *, int32_t);

void zoBytes(benchmark::State &state, unsigned page, const std::string &in, ByteConversion convert) {
    convertLoop(state, page, in, [convert](const std::string &src, char *dest, size_t size) {
        int32_t written = 0;
        if (convert(reinterpret_cast<unsigned char *>(dest), static_cast<int32_t>(size),
                    reinterpret_cast<const unsigned char *>(src.data()), static_cast<int32_t>(src.size()), nullptr,
                    &written, 0) != ZoConvertOk)
            std::abort();
        return written;
    });
}

void viaIconv(benchmark::State &state, const char *to, const char *from, const std::string &in) {
    iconv_t cd = iconv_open(to, from);
    convertLoop(state, 1252, in, [cd](const std::string &src, char *dest, size_t size) {
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        char *ip = const_cast<char *>(src.data()), *op = dest;
        size_t il = src.size(), ol = size;
        if (iconv(cd, &ip, &il, &op, &ol) == static_cast<size_t>(-1))
            std::abort();
        return size - ol;
    });
    iconv_close(cd);
}

void BM_CvAnsiToUTF8_MostlyAscii(benchmark::State &s) { zoBytes(s, 1252, western().ansi, cvAnsiToUTF8); }
void BM_Iconv1252ToUtf8_MostlyAscii(benchmark::State &s) { viaIconv(s, "UTF-8", "CP1252", western().ansi); }
void BM_CvUTF8ToAnsi_MostlyAscii(benchmark::State &s) { zoBytes(s, 1252, western().utf8, cvUTF8ToAnsi); }
void BM_IconvUtf8To1252_MostlyAscii(benchmark::State &s) { viaIconv(s, "CP1252", "UTF-8", western().utf8); }
void BM_CvAnsiToUTF8_Japanese(benchmark::State &s) { zoBytes(s, 932, eastern().ansi, cvAnsiToUTF8); }
void BM_Iconv932ToUtf8_Japanese(benchmark::State &s) { viaIconv(s, "UTF-8", "CP932", eastern().ansi); }
void BM_CvUTF8ToAnsi_Japanese(benchmark::State &s) { zoBytes(s, 932, eastern().utf8, cvUTF8ToAnsi); }
void BM_IconvUtf8To932_Japanese(benchmark::State &s) { viaIconv(s, "CP932", "UTF-8", eastern().utf8); }

BENCHMARK(BM_CvAnsiToUTF8_MostlyAscii);
BENCHMARK(BM_Iconv1252ToUtf8_MostlyAscii);
BENCHMARK(BM_CvUTF8ToAnsi_MostlyAscii);
BENCHMARK(BM_IconvUtf8To1252_MostlyAscii);
BENCHMARK(BM_CvAnsiToUTF8_Japanese);
BENCHMARK(BM_Iconv932ToUtf8_Japanese);
BENCHMARK(BM_CvUTF8ToAnsi_Japanese);
BENCHMARK(BM_IconvUtf8To932_Japanese);

void zoToUtf8(benchmark::State &state, const std::string &units) {
    convertLoop(state, 1252, units, [](const std::string &src, char *dest, size_t size) {
        int32_t written = 0;
        if (cvUCS2ToUTF8(reinterpret_cast<unsigned char *>(dest), static_cast<int32_t>(size),
                         reinterpret_cast<const uint16_t *>(src.data()), static_cast<int32_t>(src.size() / 2),
                         &written) != ZoConvertOk)
            std::abort();
        return written;
    });
}

void zoFromUtf8(benchmark::State &state, const std::string &utf8) {
    convertLoop(state, 1252, utf8, [](const std::string &src, char *dest, size_t size) {
        int32_t written = 0;
        if (cvUTF8ToUCS2(reinterpret_cast<uint16_t *>(dest), static_cast<int32_t>(size / 2),
                         reinterpret_cast<const unsigned char *>(src.data()), static_cast<int32_t>(src.size()),
                         &written) != ZoConvertOk)
            std::abort();
        return written;
    });
}

void BM_CvUCS2ToUTF8_MostlyAscii(benchmark::State &s) { zoToUtf8(s, western().units); }
void BM_IconvUcs2ToUtf8_MostlyAscii(benchmark::State &s) { viaIconv(s, "UTF-8", "UTF-16LE", western().units); }
void BM_CvUCS2ToUTF8_Japanese(benchmark::State &s) { zoToUtf8(s, eastern().units); }
void BM_IconvUcs2ToUtf8_Japanese(benchmark::State &s) { viaIconv(s, "UTF-8", "UTF-16LE", eastern().units); }
void BM_CvUTF8ToUCS2_MostlyAscii(benchmark::State &s) { zoFromUtf8(s, western().utf8); }
void BM_IconvUtf8ToUcs2_MostlyAscii(benchmark::State &s) { viaIconv(s, "UTF-16LE", "UTF-8", western().utf8); }
void BM_CvUTF8ToUCS2_Japanese(benchmark::State &s) { zoFromUtf8(s, eastern().utf8); }
void BM_IconvUtf8ToUcs2_Japanese(benchmark::State &s) { viaIconv(s, "UTF-16LE", "UTF-8", eastern().utf8); }

BENCHMARK(BM_CvUCS2ToUTF8_MostlyAscii);
BENCHMARK(BM_IconvUcs2ToUtf8_MostlyAscii);
BENCHMARK(BM_CvUCS2ToUTF8_Japanese);
BENCHMARK(BM_IconvUcs2ToUtf8_Japanese);
BENCHMARK(BM_CvUTF8ToUCS2_MostlyAscii);
BENCHMARK(BM_IconvUtf8ToUcs2_MostlyAscii);
BENCHMARK(BM_CvUTF8ToUCS2_Japanese);
BENCHMARK(BM_IconvUtf8ToUcs2_Japanese);

} // namespace
