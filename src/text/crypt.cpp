// Reversible scrambling of stored text.
#include <zo/convert.h>

#include <cstring>

#include "frame/err.h"

namespace {

constexpr unsigned char kCR = 0x0D;
constexpr unsigned char kLF = 0x0A;

// Mode 3 works with a 16-byte key buffer of which the first four bytes are the key; this is
// what it holds when the caller gives no key. Data scrambled with another default key does
// not unscramble.
constexpr unsigned char kDefaultKey[16] = {'z',  'o',  'K',  'y',  0x5A, 0xC3, 0x17, 0x8E,
                                           0x26, 0xB1, 0x4F, 0xD9, 0x63, 0x0C, 0x9A, 0x00};
constexpr unsigned char kDelta = 0x9E;
constexpr unsigned kRounds = 32;

struct Key {
    unsigned char k[4];
};

// The working key: the default buffer with the caller's key copied over its start as a
// bounded string copy would (at most 14 bytes and a NUL), of which bytes 0-3 count. A key
// shorter than 4 bytes thus leaves its NUL, and default bytes after it, in the key.
Key workingKey(const unsigned char *key) {
    Key working;
    std::memcpy(working.k, kDefaultKey, sizeof working.k);
    if (key != nullptr)
        for (unsigned i = 0; i < sizeof working.k; ++i)
            if ((working.k[i] = key[i]) == '\0')
                break;
    return working;
}

unsigned char mix(unsigned char v, unsigned char sum, unsigned char ka, unsigned char kb) {
    return static_cast<unsigned char>(static_cast<unsigned char>((v << 4) + ka) ^ static_cast<unsigned char>(v + sum) ^
                                      static_cast<unsigned char>((v >> 5) + kb));
}

void encipherPair(unsigned char &x, unsigned char &y, const Key &key) {
    unsigned char sum = 0;
    for (unsigned round = 0; round < kRounds; ++round) {
        sum = static_cast<unsigned char>(sum + kDelta);
        x = static_cast<unsigned char>(x + mix(y, sum, key.k[0], key.k[1]));
        y = static_cast<unsigned char>(y + mix(x, sum, key.k[2], key.k[3]));
    }
}

void decipherPair(unsigned char &x, unsigned char &y, const Key &key) {
    auto sum = static_cast<unsigned char>(kRounds * kDelta);
    for (unsigned round = 0; round < kRounds; ++round) {
        y = static_cast<unsigned char>(y - mix(x, sum, key.k[2], key.k[3]));
        x = static_cast<unsigned char>(x - mix(y, sum, key.k[0], key.k[1]));
        sum = static_cast<unsigned char>(sum - kDelta);
    }
}

void complement(unsigned char *buffer, uint32_t n, bool keepLineEnds) {
    for (uint32_t i = 0; i < n; ++i)
        if (!keepLineEnds || (buffer[i] != kCR && buffer[i] != kLF))
            buffer[i] = static_cast<unsigned char>(~buffer[i]);
}

// Mode 3 on pairs (0,1), (2,3), ...; an odd length ends with the pair (n-1, 0), so byte 0
// takes part twice. Deciphering runs the pairs in the reverse order.
void cipher(unsigned char *buffer, uint32_t n, const unsigned char *key, bool decipher) {
    if (n == 0)
        return;
    const Key working = workingKey(key);
    if (n == 1) {
        buffer[0] ^= working.k[0];
        return;
    }
    const uint32_t pairs = n / 2;
    const bool wraps = n % 2 != 0;
    if (!decipher) {
        for (uint32_t p = 0; p < pairs; ++p)
            encipherPair(buffer[2 * p], buffer[2 * p + 1], working);
        if (wraps)
            encipherPair(buffer[n - 1], buffer[0], working);
        return;
    }
    if (wraps)
        decipherPair(buffer[n - 1], buffer[0], working);
    for (uint32_t p = pairs; p-- > 0;)
        decipherPair(buffer[2 * p], buffer[2 * p + 1], working);
}

void scramble(unsigned char *buffer, uint32_t n, unsigned short mode, const unsigned char *key, bool undo) {
    switch (mode) {
    case 1: complement(buffer, n, false); break;
    case 2: complement(buffer, n, true); break;
    case 3: cipher(buffer, n, key, undo); break;
    default: break;
    }
}

} // namespace

void encrypt(unsigned char *buffer, uint32_t n, unsigned short mode, const unsigned char *key) {
    scramble(buffer, n, mode, key, false);
}

void decrypt(unsigned char *buffer, uint32_t n, unsigned short mode, const unsigned char *key) {
    scramble(buffer, n, mode, key, true);
}

ZoStatus checkScrambleReversible(const unsigned char *buffer, uint32_t n, unsigned short mode) {
    if (mode != 2)
        return ZoSuccess;
    // Their complements are CR and LF, which mode 2 leaves as they are on the way back.
    const unsigned char lostCR = static_cast<unsigned char>(~kCR);
    const unsigned char lostLF = static_cast<unsigned char>(~kLF);
    for (uint32_t i = 0; i < n; ++i)
        if (buffer[i] == lostCR || buffer[i] == lostLF) {
            addResourceError(ZoMessage::NotReversible) << i;
            return ZoFailure;
        }
    return ZoSuccess;
}
