// Fuzzes the path functions (completing, building, splitting, shortening, volume adaptation
// and the host mapping) on arbitrary names, in code pages 1252 and 932 and in UTF-8 mode.
// Buffers are exactly the documented sizes, so a byte written beyond them is caught.
#include <zo/bosfile.h>
#include <zo/bospath.h>
#include <zo/pertask.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzz_support.h"
#include "platform/path.h"

using zofuzz::check;
using zofuzz::useCodePage;

namespace {

std::size_t length(const std::vector<unsigned char> &b) {
    return std::strlen(reinterpret_cast<const char *>(b.data()));
}

// A name buffer of 256 bytes holding the text (at most 255 bytes of it).
std::vector<unsigned char> nameBuffer(const uint8_t *data, size_t size) {
    std::vector<unsigned char> b(256, 0);
    std::memcpy(b.data(), data, size < 255 ? size : 255);
    return b;
}

// The part of the input up to the next NUL (or the end); steps over it.
std::vector<unsigned char> nextPart(const uint8_t *&data, size_t &size) {
    size_t n = 0;
    while (n < size && data[n] != 0)
        ++n;
    std::vector<unsigned char> part = nameBuffer(data, n);
    data += n < size ? n + 1 : n;
    size -= n < size ? n + 1 : n;
    return part;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 1)
        return 0;
    static uint32_t utf8 = ZoCharModeUtf8;
    uint8_t mode = data[0];
    useCodePage((mode & 1) ? 932 : 1252);
    mdsSetPerThreadData(PerThreadCharMode, (mode & 2) ? &utf8 : nullptr);
    ++data, --size;
    std::vector<unsigned char> a = nextPart(data, size);
    std::vector<unsigned char> b = nextPart(data, size);
    std::vector<unsigned char> c = nextPart(data, size);

    for (int convert = 0; convert < 2; ++convert) {
        std::vector<unsigned char> full = a;
        bosfpath(full.data(), convert);
        check(length(full) <= 255);
    }

    std::vector<unsigned char> built(256, 0);
    bospath(built.data(), (mode & 4) ? b.data() : nullptr, a.data(), (mode & 8) ? c.data() : nullptr);
    check(length(built) <= 255);

    std::vector<unsigned char> split = a;
    std::vector<unsigned char> name(256, 0xEE);
    std::vector<unsigned char> ext(4, 0xEE);
    (void)bosParseName(split.data(), name.data(), ext.data(), 0); // the checks below hold either way
    check(length(name) <= 128 && length(ext) <= 3);
    check(length(split) + length(name) <= length(a));

    std::vector<unsigned char> shortened = a;
    bosmpath(shortened.data());
    check(length(shortened) <= length(a));

    std::vector<unsigned char> adapted(256, 0);
    if (applyOEMConvert(a.data(), adapted.data(), mode & 16) == ZoSuccess)
        check(length(adapted) == length(a));

    char host[zo::plat::kHostPathMax];
    zo::plat::hostPathOf(a.data(), mdsCharLengthTable(), host, sizeof host);

    mdsSetPerThreadData(PerThreadCharMode, nullptr);
    return 0;
}
