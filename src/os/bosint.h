// Internal helpers shared by the file and path functions.
#pragma once

#include <zo/bosfile.h>
#include <zo/messages.h>
#include <zo/zoexport.h>
#include <zo/zoobject.h>

#include "platform/path.h"

// Names and paths handled by the file functions fit in buffers of this size.
constexpr unsigned kBosNameSize = 256;

// The message number for a failure of the host's file layer (a zo::plat::FileError).
ZO_API ZoMessage bosFileErrorNumber(int fileError);
// Records error `number` in the calling thread's error list and fills its placeholders
// with the texts given (null: nothing to fill). This is the one place the file and path
// functions report through.
void bosReport(ZoMessage number, const unsigned char *first = nullptr, const unsigned char *second = nullptr);
// Records a failure of the host's file layer; its placeholder gets an empty text.
void bosReportFileError(int fileError);

// Bytes of the character at p by the length table, never reaching past a NUL (a lead byte
// at the end of a text is a character of its own).
inline unsigned bosCharSize(const unsigned char *p, const unsigned char *length) {
    unsigned n = length[*p];
    unsigned i = 1;
    while (i < n && p[i] != '\0')
        ++i;
    return i;
}

// Transfers at an offset from the file's start that leave the file position alone, for the
// library's private scratch files (one system call per transfer). Failures are recorded as
// bosFileRead and bosFileWrite record them.
ZO_API ZoStatus bosFileReadAt(int handle, uint64_t offset, void *buf, uint32_t len, uint32_t *got);
ZO_API ZoStatus bosFileWriteAt(int handle, uint64_t offset, const void *buf, uint32_t len);

// Upper-cases (lower-cases) a name in place, leaving double-byte characters as they are.
ZO_API void bosUpperName(unsigned char *name);
ZO_API void bosLowerName(unsigned char *name);
// The host path of a library name, stepping characters by the calling thread's rule.
bool bosHostPath(const unsigned char *name, char (&host)[zo::plat::kHostPathMax]);
