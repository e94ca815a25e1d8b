// A profile bound to an object: open it by name, then read and write its entries, typed.
// Entries go through ntGetProfileString and ntWriteProfileString, so a registry-kept
// profile name is routed as those route it.
#pragma once

#include <cstdint>

#include <zo/zoexport.h>
#include <zo/zoobject.h>

class ZO_API ZoIni : public ZoObject {
public:
    ZoIni() = default;
    ~ZoIni() override;
    ZoIni(const ZoIni &) = delete;
    ZoIni &operator=(const ZoIni &) = delete;

    // Keeps a copy of fileName, closing first when a name is held (a failing close fails
    // the open). 1 when the copy cannot be allocated.
    virtual ZoStatus open(const unsigned char *fileName);
    // Forgets the name. Always 0.
    virtual ZoStatus close();

    // Every entry operation returns 0. Used while closed, each records error 2717 (the
    // profile is not open) and reads give their defaults.

    // The entry's text into out (size bytes), defaultValue when there is none.
    ZoStatus getEntry(const unsigned char *section, const unsigned char *key, unsigned char *out, unsigned short size,
                      const unsigned char *defaultValue);
    // The entry as a number cut to 16 bits: defaultValue when the entry is missing, starts
    // with `&`, or is not an unsigned decimal number (the conversion then records why).
    ZoStatus getEntry(const unsigned char *section, const unsigned char *key, short *out, short defaultValue);
    // Writes the entry (a null value deletes it); whether it landed is not told.
    ZoStatus writeEntry(const unsigned char *section, const unsigned char *key, const unsigned char *value);
    // Deletes the entry, only when a file of the profile's name exists (in the current
    // directory, or where the name says).
    ZoStatus deleteEntry(const unsigned char *section, const unsigned char *key);

protected:
    // 0 when a name is held; otherwise records error 2717 and returns 1.
    ZoStatus validState();

private:
    unsigned char *fileName_ = nullptr;
};
