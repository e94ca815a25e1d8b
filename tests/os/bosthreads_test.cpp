#include <zo/bosfile.h>
#include <zo/bospath.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/path.h"
#include "support/temp_dir.h"
#include "support/status.h"

namespace {

// Drivers call the file functions from every thread: temporary files, transfers, locks on
// a shared file, path completion and OEM conversion run side by side.
TEST(BosFileThreads, ConcurrentFilesLocksAndPaths) {
    zotest::TempDir dir;
    std::string shared = dir.windows("shared.bin");
    unsigned char sharedName[256];
    std::strcpy(reinterpret_cast<char *>(sharedName), shared.c_str());
    int creator = 0;
    ASSERT_EQ(bosFileOpen(sharedName, BOS_CREATE, &creator), ZoSuccess);
    zotest::ok(bosFileClose(creator));

    constexpr int kThreads = 4;
    std::vector<int> failures(kThreads, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < 20; ++round) {
                unsigned char name[256] = {};
                int h = 0;
                if (bosFileOpen(name, BOS_TEMPNAME | BOS_READWRITE, &h) != ZoSuccess) {
                    ++failures[t];
                    continue;
                }
                char out[64];
                std::snprintf(out, sizeof out, "thread %d round %d", t, round);
                uint32_t len = static_cast<uint32_t>(std::strlen(out));
                char back[64] = {};
                uint32_t got = 0;
                if (bosFileWrite(h, 0, out, len) != ZoSuccess || bosFileRead(h, 0, back, len, &got) != ZoSuccess ||
                    got != len || std::memcmp(out, back, len) != 0)
                    ++failures[t];
                zotest::ok(bosFileClose(h));
                zotest::ok(bosFileDelete(name));

                int s = 0;
                if (bosFileOpen(sharedName, BOS_READWRITE, &s) == ZoSuccess) {
                    // Each thread locks its own region: never a conflict.
                    if (bosRegionLock(s, 0, static_cast<uint32_t>(t * 100), 100) != ZoSuccess ||
                        bosRegionLock(s, 1, static_cast<uint32_t>(t * 100), 100) != ZoSuccess)
                        ++failures[t];
                    zotest::ok(bosFileClose(s));
                } else {
                    ++failures[t];
                }

                unsigned char path[256] = "C:\\A\\B\\..\\caf\xE9";
                bosfpath(path, 1);
                if (std::strcmp(reinterpret_cast<char *>(path), "C:\\A\\CAF\xC9") != 0)
                    ++failures[t];
            }
        });
    }
    for (auto &th : threads)
        th.join();
    for (int t = 0; t < kThreads; ++t)
        EXPECT_EQ(failures[t], 0) << "thread " << t;
}

} // namespace
