// ZipStorage.h -- the archive's byte stream: buffered reads and writes over a file, a memory file or split volumes.
#pragma once

#include <cstdint>
#include <string>

#include "engine/ZipAbstractFile.h"
#include "engine/ZipAutoBuffer.h"
#include "engine/ZipFile.h"
#include "engine/ZipMemFile.h"

/// Every read and write of archive bytes goes through this object. It owns a write buffer and
/// moves from one volume to the next when reading or writing crosses a volume's end.
///
/// Split archives: all volumes lie in one folder and share the archive's title; they carry the
/// extensions z01, z02, ... (z100 onwards when read) and the last one the archive's extension.
/// A new split archive begins with the 4-byte span signature 0x08074B50. Spanning over removable
/// disks needs a disk-change callback that this system does not have and is refused (103).
///
/// Seeking and length queries are made by callers directly on `m_pFile`, after `StorageFlush`.
class CZipStorage {
public:
  /// Open modes, with the archive's values.
  static constexpr int OpenExisting = 0;
  static constexpr int OpenReadOnly = 1;
  static constexpr int CreateNew = 2;
  static constexpr int CreateSpanned = 3;

  /// `m_iSpanMode` values.
  static constexpr int NotSpanned = 0;
  static constexpr int RemovableSpanned = 1;  ///< never usable here
  static constexpr int SplitSpanned = 2;
  static constexpr int ExistingUnknown = 3;   ///< existing archive, kind not yet known
  static constexpr int ExistingSplit = 4;     ///< existing archive opened with a volume size

  static constexpr int DefaultWriteBufferSize = 65536;

  CZipStorage();
  ~CZipStorage();
  CZipStorage(const CZipStorage&) = delete;
  CZipStorage& operator=(const CZipStorage&) = delete;

  /// Opens `path` in `mode` (see the constants above). `CreateNew` creates or truncates it;
  /// `CreateSpanned` with `volumeSize` > 0 creates the first split volume (`path` with the
  /// extension z01) and puts the span signature into the buffer, with `volumeSize` <= 0 it
  /// throws `CZipException` 103 with an empty name. `OpenExisting`/`OpenReadOnly` open an
  /// existing file; the span kind is settled later by `AdoptSpanInfo`. File errors throw
  /// `CZipFileException`.
  void StorageOpen(const std::string& path, int mode, int volumeSize);

  /// Uses the caller's memory file, which must outlive the storage's use of it. `CreateNew`
  /// empties it; any other mode reads it from its beginning.
  void StorageOpenMemory(CZipMemFile& memoryFile, int mode);

  /// Reads `count` bytes. Returns `count`; 0 for a count of 0. Throws 101 when the data ends
  /// before `count` bytes, unless a split archive continues on its next volume (never for a
  /// `whole` record, which must not straddle volumes).
  std::uint32_t StorageRead(void* buffer, std::uint32_t count, bool whole);

  /// Writes `count` bytes through the write buffer. On a split archive a `whole` record goes
  /// entirely onto one volume (starting a new one when it does not fit the current one); other
  /// bytes fill each volume to its last byte.
  void StorageWrite(const void* buffer, std::uint32_t count, bool whole);

  /// Writes the buffered bytes to the current file.
  void StorageFlush();

  /// Closes the storage. Unless `afterError`, flushes and, for a new split archive, renames the
  /// last volume to its final name. Returns the final path of the archive file ("" for memory).
  std::string StorageClose(bool afterError);

  /// Starts a new volume unless `count` bytes fit on the current one. An empty volume takes a
  /// record larger than the volume size whole.
  void EnsureVolumeSpace(std::uint32_t count);

  /// Bytes that still fit on the current volume of a split archive being written.
  std::uint32_t VolumeFreeSpace() const;

  /// Flushes and moves to the next volume of a new split archive, named from `path` (or the
  /// current file's path when null). Throws 108 when that would be the 100th volume.
  void NextVolume(std::uint32_t bytesNeeded, const std::string* path = nullptr);

  /// Moves reading to volume `volume` (0-based) of an existing split archive.
  void ChangeVolume(int volume);

  /// Settles the span kind of an existing archive from the end record's volume number: 0 is an
  /// ordinary archive, anything else a split archive whose last volume it names.
  void AdoptSpanInfo(int lastVolume);

  /// After the directory of a new split archive is written: names the last volume, reopens it
  /// for reading, and makes a one-volume archive an ordinary one.
  void ReopenAfterWrite();

  /// The name of the next volume to write (`last` false: extension "z%02d"/"z%03d" from the
  /// volume number current + 1) or the last volume's (`last`: the archive extension), built from
  /// `path` or the current file's path.
  std::string SplitVolumeName(bool last, const std::string* path = nullptr) const;

  /// Renames the current (last) volume of a new split archive to its final name, replacing a
  /// file of that name (113, 114 on failure). Returns the new name.
  std::string RenameLastSplitVolume();

  /// True for any span mode other than `NotSpanned`.
  bool IsSpanned() const { return m_iSpanMode != NotSpanned; }
  /// True while a new split archive is being written.
  bool IsNewSpanned() const { return m_bNewSpan; }
  /// True for an existing archive found to span volumes.
  bool IsExistingSpanned() const { return IsSpanned() && !m_bNewSpan; }
  /// True when the storage has a current file that is open.
  bool IsOpen() const;
  /// Path of the current file ("" when none or a memory file).
  std::string GetFilePath() const;
  /// Current volume (0-based), -1 when closed.
  int GetCurrentVolume() const { return m_iCurrentVolume; }
  /// Bytes waiting in the write buffer.
  std::uint32_t GetBytesInWriteBuffer() const { return m_uBytesInWriteBuffer; }
  /// Size of the write buffer.
  std::uint32_t GetWriteBufferSize() const { return m_pWriteBuffer.GetSize(); }
  /// The buffered bytes (for rewriting them in place before they are flushed).
  char* GetWriteBufferData() { return m_pWriteBuffer.GetBuffer(); }
  /// Drops the last `count` buffered bytes (at most the bytes in the buffer).
  void DropBufferedBytes(std::uint32_t count);
  /// Puts `count` bytes over the buffered bytes meant for offset `position` of the current
  /// file, when all of them are still in the buffer; false, changing nothing, when any has
  /// already gone to the file. Lets a local header get its final CRC and sizes without a seek
  /// back and a second write.
  bool RewriteBuffered(std::uint64_t position, const void* bytes, std::uint32_t count);

  int m_iWriteBufferSize = DefaultWriteBufferSize;  ///< size of the write buffer to allocate
  CZipFile m_internalfile;                 ///< the disk file, unless a memory file is used
  CZipAbstractFile* m_pFile = nullptr;     ///< current file: internal file or caller's memory file
  int m_iSpanMode = NotSpanned;
  /// Creating a split archive: the size of each volume; reading one: the last volume (0-based).
  int m_iVolumeSize = 0;
  std::string m_szArchiveExtension = "zip";  ///< extension of the last split volume
  std::uint32_t m_uBytesInWriteBuffer = 0;
  std::uint32_t m_uCurrentVolSize = 0;     ///< free on volume: the volume size while writing
  CZipAutoBuffer m_pWriteBuffer;
  std::uint32_t m_uBytesWritten = 0;       ///< bytes on the current volume (spanning only)
  bool m_bNewSpan = false;                 ///< creating a split archive
  int m_iCurrentVolume = -1;
  bool m_bInMemory = false;
  bool m_bReadOnly = false;

private:
  void WriteInternalBuffer(const char* buffer, std::uint32_t count);
  void OpenVolumeForReading(const std::string& name);
  std::uint32_t ReadFromFile(char* buffer, std::uint32_t count);
};
