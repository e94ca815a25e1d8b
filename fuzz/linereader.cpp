// Fuzzes the line reader over any file content with any buffer size: the pieces read join
// to the file, every offset is where its piece lies, and jumping back to a line's start
// reads that line again. The first bytes choose the buffer size, the line-end handling, the
// scrambling and the jumps.
#include <zo/zofileby.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

#include "fuzz_support.h"

using zofuzz::check;

namespace {

const std::string &scratchFile() {
    static const std::string path =
        (std::filesystem::temp_directory_path() / ("zo-fuzz-lines-" + std::to_string(::getpid()) + ".txt")).string();
    return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 3)
        return 0;
    const uint32_t bufferSize = 16 + data[0] % 80;
    const bool keepEol = (data[1] & 1) != 0;
    const uint16_t scramble = (data[1] >> 1) % 4;
    const uint8_t jumps = data[2];
    const std::string contents(reinterpret_cast<const char *>(data) + 3, size - 3);
    std::FILE *f = std::fopen(scratchFile().c_str(), "wb");
    if (f == nullptr)
        return 0;
    std::fwrite(contents.data(), 1, contents.size(), f);
    std::fclose(f);

    ZoFileByLine reader;
    check(reader.openFile(reinterpret_cast<const unsigned char *>(scratchFile().c_str()), bufferSize) == ZoSuccess);
    reader.keepEol = keepEol ? 1 : 0;
    reader.scrambleMode = scramble;
    std::vector<uint32_t> starts{0};
    uint32_t at = 0;
    for (size_t guard = 0; guard <= contents.size() + 1; ++guard) {
        ZoSubString line;
        check(reader.getNextLine(line) == ZoSuccess);
        check(reader.lineOffset == at);
        if (reader.atEnd != 0) {
            check(at == contents.size());
            break;
        }
        check(line.length() <= bufferSize);
        check(line.length() > 0 || (!keepEol && reader.lineComplete));
        uint32_t consumed =
            line.length() + (reader.lineComplete && !keepEol && at + line.length() < contents.size() ? 2 : 0);
        if (scramble == 0 && (keepEol || !reader.lineComplete))
            check(contents.compare(at, line.length(), reinterpret_cast<const char *>(line.data()), line.length()) == 0);
        at += consumed;
        check(at <= contents.size());
        check(reader.highWater == at);
        if (reader.lineComplete)
            starts.push_back(at);
    }
    for (uint8_t j = 0; j < jumps % 8; ++j) {
        uint32_t start = starts[(j * 131u + jumps) % starts.size()];
        reader.seekOffset = static_cast<int32_t>(start);
        ZoSubString line;
        check(reader.getNextLine(line) == ZoSuccess);
        check(reader.lineOffset == start);
        reader.ungetLine();
        check(reader.getNextLine(line) == ZoSuccess);
        check(reader.lineOffset == start);
    }
    return 0;
}
