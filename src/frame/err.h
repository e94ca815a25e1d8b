// Internal: errors whose texts come from the resource library.
//
// The library's own operations report a failure with addResourceError(number) and fill
// the placeholders of the message text with <<, e.g.
//     addResourceError(1502) << path;
// Texts are read from the resource library loaded by mdsPerTaskInit; without one (or for
// a number it has no text for) the error has an empty text. Texts are cut to 255 bytes.
#pragma once

#include <zo/zoerror.h>

// Adds error `number` (taken modulo 65,536) with its resource text to the current list.
ZO_API ZoError &addResourceError(unsigned number);
// Appends the resource text `number` to the current list's last error; the next << fills
// placeholder 1 of the appended text.
ZO_API ZoError &appendResourceText(unsigned number);
