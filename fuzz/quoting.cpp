// Fuzzes the string classes' quoting, unquoting, line-break and placeholder-filling
// operations on arbitrary bytes, in code pages 1252 and 932 and in UTF-8 mode, and checks
// the invariants every result must keep.
#include <zo/pertask.h>
#include <zo/strfuncs.h>
#include <zo/zoparams.h>
#include <zo/zostring.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "platform/codepage.h"

namespace {

void check(bool condition) {
    if (!condition)
        std::abort();
}

// A string the library grew keeps room for, and holds, its terminating NUL.
void checkTerminated(const ZoString &s) {
    if (s.data() == nullptr)
        return;
    check(s.length() < s.capacity());
    check(s.data()[s.length()] == 0);
}

uint32_t countPairs(const ZoString &s) {
    uint32_t n = 0;
    for (uint32_t i = 0; i + 1 < s.length(); ++i)
        n += s.data()[i] == '\r' && s.data()[i + 1] == '\n';
    return n;
}

struct Input {
    const uint8_t *data;
    size_t size;
    uint8_t take() {
        if (size == 0)
            return 0;
        --size;
        return *data++;
    }
};

void fuzzLineBreaks(const unsigned char *text, uint32_t length, Input &in) {
    uint32_t width = in.take();
    unsigned char q1 = in.take() & 1 ? '\'' : 0, q2 = '"', q3 = in.take();
    ZoString s;
    check(s.initialize(text, length) == ZoSuccess);
    uint32_t pairsBefore = countPairs(s);
    check(s.insertLineBreaks(width, q1, q2, q3) == ZoSuccess);
    checkTerminated(s);
    // Each break turns one blank into CR LF: the text grows by one byte per new pair.
    check(s.length() - length == countPairs(s) - pairsBefore);
    uint32_t before = s.length();
    check(s.removeLineBreaks(q1, q2, q3) == ZoSuccess);
    checkTerminated(s);
    check(s.length() <= before);
    check(s.forceEol(in.take() % 4) == ZoSuccess);
    checkTerminated(s);
}

// Quoting and unquoting: every text of whole characters comes back from its quoted form.
void fuzzQuoting(const unsigned char *text, uint32_t length, Input &in) {
    const unsigned char quote = in.take();
    ZoSubString view(text, length);
    ZoString out;
    check(view.copyQuotedStr(&out) == ZoSuccess);
    checkTerminated(out);
    check(out.length() <= length);

    auto *quoted = static_cast<unsigned char *>(std::malloc(2 * size_t{length} + 3));
    auto *plain = static_cast<unsigned char *>(std::malloc(2 * size_t{length} + 3));
    uint32_t quotedLength = static_cast<uint32_t>(strCopyQuoted(quoted, text, length, quote) - quoted);
    uint32_t plainLength = static_cast<uint32_t>(strCopyUnquoted(plain, quoted, quotedLength) - plain);
    // Only a lead byte cut off at the end is lost.
    check(plainLength == length || plainLength + 1 == length);
    check(std::memcmp(plain, text, plainLength) == 0);
    uint32_t removed = strRemoveQuotes(quoted, quotedLength, quote);
    check(removed <= quotedLength);
    // Arbitrary bytes, unquoted as they are, stay within their bounds.
    strCopyUnquoted(plain, text, length);
    std::free(quoted);
    std::free(plain);

    ZoString s;
    check(s.initialize(text, length) == ZoSuccess);
    check(s.addQuotes(quote) == ZoSuccess);
    checkTerminated(s);
    check(s.length() == quotedLength);
    s.removeQuotes();
    check(s.length() == plainLength);
    check(s.addQuotedBytes(ZoSubString(s.data(), s.length()), quote) == ZoSuccess);
    checkTerminated(s);
}

void fuzzEdits(const unsigned char *text, uint32_t length, Input &in) {
    ZoString s;
    check(s.initialize(text, length) == ZoSuccess);
    uint32_t pos = in.take(), oldLen = in.take();
    // The source is taken from the string itself, within its text (0 = up to its NUL).
    uint32_t from = length > 0 ? in.take() % length : 0;
    uint32_t newLen = in.take() % (length - from + 1);
    ZoStatus status = s.changeBytes(pos, oldLen, s.data() + from, newLen);
    check(status == ZoSuccess || pos > length || oldLen > length - pos);
    checkTerminated(s);
    unsigned char pattern[3] = {in.take(), in.take(), 0};
    unsigned char with[4] = {in.take(), in.take(), in.take(), 0};
    check(s.replaceSubString(pattern, with) == ZoSuccess);
    checkTerminated(s);
    check(s.findSubString(pattern, 0) <= s.length());
}

// The message is the text; the values are cut from the rest of the input.
void fuzzParams(const unsigned char *text, uint32_t length, Input &in) {
    ZoParamString message;
    check(message.initialize(text, length) == ZoSuccess);
    for (int i = in.take() % 16; i > 0; --i) {
        uint8_t kind = in.take();
        if (kind % 5 == 4) {
            unsigned char value[4] = {in.take(), in.take(), in.take(), 0};
            (void)message.setQuotedParam(value, in.take()); // may run out of placeholders
        } else if (kind % 3 == 0) {
            uint32_t n = in.take() % 8;
            n = n < in.size ? n : static_cast<uint32_t>(in.size);
            message << ZoSubString(in.data, n);
            in.data += n;
            in.size -= n;
        } else if (kind % 3 == 1) {
            message << static_cast<int32_t>(kind * 0x01010101u);
        } else {
            message << static_cast<uint32_t>(kind);
        }
        checkTerminated(message);
    }
    check(!message.failed());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    Input in{data, size};
    uint8_t mode = in.take();
    // Switching the code page rebuilds its tables: do it only when the page changes.
    static unsigned codePage = 1252;
    unsigned wanted = mode % 3 == 1 ? 932 : 1252;
    if (wanted != codePage && zo::plat::setCodePageForTest(wanted))
        codePage = wanted;
    uint32_t utf8 = ZoCharModeUtf8;
    mdsSetPerThreadData(PerThreadCharMode, mode % 3 == 2 ? &utf8 : nullptr);

    uint32_t length = in.take() % 64;
    length = length < in.size ? length : static_cast<uint32_t>(in.size);
    // The text lives in its own block so that ASan sees any read past its end.
    auto *text = static_cast<unsigned char *>(std::malloc(length + 1));
    std::memcpy(text, in.data, length);
    in.data += length;
    in.size -= length;

    fuzzQuoting(text, length, in);
    fuzzLineBreaks(text, length, in);
    fuzzEdits(text, length, in);
    fuzzParams(text, length, in);

    std::free(text);
    mdsSetPerThreadData(PerThreadCharMode, nullptr);
    return 0;
}
