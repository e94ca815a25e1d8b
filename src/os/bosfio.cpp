// Reading, writing, positioning, sizing, flushing, locking and closing by handle.
#include <zo/bosfile.h>

#include "os/bosint.h"
#include "platform/file.h"

namespace {

namespace plat = zo::plat;

// Largest piece handed to one write call.
constexpr uint32_t kWritePiece = 65534;

// The descriptor of a handle (handle 0, no file, gives -1, a bad descriptor).
int descriptorOf(int handle) { return handle - 1; }

// Moves to offset from the start unless offset is -1 (the current position).
bool seekForTransfer(int fd, int32_t offset) {
    if (offset == -1)
        return true;
    int64_t pos;
    int error = plat::fileSeek(fd, offset, 0, &pos);
    if (error != plat::FileOk) {
        bosReportFileError(error);
        return false;
    }
    return true;
}

} // namespace

ZoStatus bosFileClose(int handle) {
    if (handle == 0)
        return ZoSuccess;
    int error = plat::fileClose(descriptorOf(handle));
    if (error != plat::FileOk) {
        bosReportFileError(error);
        return ZoFailure;
    }
    return ZoSuccess;
}

namespace {

// Reads through `transfer(buf, len, got)` (a platform read), recording a failure.
template <class Transfer>
ZoStatus readReporting(uint32_t *got, Transfer transfer) {
    int error = transfer(got);
    if (error != plat::FileOk) {
        bosReportFileError(error);
        return ZoFailure;
    }
    return ZoSuccess;
}

// Writes all len bytes in pieces of at most kWritePiece through `transfer(p, n, done,
// &written)`, recording a failure or a short write.
template <class Transfer>
ZoStatus writeInPieces(const void *buf, uint32_t len, Transfer transfer) {
    auto *p = static_cast<const unsigned char *>(buf);
    for (uint32_t done = 0; done < len;) {
        uint32_t piece = len - done < kWritePiece ? len - done : kWritePiece;
        uint32_t written = 0;
        int error = transfer(p + done, piece, done, &written);
        if (error != plat::FileOk) {
            bosReportFileError(error);
            return ZoFailure;
        }
        if (written < piece) {
            static const unsigned char empty[] = "";
            bosReport(written == 0 ? ZoMessage::DiskFull : ZoMessage::FileGeneral, empty);
            return ZoFailure;
        }
        done += piece;
    }
    return ZoSuccess;
}

} // namespace

ZoStatus bosFileRead(int handle, int32_t offset, void *buf, uint32_t len, uint32_t *got) {
    *got = 0;
    int fd = descriptorOf(handle);
    if (!seekForTransfer(fd, offset))
        return ZoFailure;
    return readReporting(got, [&](uint32_t *count) { return plat::fileRead(fd, buf, len, count); });
}

ZoStatus bosFileWrite(int handle, int32_t offset, const void *buf, uint32_t len) {
    int fd = descriptorOf(handle);
    if (!seekForTransfer(fd, offset))
        return ZoFailure;
    return writeInPieces(buf, len, [fd](const unsigned char *p, uint32_t n, uint32_t, uint32_t *written) {
        return plat::fileWrite(fd, p, n, written);
    });
}

ZoStatus bosFileReadAt(int handle, uint64_t offset, void *buf, uint32_t len, uint32_t *got) {
    *got = 0;
    int fd = descriptorOf(handle);
    return readReporting(got, [&](uint32_t *count) { return plat::fileReadAt(fd, offset, buf, len, count); });
}

ZoStatus bosFileWriteAt(int handle, uint64_t offset, const void *buf, uint32_t len) {
    int fd = descriptorOf(handle);
    return writeInPieces(buf, len, [fd, offset](const unsigned char *p, uint32_t n, uint32_t done, uint32_t *written) {
        return plat::fileWriteAt(fd, offset + done, p, n, written);
    });
}

uint32_t bosFileSeek(int handle, int32_t offset, unsigned short origin) {
    int64_t pos;
    if (plat::fileSeek(descriptorOf(handle), offset, origin, &pos) != plat::FileOk)
        return 0xFFFFFFFFu;
    return static_cast<uint32_t>(pos);
}

ZoStatus bosFileSize(int handle, uint32_t size) {
    if (handle == 0)
        return ZoSuccess;
    int error = plat::fileSetSize(descriptorOf(handle), size);
    if (error != plat::FileOk) {
        bosReportFileError(error);
        return ZoFailure;
    }
    return ZoSuccess;
}

void bosflush(int handle) { plat::fileSync(descriptorOf(handle)); }

ZoStatus bosFileCommit(int handle) {
    int error = plat::fileSync(descriptorOf(handle));
    if (error != plat::FileOk) {
        bosReportFileError(error);
        return ZoFailure;
    }
    return ZoSuccess;
}

ZoStatus bosRegionLock(int handle, unsigned short unlock, uint32_t offset, uint32_t length) {
    int fd = descriptorOf(handle);
    int64_t pos;
    int error = plat::fileSeek(fd, offset, 0, &pos);
    if (error == plat::FileOk)
        error = plat::fileLockRegion(fd, offset, length, unlock != 0);
    if (error != plat::FileOk) {
        bosReportFileError(error);
        return ZoFailure;
    }
    return ZoSuccess;
}
