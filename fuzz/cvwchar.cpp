// Fuzzes the conversions from UTF-8 and from the ANSI code page (1252, 932, 936, 949, 950)
// on arbitrary bytes and destination sizes: what is written stays inside the destination
// and within its count, a cut output is the start of the full one cut at a character, and
// the buffered and the character-by-character ways agree.
#include <zo/cvwchar.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzz_support.h"
#include "text/cvlimits.h"

namespace {

using zofuzz::check;

constexpr unsigned kPages[] = {1252, 932, 936, 949, 950};

using ByteConversion = ZoConvertReturn (*)(unsigned char *, int32_t, const unsigned char *, int32_t, const uint16_t *,
                                           int32_t *, int32_t);

struct Output {
    ZoConvertReturn code;
    std::vector<unsigned char> bytes; // the written elements' bytes
};

// Runs a conversion into `room` elements of `unit` bytes with guard bytes after them.
template <class Convert>
Output run(size_t room, size_t unit, Convert convert) {
    std::vector<unsigned char> dest(room * unit + 16, 0xA5);
    int32_t written = -1;
    Output out{convert(dest.data(), static_cast<int32_t>(room), &written), {}};
    check(out.code == ZoConvertOk || out.code == ZoConvertTruncated);
    check(written >= 0 && static_cast<size_t>(written) <= room);
    for (size_t i = room * unit; i < dest.size(); ++i)
        check(dest[i] == 0xA5);
    out.bytes.assign(dest.begin(), dest.begin() + written * static_cast<int32_t>(unit));
    return out;
}

// A cut output is a start of the full output, and more was left to write.
void checkCut(const Output &cut, const Output &full) {
    check(cut.bytes.size() <= full.bytes.size());
    check(std::equal(cut.bytes.begin(), cut.bytes.end(), full.bytes.begin()));
    // A full output may still be cut: the source's NUL, not counted, did not fit.
    if (cut.bytes.size() < full.bytes.size())
        check(cut.code == ZoConvertTruncated);
}

void fuzzConversions(const unsigned char *src, int32_t len, size_t room) {
    const size_t roomy = static_cast<size_t>(len) * 3 + 1;
    auto toUnits = [&](size_t n) {
        return run(n, 2, [&](unsigned char *d, int32_t size, int32_t *w) {
            return cvUTF8ToUCS2(reinterpret_cast<uint16_t *>(d), size, src, len, w);
        });
    };
    auto bytes = [&](ByteConversion convert, size_t n) {
        return run(n, 1, [&](unsigned char *d, int32_t size, int32_t *w) {
            return convert(d, size, src, len, nullptr, w, 0);
        });
    };
    checkCut(toUnits(room), toUnits(roomy));
    for (ByteConversion convert : {cvUTF8ToAnsi, cvAnsiToUTF8}) {
        const Output full = bytes(convert, roomy);
        check(full.code == ZoConvertOk);
        checkCut(bytes(convert, room), full);
        const uint32_t before = zo::text::setWholeTextLimitForTest(0);
        const Output byChar = bytes(convert, roomy);
        zo::text::setWholeTextLimitForTest(before);
        check(byChar.bytes == full.bytes && byChar.code == full.code);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 2)
        return 0;
    zofuzz::useCodePage(kPages[data[0] % std::size(kPages)]);
    const size_t room = 1 + data[1];
    std::vector<unsigned char> src(data + 2, data + size); // exactly the bytes: reads past them show
    if (!src.empty())
        fuzzConversions(src.data(), static_cast<int32_t>(src.size()), room);
    return 0;
}
