// ZipPlatform.h -- PlatformOps: what the engine asks of the host (attributes, times, folders, files, space).
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <string>

/// Every name is a UTF-8 POSIX path. Nothing here changes the process's current directory
/// except `ChangeDir`, which the engine never calls (the directory is shared by every thread).
namespace PlatformOps {

/// The ZIP "version made by" host codes the engine knows by name.
enum HostSystem : int { hostDos = 0, hostUnix = 3, hostMacintosh = 7, hostOs2Hpfs = 6, hostNtfs = 10 };

/// 0x81A40020: DOS archive bit, Unix regular file with mode 0644.
constexpr std::uint32_t DefaultFileAttributes() noexcept { return 0x81A40020u; }
/// 0x41FF0010: DOS directory bit, Unix directory with mode 0777.
constexpr std::uint32_t DefaultDirAttributes() noexcept { return 0x41FF0010u; }
/// 3 (Unix): host attributes are `st_mode << 16`, plus 0x10 for a directory and 0x01 when the
/// owner cannot write.
constexpr int HostSystemCode() noexcept { return hostUnix; }
/// False on every host this builds for today; decided at compile time.
bool HostIsBigEndian() noexcept;

/// True for the host systems with an attribute conversion: 0, 3, 6, 7 and 10.
bool IsSupportedSystem(int system) noexcept;
/// Converts `attributes` from host system `fromSystem` to `toSystem` through the DOS form.
/// Unchanged when the systems are equal or either is 11 or more; throws `CZipException` 115
/// with an empty name when either has no conversion.
std::uint32_t ConvertAttributes(std::uint32_t attributes, int fromSystem, int toSystem);
/// True for the DOS directory bit 0x10 or a Unix directory type in the high word.
bool AttrIsDirectory(std::uint32_t attributes) noexcept;
/// True for a Unix symbolic-link type (S_IFLNK) in the high word, without the DOS directory bit.
bool AttrIsSymbolicLink(std::uint32_t attributes) noexcept;
/// The permission bits, before the umask, of a folder made from host `attributes`: those of a
/// Unix directory entry, 0777 for any other (a DOS folder, a folder stored with a file's type).
unsigned FolderPermissionsFor(std::uint32_t attributes) noexcept;

/// Host attributes of a file of `st_mode` `mode`: the mode in the high word, plus the DOS
/// directory bit 0x10 and the read-only bit 0x01 when the owner cannot write (the form other Unix
/// ZIP tools write).
std::uint32_t AttributesFromMode(unsigned mode) noexcept;
/// The host attributes of `name` (following a symbolic link); false when it cannot be stat'ed.
bool ReadAttributes(const std::string& name, std::uint32_t& attributes);
/// Applies host `attributes` to `name`: permission bits `mode & 0777` less the umask; never the
/// set-user, set-group or sticky bits; a directory (on disk or by type) gets execute wherever it
/// has read and always owner rwx; a type that is neither file nor directory gets 0666 less the
/// umask. False, changing nothing, when `name` is a symbolic link. Returns success. (Extraction
/// uses the descriptor forms below, which follow no link anywhere on the path.)
bool WriteAttributes(const std::string& name, std::uint32_t attributes);
/// The permission bits, before the umask, that a regular file extracted with host `attributes`
/// gets: `mode & 0777` of a Unix regular file, 0666 for any other type (a link, a device, none).
/// Given to open(2) when the file is made, so that the kernel applies the umask itself.
unsigned FilePermissionsFor(std::uint32_t attributes) noexcept;
/// Applies host `attributes` of a regular file to the open file `fd`: `FilePermissionsFor`
/// less the umask (for a file that existed before its open). Returns success.
bool WriteFileAttributes(int fd, std::uint32_t attributes);
/// Applies host `attributes` of a folder entry to the open folder `fd` that existed before, as
/// `WriteAttributes` does for a folder. Returns success.
bool WriteFolderAttributes(int fd, std::uint32_t attributes);
/// Gives the folder `fd`, just made by mkdir(2) (which took off the umask), the bits that keep it
/// usable (execute wherever it has read, owner rwx) and drops a set-group bit it inherited.
void MakeNewFolderUsable(int fd);
/// The modification time of `name` (seconds since 1970); false when stat fails or it is -1.
bool ReadModTime(const std::string& name, std::time_t& modTime);
/// Sets access time to now and modification time to `modTime` (now when -1). Returns success.
bool WriteModTime(const std::string& name, std::time_t modTime);

/// As above on the open file `fd` (no path lookup). Returns success.
bool WriteModTime(int fd, std::time_t modTime);

/// chdir. Process-wide: for a caller that owns the whole process; the engine never uses it.
bool ChangeDir(const std::string& path);
/// The current directory; false on failure.
bool CurrentDir(std::string& path);
/// 0 when `name` does not exist, -1 when it is a directory, 1 otherwise (stat on exactly that name).
int PathKind(const std::string& name);
/// stat and S_ISDIR.
bool IsExistingDir(const std::string& path);
/// Creates `path` and every missing folder above it; true when it exists as a folder afterwards
/// (also when another process made it meanwhile). The lone root is never created.
bool MakePath(const std::string& path);
/// Creates the folder `path` of a folder entry (and every missing folder above it, as
/// `MakePath`) and gives it host `attributes` as `WriteAttributes` does. A folder it makes gets its
/// permissions from mkdir(2), which takes off the umask; one that exists gets `WriteAttributes`.
/// True when `path` is a folder afterwards (a failure to apply the attributes is not reported).
bool MakeFolder(const std::string& path, std::uint32_t attributes);
/// Creates one directory (mode 0777 less the umask); returns success.
bool MakeDir(const std::string& path);
/// Removes the file. On failure throws `CZipException` 113 with `name` when `throwOnError`,
/// else returns false.
bool DeleteFileByName(const std::string& name, bool throwOnError);
/// Renames `oldName` to `newName` (replacing a file of that name). On failure throws
/// `CZipException` 114 with `oldName` when `throwOnError`, else returns false.
bool MoveFileByName(const std::string& oldName, const std::string& newName, bool throwOnError);
/// Always false: removable-drive spanning does not exist here.
bool IsRemovableDrive(const std::string& path) noexcept;
/// Free bytes for an unprivileged user on the file system holding `path` (or its nearest
/// existing parent): `f_bavail * f_frsize` from statvfs; 0 on failure.
std::uint64_t DriveFreeSpace(const std::string& path);
/// The folder for temporary files: $TMPDIR, else "/tmp".
std::string SystemTempDir();
/// Creates an empty, unique file "ZARxxxxxx" and returns its full path, in the first of these
/// folders with at least `bytesNeeded` free: `directory` (when not empty), `SystemTempDir`, the
/// current directory. Empty when none has room or the file cannot be made.
std::string TempFileName(const std::string& directory, std::uint64_t bytesNeeded);
/// As above, asking `freeSpace` instead of `DriveFreeSpace` (a seam for tests).
std::string TempFileName(const std::string& directory, std::uint64_t bytesNeeded,
                         const std::function<std::uint64_t(const std::string&)>& freeSpace);
/// The 64-bit size of the regular file `name`; false when it cannot be opened for reading or is
/// not a regular file.
bool FileSizeByName(const std::string& name, std::uint64_t& size);

}  // namespace PlatformOps
