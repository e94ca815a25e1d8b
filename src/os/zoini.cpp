// A profile bound to an object.
#include <zo/zoini.h>

#include <zo/bosfile.h>
#include <zo/convert.h>
#include <zo/registry.h>

#include <cstring>

#include "frame/err.h"

namespace {

// Reading a number: the entry is read with this default, which no number starts with.
constexpr unsigned char kNoNumber[] = "&";
constexpr unsigned short kNumberText = 100;

} // namespace

ZoIni::~ZoIni() { ramFree(fileName_); }

ZoStatus ZoIni::open(const unsigned char *fileName) {
    if (fileName_ != nullptr && close() != ZoSuccess)
        return ZoFailure;
    fileName_ = ramAllocStr(fileName);
    return fileName_ != nullptr ? ZoSuccess : ZoFailure;
}

ZoStatus ZoIni::close() {
    ramFree(fileName_);
    fileName_ = nullptr;
    return ZoSuccess;
}

ZoStatus ZoIni::validState() {
    if (fileName_ != nullptr)
        return ZoSuccess;
    addResourceError(ZoMessage::ProfileNotOpen);
    return ZoFailure;
}

ZoStatus ZoIni::getEntry(const unsigned char *section, const unsigned char *key, unsigned char *out,
                         unsigned short size, const unsigned char *defaultValue) {
    if (size == 0) {
        (void)validState(); // records the error when closed; nothing fits in no bytes
        return ZoSuccess;
    }
    if (validState() != ZoSuccess) {
        // The default, cut to the buffer.
        size_t n = defaultValue != nullptr ? std::strlen(reinterpret_cast<const char *>(defaultValue)) : 0;
        if (n > size - 1u)
            n = size - 1u;
        if (n > 0)
            std::memcpy(out, defaultValue, n);
        out[n] = '\0';
        return ZoSuccess;
    }
    out[0] = '\0';
    (void)ntGetProfileString(section, key, defaultValue, out, size, fileName_, 0); // out holds the result
    return ZoSuccess;
}

ZoStatus ZoIni::getEntry(const unsigned char *section, const unsigned char *key, short *out, short defaultValue) {
    if (validState() != ZoSuccess) {
        *out = defaultValue;
        return ZoSuccess;
    }
    unsigned char text[kNumberText];
    uint32_t number = 0;
    (void)getEntry(section, key, text, sizeof text, kNoNumber); // always 0
    bool isNumber = text[0] != '&' && convert(text, &number) == ZoSuccess;
    *out = isNumber ? static_cast<short>(static_cast<uint16_t>(number)) : defaultValue;
    return ZoSuccess;
}

ZoStatus ZoIni::writeEntry(const unsigned char *section, const unsigned char *key, const unsigned char *value) {
    if (validState() == ZoSuccess)
        (void)ntWriteProfileString(section, key, value, fileName_, 0); // not told, by design
    return ZoSuccess;
}

ZoStatus ZoIni::deleteEntry(const unsigned char *section, const unsigned char *key) {
    if (validState() == ZoSuccess && bosexist(fileName_) != 0)
        (void)ntWriteProfileString(section, key, nullptr, fileName_, 0); // not told, by design
    return ZoSuccess;
}
