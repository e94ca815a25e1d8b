// Fuzzes taking lines from text in memory, in code pages 1252 and 932, with every line
// size, and checks that each call stays inside its buffers and makes progress.
#include <zo/bosfile.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzz_support.h"

using zofuzz::check;
using zofuzz::useCodePage;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 3)
        return 0;
    useCodePage((data[0] & 1) ? 932 : 1252);
    unsigned short lineSize = static_cast<unsigned short>(data[1] | (data[2] & 0x3F) << 8);
    std::vector<unsigned char> text(data + 3, data + size);
    text.push_back(0);
    const std::size_t textLength = std::strlen(reinterpret_cast<const char *>(text.data()));
    // Exactly the line's room: a byte written beyond it is caught by the sanitizer.
    std::vector<unsigned char> line(lineSize + 1u);
    unsigned short pos = 0;
    for (;;) {
        short result = 0;
        unsigned short before = pos;
        bosgetbl(text.data(), &pos, line.data(), lineSize, &result);
        if (result == -1) {
            check(pos == before);
            break;
        }
        if (result == -2) {
            check(pos == before);
            check(std::strlen(reinterpret_cast<const char *>(line.data())) <= lineSize);
            break;
        }
        check(result >= 0 && result <= lineSize);
        check(pos > before && pos <= textLength);
        // A line holds no NUL of its own, so its length is the result.
        check(std::strlen(reinterpret_cast<const char *>(line.data())) == static_cast<std::size_t>(result));
    }
    return 0;
}
