// Windows-form paths on the host: the drive table, the current and temporary directories,
// case-insensitive name resolution and volume information.
//
// The library speaks Windows-form names (`C:\DIR\FILE.TXT`, `\\server\share\x`). Drive
// letters map onto host directories: `C:` is the host root `/` unless the environment
// variable ZO_DRIVES says otherwise; ZO_DRIVES holds `X=/host/dir` entries separated by `;`
// (`D=/srv/data;E=/mnt/e`). Network names `\\server\share\rest` map onto
// `<root>/server/share/rest`, where <root> is ZO_UNC_ROOT (default `/net`). A name that
// begins with `/` is a host-native absolute path and is used as it stands.
//
// The emulated volumes are case-insensitive and case-preserving: a component that does not
// exist with the exact case resolves to the one existing entry that matches it ignoring
// ASCII case (none or several such entries: the component is kept as given).
//
// Names are bytes of the ANSI code page. Functions that walk a name take the caller's
// character-length table (256 entries indexed by a character's first byte), so a trail
// byte 0x5C of a double-byte character is never taken for a separator.
#pragma once

#include <cstddef>
#include <cstdint>

#include <zo/zoexport.h>

namespace zo::plat {

// Room for any host path the library builds.
constexpr std::size_t kHostPathMax = 4096;

// Host directory of a drive letter (either case), null when the letter is not mapped.
ZO_API const char *driveRoot(char letter);
// Bit n set for each mapped drive (bit 0 = A:) whose host directory exists.
ZO_API uint32_t logicalDrives();

enum DriveType : unsigned { DriveUnknown = 0, DriveNoRootDir = 1, DriveFixed = 3 };
// DriveFixed for a mapped drive whose host directory exists, DriveNoRootDir otherwise.
ZO_API DriveType driveType(char letter);

// Test hook: replaces the drive table by `entries` (ZO_DRIVES syntax, `C` is
// `/` unless named); null reads ZO_DRIVES again. Not safe while other threads use paths.
ZO_API bool setDrivesForTest(const char *entries);

// Maps a Windows-form (or host-native) name onto a host path and resolves its components'
// case. A relative name stays relative to the process's current directory. False when the
// name names an unmapped drive or the result does not fit in size bytes.
ZO_API bool hostPathOf(const unsigned char *name, const unsigned char *lengths, char *out, std::size_t size);
// The same without resolving the case of the components: the host path as the name spells
// it (for a caller that looks at it first and resolves only when nothing is there).
ZO_API bool hostPathAsNamed(const unsigned char *name, const unsigned char *lengths, char *out, std::size_t size);
// The Windows form of an absolute host path through the drive whose directory is the
// longest prefix of it (`/home/u` -> `C:\home\u`). False when no drive covers it or it
// does not fit.
ZO_API bool windowsPathOf(const char *hostPath, unsigned char *out, std::size_t size);

// The current directory in Windows form, without a trailing backslash except for a root.
ZO_API bool currentDirectory(unsigned char *out, std::size_t size);
ZO_API bool setCurrentDirectory(const unsigned char *dir, const unsigned char *lengths);
// The temporary directory (TMPDIR, else /tmp) in Windows form with a trailing backslash.
ZO_API bool temporaryDirectory(unsigned char *out, std::size_t size);

// What a volume tells about itself. Flag bits: 0x1 case-sensitive names, 0x2 case
// preserved, 0x4 Unicode names on disk.
struct VolumeInfo {
    uint32_t flags;
    uint32_t maxComponentLength;
    char fileSystem[16];
};
// Information of the volume whose root is `root` (`C:\`, `\`, `\\server\share\` or a
// host-native `/`). False when root is not the root of an existing volume. Every emulated
// volume answers flags 0x6, 255, "NTFS" unless a test says otherwise.
ZO_API bool volumeInformation(const unsigned char *root, VolumeInfo *info);
// Test hook: all volumes answer `info` (null restores the default).
ZO_API void setVolumeInformationForTest(const VolumeInfo *info);

} // namespace zo::plat

namespace zo::plat {

// Converts a name in place between the ANSI and the OEM code page (437 for the single-byte
// pages; the double-byte pages are their own OEM page, so nothing changes). A character the
// other page lacks becomes '?'.
ZO_API void ansiToOem(unsigned char *text);
ZO_API void oemToAnsi(unsigned char *text);

} // namespace zo::plat
