// ZipFile.h -- CZipFile, a disk file behind the engine's file interface, with emulated sharing modes.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include <sys/stat.h>

#include "engine/ZipAbstractFile.h"

/// A POSIX file (opened with O_CLOEXEC). The open-mode flags keep the values the engine passes:
/// an access mode, a sharing mode and the create / no-truncate bits. Sharing is emulated with
/// `flock`, so that two processes writing one archive at once cannot corrupt it: a read-only open
/// that denies writers takes a shared lock, an open for writing that denies others an exclusive
/// one, `shareDenyNone` takes none. A conflicting open waits up to the lock wait, then fails like
/// an open that cannot get the file (errno EBUSY). A truncating open takes the lock before it
/// truncates, so a file someone else holds is never cut. A folder (EISDIR), a FIFO or a socket
/// (EINVAL) is refused without waiting. Errors throw `CZipFileException`.
///
/// Only this object moves its descriptor's offset, so for a regular file it keeps the offset
/// itself and asks the kernel only to move it elsewhere: `GetPosition` and a `Seek` to where the
/// file already is cost no system call. While it holds a lock, shared or exclusive, no cooperating
/// process can write the file (a writer needs the exclusive lock), so it also keeps the length
/// once it has asked for it, following its own writes: appending an entry then needs no `fstat`
/// and no `lseek`, reading one no `fstat`.
class CZipFile : public CZipAbstractFile {
public:
  /// Open-mode flags.
  enum OpenFlags : unsigned {
    modeRead = 0x0000,
    modeWrite = 0x0001,
    modeReadWrite = 0x0002,
    shareExclusive = 0x0010,
    shareDenyWrite = 0x0020,
    shareDenyRead = 0x0030,
    shareDenyNone = 0x0040,
    modeCreate = 0x1000,      ///< create; truncates an existing file unless modeNoTruncate
    modeNoTruncate = 0x2000,  ///< with modeCreate: keep an existing file's bytes
  };

  /// How long a conflicting open waits unless told otherwise.
  static constexpr std::chrono::milliseconds DefaultLockWait{5000};

  CZipFile() = default;
  /// Opens at once, throwing on failure.
  CZipFile(const std::string& fileName, unsigned openFlags);
  ~CZipFile() override;
  CZipFile(const CZipFile&) = delete;
  CZipFile& operator=(const CZipFile&) = delete;

  /// Opens `fileName` (closing what was open). On failure throws `CZipFileException` when
  /// `throwOnError`, else returns false with errno set.
  bool Open(const std::string& fileName, unsigned openFlags, bool throwOnError) override;
  /// Takes over `fd`, a regular file this process has just made empty and holds alone (no lock
  /// is taken), closing what was open; `path` is what its errors carry.
  void Adopt(int fd, const std::string& path);
  /// Closes the descriptor, which also releases the lock; does nothing when closed.
  void Close() override;
  /// Nothing to do: writes are not buffered here, and the file is not forced to the disk.
  void Flush() override;
  std::uint64_t GetPosition() const override;
  /// A position before the start fails with EINVAL.
  std::uint64_t Seek(std::int64_t offset, int origin) override;
  std::uint64_t GetLength() const override;
  void SetLength(std::uint64_t newLength) override;
  /// The absolute path of the open file (the name given at open, made absolute); empty when
  /// closed.
  std::string GetFilePath() const override;
  /// Reads until `count` bytes or the end of the file.
  std::uint32_t Read(void* buffer, std::uint32_t count) override;
  void Write(const void* buffer, std::uint32_t count) override;
  bool IsClosed() const override { return fd_ < 0; }

  /// The permission bits (before the umask) a later open gives a file it creates; 0666 unless
  /// set. The kernel applies the umask, so a new file needs no chmod afterwards.
  void SetNewFilePermissions(unsigned permissions) noexcept { newFilePermissions_ = permissions & 0777; }
  /// True when the last successful open made the file (it did not exist before).
  bool CreatedFile() const noexcept { return created_; }
  /// `name` made absolute (unchanged when that fails): the path that errors of an open carry.
  static std::string AbsoluteName(const std::string& name);

  /// The bound of the wait for a conflicting lock, for this object's later opens.
  void SetLockWait(std::chrono::milliseconds wait) noexcept { lockWait_ = wait; }
  /// The file descriptor, -1 when closed.
  int GetHandle() const noexcept { return fd_; }
  /// What the open's own `fstat` found (type, size, mode, time as the file was when opened), or
  /// null when it took none (a file the open made, known to be new and empty).
  const struct stat* OpenStatus() const noexcept { return openStatusKnown_ ? &openStatus_ : nullptr; }
  /// True when this open file and `other` (a `stat` result) are one file: same device and inode.
  /// Asks the system once per open when the open took no status.
  bool IsSameFileAs(const struct stat& other) const;

private:
  [[noreturn]] void Fail(int systemError) const;
  /// Forgets the kept offset and length (after a close or a failed open).
  void ForgetPlace() noexcept;
  /// Records that `count` more bytes were read or written at the kept offset.
  void Advance(std::uint32_t count) noexcept;

  int fd_ = -1;
  /// The descriptor's offset, kept for a regular file (`placeKept_`), else asked of the kernel.
  std::uint64_t position_ = 0;
  bool placeKept_ = false;
  /// Set while a lock keeps other writers out; the length is then kept from the first time it
  /// is asked (`lengthKnown_`) and follows this object's own writes and truncations.
  bool writersLockedOut_ = false;
  mutable bool lengthKnown_ = false;
  mutable std::uint64_t length_ = 0;
  struct stat openStatus_ {};  ///< the status the open took, when `openStatusKnown_`
  bool openStatusKnown_ = false;
  /// Device and inode, once known (from the open's status or asked by `IsSameFileAs`).
  mutable bool identityKnown_ = false;
  mutable dev_t device_ = 0;
  mutable ino_t inode_ = 0;
  std::string path_;
  std::chrono::milliseconds lockWait_ = DefaultLockWait;
  unsigned newFilePermissions_ = 0666;
  bool created_ = false;
};
