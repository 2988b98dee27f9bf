// ZipTargetFolder.cpp -- looking up, making and replacing beneath a target folder without following links.
#include "engine/ZipTargetFolder.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <string>

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "engine/ZipException.h"
#include "engine/ZipFileException.h"
#include "engine/ZipPlatform.h"

namespace {

/// Cleared once openat2(2) answers ENOSYS (or by a test): every later look-up walks the
/// components.
std::atomic<bool> openat2Usable{true};

/// Closes a descriptor on every path out of a scope unless it is handed on.
class ScopedFd {
public:
  explicit ScopedFd(int fd = -1) noexcept : fd_(fd) {}
  ~ScopedFd() { Reset(); }
  ScopedFd(const ScopedFd&) = delete;
  ScopedFd& operator=(const ScopedFd&) = delete;
  int Get() const noexcept { return fd_; }
  int Take() noexcept {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }
  void Reset(int fd = -1) noexcept {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }

private:
  int fd_;
};

/// Calls `visit(component)` for each component of `path` that names something: empty and "."
/// components are skipped. False, at once, for a ".." (never climbed, whatever the caller did).
template <typename Visit>
bool ForEachComponent(std::string_view path, Visit visit) {
  std::size_t start = 0;
  while (start < path.size()) {
    std::size_t end = path.find('/', start);
    if (end == std::string_view::npos) end = path.size();
    const std::string_view component = path.substr(start, end - start);
    if (component == "..") return false;
    if (!component.empty() && component != ".") visit(component);
    start = end + 1;
  }
  return true;
}

/// `path` less its last component and the "/" before it; empty for a name in the folder itself.
std::string_view FolderPart(std::string_view path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? std::string_view() : path.substr(0, slash);
}

bool IsLinkAt(int folderFd, const std::string& name) {
  struct stat info {};
  return ::fstatat(folderFd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(info.st_mode);
}

/// The failure of a look-up of `name` in `folderFd` that failed with `failure`: a link in the
/// way is 130, anything else the file system's error.
[[noreturn]] void FailLookup(int folderFd, const std::string& name, int failure, const std::string& fullPath) {
  if (failure == ELOOP || (failure == ENOTDIR && IsLinkAt(folderFd, name))) ThrowZipError(errLinkInTheWay, fullPath);
  throw CZipFileException(failure, fullPath);
}

/// openat2 with RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS: -1 with errno on failure, ENOSYS when the
/// kernel has no openat2.
int OpenBeneath(int folderFd, const std::string& path, int flags) {
  if (!openat2Usable.load(std::memory_order_relaxed)) {
    errno = ENOSYS;
    return -1;
  }
  struct open_how how {};
  how.flags = static_cast<std::uint64_t>(flags);
  how.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
  const long fd = ::syscall(SYS_openat2, folderFd, path.c_str(), &how, sizeof how);
  if (fd < 0 && errno == ENOSYS) openat2Usable.store(false, std::memory_order_relaxed);
  return static_cast<int>(fd);
}

constexpr int kFolderLookup = O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

/// Opens (making it when `create` and it is missing) the folder `name` of `folderFd`.
int StepInto(int folderFd, const std::string& name, bool create, const std::string& fullPath) {
  int fd = ::openat(folderFd, name.c_str(), kFolderLookup);
  if (fd < 0 && errno == ENOENT && create) {
    if (::mkdirat(folderFd, name.c_str(), 0777) != 0 && errno != EEXIST) throw CZipFileException(errno, fullPath);
    fd = ::openat(folderFd, name.c_str(), kFolderLookup);
  }
  if (fd < 0) FailLookup(folderFd, name, errno, fullPath);
  return fd;
}

/// A name no one else is likely to pick: ".<name>.brevik-" and 12 hex digits, from a number the
/// kernel's random source gave once per process, counting up (O_EXCL keeps a guessed one from
/// doing harm; it only costs another try).
std::string TempNameFor(std::string_view name) {
  static const std::uint64_t base = [] {
    std::uint64_t random = 0;
    if (::getrandom(&random, sizeof random, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof random))
      random = static_cast<std::uint64_t>(::getpid()) << 24;
    return random;
  }();
  static std::atomic<std::uint64_t> counter{0};
  const std::uint64_t value = (base + counter.fetch_add(1, std::memory_order_relaxed)) & 0xFFFFFFFFFFFFull;
  // The entry's own name is kept short: a temporary must fit where the final name fits.
  char suffix[16];
  std::snprintf(suffix, sizeof suffix, "%012llx", static_cast<unsigned long long>(value));
  return "." + std::string(name.substr(0, 200)) + ".brevik-" + suffix;
}

constexpr int kTempTries = 100;

}  // namespace

CZipTargetFolder::~CZipTargetFolder() { Release(); }

void CZipTargetFolder::SetOpenat2Usable(bool usable) noexcept { openat2Usable.store(usable); }

void CZipTargetFolder::Release() noexcept {
  if (parentFd_ >= 0) ::close(parentFd_);
  if (targetFd_ >= 0) ::close(targetFd_);
  parentFd_ = targetFd_ = -1;
  parentPath_.clear();
  targetFolder_.clear();
}

void CZipTargetFolder::Use(const std::string& folder, const std::string& fullPath) {
  if (targetFd_ >= 0 && folder == targetFolder_) {
    // Still the folder of that name: one removed and made again is another folder.
    struct stat now {};
    if (::stat(folder.empty() ? "." : folder.c_str(), &now) == 0 && now.st_dev == targetDevice_ &&
        now.st_ino == targetInode_)
      return;
  }
  Release();
  const std::string path = folder.empty() ? std::string(".") : folder;
  int fd = ::open(path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  // A target folder that does not exist yet is made, as every folder below it would be.
  if (fd < 0 && errno == ENOENT && PlatformOps::MakePath(path)) fd = ::open(path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) throw CZipFileException(errno, fullPath);
  struct stat info {};
  if (::fstat(fd, &info) != 0) {
    const int failure = errno;
    ::close(fd);
    throw CZipFileException(failure, fullPath);
  }
  targetFd_ = fd;
  targetFolder_ = folder;
  targetDevice_ = info.st_dev;
  targetInode_ = info.st_ino;
}

int CZipTargetFolder::ParentOf(std::string_view relativePath, bool create, const std::string& fullPath) {
  const std::string_view folder = FolderPart(relativePath);
  if (folder.empty()) return targetFd_;
  if (parentFd_ >= 0 && folder == parentPath_) return parentFd_;

  std::string path;
  if (!Normalize(folder, path)) ThrowZipError(errNameLeavesTarget, fullPath);
  if (path.empty()) return targetFd_;
  ScopedFd found(OpenBeneath(targetFd_, path, kFolderLookup));
  if (found.Get() < 0) {
    const int failure = errno;
    // A link anywhere on the way: openat2 says ELOOP; a link that climbs out would say EXDEV.
    if (failure == ELOOP || failure == EXDEV) ThrowZipError(errLinkInTheWay, fullPath);
    if (failure != ENOSYS && failure != ENOENT && failure != ENOTDIR) throw CZipFileException(failure, fullPath);
    // Missing folders are made, and a kernel without openat2 is served, one component at a time.
    ScopedFd current(::dup(targetFd_));
    if (current.Get() < 0) throw CZipFileException(errno, fullPath);
    ForEachComponent(path, [&](std::string_view component) {
      current.Reset(StepInto(current.Get(), std::string(component), create, fullPath));
    });
    found.Reset(current.Take());
  }
  if (parentFd_ >= 0) ::close(parentFd_);
  parentFd_ = found.Take();
  parentPath_.assign(folder);
  return parentFd_;
}

int CZipTargetFolder::MakeFolder(std::string_view relativePath, unsigned permissions, const std::string& fullPath,
                                 bool& made) {
  made = false;
  std::string clean;
  if (!Normalize(relativePath, clean)) ThrowZipError(errNameLeavesTarget, fullPath);
  if (clean.empty()) return TargetItself;
  const std::string name(LastComponent(clean));
  const int parent = ParentOf(clean, true, fullPath);
  if (::mkdirat(parent, name.c_str(), permissions) == 0) {
    made = true;
  } else if (errno != EEXIST) {
    throw CZipFileException(errno, fullPath);
  }
  const int fd = ::openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd >= 0) return fd;
  const int failure = errno;
  if (failure == ELOOP || IsLinkAt(parent, name)) ThrowZipError(errLinkInTheWay, fullPath);
  if (failure == ENOTDIR) return NotAFolder;
  throw CZipFileException(failure, fullPath);
}

int CZipTargetFolder::MakeTempFile(int parentFd, unsigned permissions, std::string& tempName,
                                   const std::string& fullPath) {
  const std::string_view name = LastComponent(fullPath);
  for (int attempt = 0; attempt < kTempTries; ++attempt) {
    tempName = TempNameFor(name);
    const int fd = ::openat(parentFd, tempName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                            static_cast<mode_t>(permissions & 0777));
    if (fd >= 0) return fd;
    if (errno != EEXIST) break;
  }
  const int failure = errno;
  tempName.clear();
  throw CZipFileException(failure, fullPath);
}

void CZipTargetFolder::MakeTempLink(int parentFd, const std::string& text, std::string& tempName,
                                    const std::string& fullPath) {
  const std::string_view name = LastComponent(fullPath);
  for (int attempt = 0; attempt < kTempTries; ++attempt) {
    tempName = TempNameFor(name);
    if (::symlinkat(text.c_str(), parentFd, tempName.c_str()) == 0) return;
    if (errno != EEXIST) break;
  }
  const int failure = errno;
  tempName.clear();
  throw CZipFileException(failure, fullPath);
}

void CZipTargetFolder::Publish(int parentFd, const std::string& tempName, std::string_view name, bool replaceLink,
                               const std::string& fullPath) {
  const std::string finalName(name);
  // Nothing there: put it in place without replacing anything that appears meanwhile.
  if (::renameat2(parentFd, tempName.c_str(), parentFd, finalName.c_str(), RENAME_NOREPLACE) == 0) return;
  int failure = errno;
  // A file system without RENAME_NOREPLACE answers EINVAL: it is then looked at first.
  if (failure == EEXIST || failure == EINVAL || failure == ENOSYS) {
    struct stat info {};
    if (::fstatat(parentFd, finalName.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0) {
      if (S_ISLNK(info.st_mode) && !replaceLink) {
        Discard(parentFd, tempName);
        ThrowZipError(errLinkInTheWay, fullPath);
      }
      if (S_ISDIR(info.st_mode)) {
        Discard(parentFd, tempName);
        throw CZipFileException(EISDIR, fullPath);
      }
    }
    // rename(2) replaces a link itself, never what it names.
    if (::renameat(parentFd, tempName.c_str(), parentFd, finalName.c_str()) == 0) return;
    failure = errno;
  }
  Discard(parentFd, tempName);
  throw CZipFileException(failure, fullPath);
}

void CZipTargetFolder::Discard(int parentFd, const std::string& tempName) noexcept {
  if (!tempName.empty()) ::unlinkat(parentFd, tempName.c_str(), 0);
}

bool CZipTargetFolder::Normalize(std::string_view relativePath, std::string& clean) {
  clean.clear();
  return ForEachComponent(relativePath, [&](std::string_view component) {
    if (!clean.empty()) clean += '/';
    clean += component;
  });
}

std::string_view CZipTargetFolder::LastComponent(std::string_view relativePath) {
  const std::size_t slash = relativePath.rfind('/');
  return slash == std::string_view::npos ? relativePath : relativePath.substr(slash + 1);
}

int CZipTargetFolder::Depth(std::string_view relativePath) {
  int depth = 0;
  std::size_t start = 0;
  const std::string_view folder = FolderPart(relativePath);
  while (start < folder.size()) {
    std::size_t end = folder.find('/', start);
    if (end == std::string_view::npos) end = folder.size();
    const std::string_view component = folder.substr(start, end - start);
    if (!component.empty() && component != ".") ++depth;
    start = end + 1;
  }
  return depth;
}

bool CZipTargetFolder::LinkStaysInside(std::string_view text, int depth) {
  if (text.empty() || text.front() == '/') return false;
  // A ".." after a named component would climb from wherever that component leads (it may be
  // a link itself); leading ones climb real folders, those this extraction walked without links.
  bool named = false;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('/', start);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view component = text.substr(start, end - start);
    if (component == "..") {
      if (named || --depth < 0) return false;
    } else if (!component.empty() && component != ".") {
      named = true;
    }
    start = end + 1;
  }
  return true;
}
