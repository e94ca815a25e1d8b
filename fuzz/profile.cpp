// Fuzzes profile files: any bytes as a file's contents (code pages 1252 and 932), read as a
// list of sections, the keys of each, and every value, each into a buffer of the size the
// input chooses; then one entry written and read back, and every other entry unchanged.
#include <zo/pertask.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <strings.h>
#include <unistd.h>
#include <vector>

#include "fuzz_support.h"
#include "platform/profile.h"

using zofuzz::check;
using zofuzz::useCodePage;

namespace {

const unsigned char *u(const char *s) { return reinterpret_cast<const unsigned char *>(s); }

// The file lives in memory when the host has a memory file system: writes flush it.
const std::string &profilePath() {
    static const std::string path = (access("/dev/shm", W_OK) == 0 ? std::string("/dev/shm") : std::string("/tmp")) +
                                    "/zo_fuzz_profile_" + std::to_string(getpid()) + ".ini";
    return path;
}

// Reads into a buffer of exactly size bytes: a byte written beyond it is a finding.
std::string read(const char *section, const char *key, uint32_t size, uint32_t *length) {
    std::vector<unsigned char> out(size);
    *length = zo::plat::profileGetString(u(section), u(key), u("<none>"), out.data(), size, u(profilePath().c_str()),
                                         mdsLeadByteLengthTable());
    check(size == 0 ? *length == 0 : *length < size);
    return std::string(reinterpret_cast<char *>(out.data()), size == 0 ? 0 : *length);
}

std::vector<std::string> names(const char *section) {
    uint32_t length;
    std::string list = read(section, nullptr, 1 << 16, &length);
    std::vector<std::string> all;
    // A name holding a NUL byte (the file may) looks like the end of the list there.
    for (size_t at = 0; at < list.size() && list[at] != '\0'; at += all.back().size() + 1)
        all.push_back(list.c_str() + at);
    return all;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 2)
        return 0;
    useCodePage((data[0] & 1) ? 932 : 1252);
    const uint32_t small = data[1];
    if (FILE *f = std::fopen(profilePath().c_str(), "wb")) {
        std::fwrite(data + 2, 1, size - 2, f);
        std::fclose(f);
    }
    uint32_t length;
    read(nullptr, nullptr, small, &length);
    std::vector<std::string> sections = names(nullptr);
    for (const std::string &section : sections) {
        read(section.c_str(), nullptr, small, &length);
        for (const std::string &key : names(section.c_str()))
            read(section.c_str(), key.c_str(), small, &length);
    }
    // A write lands whole and leaves every other entry as it was.
    const char *target = sections.empty() ? "FuzzSection" : sections.front().c_str();
    std::vector<std::pair<std::string, std::string>> before;
    for (const std::string &key : names(target))
        before.emplace_back(key, read(target, key.c_str(), 1 << 16, &length));
    int written = zo::plat::profileWriteString(u(target), u("FuzzKey"), u(" fuzz value "), u(profilePath().c_str()),
                                               mdsLeadByteLengthTable());
    if (written != 0) {
        check(read(target, "FuzzKey", 1 << 16, &length) == " fuzz value ");
        for (const auto &[key, value] : before)
            if (strcasecmp(key.c_str(), "FuzzKey") != 0)
                check(read(target, key.c_str(), 1 << 16, &length) == value);
    }
    std::remove(profilePath().c_str());
    return 0;
}
