#include "platform/unicode.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include <iconv.h>
#include <unicode/uchar.h>

#include "platform/codepage.h"

namespace zo::plat {
namespace {

// The host's UCS-2 is little-endian 16-bit units; UTF-16LE reads and writes them as such.
constexpr const char *kUnitEncoding = "UTF-16LE";

// A single-byte page as two tables: byte to unit, and the units of the bytes 0x80-0xFF
// sorted for the reverse lookup (the bytes below 0x80 are ASCII on every page served).
struct SingleBytePage {
    unsigned codePage = 0; // 0 when the tables are not in use
    bool singleByte = false;
    uint16_t toUnicode[256] = {};
    bool defined[256] = {};
    struct Pair {
        uint16_t unit;
        unsigned char byte;
    } reverse[128] = {};
};

SingleBytePage g_ansi;
SingleBytePage g_oem;

void iconvName(unsigned codePage, char (&name)[16]) { std::snprintf(name, sizeof name, "CP%u", codePage); }

// A descriptor, or null when iconv cannot convert between the two (null rather than
// iconv's (iconv_t)-1, so that the descriptor pool below is constant-initialised).
iconv_t openIconv(const char *to, const char *from) {
    iconv_t cd = iconv_open(to, from);
    return cd == reinterpret_cast<iconv_t>(-1) ? nullptr : cd;
}

iconv_t openToUnits(unsigned codePage) {
    char name[16];
    iconvName(codePage, name);
    return openIconv(kUnitEncoding, name);
}

iconv_t openFromUnits(unsigned codePage) {
    char name[16];
    iconvName(codePage, name);
    return openIconv(name, kUnitEncoding);
}

// Converts one byte alone; stateful pages (1255, 1258 compose diacritics) are flushed.
bool convertOneByte(iconv_t cd, unsigned char b, uint16_t *unit) {
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    char in = static_cast<char>(b);
    char *inp = &in;
    size_t inLeft = 1;
    unsigned char out[8];
    char *outp = reinterpret_cast<char *>(out);
    size_t outLeft = sizeof out;
    if (iconv(cd, &inp, &inLeft, &outp, &outLeft) == static_cast<size_t>(-1))
        return false;
    if (iconv(cd, nullptr, nullptr, &outp, &outLeft) == static_cast<size_t>(-1))
        return false;
    if (sizeof out - outLeft != 2)
        return false;
    *unit = static_cast<uint16_t>(out[0] | (out[1] << 8));
    return true;
}

// Fills the byte-to-unit table. A byte the page leaves undefined stands for the unit of the
// same value, as the host's converters do, so that such bytes still round-trip.
void buildPage(SingleBytePage &page, unsigned codePage, bool singleByte) {
    page.codePage = codePage;
    page.singleByte = singleByte;
    iconv_t cd = openToUnits(codePage);
    for (unsigned b = 0; b < 256; ++b) {
        uint16_t unit = 0;
        bool ok = cd != nullptr && (singleByte || !isLeadByte(static_cast<unsigned char>(b))) &&
                  convertOneByte(cd, static_cast<unsigned char>(b), &unit);
        page.defined[b] = ok;
        page.toUnicode[b] = ok ? unit : static_cast<uint16_t>(b);
    }
    if (cd != nullptr)
        iconv_close(cd);
    // Reverse pairs, sorted by unit; on equal units the defined byte comes first.
    for (unsigned i = 0; i < 128; ++i)
        page.reverse[i] = {page.toUnicode[0x80 + i], static_cast<unsigned char>(0x80 + i)};
    auto before = [&page](const SingleBytePage::Pair &x, const SingleBytePage::Pair &y) {
        if (x.unit != y.unit)
            return x.unit < y.unit;
        return page.defined[x.byte] && !page.defined[y.byte];
    };
    for (unsigned i = 1; i < 128; ++i) // insertion sort: 128 entries, once per code page
        for (unsigned j = i; j > 0 && before(page.reverse[j], page.reverse[j - 1]); --j) {
            SingleBytePage::Pair t = page.reverse[j];
            page.reverse[j] = page.reverse[j - 1];
            page.reverse[j - 1] = t;
        }
}

bool pageByte(const SingleBytePage &page, uint16_t unit, unsigned char *b) {
    if (unit < 0x80) {
        *b = static_cast<unsigned char>(unit);
        return true;
    }
    unsigned lo = 0, hi = 128;
    while (lo < hi) {
        unsigned mid = (lo + hi) / 2;
        if (page.reverse[mid].unit < unit)
            lo = mid + 1;
        else
            hi = mid;
    }
    if (lo == 128 || page.reverse[lo].unit != unit)
        return false;
    *b = page.reverse[lo].byte;
    return true;
}

const SingleBytePage *tablesFor(unsigned codePage) {
    if (g_ansi.singleByte && g_ansi.codePage == codePage)
        return &g_ansi;
    if (g_oem.singleByte && g_oem.codePage == codePage)
        return &g_oem;
    return nullptr;
}

// A few descriptor pairs for the double-byte pages, each taken by one thread at a time.
// When all are taken a conversion opens descriptors of its own.
struct IconvSlot {
    std::atomic_flag busy = ATOMIC_FLAG_INIT;
    unsigned codePage = 0;
    iconv_t toUnits = nullptr;
    iconv_t fromUnits = nullptr;
};
IconvSlot g_pool[4];

void closeSlot(IconvSlot &slot) {
    if (slot.toUnits != nullptr)
        iconv_close(slot.toUnits);
    if (slot.fromUnits != nullptr)
        iconv_close(slot.fromUnits);
    slot.toUnits = slot.fromUnits = nullptr;
    slot.codePage = 0;
}

bool openSlot(IconvSlot &slot, unsigned codePage) {
    if (slot.codePage == codePage && slot.toUnits != nullptr)
        return true;
    closeSlot(slot);
    slot.toUnits = openToUnits(codePage);
    slot.fromUnits = openFromUnits(codePage);
    slot.codePage = codePage;
    if (slot.toUnits != nullptr && slot.fromUnits != nullptr)
        return true;
    closeSlot(slot);
    return false;
}

class PooledIconv {
public:
    explicit PooledIconv(unsigned codePage) {
        for (IconvSlot &slot : g_pool)
            if (!slot.busy.test_and_set(std::memory_order_acquire)) {
                slot_ = &slot;
                break;
            }
        if (slot_ == nullptr)
            slot_ = &own_;
        ok_ = openSlot(*slot_, codePage);
    }
    ~PooledIconv() {
        if (slot_ == &own_)
            closeSlot(own_);
        else
            slot_->busy.clear(std::memory_order_release);
    }
    PooledIconv(const PooledIconv &) = delete;
    PooledIconv &operator=(const PooledIconv &) = delete;
    bool ok() const { return ok_; }
    iconv_t toUnits() const { return slot_->toUnits; }
    iconv_t fromUnits() const { return slot_->fromUnits; }

private:
    IconvSlot own_;
    IconvSlot *slot_ = nullptr;
    bool ok_ = false;
};

// Runs a descriptor over the whole input. What cannot be converted becomes `replacement`
// (one output unit of unitSize bytes) and `skip` bytes of input are passed over. With a
// null out only counts. Returns the output units, or 0 with InsufficientBuffer when out
// filled up (it then holds what fit).
template <class Skip>
int32_t runIconv(iconv_t cd, const char *in, size_t inLeft, char *out, size_t outSize, size_t unitSize,
                 const char *replacement, Skip skip, ConvertStatus *status) {
    char scratch[512];
    const bool counting = out == nullptr;
    char *o = counting ? scratch : out;
    size_t oLeft = counting ? sizeof scratch : outSize;
    size_t counted = 0;
    auto makeRoom = [&]() {
        if (!counting)
            return false;
        counted += static_cast<size_t>(o - scratch);
        o = scratch;
        oLeft = sizeof scratch;
        return true;
    };
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    while (inLeft > 0) {
        char *inp = const_cast<char *>(in);
        size_t r = iconv(cd, &inp, &inLeft, &o, &oLeft);
        in = inp;
        if (r != static_cast<size_t>(-1))
            break;
        if (errno == E2BIG || oLeft < unitSize) {
            if (makeRoom())
                continue;
            *status = ConvertStatus::InsufficientBuffer;
            return 0;
        }
        std::memcpy(o, replacement, unitSize);
        o += unitSize;
        oLeft -= unitSize;
        size_t n = skip(reinterpret_cast<const unsigned char *>(in), inLeft);
        in += n;
        inLeft -= n;
    }
    size_t bytes = counting ? counted + static_cast<size_t>(o - scratch) : static_cast<size_t>(o - out);
    return static_cast<int32_t>(bytes / unitSize);
}

// Converts element for element through a single-byte page's table (map); with destCount
// 0 only counts.
template <class In, class Out, class Map>
int32_t convertByTable(const In *src, int32_t srcCount, Out *dest, int32_t destCount, ConvertStatus *status, Map map) {
    if (destCount == 0)
        return srcCount;
    int32_t n = srcCount < destCount ? srcCount : destCount;
    for (int32_t i = 0; i < n; ++i)
        dest[i] = map(src[i]);
    if (n < srcCount) {
        *status = ConvertStatus::InsufficientBuffer;
        return 0;
    }
    return n;
}

bool badArguments(const void *src, int32_t srcLen, const void *dest, int32_t destCount, ConvertStatus *status) {
    if (src == nullptr || srcLen < 0 || destCount < 0 || (dest == nullptr && destCount > 0)) {
        *status = ConvertStatus::InvalidParameter;
        return true;
    }
    return false;
}

} // namespace

int32_t codePageToUcs2(unsigned codePage, const unsigned char *src, int32_t srcLen, uint16_t *dest, int32_t destCount,
                       ConvertStatus *status) {
    *status = ConvertStatus::Ok;
    if (badArguments(src, srcLen, dest, destCount, status))
        return 0;
    if (const SingleBytePage *page = tablesFor(codePage))
        return convertByTable(src, srcLen, dest, destCount, status,
                              [page](unsigned char b) { return page->toUnicode[b]; });
    PooledIconv cd(codePage);
    if (!cd.ok()) {
        *status = ConvertStatus::InvalidParameter;
        return 0;
    }
    static constexpr char kQuestionUnit[2] = {'?', 0};
    // A character that cannot be converted is passed over whole: both bytes of a lead byte
    // and its trail, else one byte.
    auto skip = [](const unsigned char *p, size_t left) -> size_t { return left >= 2 && isLeadByte(*p) ? 2 : 1; };
    return runIconv(cd.toUnits(), reinterpret_cast<const char *>(src), static_cast<size_t>(srcLen),
                    destCount == 0 ? nullptr : reinterpret_cast<char *>(dest), static_cast<size_t>(destCount) * 2, 2,
                    kQuestionUnit, skip, status);
}

int32_t ucs2ToCodePage(unsigned codePage, const uint16_t *src, int32_t srcCount, unsigned char *dest, int32_t destSize,
                       ConvertStatus *status) {
    *status = ConvertStatus::Ok;
    if (badArguments(src, srcCount, dest, destSize, status))
        return 0;
    if (const SingleBytePage *page = tablesFor(codePage))
        return convertByTable(src, srcCount, dest, destSize, status, [page](uint16_t unit) {
            unsigned char b = '?';
            pageByte(*page, unit, &b);
            return b;
        });
    PooledIconv cd(codePage);
    if (!cd.ok()) {
        *status = ConvertStatus::InvalidParameter;
        return 0;
    }
    auto skip = [](const unsigned char *, size_t) -> size_t { return 2; };
    return runIconv(cd.fromUnits(), reinterpret_cast<const char *>(src), static_cast<size_t>(srcCount) * 2,
                    destSize == 0 ? nullptr : reinterpret_cast<char *>(dest), static_cast<size_t>(destSize), 1, "?",
                    skip, status);
}

bool ansiByteToUnicode(unsigned char b, uint16_t *unit) {
    if (!g_ansi.defined[b])
        return false;
    *unit = g_ansi.toUnicode[b];
    return true;
}

bool unicodeToAnsiByte(uint16_t unit, unsigned char *b) {
    if (g_ansi.singleByte)
        return pageByte(g_ansi, unit, b);
    // A double-byte page: only its single bytes qualify.
    for (unsigned i = 0; i < 256; ++i)
        if (g_ansi.defined[i] && g_ansi.toUnicode[i] == unit) {
            *b = static_cast<unsigned char>(i);
            return true;
        }
    return false;
}

uint16_t unicodeUpper(uint16_t unit) {
    UChar32 c = u_toupper(unit);
    return c <= 0xFFFF ? static_cast<uint16_t>(c) : unit;
}

uint16_t unicodeLower(uint16_t unit) {
    UChar32 c = u_tolower(unit);
    return c <= 0xFFFF ? static_cast<uint16_t>(c) : unit;
}

void conversionTablesBuild(unsigned ansiPage, bool ansiDoubleByte, unsigned oemPage) {
    buildPage(g_ansi, ansiPage, !ansiDoubleByte);
    // A double-byte page is its own OEM page, converted through iconv like the ANSI page.
    if (ansiDoubleByte)
        g_oem = SingleBytePage{};
    else
        buildPage(g_oem, oemPage, true);
}

void conversionRelease() {
    for (IconvSlot &slot : g_pool)
        closeSlot(slot);
}

} // namespace zo::plat
