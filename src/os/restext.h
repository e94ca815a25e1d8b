// Internal: reading texts of the library's resource library.
#pragma once

#include <zo/zoexport.h>

// Reads text `id` (taken modulo 65,536) of the resource library held by the per-task
// record into buffer, cut to size - 1 bytes and NUL-terminated. Returns the bytes copied;
// 0, an empty text, when no resource library is loaded or it has no such text.
ZO_API int mdsLoadResourceString(unsigned id, unsigned char *buffer, int size);
