// Deleting, renaming and testing files by name.
#include <zo/bosfile.h>

#include <cstdio>
#include <cstring>

#include "os/bosint.h"
#include "platform/clock.h"
#include "platform/file.h"

namespace {

namespace plat = zo::plat;

bool statusOf(const unsigned char *name, plat::FileStatus *status) {
    char host[plat::kHostPathMax];
    return bosHostPath(name, host) && plat::fileStatus(host, status) == plat::FileOk;
}

} // namespace

ZoStatus bosFileDelete(const unsigned char *name) {
    unsigned char adapted[kBosNameSize];
    if (applyOEMConvert(name, adapted, 1) != ZoSuccess)
        return ZoFailure;
    char host[plat::kHostPathMax];
    int error = bosHostPath(adapted, host) ? plat::fileRemove(host) : plat::FileNoSuchFile;
    if (error == plat::FileNoSuchFile)
        return ZoSuccess;
    plat::FileStatus status;
    if (error != plat::FileOk || plat::fileStatus(host, &status) == plat::FileOk) {
        bosReport(ZoMessage::FileDelete, name);
        return ZoFailure;
    }
    return ZoSuccess;
}

ZoStatus bosrname(const unsigned char *oldName, const unsigned char *newName) {
    unsigned char from[kBosNameSize];
    unsigned char to[kBosNameSize];
    if (applyOEMConvert(oldName, from, 1) != ZoSuccess || applyOEMConvert(newName, to, 1) != ZoSuccess)
        return ZoFailure;
    char hostFrom[plat::kHostPathMax];
    char hostTo[plat::kHostPathMax];
    if (!bosHostPath(from, hostFrom) || !bosHostPath(to, hostTo) ||
        plat::fileRename(hostFrom, hostTo) != plat::FileOk) {
        bosReport(ZoMessage::FileRename, oldName, newName);
        return ZoFailure;
    }
    return ZoSuccess;
}

unsigned short bosfattr(const unsigned char *name) {
    if (std::strcmp(reinterpret_cast<const char *>(name), "..") == 0)
        return BOS_ATTR_DIRECTORY;
    std::size_t length = std::strlen(reinterpret_cast<const char *>(name));
    if (length >= kBosNameSize)
        return 0;
    unsigned char upper[kBosNameSize];
    std::memcpy(upper, name, length + 1);
    bosUpperName(upper);
    plat::FileStatus status;
    if (!statusOf(upper, &status))
        return 0;
    if (status.directory)
        return BOS_ATTR_DIRECTORY;
    return status.readOnly ? BOS_ATTR_FILE | BOS_ATTR_READONLY : BOS_ATTR_FILE;
}

unsigned short bosexist(const unsigned char *name) { return bosfattr(name) & BOS_ATTR_FILE; }

unsigned short bosftest(const unsigned char *) { return 1; }

ZoStatus bosFileDateSize(const unsigned char *name, unsigned char *date, uint32_t *size) {
    plat::FileStatus status;
    if (!statusOf(name, &status))
        return ZoFailure;
    plat::CalendarTime t;
    plat::utcFromSeconds(status.modified, &t);
    std::snprintf(reinterpret_cast<char *>(date), 11, "%02u/%02u/%04u", t.month % 100u, t.day % 100u, t.year % 10000u);
    *size = static_cast<uint32_t>(status.size);
    return ZoSuccess;
}
