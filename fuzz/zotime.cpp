// Fuzzes parsing day-time stamps: an accepted stamp has every field in range and reads
// back the same from its canonical form; a refused one leaves the time all zero.
#include <zo/zotime.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "fuzz_support.h"

using zofuzz::check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::vector<unsigned char> text(data, data + size);
    text.push_back(0);
    ZoTime t;
    ZoStatus status = t.initialize(text.data());
    const os_time &f = t.time();
    if (status != ZoSuccess) {
        ZoTime zero;
        check(t == zero);
        return 0;
    }
    check(f.month <= 12 && f.day <= 31 && f.year <= 2100 && f.hour <= 23 && f.minute <= 59 && f.second <= 59 &&
          f.milliseconds <= 99);
    char canonical[32];
    std::snprintf(canonical, sizeof canonical, "%02u:%02u:%04u:%02u:%02u:%02u.%02u", f.month, f.day, f.year, f.hour,
                  f.minute, f.second, f.milliseconds);
    ZoTime again;
    check(again.initialize(reinterpret_cast<unsigned char *>(canonical)) == ZoSuccess);
    check(again == t);
    check(!(again < t) && !(again > t));
    check(!t.anHourElapsed(again) && !t.aDayElapsed(again));
    return 0;
}
