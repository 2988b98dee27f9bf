// ZipAttributes.cpp -- attribute conversion between ZIP host systems, and file modes and times on disk.
#include "engine/ZipPlatform.h"

#include <bit>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>

#include "engine/ZipException.h"
#include "engine/ZipPathComponent.h"

namespace {

constexpr std::uint32_t kDosReadOnly = 0x01;
constexpr std::uint32_t kDosHidden = 0x02;
constexpr std::uint32_t kDosDirectory = 0x10;
constexpr std::uint32_t kDosArchive = 0x20;

// Unix attributes carry st_mode in the high word.
constexpr std::uint32_t kUnixDirectoryBit = 0x40000000;   // S_IFDIR << 16
constexpr std::uint32_t kUnixRegularBit = 0x80000000;     // S_IFREG << 16
constexpr std::uint32_t kUnixOwnerExecute = 0x00400000;   // S_IXUSR << 16
constexpr std::uint32_t kUnixOwnerWrite = 0x00800000;     // S_IWUSR << 16
constexpr std::uint32_t kUnixOwnerRead = 0x01000000;      // S_IRUSR << 16
constexpr std::uint32_t kUnixReadAll = 0x01240000;        // 0444 << 16
constexpr std::uint32_t kUnixWriteOwnerGroup = 0x00900000;  // 0220 << 16

std::uint32_t UnixToDos(std::uint32_t attributes) {
  std::uint32_t dos = 0;
  if (attributes & kUnixDirectoryBit) dos |= kDosDirectory;
  if (!(attributes & kUnixOwnerExecute)) dos |= kDosArchive;
  if (!(attributes & kUnixOwnerWrite)) dos |= kDosReadOnly;
  if (!(attributes & kUnixOwnerRead)) dos |= kDosHidden;
  return dos;
}

std::uint32_t DosToUnix(std::uint32_t attributes) {
  std::uint32_t unix = (attributes & kDosHidden) ? 0 : kUnixReadAll;
  if (!(attributes & kDosReadOnly)) unix |= kUnixWriteOwnerGroup;
  if (attributes & kDosDirectory) {
    unix |= kUnixDirectoryBit | kDosDirectory;
  } else {
    unix |= kUnixRegularBit;
  }
  return unix;
}

// The Macintosh keeps only read-only and directory, both ways.
std::uint32_t MacKeep(std::uint32_t attributes) { return attributes & (kDosReadOnly | kDosDirectory); }
std::uint32_t Identity(std::uint32_t attributes) { return attributes; }

using Converter = std::uint32_t (*)(std::uint32_t);
struct ConverterPair {
  Converter toDos = nullptr;
  Converter fromDos = nullptr;
};

/// The converters of host systems 0 to 10; the systems without any have none.
ConverterPair ConvertersFor(int system) {
  switch (system) {
    case PlatformOps::hostDos:
    case PlatformOps::hostOs2Hpfs:
    case PlatformOps::hostNtfs: return {Identity, Identity};
    case PlatformOps::hostUnix: return {UnixToDos, DosToUnix};
    case PlatformOps::hostMacintosh: return {MacKeep, MacKeep};
    default: return {};
  }
}

/// The process's umask, read without changing it (umask(2) can only be read by setting it,
/// which would race with every other thread creating files).
mode_t CurrentUmask() {
  if (std::FILE* status = std::fopen("/proc/self/status", "re")) {
    char line[256];
    unsigned mask = 0;
    bool found = false;
    while (!found && std::fgets(line, sizeof line, status) != nullptr) {
      found = std::sscanf(line, "Umask: %o", &mask) == 1;
    }
    std::fclose(status);
    if (found) return static_cast<mode_t>(mask & 0777);
  }
  return 022;
}

/// The access and modification times for utimensat/futimens: access now, modification
/// `modTime` (now when -1).
struct FileTimes {
  explicit FileTimes(std::time_t modTime) {
    values[0].tv_nsec = UTIME_NOW;
    if (modTime == static_cast<std::time_t>(-1)) {
      values[1].tv_nsec = UTIME_NOW;
    } else {
      values[1].tv_sec = modTime;
      values[1].tv_nsec = 0;
    }
  }
  struct timespec values[2] {};
};

/// `mode` (already less the umask) with execute wherever it has read, and owner rwx: a folder one
/// can read but not enter is of no use, and its owner must be able to put the entries that follow
/// into it.
mode_t UsableFolderMode(mode_t mode) noexcept { return mode | ((mode & 0444) >> 2) | S_IRWXU; }

}  // namespace

namespace PlatformOps {

bool HostIsBigEndian() noexcept { return std::endian::native == std::endian::big; }

bool IsSupportedSystem(int system) noexcept {
  return system == hostDos || system == hostUnix || system == hostOs2Hpfs || system == hostMacintosh ||
         system == hostNtfs;
}

std::uint32_t ConvertAttributes(std::uint32_t attributes, int fromSystem, int toSystem) {
  if (fromSystem == toSystem || fromSystem >= 11 || toSystem >= 11) return attributes;
  const ConverterPair from = fromSystem < 0 ? ConverterPair{} : ConvertersFor(fromSystem);
  const ConverterPair to = toSystem < 0 ? ConverterPair{} : ConvertersFor(toSystem);
  if (from.toDos == nullptr || to.fromDos == nullptr) ThrowZipError(errPlatformNotSupported);
  return to.fromDos(from.toDos(attributes));
}

bool AttrIsSymbolicLink(std::uint32_t attributes) noexcept {
  return ((attributes >> 16) & S_IFMT) == S_IFLNK && (attributes & kDosDirectory) == 0;
}

unsigned FolderPermissionsFor(std::uint32_t attributes) noexcept {
  const mode_t type = static_cast<mode_t>((attributes >> 16) & S_IFMT);
  return type == S_IFDIR ? (attributes >> 16) & 0777 : 0777;
}

bool AttrIsDirectory(std::uint32_t attributes) noexcept {
  return (attributes & kDosDirectory) != 0 || ((attributes >> 16) & S_IFMT) == S_IFDIR;
}

std::uint32_t AttributesFromMode(unsigned mode) noexcept {
  std::uint32_t attributes = static_cast<std::uint32_t>(mode & 0xFFFF) << 16;
  if (S_ISDIR(mode)) attributes |= kDosDirectory;
  if (!(mode & S_IWUSR)) attributes |= kDosReadOnly;
  return attributes;
}

bool ReadAttributes(const std::string& name, std::uint32_t& attributes) {
  struct stat info {};
  if (::stat(name.c_str(), &info) != 0) return false;
  attributes = AttributesFromMode(info.st_mode);
  return true;
}

bool WriteAttributes(const std::string& name, std::uint32_t attributes) {
  // A symbolic link in the place of `name` is never changed, nor what it names.
  struct stat info {};
  if (::lstat(name.c_str(), &info) != 0 || S_ISLNK(info.st_mode)) return false;
  const mode_t type = static_cast<mode_t>((attributes >> 16) & S_IFMT);
  const mode_t umask = CurrentUmask();
  mode_t mode = 0;
  if (S_ISDIR(info.st_mode) || type == S_IFDIR) {
    mode = UsableFolderMode(static_cast<mode_t>(FolderPermissionsFor(attributes)) & ~umask);
  } else {
    mode = static_cast<mode_t>(FilePermissionsFor(attributes)) & ~umask;
  }
  if (::fchmodat(AT_FDCWD, name.c_str(), mode, AT_SYMLINK_NOFOLLOW) == 0) return true;
  // Without /proc the C library cannot chmod without following; the lstat above has looked.
  return (errno == ENOTSUP || errno == ENOSYS) && ::chmod(name.c_str(), mode) == 0;
}

bool MakeFolder(const std::string& path, std::uint32_t attributes) {
  std::string folder = path;
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  // An empty path names no folder to make: done, as for MakePath.
  if (folder.empty()) return true;
  const mode_t permissions = static_cast<mode_t>(FolderPermissionsFor(attributes));
  bool made = ::mkdir(folder.c_str(), permissions) == 0;
  if (!made && errno == ENOENT && MakePath(CZipPathComponent(folder).GetFolderPath())) {
    made = ::mkdir(folder.c_str(), permissions) == 0;
  }
  if (!made) {
    // It exists already (made by an earlier entry, or by someone else meanwhile): the umask must
    // be read to apply the permissions to it.
    if (errno != EEXIST || !IsExistingDir(folder)) return false;
    WriteAttributes(folder, attributes);
    return true;
  }
  // mkdir took off the umask itself; what it made may lack the bits that keep it usable, or carry
  // a set-group bit inherited from its parent, which no extracted folder gets.
  struct stat info {};
  if (::stat(folder.c_str(), &info) != 0) return true;
  const mode_t usable = UsableFolderMode(info.st_mode & 0777);
  if ((info.st_mode & 07777) != usable) ::chmod(folder.c_str(), usable);
  return true;
}

unsigned FilePermissionsFor(std::uint32_t attributes) noexcept {
  const mode_t type = static_cast<mode_t>((attributes >> 16) & S_IFMT);
  if (type == S_IFREG) return (attributes >> 16) & 0777;
  // Links, devices and attributes without a Unix type are written as plain files.
  return 0666;
}

bool WriteFileAttributes(int fd, std::uint32_t attributes) {
  const mode_t mode = static_cast<mode_t>(FilePermissionsFor(attributes)) & ~CurrentUmask();
  return ::fchmod(fd, mode) == 0;
}

bool WriteFolderAttributes(int fd, std::uint32_t attributes) {
  const mode_t mode = UsableFolderMode(static_cast<mode_t>(FolderPermissionsFor(attributes)) & ~CurrentUmask());
  return ::fchmod(fd, mode) == 0;
}

void MakeNewFolderUsable(int fd) {
  struct stat info {};
  if (::fstat(fd, &info) != 0) return;
  const mode_t usable = UsableFolderMode(info.st_mode & 0777);
  if ((info.st_mode & 07777) != usable) ::fchmod(fd, usable);
}

bool ReadModTime(const std::string& name, std::time_t& modTime) {
  struct stat info {};
  if (::stat(name.c_str(), &info) != 0 || info.st_mtime == static_cast<std::time_t>(-1)) return false;
  modTime = info.st_mtime;
  return true;
}

bool WriteModTime(const std::string& name, std::time_t modTime) {
  const FileTimes times(modTime);
  return ::utimensat(AT_FDCWD, name.c_str(), times.values, 0) == 0;
}

bool WriteModTime(int fd, std::time_t modTime) {
  const FileTimes times(modTime);
  return ::futimens(fd, times.values) == 0;
}

}  // namespace PlatformOps
