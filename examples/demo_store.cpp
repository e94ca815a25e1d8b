// The tour's storage part: a positional tree, the file block cache and shared files.
#include <zo/zo.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "demo.h"

namespace {

void showPositions() {
    std::puts("== positional tree");
    ZoPTree tree(8);
    const char *words[] = {"gamma", "alpha", "delta", "beta"};
    const uint32_t at[] = {0, 0, 2, 1}; // alpha beta gamma delta
    for (int i = 0; i < 4; ++i) {
        char datum[8] = {};
        std::memcpy(datum, words[i], std::strlen(words[i])); // all shorter than 8
        if (tree.addAtPos(at[i], datum) != ZoSuccess)
            return (void)std::puts("insert failed");
    }
    (void)tree.addHoleAtPos(2); // gamma and delta move up one
    unsigned found = 0;
    (void)tree.deleteKeyAtPos(0, &found); // alpha goes, all others move down one
    uint32_t position = 0;
    char datum[9] = {};
    for (ZoStatus s = tree.getFirst(&position, datum, &found); s == ZoSuccess && found != 0;
         s = tree.getNext(&position, datum, &found))
        std::printf("  %u: %s\n", position, datum);
}

void showBlockCache() {
    std::puts("== file block cache");
    const std::string path = (std::filesystem::temp_directory_path() / "zo_demo_blocks.dat").string();
    std::ofstream(path, std::ios::binary) << std::string(20000, 'x') << "the end";
    unsigned char name[256] = {};
    std::memcpy(name, path.c_str(), path.size() + 1);
    int file = 0;
    void *cache = bvmInit(4); // up to 4 chunks of 8 blocks of 8 KiB
    if (cache != nullptr && bosFileOpen(name, BOS_READWRITE, &file) == ZoSuccess) {
        char tail[16] = {};
        uint32_t got = 0;
        if (bvmFileRead(cache, file, 19996, tail, sizeof tail, &got, VmHintNormal) == ZoSuccess)
            std::printf("  asked for 16 bytes at 19996, got the %u up to the end: \"%s\"\n", got, tail);
        (void)bvmFileWrite(cache, file, 20000, "THE", 3);
        if (bvmFileRead(cache, file, 20000, tail, 7, &got, VmHintNormal) == ZoSuccess)
            std::printf("  after a write through the cache: \"%.7s\"\n", tail);
        (void)bvmFileClose(cache, file);
    }
    bvmTerm(cache);
    std::filesystem::remove(path);
}

void showSharedFiles() {
    std::puts("== shared files in one store");
    ZoTmpFile store;
    ZoSharedFile first(&store), second(&store);
    const std::string text(6000, 'a');
    if (first.write(0, text.data(), 6000) != ZoSuccess || second.write(0, "second file", 12) != ZoSuccess)
        return (void)std::puts("write failed");
    std::printf("  first file: %u blocks at store offsets %u, %u; second: %u\n", first.getBlockCount(),
                first.getBlockOffset(0), first.getBlockOffset(1), second.getBlockOffset(0));
    first.truncate();
    if (second.write(4096, "more", 5) == ZoSuccess)
        std::printf("  the second file grows into the first one's block at %u\n", second.getBlockOffset(1));
}

} // namespace

void showStore() {
    showPositions();
    showBlockCache();
    showSharedFiles();
}
