// Fuzzes buttoken on arbitrary text, flags and buffer sizes, in code pages 1252 and 932 and
// in UTF-8 mode: every token is terminated inside the buffer, the cursor only moves
// forward inside the text, every success that yields a token moves it, and a heap block
// handed over holds the whole token.
#include <zo/buttoken.h>
#include <zo/pertask.h>
#include <zo/ramalloc.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzz_support.h"

using zofuzz::check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 4)
        return 0;
    static uint32_t utf8Mode = ZoCharModeUtf8;
    zofuzz::useCodePage(data[0] & 1 ? 932 : 1252);
    mdsSetPerThreadData(PerThreadCharMode, data[0] & 2 ? &utf8Mode : nullptr);
    const uint16_t flags = static_cast<uint16_t>((data[1] & 0xE0) << 8 | (data[1] & 0x07));
    const uint32_t outSize = 1 + data[2] % 40;
    std::vector<unsigned char> text(data + 3, data + size);
    text.push_back(0);
    const unsigned char *cursor = text.data();
    const unsigned char *const textEnd = text.data() + text.size() - 1;
    std::vector<unsigned char> out(outSize + 16, 0xA5);
    for (size_t guard = 0; guard <= text.size(); ++guard) {
        const unsigned char *before = cursor;
        std::memset(out.data(), 0xA5, out.size()); // so that a heap address written shows
        if (buttoken(out.data(), &cursor, flags, outSize) != ZoSuccess) {
            check(cursor == before);
            break;
        }
        check(cursor >= before && cursor <= textEnd);
        for (size_t i = outSize; i < out.size(); ++i)
            check(out[i] == 0xA5);
        check(std::memchr(out.data(), 0, outSize) != nullptr);
        unsigned char *heap = nullptr;
        if (outSize >= 2 + sizeof heap && out[1] == 0)
            std::memcpy(&heap, out.data() + 2, sizeof heap);
        if (heap != nullptr && reinterpret_cast<uintptr_t>(heap) != UINTPTR_MAX / 255 * 0xA5) {
            check((flags & ButTokenToHeap) != 0 && heap[0] == out[0]);
            check(std::strlen(reinterpret_cast<char *>(heap)) >= outSize - 1);
            ramFree(heap);
        }
        if (*cursor == 0)
            break;
        check(cursor > before); // a token, or one dropped whole, was read
    }
    return 0;
}
