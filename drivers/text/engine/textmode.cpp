#include "textmode.h"

#include <cstdint>

#include <zo/pertask.h>

namespace zotext {

namespace {
// The word the thread's mode slot points to while the engine works; never written.
uint32_t utf8ModeWord = ZoCharModeUtf8;
} // namespace

Utf8Scope::Utf8Scope() : saved_(mdsGetPerThreadData(PerThreadCharMode)) {
    mdsSetPerThreadData(PerThreadCharMode, &utf8ModeWord);
}

Utf8Scope::~Utf8Scope() { mdsSetPerThreadData(PerThreadCharMode, saved_); }

} // namespace zotext
