// ZipTargetFolder.h -- CZipTargetFolder: an extraction's target folder held open, and what is made beneath it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

/// The folder an archive is extracted into, opened once, and every file, folder and link made
/// beneath it relative to its descriptor. No symbolic link on the way from the target folder to
/// an entry is ever followed: on Linux the folders are looked up with openat2(2) and
/// RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS, and where the kernel lacks it (ENOSYS) one component at
/// a time with O_NOFOLLOW. A link found on the way, or in the place of the entry itself, is an
/// obstacle: `CZipException` 130 with the path the entry would have had. The target folder's own
/// path is the caller's choice and is resolved as given.
///
/// Relative paths here are entry paths below the target folder, "/"-separated; empty and "."
/// components are skipped and a ".." component is refused (the caller has already refused
/// names that climb out; this is the last line). Failures of the file system throw
/// `CZipFileException` with the errno value and the entry's full path.
class CZipTargetFolder {
public:
  CZipTargetFolder() = default;
  ~CZipTargetFolder();
  CZipTargetFolder(const CZipTargetFolder&) = delete;
  CZipTargetFolder& operator=(const CZipTargetFolder&) = delete;

  /// Holds `folder` open (the current folder when empty; made with its parents when missing),
  /// unless the folder held is still the one of that name. `fullPath` is what errors carry.
  void Use(const std::string& folder, const std::string& fullPath);
  /// Closes every descriptor held.
  void Release() noexcept;

  /// The descriptor of the folder that holds `relativePath` (its last component left out), made
  /// with every missing folder above it (mode 0777 less the umask) when `create`. Owned here and
  /// valid until the next call. `fullPath` is what errors carry.
  int ParentOf(std::string_view relativePath, bool create, const std::string& fullPath);

  /// What `MakeFolder` answers instead of a descriptor.
  static constexpr int NotAFolder = -1;     ///< something other than a folder is in its place
  static constexpr int TargetItself = -2;   ///< the path names the target folder, never handed out

  /// Makes the folder `relativePath` (and its parents) with `permissions` before the umask, or
  /// takes the one that exists; returns its descriptor, opened for reading and owned by the
  /// caller (`made` says which), or `NotAFolder` or `TargetItself`.
  int MakeFolder(std::string_view relativePath, unsigned permissions, const std::string& fullPath,
                 bool& made);

  /// A new, empty, unique file beside `name` in the folder `parentFd`, made with O_EXCL and
  /// O_NOFOLLOW and `permissions` before the umask: its descriptor, its name in `tempName`.
  static int MakeTempFile(int parentFd, unsigned permissions, std::string& tempName, const std::string& fullPath);
  /// A new symbolic link holding `text` beside the entry, under a unique name put in `tempName`.
  static void MakeTempLink(int parentFd, const std::string& text, std::string& tempName, const std::string& fullPath);

  /// Moves `tempName` to `name` in the folder `parentFd`, replacing a file of that name. A
  /// symbolic link in its place is an obstacle (130) unless `replaceLink` (the new one is a link
  /// itself, put in place without following the old), a folder is EISDIR. The temporary is
  /// removed when the move fails.
  static void Publish(int parentFd, const std::string& tempName, std::string_view name, bool replaceLink,
                      const std::string& fullPath);
  /// Removes the temporary `tempName` of `parentFd` (nothing when it is empty).
  static void Discard(int parentFd, const std::string& tempName) noexcept;

  /// `relativePath` without empty and "." components, into `clean`; false for one with a "..".
  static bool Normalize(std::string_view relativePath, std::string& clean);
  /// The last component of `relativePath` (after its last "/").
  static std::string_view LastComponent(std::string_view relativePath);
  /// The number of folders above the entry `relativePath` below the target folder.
  static int Depth(std::string_view relativePath);
  /// True when a link holding `text`, placed at depth `depth` below the target folder, names
  /// something inside it however the links it passes resolve: a relative text whose ".."
  /// components all come first and climb no higher than the target folder.
  static bool LinkStaysInside(std::string_view text, int depth);

  /// Whether look-ups may use openat2 (true unless the kernel said ENOSYS); false makes every
  /// later look-up of the process walk the components. A seam for tests of that walk.
  static void SetOpenat2Usable(bool usable) noexcept;

private:
  int targetFd_ = -1;
  std::string targetFolder_;
  std::uint64_t targetDevice_ = 0;  ///< identity of the folder held, to notice one made anew
  std::uint64_t targetInode_ = 0;
  // The folder of the last entry: entries of one folder usually follow each other.
  int parentFd_ = -1;
  std::string parentPath_;
};
