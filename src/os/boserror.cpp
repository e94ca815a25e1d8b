#include "os/bosint.h"

#include <zo/pertask.h>

#include "frame/err.h"

#include "platform/codepage.h"
#include "platform/file.h"

ZoMessage bosFileErrorNumber(int fileError) {
    switch (fileError) {
    case zo::plat::FileNoSuchFile: return ZoMessage::NoSuchFile;
    case zo::plat::FileBadDescriptor: return ZoMessage::BadFileHandle;
    case zo::plat::FileNoMemory: return ZoMessage::FileNoMemory;
    case zo::plat::FileAccessDenied: return ZoMessage::AccessDenied;
    case zo::plat::FileTooManyOpen: return ZoMessage::TooManyOpen;
    case zo::plat::FileLockViolation: return ZoMessage::LockViolation;
    default: return ZoMessage::FileGeneral;
    }
}

void bosReportFileError(int fileError) {
    static const unsigned char empty[] = "";
    bosReport(bosFileErrorNumber(fileError), empty);
}

namespace {

// Maps each single-byte character through the code page's case table. In UTF-8 mode only
// ASCII bytes are single characters of the code page; the others belong to longer ones.
void mapCase(unsigned char *name, const unsigned char *table) {
    const unsigned char *length = mdsCharLengthTable();
    const bool utf8 = length != mdsLeadByteLengthTable();
    for (unsigned char *p = name; *p != '\0';) {
        if (length[*p] == 1) {
            if (!utf8 || *p < 0x80)
                *p = table[*p];
            ++p;
            continue;
        }
        for (unsigned i = length[*p]; i > 0 && *p != '\0'; --i)
            ++p;
    }
}

} // namespace

void bosUpperName(unsigned char *name) { mapCase(name, zo::plat::upperCaseTable()); }

void bosLowerName(unsigned char *name) { mapCase(name, zo::plat::lowerCaseTable()); }

bool bosHostPath(const unsigned char *name, char (&host)[zo::plat::kHostPathMax]) {
    return zo::plat::hostPathOf(name, mdsCharLengthTable(), host, sizeof host);
}

void bosReport(ZoMessage number, const unsigned char *first, const unsigned char *second) {
    ZoError &error = addResourceError(number);
    if (first == nullptr)
        return;
    ZoError &filled = error << first;
    if (second != nullptr)
        filled << second;
}
