// Writes many entries of one profile from a process of its own, for the tests of several
// processes writing at once: profile_writer <profile name> <key prefix> <count>. Exits 0
// when every write reported success.
#include <zo/registry.h>

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char **argv) {
    if (argc != 4)
        return 2;
    const auto *profile = reinterpret_cast<const unsigned char *>(argv[1]);
    const int count = std::atoi(argv[3]);
    int failures = 0;
    for (int i = 0; i < count; ++i) {
        std::string key = std::string(argv[2]) + std::to_string(i);
        std::string value = "value-" + key;
        if (ntWriteProfileString(reinterpret_cast<const unsigned char *>("Hammer"),
                                 reinterpret_cast<const unsigned char *>(key.c_str()),
                                 reinterpret_cast<const unsigned char *>(value.c_str()), profile, 0) != ZoSuccess)
            ++failures;
    }
    if (failures != 0)
        std::fprintf(stderr, "profile_writer: %d of %d writes failed\n", failures, count);
    return failures == 0 ? 0 : 1;
}
