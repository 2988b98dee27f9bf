// ZipArchiveReplace.cpp -- CZipArchive: replace indexes, resizing a replaced entry's space, moving packed data.
#include "engine/ZipArchive.h"

#include "engine/ZipAutoBuffer.h"
#include "engine/ZipException.h"

#include <algorithm>
#include <cerrno>

namespace {

// The piece size of moving packed data inside the archive file.
constexpr std::uint32_t kMovePiece = 1024 * 1024;

}  // namespace

bool CZipArchive::ResolveReplaceIndex(int& index, const std::string& name) {
  if (index == -2) index = FindEntry(name);
  if (index < 0) {
    index = -1;
    return true;
  }
  // Replacing rewrites bytes in the middle of the file: a volume cannot be rewritten, a
  // read-only file not at all, and an open entry owns the file position.
  if (!archiveOpen_ || storage_.IsSpanned() || storage_.m_bReadOnly || entryState_ != 0) return false;
  if (index >= centralDir_.GetCount()) return false;
  if (index == centralDir_.GetCount() - 1) {
    // Nothing follows the last entry, so replacing it is cutting it off and appending.
    RemoveLastEntry(true);
    index = -1;
  }
  return true;
}

void CZipArchive::MakeRoomForReplace(int index, std::uint64_t neededBytes, const std::string& name) {
  // The caller ensures a following entry (the last one is replaced by cutting and appending).
  if (index < 0 || index + 1 >= centralDir_.GetCount()) ThrowArchiveError(errInternal);
  storage_.StorageFlush();
  CZipAbstractFile& file = *storage_.m_pFile;
  const std::uint64_t base = centralDir_.m_uBytesBeforeZip;
  const std::uint64_t oldPosition = file.GetPosition();
  const std::uint64_t oldOffset = oldPosition - base;
  const std::uint64_t nextOffset = centralDir_.GetHeader(static_cast<std::uint16_t>(index + 1))->m_uOffset;
  const std::uint64_t fileLength = file.GetLength();
  // Entries are sorted by offset and the directory is already cut off, so the old space lies
  // between the two local headers and the data ends with the file.
  if (nextOffset < oldOffset || base + nextOffset > fileLength) ThrowArchiveError(errBadArchive);
  const std::uint64_t space = nextOffset - oldOffset;
  if (neededBytes == space) return;
  const bool growing = neededBytes > space;
  const std::uint64_t distance = growing ? neededBytes - space : space - neededBytes;
  const std::uint64_t archiveLength = fileLength - base;

  CZipActionCallback* callback = GetCallback(cbReplaceMove);
  if (callback != nullptr) {
    const std::string archivePath = GetArchivePath();
    callback->Begin(name.c_str(), archivePath.c_str());
    callback->SetTotal(static_cast<std::uint32_t>(archiveLength - nextOffset));
  }
  try {
    if (growing) {
      file.SetLength(fileLength + distance);
      MoveData(nextOffset, archiveLength, distance, callback, true);
    } else {
      MoveData(nextOffset, archiveLength, distance, callback, false);
      file.SetLength(fileLength - distance);
    }
  } catch (...) {
    if (callback != nullptr) callback->End();
    throw;
  }
  file.Seek(static_cast<std::int64_t>(oldPosition), CZipAbstractFile::begin);
  for (std::uint16_t i = static_cast<std::uint16_t>(index + 1); i < centralDir_.GetCount(); ++i) {
    CZipFileHeader* header = centralDir_.GetHeader(i);
    header->m_uOffset = growing ? header->m_uOffset + distance : header->m_uOffset - distance;
  }
  if (callback != nullptr) callback->End();
}

void CZipArchive::MoveData(std::uint64_t start, std::uint64_t end, std::uint64_t distance, CZipActionCallback* callback,
                           bool towardsEnd) {
  if (end <= start || distance == 0) return;
  if (!towardsEnd && distance > start) ThrowArchiveError(errInternal);
  // Moving is pure copying inside one file: pieces of 1 MiB (or the archive's I/O buffer when it is
  // larger) make a move of 70 MB some 280 system calls instead of 4300 with 64 KiB pieces.
  CZipAutoBuffer buffer(std::max<std::uint32_t>(kMovePiece, info_.bufferSize > 0 ? info_.bufferSize : 1));
  CZipAbstractFile& file = *storage_.m_pFile;
  const std::uint64_t base = centralDir_.m_uBytesBeforeZip;
  // [low, high) is what remains to be moved, as file positions. Moving towards the end takes
  // pieces from the back of the range and moving towards the start from the front, so a piece
  // is always written over bytes that have already been read.
  std::uint64_t low = base + start;
  std::uint64_t high = base + end;
  while (low < high) {
    const auto piece = static_cast<std::uint32_t>(std::min<std::uint64_t>(buffer.GetSize(), high - low));
    const std::uint64_t from = towardsEnd ? high - piece : low;
    file.Seek(static_cast<std::int64_t>(from), CZipAbstractFile::begin);
    const std::uint32_t got = file.Read(buffer.data(), piece);
    if (got == 0) break;
    // A short read from the back of the range would leave a hole in the middle of it.
    if (towardsEnd && got != piece) break;
    file.Seek(static_cast<std::int64_t>(towardsEnd ? from + distance : from - distance), CZipAbstractFile::begin);
    file.Write(buffer.data(), got);
    if (towardsEnd) {
      high -= got;
    } else {
      low += got;
    }
    if (callback != nullptr && !callback->Step(got)) ThrowArchiveError(errActionAborted);
  }
  if (low < high) ThrowArchiveError(errInternal);
}
