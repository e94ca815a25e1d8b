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

namespace {

// Host paths of two names adapted to their volume; false when either cannot be made.
bool hostPathsOf(const unsigned char *oldName, const unsigned char *newName, char (&hostFrom)[plat::kHostPathMax],
                 char (&hostTo)[plat::kHostPathMax]) {
    unsigned char from[kBosNameSize];
    unsigned char to[kBosNameSize];
    if (applyOEMConvert(oldName, from, 1) != ZoSuccess || applyOEMConvert(newName, to, 1) != ZoSuccess)
        return false;
    return bosHostPath(from, hostFrom) && bosHostPath(to, hostTo);
}

// Renames through `rename(from, to)` (a platform rename), recording a failure with both names.
template <class Rename>
ZoStatus renameReporting(const unsigned char *oldName, const unsigned char *newName, Rename rename) {
    char hostFrom[plat::kHostPathMax];
    char hostTo[plat::kHostPathMax];
    if (!hostPathsOf(oldName, newName, hostFrom, hostTo) || rename(hostFrom, hostTo) != plat::FileOk) {
        bosReport(ZoMessage::FileRename, oldName, newName);
        return ZoFailure;
    }
    return ZoSuccess;
}

// Syncs the directory that holds a host path (best effort: see bosFileReplace).
void syncDirectoryOf(const char *hostPath) {
    char dir[plat::kHostPathMax];
    std::size_t length = std::strlen(hostPath);
    while (length > 0 && hostPath[length - 1] != '/')
        --length;
    if (length == 0)
        return;
    std::memcpy(dir, hostPath, length);
    dir[length == 1 ? 1 : length - 1] = '\0';
    (void)plat::directorySync(dir); // the rename has happened; a file system that cannot sync a directory keeps it
}

} // namespace

ZoStatus bosrname(const unsigned char *oldName, const unsigned char *newName) {
    return renameReporting(oldName, newName, plat::fileRename);
}

ZoStatus bosFileReplace(const unsigned char *from, const unsigned char *to) {
    return renameReporting(from, to, [](const char *hostFrom, const char *hostTo) {
        int error = plat::fileReplace(hostFrom, hostTo);
        if (error == plat::FileOk)
            syncDirectoryOf(hostTo);
        return error;
    });
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
