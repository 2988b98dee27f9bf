// ZipArchiveDelete.cpp -- CZipArchive::DeleteEntries: removing entries in place and closing the gaps.
#include "engine/ZipArchive.h"

#include "engine/ZipException.h"
#include "engine/ZipIoBufferLease.h"

#include <algorithm>
#include <optional>
#include <string>

namespace {

/// Every this many entries the scan reports a step (and may be stopped).
constexpr std::uint32_t ScanStep = 256;

/// Ends a callback's action on every way out of a scope.
class ActionEnd {
public:
  explicit ActionEnd(CZipActionCallback* callback) : callback_(callback) {}
  ~ActionEnd() {
    if (callback_ != nullptr) callback_->End();
  }
  ActionEnd(const ActionEnd&) = delete;
  ActionEnd& operator=(const ActionEnd&) = delete;

private:
  CZipActionCallback* callback_;
};

}  // namespace

void CZipArchive::CheckCutInsideFile(std::uint64_t position, const char* what) {
  // Every length a delete gives the file comes from the archive's own offsets: one past the end
  // of the file would grow it (to 4 GiB for an offset near the limit) instead of cutting it.
  storage_.StorageFlush();
  const std::uint64_t length = storage_.m_pFile->GetLength();
  if (position <= length) return;
  ThrowZipError(errBadArchive, GetArchivePath(),
                std::string(what) + " is at file position " + std::to_string(position) + ", past the end of the " +
                    std::to_string(length) + "-byte file");
}

void CZipArchive::DeleteEntries(std::vector<std::uint16_t>& indexes) {
  // Deleting rewrites the file in place: a volume of a split archive cannot be rewritten, and a
  // read-only file not at all.
  if (!archiveOpen_ || storage_.IsSpanned() || storage_.m_bReadOnly || entryState_ != 0) return;

  CZipActionCallback* scan = GetCallback(cbDeleteScan);
  if (scan != nullptr) scan->Begin(nullptr, nullptr);
  std::optional<ActionEnd> scanEnd(std::in_place, scan);
  if (indexes.empty()) return;

  // A repeated index deletes its entry once and an index past the end names nothing; both are
  // dropped here, or a list such as {0, 0, 7} for three entries would count as "all entries".
  std::sort(indexes.begin(), indexes.end());
  const std::uint16_t count = centralDir_.GetCount();
  std::vector<std::uint16_t> targets;
  targets.reserve(indexes.size());
  for (std::uint16_t index : indexes) {
    if (index < count && (targets.empty() || targets.back() != index)) targets.push_back(index);
  }
  if (targets.empty()) return;

  const std::uint64_t base = centralDir_.m_uBytesBeforeZip;
  if (targets.size() == count) {
    scanEnd.reset();
    CZipActionCallback* move = GetCallback(cbDeleteMove);
    if (move != nullptr) {
      move->Begin(nullptr, nullptr);
      move->SetTotal(count);
    }
    ActionEnd moveEnd(move);
    // Only what lies in front of the first entry remains: the bytes before the archive, and a
    // self-extractor stub that a tool counted into the offsets (zip -A) as well.
    const std::uint64_t firstEntry = centralDir_.GetHeader(0)->m_uOffset;
    CheckCutInsideFile(base + firstEntry, "the first entry's local header offset");
    centralDir_.PrepareToAppend();
    storage_.m_pFile->SetLength(base + firstEntry);
    storage_.m_pFile->SeekToEnd();
    centralDir_.m_pOpenedFile = nullptr;
    centralDir_.m_findarray.clear();
    centralDir_.m_headers.clear();
    centralDir_.m_bOnDisk = false;
    if (autoWrite_) WriteDirectoryNow();
    return;
  }

  // The working list runs from the first entry to delete to the last entry of the archive:
  // nothing in front of the first deleted entry moves.
  if (scan != nullptr) scan->SetTotal(count);
  std::vector<CZipDeleteInfo> work;
  work.reserve(count - targets.front());
  std::size_t nextTarget = 0;
  for (std::uint32_t i = targets.front(); i < count; ++i) {
    const bool remove = nextTarget < targets.size() && targets[nextTarget] == i;
    if (remove) ++nextTarget;
    work.push_back({centralDir_.GetHeader(static_cast<std::uint16_t>(i)), remove});
    if (i != targets.front() && i % ScanStep == 0 && scan != nullptr && !scan->Step(ScanStep)) {
      ThrowArchiveError(errActionAbortedSafely);
    }
  }
  scanEnd.reset();

  // Where each entry starts and where the data ends, taken before anything changes: a deleted
  // header is gone once it is removed, and a list that is not in file order is refused while
  // the file is still untouched.
  storage_.StorageFlush();
  const std::uint64_t dataEnd = centralDir_.m_bOnDisk ? std::uint64_t{centralDir_.m_info.m_uOffset}
                                                      : storage_.m_pFile->GetLength() - base;
  std::vector<std::uint64_t> starts;
  starts.reserve(work.size() + 1);
  for (const CZipDeleteInfo& item : work) starts.push_back(item.header->m_uOffset);
  starts.push_back(dataEnd);
  for (std::size_t i = 0; i + 1 < starts.size(); ++i) {
    if (starts[i + 1] < starts[i]) ThrowArchiveError(errBadArchive);
  }
  CheckCutInsideFile(base + dataEnd, "the end of the entries' data");
  std::uint64_t bytesToMove = 0;
  for (std::size_t i = 0; i < work.size(); ++i) {
    if (!work[i].deleteFlag) bytesToMove += starts[i + 1] - starts[i];
  }

  CZipActionCallback* move = GetCallback(cbDeleteMove);
  if (move != nullptr) move->Begin(nullptr, nullptr);
  ActionEnd moveEnd(move);
  centralDir_.PrepareToAppend();
  if (move != nullptr) move->SetTotal(static_cast<std::uint32_t>(bytesToMove));

  // Kept entries between two deleted ones form one block, moved towards the start by the bytes
  // deleted in front of it, front to back: each byte behind the first deleted entry moves once.
  ZipIoBufferLease buffer(info_.buffer, info_.bufferSize);
  std::uint64_t shift = 0;
  std::optional<std::uint64_t> blockStart;
  for (std::size_t i = 0; i < work.size(); ++i) {
    CZipDeleteInfo& item = work[i];
    if (!item.deleteFlag) {
      if (!blockStart) blockStart = starts[i];
      item.header->m_uOffset = starts[i] - shift;
      continue;
    }
    centralDir_.RemoveHeader(item.header, -1, true);
    item.header = nullptr;
    if (blockStart) {
      MoveData(*blockStart, starts[i], shift, move, false);
      blockStart.reset();
    }
    shift += starts[i + 1] - starts[i];
  }
  if (blockStart) {
    MoveData(*blockStart, dataEnd, shift, move, false);
  }
  if (shift != 0) storage_.m_pFile->SetLength(base + dataEnd - shift);
  storage_.m_pFile->SeekToEnd();
  centralDir_.m_bOnDisk = false;
  if (autoWrite_) WriteDirectoryNow();
}
