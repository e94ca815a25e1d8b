// Scoped switches of the text stepping rule for the string tests.
#pragma once

#include <zo/pertask.h>

#include "platform/codepage.h"

#include <cstdint>
#include <string>

namespace zotest {

// Runs the scope under another ANSI code page, restoring 1252 afterwards.
struct CodePage {
    explicit CodePage(unsigned page) { zo::plat::setCodePageForTest(page); }
    ~CodePage() { zo::plat::setCodePageForTest(1252); }
};

// Runs the scope with the calling thread's text in UTF-8.
struct Utf8Mode {
    uint32_t mode = ZoCharModeUtf8;
    void *saved = mdsGetPerThreadData(PerThreadCharMode);
    Utf8Mode() { mdsSetPerThreadData(PerThreadCharMode, &mode); }
    ~Utf8Mode() { mdsSetPerThreadData(PerThreadCharMode, saved); }
};

inline const unsigned char *bytes(const char *text) { return reinterpret_cast<const unsigned char *>(text); }

} // namespace zotest
