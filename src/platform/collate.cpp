#include "platform/collate.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include <unicode/ucol.h>

#include "platform/codepage.h"
#include "platform/memory.h"
#include "platform/simd.h"
#include "platform/unicode.h"

namespace zo::plat {
namespace {

std::atomic<UCollator *> g_caseSensitive{nullptr};
std::atomic<UCollator *> g_caseBlind{nullptr};

UCollator *openCollator(bool ignoreCase) {
    char locale[64];
    collationLocaleName(std::getenv("LC_ALL"), std::getenv("LC_COLLATE"), std::getenv("LANG"), locale, sizeof locale);
    UErrorCode error = U_ZERO_ERROR;
    UCollator *collator = ucol_open(locale, &error);
    if (U_FAILURE(error)) {
        error = U_ZERO_ERROR;
        collator = ucol_open("", &error);
        if (U_FAILURE(error))
            return nullptr;
    }
    // Secondary strength tells accents apart but not case.
    if (ignoreCase)
        ucol_setStrength(collator, UCOL_SECONDARY);
    return collator;
}

// The shared collator, opened by the first thread that needs it; a thread that loses the
// race to publish its own closes it and uses the winner's.
const UCollator *sharedCollator(bool ignoreCase) {
    std::atomic<UCollator *> &slot = ignoreCase ? g_caseBlind : g_caseSensitive;
    UCollator *collator = slot.load(std::memory_order_acquire);
    if (collator != nullptr)
        return collator;
    UCollator *opened = openCollator(ignoreCase);
    if (opened == nullptr)
        return nullptr;
    if (slot.compare_exchange_strong(collator, opened, std::memory_order_acq_rel))
        return opened;
    ucol_close(opened);
    return collator;
}

// UCS-2 form of an ANSI text: in the caller's buffer when it fits, else in a block of ours.
class Units {
public:
    Units(const unsigned char *text, uint32_t length) {
        int32_t count = static_cast<int32_t>(length > 0x3FFFFFFF ? 0x3FFFFFFF : length);
        ConvertStatus status;
        int32_t needed = count <= kInline ? count : codePageToUcs2(ansiCodePage(), text, count, nullptr, 0, &status);
        data_ = inline_;
        if (needed > kInline) {
            data_ = static_cast<uint16_t *>(heapAlloc(static_cast<uint32_t>(needed) * 2, false));
            if (data_ == nullptr)
                return;
        }
        length_ = needed == 0 ? 0 : codePageToUcs2(ansiCodePage(), text, count, data_, needed, &status);
        ok_ = true;
    }
    ~Units() {
        if (data_ != inline_)
            heapFree(data_);
    }
    Units(const Units &) = delete;
    Units &operator=(const Units &) = delete;
    bool ok() const { return ok_; }
    const UChar *data() const { return reinterpret_cast<const UChar *>(data_); }
    int32_t length() const { return length_; }

private:
    static constexpr int32_t kInline = 512;
    uint16_t inline_[kInline];
    uint16_t *data_ = nullptr;
    int32_t length_ = 0;
    bool ok_ = false;
};

int orderUnits(const Units &a, const Units &b) {
    int32_t n = a.length() < b.length() ? a.length() : b.length();
    for (int32_t i = 0; i < n; ++i)
        if (a.data()[i] != b.data()[i])
            return a.data()[i] < b.data()[i] ? -1 : 1;
    return a.length() < b.length() ? -1 : a.length() > b.length() ? 1 : 0;
}

// ASCII text is its own UTF-8, which the collator reads directly.
bool isAscii(const unsigned char *text, uint32_t length) {
    uint32_t i = 0;
    for (; i + 8 <= length; i += 8) {
        uint64_t word;
        std::memcpy(&word, text + i, 8);
        if ((word & 0x8080808080808080ull) != 0)
            return false;
    }
    for (; i < length; ++i)
        if (text[i] >= 0x80)
            return false;
    return true;
}

int orderBytes(const unsigned char *a, uint32_t aLen, const unsigned char *b, uint32_t bLen) {
    int order = std::memcmp(a, b, aLen < bLen ? aLen : bLen);
    if (order != 0)
        return order;
    return aLen < bLen ? -1 : aLen > bLen ? 1 : 0;
}

} // namespace

namespace {

int compareMeasured(const unsigned char *a, uint32_t aLen, bool aAscii, const unsigned char *b, uint32_t bLen,
                    bool bAscii, bool ignoreCase) {
    const UCollator *collator = sharedCollator(ignoreCase);
    if (collator != nullptr && aAscii && bAscii && aLen <= INT32_MAX && bLen <= INT32_MAX) {
        UErrorCode error = U_ZERO_ERROR;
        UCollationResult result =
            ucol_strcollUTF8(collator, reinterpret_cast<const char *>(a), static_cast<int32_t>(aLen),
                             reinterpret_cast<const char *>(b), static_cast<int32_t>(bLen), &error);
        if (U_SUCCESS(error))
            return static_cast<int>(result);
    }
    Units ua(a, aLen);
    Units ub(b, bLen);
    // Without memory for a long text's units, the bytes still give a stable order.
    if (!ua.ok() || !ub.ok())
        return orderBytes(a, aLen, b, bLen);
    if (collator == nullptr)
        return orderUnits(ua, ub);
    return static_cast<int>(ucol_strcoll(collator, ua.data(), ua.length(), ub.data(), ub.length()));
}

// Length of a NUL-terminated text and whether it is all ASCII, in one pass of 16-byte
// blocks. A block is read only when it stays inside the text's memory page, so reading
// past the NUL is harmless (and left out of the sanitizers' view).
ZO_UNCHECKED_LOAD uint32_t measure(const unsigned char *text, bool *ascii) {
    uint32_t n = 0;
    unsigned high = 0;
    for (;;) {
        if (blockInPage<16>(text + n)) {
            __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i *>(text + n));
            unsigned nul = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(block, _mm_setzero_si128())));
            unsigned highBits = static_cast<unsigned>(_mm_movemask_epi8(block));
            if (nul == 0) {
                high |= highBits;
                n += 16;
                continue;
            }
            unsigned k = static_cast<unsigned>(__builtin_ctz(nul));
            high |= highBits & ((1u << k) - 1);
            n += k;
            break;
        }
        if (text[n] == 0)
            break;
        high |= text[n] & 0x80u;
        ++n;
    }
    *ascii = high == 0;
    return n;
}

} // namespace

int collateCompare(const unsigned char *a, uint32_t aLen, const unsigned char *b, uint32_t bLen, bool ignoreCase) {
    return compareMeasured(a, aLen, isAscii(a, aLen), b, bLen, isAscii(b, bLen), ignoreCase);
}

int collateCompare(const unsigned char *a, const unsigned char *b, bool ignoreCase) {
    bool aAscii, bAscii;
    uint32_t aLen = measure(a, &aAscii);
    uint32_t bLen = measure(b, &bAscii);
    return compareMeasured(a, aLen, aAscii, b, bLen, bAscii, ignoreCase);
}

void collationLocaleName(const char *lcAll, const char *lcCollate, const char *lang, char *name, std::size_t size) {
    if (size == 0)
        return;
    const char *value = "";
    for (const char *candidate : {lcAll, lcCollate, lang})
        if (candidate != nullptr && *candidate != '\0') {
            value = candidate;
            break;
        }
    std::size_t n = 0;
    while (value[n] != '\0' && value[n] != '.' && value[n] != '@' && n + 1 < size) {
        name[n] = value[n];
        ++n;
    }
    name[n] = '\0';
    if (std::strcmp(name, "C") == 0 || std::strcmp(name, "POSIX") == 0)
        name[0] = '\0';
}

void collateRelease() {
    for (std::atomic<UCollator *> *slot : {&g_caseSensitive, &g_caseBlind})
        if (UCollator *collator = slot->exchange(nullptr, std::memory_order_acq_rel))
            ucol_close(collator);
}

} // namespace zo::plat
