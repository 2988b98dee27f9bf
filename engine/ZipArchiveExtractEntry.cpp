// ZipArchiveExtractEntry.cpp -- CZipArchive::ExtractEntry: one entry written beneath the target folder.
#include "engine/ZipArchive.h"

#include <algorithm>
#include <cerrno>
#include <string>
#include <string_view>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "engine/ZipException.h"
#include "engine/ZipFile.h"
#include "engine/ZipFileException.h"
#include "engine/ZipPlatform.h"
#include "engine/ZipTempEntryGuard.h"

namespace {

/// The longest link text restored: PATH_MAX less its terminator.
constexpr std::uint32_t kMaxLinkTextBytes = 4095;

/// `targetPath` below `targetFolder` (which `IsInsideFolder` has confirmed holds it).
std::string_view RelativePart(std::string_view targetPath, std::string_view targetFolder) {
  if (targetFolder.empty()) return targetPath;
  while (targetFolder.size() > 1 && targetFolder.back() == '/') targetFolder.remove_suffix(1);
  return targetPath.substr(std::min(targetFolder.size(), targetPath.size()));
}

/// Closes a folder descriptor that `MakeFolder` handed out.
struct FolderFdCloser {
  int fd;
  ~FolderFdCloser() {
    if (fd >= 0) ::close(fd);
  }
};

}  // namespace

bool CZipArchive::ExtractEntry(int index, const std::string& targetFolder, bool fullPath, const char* newName,
                               std::uint32_t bufferSize) {
  extractRefusal_ = 0;
  if (bufferSize == 0) return false;
  CZipFileHeader header;
  if (!GetEntryInfo(header, index)) return false;
  std::string targetPath;
  std::string relative;
  if (!ResolveExtractTarget(header, targetFolder, fullPath, newName, targetPath, relative)) return false;

  CZipActionCallback* callback = GetCallback(cbExtract);
  if (callback != nullptr) callback->Begin(header.GetFileName().c_str(), targetPath.c_str());
  targetFolder_.Use(targetFolder, targetPath);

  if (header.IsDirectoryEntry()) {
    if (callback != nullptr) callback->SetTotal(0);
    const bool made = ExtractFolderEntry(header, relative, targetPath);
    if (callback != nullptr) callback->End();
    return made;
  }

  // A file needs a name of its own below the target folder.
  if (relative.empty()) {
    extractRefusal_ = errNameLeavesTarget;
    return false;
  }
  const std::uint32_t attributes = header.EntryAttributes();
  const bool isLink = PlatformOps::AttrIsSymbolicLink(attributes);
  if (isLink && header.m_uUncomprSize > kMaxLinkTextBytes) ThrowZipError(errBadLinkText, targetPath);
  if (callback != nullptr) callback->SetTotal(header.m_uUncomprSize);
  if (!OpenEntryForReading(index)) return false;

  const int parentFd = targetFolder_.ParentOf(relative, true, targetPath);
  const std::string_view name = CZipTargetFolder::LastComponent(relative);
  if (isLink) {
    const bool made = ExtractLinkEntry(header, parentFd, name, CZipTargetFolder::Depth(relative), targetPath);
    if (callback != nullptr) callback->End();
    return made;
  }

  int stopCode = 0;
  int closed = 0;
  {
    ZipTempEntryGuard temp(parentFd);
    CZipFile target;
    // The file is made with the entry's permissions, the kernel taking off the umask: no chmod.
    target.Adopt(CZipTargetFolder::MakeTempFile(parentFd, PlatformOps::FilePermissionsFor(attributes), temp.name,
                                                targetPath),
                 targetPath);
    // Kept for the archive's life: a buffer allocated per entry made the heap grow and shrink
    // for every small file. An entry inflated whole goes straight into a buffer that holds it
    // (one byte more, so that a short read says the data ended).
    const bool whole = whole_.pending;
    const std::uint32_t chunk = whole ? header.m_uUncomprSize + 1 : bufferSize;
    char* buffer = whole ? whole_.data.Reserve(chunk) : readBuffer_.Allocate(chunk);
    for (;;) {
      const std::uint32_t got = ReadEntryData(buffer, chunk);
      // Written and reported in steps of `bufferSize`, however much was read at once.
      for (std::uint32_t done = 0; done < got && stopCode == 0;) {
        const std::uint32_t piece = std::min(bufferSize, got - done);
        target.Write(buffer + done, piece);
        done += piece;
        if (callback != nullptr && !callback->Step(piece))
          stopCode = (done < got || info_.uncompressedLeft > 0) ? errActionAborted : errActionAbortedSafely;
      }
      if (stopCode != 0 || got < chunk) break;
    }
    // Data that goes on past its declared size is damage, whatever the buffer's size: one more
    // read, with the declared size delivered, lets the stream show whether it ends there.
    if (stopCode == 0 && info_.uncompressedLeft == 0) ReadEntryData(buffer, chunk);
    // The entry is checked first (a CRC mismatch throws, and the temporary goes), then the time
    // goes to the still open file, not through a path.
    closed = CloseEntryForReading(nullptr, false);
    if (closed == -1 && stopCode == 0) {
      // The data ended before its declared size: nothing of it is kept.
      extractRefusal_ = errDataShort;
      if (callback != nullptr) callback->End();
      return false;
    }
    if (!PlatformOps::WriteModTime(target.GetHandle(), header.EntryTime(entryTimeMemo_))) closed = -2;
    target.Close();
    // A stopped extraction keeps what it wrote, as it always did.
    CZipTargetFolder::Publish(parentFd, temp.name, name, false, targetPath);
    temp.Keep();
  }
  if (callback != nullptr) callback->End();
  if (stopCode == errActionAbortedSafely && closed != 1) stopCode = errActionAborted;
  if (stopCode != 0) ThrowZipError(stopCode, targetPath);
  return closed == 1;
}

bool CZipArchive::ResolveExtractTarget(const CZipFileHeader& header, const std::string& targetFolder, bool fullPath,
                                       const char* newName, std::string& targetPath, std::string& relative) {
  targetPath = ExtractedPathFor(header.GetFileName(), targetFolder, fullPath, newName);
  // A name that climbs out of the target folder is never written, wherever it would land. The
  // check is made on the path the system calls will see: a NUL byte would end it there.
  if (targetPath.find('\0') != std::string::npos || !IsInsideFolder(targetPath, targetFolder) ||
      !CZipTargetFolder::Normalize(RelativePart(targetPath, targetFolder), relative)) {
    extractRefusal_ = errNameLeavesTarget;
    return false;
  }
  return true;
}

bool CZipArchive::ExtractFolderEntry(const CZipFileHeader& header, const std::string& relativePath,
                                     const std::string& targetPath) {
  const std::uint32_t attributes = header.EntryAttributes();
  bool made = false;
  const FolderFdCloser folder{
      targetFolder_.MakeFolder(relativePath, PlatformOps::FolderPermissionsFor(attributes), targetPath, made)};
  // The target folder itself is the caller's: an entry never changes it.
  if (folder.fd == CZipTargetFolder::TargetItself) return true;
  if (folder.fd < 0) {
    extractRefusal_ = errNotAFolder;
    return false;
  }
  // Through the descriptor just opened without following links: a link put in its place
  // meanwhile is never changed, nor what it names. The result is not reported, as before.
  if (made) {
    PlatformOps::MakeNewFolderUsable(folder.fd);
  } else {
    PlatformOps::WriteFolderAttributes(folder.fd, attributes);
  }
  return true;
}

bool CZipArchive::ExtractLinkEntry(const CZipFileHeader& header, int parentFd, std::string_view name, int depth,
                                   const std::string& targetPath) {
  std::string text(header.m_uUncomprSize, '\0');
  std::uint32_t got = 0;
  if (!text.empty()) got = ReadEntryData(text.data(), static_cast<std::uint32_t>(text.size()));
  text.resize(got);
  if (CloseEntryForReading(nullptr, false) == -1) {
    extractRefusal_ = errDataShort;
    return false;
  }
  if (text.empty() || text.find('\0') != std::string::npos) ThrowZipError(errBadLinkText, targetPath);
  if (!CZipTargetFolder::LinkStaysInside(text, depth)) ThrowZipError(errLinkLeavesTarget, targetPath);

  ZipTempEntryGuard temp(parentFd);
  CZipTargetFolder::MakeTempLink(parentFd, text, temp.name, targetPath);
  // The link's own time: never the time of what it names.
  const std::time_t modTime = header.EntryTime(entryTimeMemo_);
  struct timespec times[2] {};
  times[0].tv_nsec = UTIME_NOW;
  times[1].tv_sec = modTime;
  const bool timed = modTime != static_cast<std::time_t>(-1) &&
                     ::utimensat(parentFd, temp.name.c_str(), times, AT_SYMLINK_NOFOLLOW) == 0;
  // A link replaces a link of its name: rename(2) never follows the old one.
  CZipTargetFolder::Publish(parentFd, temp.name, name, true, targetPath);
  temp.Keep();
  return timed;
}
