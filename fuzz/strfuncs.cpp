// Fuzzes the byte-string functions on arbitrary bytes, in code pages 1252 and 932 and in
// UTF-8 mode, against plain one-character-at-a-time walks of the same rules.
#include <zo/pertask.h>
#include <zo/strfuncs.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/codepage.h"

namespace {

void check(bool condition) {
    if (!condition)
        std::abort();
}

using Bytes = std::basic_string<unsigned char>;
constexpr unsigned char kNul = 0;

short sign(int v) { return static_cast<short>(v < 0 ? -1 : v > 0 ? 1 : 0); }

// Case-blind order stepping by lead byte, as described, over min(a, b) bytes.
short referenceCompareCi(const Bytes &a, const Bytes &b) {
    const unsigned char *up = zo::plat::upperCaseTable();
    size_t n = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < n;) {
        if (zo::plat::isLeadByte(a[i])) {
            if (a[i] != b[i])
                return sign(a[i] - b[i]);
            if (i + 1 == n)
                break;
            if (a[i + 1] != b[i + 1])
                return sign(a[i + 1] - b[i + 1]);
            i += 2;
            continue;
        }
        if (up[a[i]] != up[b[i]])
            return sign(up[a[i]] - up[b[i]]);
        ++i;
    }
    return sign(static_cast<int>(a.size()) - static_cast<int>(b.size()));
}

// Character starts of a counted text by the thread's rule.
std::vector<bool> boundaries(const Bytes &text) {
    const unsigned char *lengths = mdsCharLengthTable();
    std::vector<bool> starts(text.size() + 1, false);
    for (size_t i = 0; i < text.size(); i += lengths[text[i]])
        starts[i] = true;
    return starts;
}

void fuzzComparison(const Bytes &a, const Bytes &b) {
    short expected = referenceCompareCi(a, b);
    auto la = static_cast<uint32_t>(a.size()), lb = static_cast<uint32_t>(b.size());
    check(strCompareCi(a.data(), la, b.data(), lb) == expected);
    check(strEqualCi(a.data(), la, b.data(), lb) == (expected == 0 ? 1 : 0));
    check(strCompare(a.data(), la, b.data(), lb) == sign(std::memcmp(a.data(), b.data(), la < lb ? la : lb) != 0
                                                             ? std::memcmp(a.data(), b.data(), la < lb ? la : lb)
                                                             : static_cast<int>(la) - static_cast<int>(lb)));
    bool terminatedAlike =
        a.find(kNul) == Bytes::npos && b.find(kNul) == Bytes::npos && (a.empty() || !zo::plat::isLeadByte(a.back()));
    if (terminatedAlike) {
        check(strCompareCi(a.c_str(), b.c_str()) == expected);
        check(strEqualCi(a.c_str(), b.c_str()) == (expected == 0 ? 1 : 0));
    }
}

void fuzzSearch(const Bytes &text, const Bytes &sub) {
    std::vector<bool> starts = boundaries(text);
    const unsigned char *found =
        strFind(text.data(), static_cast<uint32_t>(text.size()), sub.data(), static_cast<uint32_t>(sub.size()));
    const unsigned char *expected = nullptr;
    if (!sub.empty())
        for (size_t i = 0; i + sub.size() <= text.size() && expected == nullptr; ++i)
            if (starts[i] && std::memcmp(text.data() + i, sub.data(), sub.size()) == 0)
                expected = text.data() + i;
    check(found == expected);
    if (!sub.empty()) {
        unsigned char c = sub[0];
        const unsigned char *first = nullptr;
        const unsigned char *last = nullptr;
        // The terminated text ends at its first NUL; a character cut short by it ends there.
        size_t end = text.find(kNul) == Bytes::npos ? text.size() : text.find(kNul);
        const unsigned char *lengths = mdsCharLengthTable();
        for (size_t i = 0; i < end; i += lengths[text[i]])
            if (text[i] == c && c != 0) {
                last = text.data() + i;
                if (first == nullptr)
                    first = last;
            }
        check(strFind(text.c_str(), c) == first);
        check(strFindReverse(text.c_str(), c) == last);
    }
}

void fuzzTrim(const Bytes &text) {
    std::vector<bool> starts = boundaries(text);
    uint32_t kept = 0, keptBlanks = 0;
    const unsigned char *lengths = mdsCharLengthTable();
    for (size_t i = 0; i < text.size(); ++i) {
        if (!starts[i])
            continue;
        size_t n = lengths[text[i]] < text.size() - i ? lengths[text[i]] : text.size() - i;
        bool space = n == 1 && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'));
        bool ideographic = n == 2 && text[i] == 0x81 && text[i + 1] == 0x40 && zo::plat::isLeadByte(0x81);
        if (!space && !ideographic)
            kept = static_cast<uint32_t>(i + n);
        if (!(n == 1 && text[i] == ' '))
            keptBlanks = static_cast<uint32_t>(i + n);
    }
    check(strRightTrim(text.data(), static_cast<uint32_t>(text.size())) == kept);
    check(strRightTrimBlanks(text.data(), static_cast<uint32_t>(text.size())) == keptBlanks);
}

// Quoting and unquoting give back the text, when no lead byte is cut off at its end.
void fuzzQuoting(const Bytes &text, unsigned char quote) {
    if (quote == 0 || zo::plat::isLeadByte(quote) || (!text.empty() && zo::plat::isLeadByte(text.back())))
        return;
    auto length = static_cast<uint32_t>(text.size());
    Bytes quoted(2 * text.size() + 3, 0xAA);
    unsigned char *end = strCopyQuoted(quoted.data(), text.data(), length, quote);
    auto quotedLength = static_cast<uint32_t>(end - quoted.data());
    check(*end == 0 && quotedLength <= 2 * length + 2);
    Bytes back(quoted.size(), 0xAA);
    unsigned char *backEnd = strCopyUnquoted(back.data(), quoted.data(), quotedLength);
    check(static_cast<size_t>(backEnd - back.data()) == text.size());
    check(std::memcmp(back.data(), text.data(), text.size()) == 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 2)
        return 0;
    uint8_t mode = data[0] % 3;
    unsigned char quote = data[1];
    data += 2;
    size -= 2;
    zo::plat::setCodePageForTest(mode == 1 ? 932 : 1252);
    uint32_t utf8 = ZoCharModeUtf8;
    mdsSetPerThreadData(PerThreadCharMode, mode == 2 ? &utf8 : nullptr);
    size_t split = size / 2;
    Bytes a(data, data + split), b(data + split, data + size);
    fuzzComparison(a, b);
    fuzzSearch(a, b);
    fuzzSearch(b, Bytes(a, 0, a.size() < 4 ? a.size() : 4));
    fuzzTrim(a);
    if (mode != 2)
        fuzzQuoting(a, quote);
    mdsSetPerThreadData(PerThreadCharMode, nullptr);
    return 0;
}
