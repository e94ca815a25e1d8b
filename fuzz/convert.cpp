// Fuzzes the text-to-number conversions and dehexify on arbitrary bytes, in code pages
// 1252 and 932, against simple reference models, and checks that the hexadecimal and
// scrambling round trips give back their input.
#include <zo/convert.h>
#include <zo/zoerror.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/codepage.h"

namespace {

void check(bool condition) {
    if (!condition)
        std::abort();
}

// memcmp, also for empty ranges (whose pointers may be null).
bool same(const void *a, const void *b, size_t n) { return n == 0 || std::memcmp(a, b, n) == 0; }

bool isBlank(const uint8_t *p, const uint8_t *end, bool dbcs, size_t *length) {
    if (*p == ' ' || (*p >= '\t' && *p <= '\r')) {
        *length = 1;
        return true;
    }
    if (dbcs && *p == 0x81 && end - p >= 2 && p[1] == 0x40) {
        *length = 2;
        return true;
    }
    return false;
}

// Reference: blanks and plus signs, digits (in 64 bits), blanks, nothing else.
// 0 ok, 1 out of range, 2 not a number.
int referenceUnsigned(const uint8_t *p, const uint8_t *end, bool dbcs, uint64_t *value) {
    size_t n = 0;
    while (p < end && (*p == '+' || isBlank(p, end, dbcs, &n)))
        p += *p == '+' ? 1 : n;
    uint64_t v = 0;
    for (; p < end && *p >= '0' && *p <= '9'; ++p) {
        v = v * 10 + (*p - '0');
        if (v > UINT32_MAX)
            return 1;
    }
    while (p < end && isBlank(p, end, dbcs, &n))
        p += n;
    if (p != end)
        return 2;
    *value = v;
    return 0;
}

int referenceSigned(const uint8_t *p, const uint8_t *end, bool dbcs, int64_t *value) {
    size_t n = 0;
    while (p < end && isBlank(p, end, dbcs, &n))
        p += n;
    bool negative = p < end && *p == '-';
    uint64_t magnitude = 0;
    int result = referenceUnsigned(negative ? p + 1 : p, end, dbcs, &magnitude);
    if (result != 0)
        return result;
    *value = negative ? -static_cast<int64_t>(magnitude) : static_cast<int64_t>(magnitude);
    return *value < INT32_MIN || *value > INT32_MAX ? 1 : 0;
}

unsigned expectedError(int result) { return result == 1 ? 2701 : 2702; }

void checkNumbers(const uint8_t *data, size_t size, bool dbcs) {
    std::vector<uint8_t> text(data, data + size);
    text.push_back(0);
    const uint8_t *end = text.data() + std::strlen(reinterpret_cast<char *>(text.data()));

    uint64_t expectedU = 0;
    int resultU = referenceUnsigned(text.data(), end, dbcs, &expectedU);
    uint32_t u = 0xA5A5A5A5;
    ZoStatus status = convert(text.data(), &u);
    check((status == ZoSuccess) == (resultU == 0));
    check(resultU == 0 ? u == expectedU : u == 0xA5A5A5A5);
    if (resultU != 0)
        check(ZoErrorKeeper::getLastErrorNumber() == expectedError(resultU));
    ZoErrorKeeper::clearLastError();

    int64_t expectedS = 0;
    int resultS = referenceSigned(text.data(), end, dbcs, &expectedS);
    int32_t s = 0x5A5A5A5A;
    status = convert(text.data(), &s);
    check((status == ZoSuccess) == (resultS == 0));
    check(resultS == 0 ? s == expectedS : s == 0x5A5A5A5A);
    if (resultS != 0)
        check(ZoErrorKeeper::getLastErrorNumber() == expectedError(resultS));
    ZoErrorKeeper::clearLastError();

    // Narrow forms agree with the wide ones and their ranges.
    int16_t narrow = 0;
    status = convert(text.data(), &narrow);
    check((status == ZoSuccess) == (resultS == 0 && expectedS >= -32768 && expectedS <= 32767));
    ZoErrorKeeper::clearLastError();
    unsigned char byte = 0;
    status = convert(text.data(), &byte);
    check((status == ZoSuccess) == (resultU == 0 && expectedU <= 255));
    ZoErrorKeeper::clearLastError();

    // The counted form reads the same bytes.
    if (size <= 0xFFFF) {
        uint32_t counted = 0;
        status = convert(data, static_cast<unsigned short>(size), &counted);
        check((status == ZoSuccess) == (resultU == 0));
        check(resultU != 0 || counted == expectedU);
        ZoErrorKeeper::clearLastError();
    }
}

int hexValue(uint8_t c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

void checkHex(const uint8_t *data, size_t size) {
    const auto n = static_cast<uint32_t>(size);
    bool valid = true;
    std::vector<uint8_t> expected((size + 1) / 2);
    for (size_t i = 0; i < size; ++i) {
        int v = hexValue(data[i]);
        if (v < 0) {
            valid = false;
            break;
        }
        expected[i / 2] = static_cast<uint8_t>(expected[i / 2] | (i % 2 == 0 ? v << 4 : v));
    }
    check(isHexString(data, n) == (valid ? 1 : 0));

    std::vector<uint8_t> out(expected.size() + 1, 0xEE);
    check((dehexify(out.data(), data, n) == ZoSuccess) == valid);
    if (valid)
        check(same(out.data(), expected.data(), expected.size()));
    else
        check(out[0] == 0xEE); // untouched
    ZoErrorKeeper::clearLastError();

    // In place, and the doubling form.
    std::vector<uint8_t> inPlace(data, data + size);
    check((dehexify(inPlace.data(), inPlace.data(), n) == ZoSuccess) == valid);
    if (valid)
        check(same(inPlace.data(), expected.data(), expected.size()));
    ZoErrorKeeper::clearLastError();
    std::vector<uint8_t> doubled(size + 2);
    uint32_t written = 0;
    check((dehexify(doubled.data(), data, n, 0x27, &written) == ZoSuccess) == valid);
    if (valid) {
        size_t quotes = 0;
        for (uint8_t b : expected)
            quotes += b == 0x27;
        check(written == expected.size() + quotes);
    }
    ZoErrorKeeper::clearLastError();

    // Bytes to text and back, in place.
    std::vector<uint8_t> buffer(size * 4 + 1);
    if (size > 0)
        std::memcpy(buffer.data(), data, size);
    check(hexify(buffer.data(), buffer.data(), n) == 2 * n);
    check(dehexify(buffer.data(), buffer.data(), 2 * n) == ZoSuccess);
    check(same(buffer.data(), data, size));
    check(wideHexify(buffer.data(), buffer.data(), n) == 4 * n);
    check(wideDehexify(buffer.data(), buffer.data(), 4 * n) == ZoSuccess);
    check(same(buffer.data(), data, size));
}

void checkScrambling(const uint8_t *data, size_t size) {
    const auto n = static_cast<uint32_t>(size);
    const unsigned char *key = size > 4 ? data : nullptr;
    for (unsigned short mode : {1, 3}) {
        std::vector<uint8_t> buffer(data, data + size);
        encrypt(buffer.data(), n, mode, key);
        decrypt(buffer.data(), n, mode, key);
        check(same(buffer.data(), data, size));
    }
    std::vector<uint8_t> buffer(data, data + size);
    bool reversible = checkScrambleReversible(buffer.data(), n, 2) == ZoSuccess;
    ZoErrorKeeper::clearLastError();
    encrypt(buffer.data(), n, 2, nullptr);
    decrypt(buffer.data(), n, 2, nullptr);
    check(same(buffer.data(), data, size) == reversible);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0)
        return 0;
    const bool dbcs = (data[0] & 1) != 0;
    zo::plat::setCodePageForTest(dbcs ? 932 : 1252);
    ZoErrorList errors(nullptr, 0);
    ZoErrorKeeper::setErrorList(&errors);
    checkNumbers(data + 1, size - 1, dbcs);
    checkHex(data + 1, size - 1);
    checkScrambling(data + 1, size - 1);
    ZoErrorKeeper::giveUpErrorList();
    return 0;
}
