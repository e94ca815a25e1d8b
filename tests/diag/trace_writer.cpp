// One process of the shared-trace-file test: opens the trace file, says it is ready, waits
// for the go, then writes COUNT lines "<tag> <number> " padded to 98 bytes plus CR LF.
//
//     trace_writer FILE TAG COUNT FLUSH READY_FILE GO_FILE
#include <zo/zotrace.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

int main(int argc, char **argv) {
    if (argc != 7)
        return 2;
    ZoTrace trace;
    if (trace.initialize(nullptr, 0, reinterpret_cast<const unsigned char *>(argv[1])) != ZoSuccess)
        return 3;
    if (std::atoi(argv[4]) == 0)
        trace.setFlags(trace.flags() & ~ZoTrace::FlushEachLine);
    std::ofstream(argv[5]).close();
    for (int i = 0; i < 10000 && !std::filesystem::exists(argv[6]); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    const int count = std::atoi(argv[3]);
    for (int i = 0; i < count; ++i) {
        std::string line = std::string(argv[2]) + " " + std::to_string(i) + " ";
        line.resize(98, static_cast<char>('a' + i % 26));
        if (trace.writeLine(reinterpret_cast<const unsigned char *>(line.c_str())) != ZoSuccess)
            return 4;
    }
    return 0;
}
