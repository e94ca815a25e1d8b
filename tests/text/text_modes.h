// Test helpers: switch the ANSI code page or the thread's character mode for one scope.
#pragma once

#include <zo/pertask.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "platform/codepage.h"

namespace zotest {

inline const unsigned char *u(const char *text) { return reinterpret_cast<const unsigned char *>(text); }
inline unsigned char *u(char *text) { return reinterpret_cast<unsigned char *>(text); }
inline const unsigned char *u(const std::string &text) { return u(text.c_str()); }
inline uint32_t len(const char *text) { return static_cast<uint32_t>(std::strlen(text)); }

// Uses another ANSI code page while alive, then returns to 1252.
class CodePage {
public:
    explicit CodePage(unsigned codePage) { ok_ = zo::plat::setCodePageForTest(codePage); }
    ~CodePage() { zo::plat::setCodePageForTest(1252); }
    CodePage(const CodePage &) = delete;
    CodePage &operator=(const CodePage &) = delete;
    bool ok() const { return ok_; }

private:
    bool ok_;
};

// Puts the calling thread in UTF-8 mode while alive.
class Utf8Mode {
public:
    Utf8Mode() : previous_(mdsGetPerThreadData(PerThreadCharMode)) { mdsSetPerThreadData(PerThreadCharMode, &mode_); }
    ~Utf8Mode() { mdsSetPerThreadData(PerThreadCharMode, previous_); }
    Utf8Mode(const Utf8Mode &) = delete;
    Utf8Mode &operator=(const Utf8Mode &) = delete;

private:
    uint32_t mode_ = ZoCharModeUtf8;
    void *previous_;
};

} // namespace zotest
