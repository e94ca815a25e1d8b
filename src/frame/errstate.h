// Internal: the process's two static errors, made with the library's other static objects.
#pragma once

#include <zo/zoerror.h>

// The memory error (kind 1) or the dummy error (kind 2).
ZO_API ZoError &zoStaticError(ErrSpecialError kind);
// Process detach: the static errors give up their text buffers.
void zoReleaseStaticErrorTexts();
