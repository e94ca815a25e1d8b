#include "os/bosint.h"

#include <zo/pertask.h>

#include "frame/err.h"

#include "platform/file.h"

unsigned bosFileErrorNumber(int fileError) {
    switch (fileError) {
    case zo::plat::FileNoSuchFile:
        return BosErrNoSuchFile;
    case zo::plat::FileBadDescriptor:
        return BosErrBadHandle;
    case zo::plat::FileNoMemory:
        return BosErrNoMemory;
    case zo::plat::FileAccessDenied:
        return BosErrAccessDenied;
    case zo::plat::FileTooManyOpen:
        return BosErrTooManyOpen;
    case zo::plat::FileLockViolation:
        return BosErrLockViolation;
    default:
        return BosErrGeneral;
    }
}

void bosReportFileError(int fileError) {
    static const unsigned char empty[] = "";
    bosReport(bosFileErrorNumber(fileError), empty);
}

namespace {

// Maps the single-byte letters from..from+25 onto to..to+25, stepping whole characters.
void mapLetters(unsigned char *name, unsigned char from, unsigned char to) {
    const unsigned char *length = mdsCharLengthTable();
    for (unsigned char *p = name; *p != '\0';) {
        if (length[*p] == 1) {
            if (*p >= from && *p < from + 26)
                *p = static_cast<unsigned char>(*p - from + to);
            ++p;
            continue;
        }
        for (unsigned i = length[*p]; i > 0 && *p != '\0'; --i)
            ++p;
    }
}

} // namespace

void bosUpperName(unsigned char *name) { mapLetters(name, 'a', 'A'); }

void bosLowerName(unsigned char *name) { mapLetters(name, 'A', 'a'); }

bool bosHostPath(const unsigned char *name, char (&host)[zo::plat::kHostPathMax]) {
    return zo::plat::hostPathOf(name, mdsCharLengthTable(), host, sizeof host);
}

void bosReport(unsigned number, const unsigned char *first, const unsigned char *second) {
    ZoError &error = addResourceError(number);
    if (first == nullptr)
        return;
    ZoError &filled = error << first;
    if (second != nullptr)
        filled << second;
}
