// ZipFile.cpp -- CZipFile over POSIX descriptors, with flock standing in for sharing modes.
#include "engine/ZipFile.h"

#include <cerrno>
#include <filesystem>
#include <limits>
#include <thread>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "engine/ZipFileException.h"

namespace {

constexpr unsigned kAccessMask = 0x0003;
constexpr unsigned kShareMask = 0x0070;
constexpr std::chrono::milliseconds kLockPollInterval{20};

/// The flock operation that stands for the sharing mode, or 0 for none. Readers that deny
/// writers share; anyone else who denies others anything holds the file alone.
int LockFor(unsigned openFlags) {
  const unsigned share = openFlags & kShareMask;
  if (share == 0 || share == CZipFile::shareDenyNone) return 0;
  const unsigned access = openFlags & kAccessMask;
  if (access == CZipFile::modeRead && share == CZipFile::shareDenyWrite) return LOCK_SH;
  return LOCK_EX;
}

/// Takes `operation` on `fd`, polling until `wait` has passed. Returns 0 or an errno value.
int TakeLock(int fd, int operation, std::chrono::milliseconds wait) {
  const auto deadline = std::chrono::steady_clock::now() + wait;
  for (;;) {
    if (::flock(fd, operation | LOCK_NB) == 0) return 0;
    if (errno == EINTR) continue;
    if (errno != EWOULDBLOCK) return errno;
    if (std::chrono::steady_clock::now() >= deadline) return EBUSY;
    std::this_thread::sleep_for(kLockPollInterval);
  }
}

/// Opens `fileName` with `flags`; with O_CREAT it first tries O_EXCL, so that `created` tells
/// whether this open made the file. -1 with errno on failure.
int OpenDescriptor(const std::string& fileName, int flags, unsigned permissions, bool& created) {
  created = false;
  if ((flags & O_CREAT) == 0) return ::open(fileName.c_str(), flags);
  int fd = ::open(fileName.c_str(), flags | O_EXCL, permissions);
  if (fd >= 0) {
    created = true;
    return fd;
  }
  if (errno != EEXIST) return -1;
  // It exists (or is a link, which O_EXCL never follows): open what is there, or what the link
  // names. Made by someone else meanwhile or not, it counts as not made here.
  return ::open(fileName.c_str(), flags, permissions);
}

}  // namespace

std::string CZipFile::AbsoluteName(const std::string& name) {
  // An absolute name is kept as it is (std::filesystem::absolute would only return it too, after
  // splitting it into components: a measurable share of extracting many small files).
  if (!name.empty() && name.front() == '/') return name;
  std::error_code error;
  std::filesystem::path absolute = std::filesystem::absolute(name, error);
  return error ? name : absolute.string();
}

CZipFile::CZipFile(const std::string& fileName, unsigned openFlags) { Open(fileName, openFlags, true); }

CZipFile::~CZipFile() {
  if (fd_ >= 0) ::close(fd_);
}

bool CZipFile::Open(const std::string& fileName, unsigned openFlags, bool throwOnError) {
  Close();
  int flags = O_CLOEXEC;
  switch (openFlags & kAccessMask) {
    case modeWrite: flags |= O_WRONLY; break;
    case modeReadWrite: flags |= O_RDWR; break;
    default: flags |= O_RDONLY; break;
  }
  // Never O_TRUNC: the file is cut only once its lock is held.
  const bool create = (openFlags & modeCreate) != 0;
  const bool truncate = create && (openFlags & modeNoTruncate) == 0;
  if (create) flags |= O_CREAT;
  // Opening a FIFO would wait for its other end, for ever when there is none: never block here,
  // and refuse what is no file once it is open.
  flags |= O_NONBLOCK;

  const std::string path = AbsoluteName(fileName);
  bool created = false;
  int fd = OpenDescriptor(fileName, flags, newFilePermissions_, created);
  int failure = fd < 0 ? errno : 0;
  bool knownFull = false;  // seen with bytes before the lock: certainly to be cut
  bool regular = created;  // a file this open made is a regular one
  struct stat info {};
  const bool statusTaken = failure == 0 && !created;
  if (statusTaken) {
    // A file this open made is known to be a regular, empty file: nothing to look at.
    if (::fstat(fd, &info) != 0) {
      failure = errno;
    } else if (S_ISDIR(info.st_mode)) {
      failure = EISDIR;
    } else if (S_ISFIFO(info.st_mode) || S_ISSOCK(info.st_mode)) {
      failure = EINVAL;
    } else if (!S_ISREG(info.st_mode) && ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
      // O_NONBLOCK means nothing for a regular file; a device must block as usual.
      failure = errno;
    } else {
      regular = S_ISREG(info.st_mode);
      knownFull = !regular || info.st_size != 0;
    }
  }
  const int lock = failure == 0 ? LockFor(openFlags) : 0;
  if (lock != 0) failure = TakeLock(fd, lock, lockWait_);
  // A file that is empty once the lock is held has nothing to cut (a file just made usually is).
  // The size is asked only now: before the lock, another writer may still have been filling it.
  if (failure == 0 && truncate && !knownFull) {
    struct stat now {};
    if (::fstat(fd, &now) != 0) {
      failure = errno;
    } else {
      knownFull = now.st_size != 0;
    }
  }
  if (failure == 0 && truncate && knownFull) {
    while (::ftruncate(fd, 0) != 0) {
      if (errno != EINTR) {
        failure = errno;
        break;
      }
    }
  }
  if (failure != 0) {
    if (fd >= 0) ::close(fd);
    errno = failure;
    if (throwOnError) throw CZipFileException(failure, path);
    return false;
  }
  fd_ = fd;
  path_ = path;
  created_ = created;
  ForgetPlace();
  openStatus_ = info;
  openStatusKnown_ = statusTaken;
  identityKnown_ = statusTaken;
  device_ = info.st_dev;
  inode_ = info.st_ino;
  placeKept_ = regular;
  writersLockedOut_ = regular && lock != 0;
  // A truncating open leaves the file empty under the lock, whether it had to cut it or not.
  lengthKnown_ = writersLockedOut_ && truncate;
  return true;
}

void CZipFile::Adopt(int fd, const std::string& path) {
  Close();
  fd_ = fd;
  path_ = path;
  created_ = true;
  ForgetPlace();
  // New and empty, and no one else writes it: its offset and length are known.
  placeKept_ = true;
  writersLockedOut_ = true;
  lengthKnown_ = true;
}

bool CZipFile::IsSameFileAs(const struct stat& other) const {
  if (fd_ < 0) return false;
  if (!identityKnown_) {
    struct stat now {};
    if (::fstat(fd_, &now) != 0) Fail(errno);
    device_ = now.st_dev;
    inode_ = now.st_ino;
    identityKnown_ = true;
  }
  return device_ == other.st_dev && inode_ == other.st_ino;
}

void CZipFile::ForgetPlace() noexcept {
  openStatusKnown_ = false;
  identityKnown_ = false;
  position_ = 0;
  placeKept_ = false;
  writersLockedOut_ = false;
  lengthKnown_ = false;
  length_ = 0;
}

void CZipFile::Advance(std::uint32_t count) noexcept {
  position_ += count;
  if (lengthKnown_ && position_ > length_) length_ = position_;
}

void CZipFile::Close() {
  if (fd_ < 0) return;
  const int fd = fd_;
  fd_ = -1;
  ForgetPlace();
  // Closing the descriptor also releases its lock.
  if (::close(fd) != 0 && errno != EINTR) Fail(errno);
}

void CZipFile::Fail(int systemError) const { throw CZipFileException(systemError, path_); }

void CZipFile::Flush() {
  // Every Write goes straight to the descriptor, so nothing of ours is left to hand over. The
  // bytes are deliberately not forced to the disk: an fsync at each archive close costs more than a
  // whole one-entry delete (it waits for every dirty page of the file, e.g. of an archive just
  // uploaded or copied), and no other ZIP tool pays it. Durability is the system's write-back, as for
  // any file a page writes; a write-back error still surfaces at Close.
}

std::uint64_t CZipFile::GetPosition() const {
  if (placeKept_ && fd_ >= 0) return position_;
  const off_t position = ::lseek(fd_, 0, SEEK_CUR);
  if (position < 0) Fail(errno);
  return static_cast<std::uint64_t>(position);
}

std::uint64_t CZipFile::Seek(std::int64_t offset, int origin) {
  if (placeKept_ && fd_ >= 0) {
    // A move to where the descriptor already is needs no system call; anything else, including
    // a target before the start (EINVAL), is left to lseek.
    std::int64_t base = -1;
    if (origin == begin) base = 0;
    if (origin == current) base = static_cast<std::int64_t>(position_);
    if (origin == end && lengthKnown_) base = static_cast<std::int64_t>(length_);
    if (base >= 0 && offset == static_cast<std::int64_t>(position_) - base) return position_;
  }
  int whence = SEEK_SET;
  if (origin == current) whence = SEEK_CUR;
  if (origin == end) whence = SEEK_END;
  const off_t position = ::lseek(fd_, static_cast<off_t>(offset), whence);
  if (position < 0) Fail(errno);
  position_ = static_cast<std::uint64_t>(position);
  return position_;
}

std::uint64_t CZipFile::GetLength() const {
  if (lengthKnown_ && fd_ >= 0) return length_;
  struct stat info {};
  if (::fstat(fd_, &info) != 0) Fail(errno);
  // Under the lock only this object changes the length from now on.
  if (writersLockedOut_) {
    length_ = static_cast<std::uint64_t>(info.st_size);
    lengthKnown_ = true;
  }
  return static_cast<std::uint64_t>(info.st_size);
}

void CZipFile::SetLength(std::uint64_t newLength) {
  if (newLength > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max())) Fail(EFBIG);
  while (::ftruncate(fd_, static_cast<off_t>(newLength)) != 0) {
    if (errno != EINTR) Fail(errno);
  }
  // The offset stays where it was, past the end or not, as ftruncate leaves it.
  if (writersLockedOut_) {
    length_ = newLength;
    lengthKnown_ = true;
  }
}

std::string CZipFile::GetFilePath() const { return fd_ < 0 ? std::string() : path_; }

std::uint32_t CZipFile::Read(void* buffer, std::uint32_t count) {
  auto* out = static_cast<unsigned char*>(buffer);
  std::uint32_t total = 0;
  while (total < count) {
    const ssize_t got = ::read(fd_, out + total, count - total);
    if (got < 0) {
      if (errno == EINTR) continue;
      Fail(errno);
    }
    if (got == 0) break;
    total += static_cast<std::uint32_t>(got);
    Advance(static_cast<std::uint32_t>(got));
  }
  return total;
}

void CZipFile::Write(const void* buffer, std::uint32_t count) {
  const auto* in = static_cast<const unsigned char*>(buffer);
  std::uint32_t total = 0;
  while (total < count) {
    const ssize_t put = ::write(fd_, in + total, count - total);
    if (put < 0) {
      if (errno == EINTR) continue;
      Fail(errno);
    }
    // A write that makes no progress would loop for ever: the device is full.
    if (put == 0) Fail(ENOSPC);
    total += static_cast<std::uint32_t>(put);
    Advance(static_cast<std::uint32_t>(put));
  }
}
