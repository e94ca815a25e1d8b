// Internal: errors whose texts come from the resource library.
//
// The library's own operations report a failure with addResourceError(number) and fill
// the placeholders of the message text with <<, e.g.
//     addResourceError(ZoMessage::FileDelete) << path;
// Messages are named by the enumeration generated from the message table, so a message
// the table lacks cannot be reported. Texts are read from the resource library loaded by
// mdsPerTaskInit; without one (or for a number it has no text for) the error has an empty
// text. Texts are cut to 255 bytes.
#pragma once

#include <zo/messages.h>
#include <zo/zoerror.h>

// Adds error `number` (taken modulo 65,536) with its resource text to the current list.
ZO_API ZoError &addResourceError(ZoMessage number);
// Appends the resource text `number` to the current list's last error; the next << fills
// placeholder 1 of the appended text.
ZO_API ZoError &appendResourceText(ZoMessage number);

// Reads text `id` (taken modulo 65,536) of the resource library held by the per-task
// record into buffer, cut to size - 1 bytes and NUL-terminated. Returns the bytes copied;
// 0, an empty text, when no resource library is loaded or it has no such text.
ZO_API int mdsLoadResourceString(unsigned id, unsigned char *buffer, int size);
