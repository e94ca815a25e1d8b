// Fuzzes strLike with text and pattern from the input, in code pages 1252 and 932 and in
// UTF-8 mode, against a memoised recursive matcher over the same characters.
#include <zo/pertask.h>
#include <zo/strfuncs.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzz_support.h"

namespace {

using zofuzz::check;

// A text cut into characters by the thread's stepping rule (a character cut short by the
// end ends there): the start of each, and the end.
std::vector<size_t> starts(const unsigned char *s, size_t n) {
    const unsigned char *lengths = mdsCharLengthTable();
    std::vector<size_t> at;
    for (size_t i = 0; i < n; i += lengths[s[i]])
        at.push_back(i);
    at.push_back(n);
    return at;
}

struct Matcher {
    const unsigned char *text, *pattern;
    std::vector<size_t> t, p; // character starts
    bool fold, utf8;
    std::vector<signed char> memo;

    size_t tn() const { return t.size() - 1; }
    size_t len(const std::vector<size_t> &at, size_t i) const { return at[i + 1] - at[i]; }
    bool is(size_t i, unsigned char c) const { return len(p, i) == 1 && pattern[p[i]] == c; }
    bool same(size_t pi, size_t ti) const {
        const size_t n = len(p, pi);
        if (n != len(t, ti))
            return false;
        const unsigned char a = pattern[p[pi]], b = text[t[ti]];
        if (std::memcmp(pattern + p[pi], text + t[ti], n) == 0)
            return true;
        if (!fold || n != 1)
            return false;
        if (utf8)
            return a < 0x80 && b < 0x80 && (a | 0x20) == (b | 0x20) && (a | 0x20) >= 'a' && (a | 0x20) <= 'z';
        return zo::plat::upperByte(a) == zo::plat::upperByte(b);
    }
    // Whether pattern characters from pi on match text characters from ti on.
    bool match(size_t pi, size_t ti) {
        if (pi == p.size() - 1)
            return ti == tn();
        signed char &m = memo[pi * (tn() + 1) + ti];
        if (m >= 0)
            return m;
        bool r;
        if (is(pi, '%'))
            r = match(pi + 1, ti) || (ti < tn() && match(pi, ti + 1));
        else if (is(pi, '_'))
            r = ti < tn() && match(pi + 1, ti + 1);
        else if (is(pi, '\\'))
            r = pi + 1 < p.size() - 1 && ti < tn() && same(pi + 1, ti) && match(pi + 2, ti + 1);
        else
            r = ti < tn() && same(pi, ti) && match(pi + 1, ti + 1);
        m = r;
        return r;
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 2 || size > 600)
        return 0;
    const uint8_t mode = data[0];
    static uint32_t utf8Mode = ZoCharModeUtf8;
    zofuzz::useCodePage(mode & 1 ? 932 : 1252);
    mdsSetPerThreadData(PerThreadCharMode, mode & 2 ? &utf8Mode : nullptr);
    const unsigned caseSensitive = mode & 4 ? 1 : 0, keepTrailing = mode & 8 ? 1 : 0;
    // The pattern is up to the first 0 byte, the text the rest; both exactly their bytes.
    const uint8_t *rest = data + 1, *end = data + size;
    const uint8_t *cut = static_cast<const uint8_t *>(std::memchr(rest, 0, static_cast<size_t>(end - rest)));
    if (cut == nullptr)
        cut = end;
    std::vector<unsigned char> pattern(rest, cut), text(cut == end ? end : cut + 1, end);
    const unsigned got = strLike(text.data(), static_cast<uint32_t>(text.size()), pattern.data(),
                                 static_cast<uint32_t>(pattern.size()), '%', '_', '\\', caseSensitive, keepTrailing);
    size_t tn = text.size(), pn = pattern.size();
    if (!keepTrailing) {
        tn = strRightTrim(text.data(), static_cast<uint32_t>(tn));
        pn = strRightTrim(pattern.data(), static_cast<uint32_t>(pn));
    }
    Matcher m{text.data(),
              pattern.data(),
              starts(text.data(), tn),
              starts(pattern.data(), pn),
              caseSensitive == 0,
              mdsCharLengthTable() == zo::plat::utf8CharLengths(),
              {}};
    m.memo.assign(m.p.size() * m.t.size(), -1);
    check(got == (m.match(0, 0) ? 1u : 0u));
    return 0;
}
