// ArchiveCloser.h -- makes sure an operation's archive is closed on every way out of it.
#pragma once

#include "engine/ZipArchive.h"

/// Guards one operation's `CZipArchive`: whatever path leaves the operation, the archive ends
/// closed, so no file handle, lock or temporary file outlives the call. Never throws.
class ArchiveCloser {
public:
  explicit ArchiveCloser(CZipArchive& archive) noexcept : archive_(archive) {}
  /// Releases an archive still open without writing anything more.
  ~ArchiveCloser() { CloseAfterError(); }
  ArchiveCloser(const ArchiveCloser&) = delete;
  ArchiveCloser& operator=(const ArchiveCloser&) = delete;

  /// After an engine error while writing: abandons the open entry, cuts it off when
  /// `abandonedEntryIsLast` (its header would otherwise keep the sizes it had when opened, and
  /// its data would be half written), and writes the directory of the finished entries. Only
  /// when that fails too is the archive released without a directory.
  void RecoverFinishedEntries(bool abandonedEntryIsLast) noexcept {
    try {
      archive_.CloseEntryForWriting(true);
      if (abandonedEntryIsLast) archive_.RemoveLastEntry(true);
      archive_.Close(CZipArchive::CloseNormal);
    } catch (...) {
    }
    CloseAfterError();
  }

  /// Abandons an entry left open for reading by an error, so that the next entry can be opened.
  void AbandonEntryRead() noexcept {
    try {
      archive_.CloseEntryForReading(nullptr, true);
    } catch (...) {
    }
  }

  /// Releases the archive if it is still open, writing nothing.
  void CloseAfterError() noexcept {
    try {
      archive_.Close(CZipArchive::CloseAfterError);
    } catch (...) {
    }
  }

private:
  CZipArchive& archive_;
};
