// ZipCentralDir.h -- the central directory: the entries' headers, the end record, name look-up.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/ZipAutoBuffer.h"
#include "engine/ZipConstants.h"
#include "engine/ZipFileHeader.h"

class CZipStorage;
class CZipActionCallback;

/// One element of the array sorted by name: the header and its entry index.
struct CZipFindFast {
  CZipFileHeader* m_pHeader = nullptr;
  std::uint16_t m_uIndex = 0;
};

/// The archive's entries (one `CZipFileHeader` each, index = position in local-header order),
/// the end of central directory record and the archive comment. Finds and reads the directory
/// when an archive is opened, positions the storage on an entry's data for reading, finishes
/// entries after writing, and writes the directory and end record when the archive is saved.
///
/// End of central directory record (ZIP application note 4.3.16), 22 bytes + comment:
///
///   | Off | Size | Field                                     | member              |
///   |-----|------|-------------------------------------------|---------------------|
///   |   0 |   4  | end of central dir signature 0x06054B50   |                     |
///   |   4 |   2  | number of this disk                       | m_uThisVolume       |
///   |   6 |   2  | disk where the central directory starts   | m_uStartVolume      |
///   |   8 |   2  | central directory entries on this disk    | m_uVolumeEntriesNo  |
///   |  10 |   2  | total central directory entries           | m_uEntriesNumber    |
///   |  12 |   4  | size of the central directory             | m_uSize             |
///   |  16 |   4  | offset of the central directory start     | m_uOffset           |
///   |  20 |   2  | .ZIP file comment length (c)              | comment size        |
///   |  22 |   c  | .ZIP file comment                         | m_pszComment        |
///
/// ZIP64 end of central directory locator (4.3.15), 20 bytes: signature 0x07064B50, disk of the
/// ZIP64 record (4), its relative offset (8), total disks (4). ZIP64 end record (4.3.14):
/// signature 0x06064B50, size of the remaining record (8), versions (2+2), this disk (4), start
/// disk (4), entries on this disk (8), total entries (8), directory size (8), directory offset
/// (8). Read: a field of the end record that holds its placeholder (0xFFFF, 0xFFFFFFFF) takes the
/// ZIP64 record's value. Written (record, locator, end record as one whole record) only when
/// the directory's size or offset reaches 0xFFFFFFFF, and then only those fields hold the
/// placeholder; the entry count never needs it, being at most 65535.
///
/// Offsets in headers and in the end record count from the start of the archive data; a file
/// position is such an offset plus `m_uBytesBeforeZip`.
class CZipCentralDir {
public:
  /// The end record's numbers.
  struct EndRecord {
    std::uint16_t m_uThisVolume = 0;
    std::uint16_t m_uStartVolume = 0;
    std::uint16_t m_uVolumeEntriesNo = 0;
    std::uint16_t m_uEntriesNumber = 0;
    std::uint64_t m_uSize = 0;    ///< size of the central directory in bytes
    std::uint64_t m_uOffset = 0;  ///< offset of the directory on its starting volume
  };

  /// Progress steps while the directory is written: one after the first header, then one per
  /// this many headers, then the remainder.
  static constexpr std::uint32_t ProgressStep = 256;
  /// Chunk size of the backward search for the end record.
  static constexpr std::uint32_t SearchBufferSize = 32768;

  /// A directory reading and writing through `storage`, which must outlive it.
  explicit CZipCentralDir(CZipStorage* storage);
  ~CZipCentralDir();
  CZipCentralDir(const CZipCentralDir&) = delete;
  CZipCentralDir& operator=(const CZipCentralDir&) = delete;

  /// Deletes all headers, both arrays and the comment; resets the end record and the state.
  void Clear();

  /// Finds the end record in the current file (the last volume), settles the span kind, reads
  /// the comment and every central header. Throws 116 when there is no end record in the final
  /// 65557 bytes, 101 for any structural fault (see the checks in the implementation).
  void ReadCentralDir();

  /// The file position of the end record nearest the end of the file; throws 116 when the
  /// final 65557 bytes hold none, 101 on a short read.
  std::uint64_t LocateEndRecord();

  /// Writes the central directory and the end record unless they are already on disk, reporting
  /// progress to `callback` (may be null). A new split archive that fits its first volume is
  /// turned into an ordinary one. A stop asked by the callback throws 106 (file cut back to the
  /// directory offset: nothing is lost) or 105.
  void WriteCentralDir(CZipActionCallback* callback);

  /// Makes entry `index` the current one: moves the storage to its local header, checks it,
  /// reads the local extra field, and leaves the storage at the entry data. Throws 101 when the
  /// local header does not match or its extra field crosses a volume.
  void OpenEntryHeader(std::uint16_t index);

  /// Ends reading the current entry. Unless `afterError`, reads and checks a data descriptor
  /// (its signature optional; the ZIP64 form after a ZIP64 local header), throwing 101 when it
  /// disagrees with the header; with `crcProven` (the whole data was read with the header's
  /// sizes and matched its CRC) only a different CRC is a disagreement. `following`, when not
  /// null, holds `followingCount` archive bytes that come right after the entry's data, already
  /// read: the descriptor is then taken from them (they must hold at least `DescriptorReadSize`
  /// bytes) and the file is not touched.
  void CloseEntryHeader(bool afterError, const char* following = nullptr, std::uint32_t followingCount = 0,
                        bool crcProven = false);

  /// The most bytes a data descriptor is looked for in: the signature and the ZIP64 form.
  static constexpr std::uint32_t DescriptorReadSize = ZipFormat::SignatureSize + ZipFormat::DataDescriptor::Zip64Size;

  /// Adds a copy of `templ` as a new entry (appended, or in place of entry `replaceIndex` when
  /// that is a valid index), cuts off an old directory still in the file, and positions the file
  /// where the local header goes. Returns the new header, now the current one.
  CZipFileHeader* AddHeader(const CZipFileHeader& templ, int replaceIndex = -1);

  /// Finishes the current new entry after its data: writes CRC and sizes as a data descriptor
  /// (flag bit 3) or into its local header, and clears the current header.
  /// `localZip64`: the entry's local header carries a ZIP64 block (`CZipFileHeader::LocalZip64`),
  /// which then takes the sizes, as does an 8-byte descriptor. Without it, sizes of 4 GiB or more
  /// have no place to go: throws `EFBIG` (with the entry and its sizes) rather than write wrong ones.
  void FinishNewEntry(bool localZip64 = false);

  /// Removes and deletes `header` (found by pointer when `index` is -1). With `shift`, later
  /// indexes in the find-fast array move down by one.
  void RemoveHeader(CZipFileHeader* header, int index = -1, bool shift = true);

  /// Builds the array sorted by host-form name with the given case rule.
  void BuildFindFast(bool caseSensitive);

  /// The index of the entry called `name`, or -1. `sporadic` asks for a linear scan rather than
  /// re-sorting when the case rule differs from the array's; `nameOnly` compares only the file
  /// name part of each stored name.
  int FindByName(const std::string& name, bool caseSensitive, bool sporadic, bool nameOnly);

  /// Before new data is written after the existing entries: cuts off the directory in the file.
  void PrepareToAppend();

  /// Writes the end record and the comment as one whole record; returns its length.
  std::uint32_t WriteEndRecord();

  /// Rewrites a one-volume split archive in place as an ordinary archive: drops the span
  /// signature and the data descriptors of unencrypted entries, puts CRC and sizes into the
  /// local headers. Works on the write buffer (`inBuffer`) or on the flushed file. False when
  /// the file cannot be rewritten.
  bool ConvertToPlainArchive(bool inBuffer);

  /// Refuses entry `index` (101, with a detail naming it, its neighbour and the offsets) when
  /// `spanBytes` from its local header offset (its local header and packed data) run past the
  /// start of what follows it in the file: the next entry on its volume, or the directory when it
  /// is the last entry before a directory that is on disk. Entries whose data overlap are the
  /// stuff of decompression bombs that expand one stretch of bytes once per entry
  /// (CVE-2019-13232); no writer produces them.
  void CheckEntryBounds(std::uint16_t index, std::uint64_t spanBytes) const;

  /// Number of entries.
  std::uint16_t GetCount() const { return static_cast<std::uint16_t>(m_headers.size()); }
  /// Entry `index` (no range check beyond the vector's).
  CZipFileHeader* GetHeader(std::uint16_t index) const { return m_headers.at(index).get(); }
  /// Index of `header`, or -1.
  int FindIndex(const CZipFileHeader* header) const;

  CZipAutoBuffer m_pszComment;          ///< the archive comment
  CZipAutoBuffer m_pLocalExtraField;    ///< local extra field of the entry open for reading
  CZipFileHeader* m_pOpenedFile = nullptr;  ///< entry being read or written; null otherwise
  CZipStorage* m_pStorage;
  std::uint32_t m_iBufferSize = SearchBufferSize;
  std::vector<std::unique_ptr<CZipFileHeader>> m_headers;  ///< owned; index = entry index
  bool m_bConvertAfterOpen = true;      ///< names are held in host form
  bool m_bOemConversion = true;         ///< DOS-family names are CP437 in the archive
  std::vector<CZipFindFast> m_findarray;
  bool m_bFindFastEnabled = false;
  bool m_bCaseSensitive = false;        ///< the rule `m_findarray` is sorted by
  std::uint64_t m_uEndRecordPosition = 0;  ///< file position of the end record
  std::uint32_t m_uBytesBeforeZip = 0;  ///< bytes in the file before the archive data
  EndRecord m_info;
  bool m_bOnDisk = false;               ///< the directory in the file is current

private:
  /// Takes the values of the ZIP64 end record (its 56 fixed bytes at `record`) for the end
  /// record's fields that hold a placeholder; throws 101 for more than 65535 entries.
  void TakeZip64EndRecord(const char* record);
  void ReadAllHeaders();
  /// `CheckEntryBounds` for every entry with the least it occupies whatever its local extra
  /// field holds: the 30 fixed bytes, the name and the packed data. No file access.
  void CheckAllEntryBounds() const;
  void ReadLocalHeaderByParts(CZipFileHeader& header);
  /// Reads and checks the local header at file `position`; returns its whole size (30 + n + e).
  std::uint32_t ReadLocalHeaderAtOnce(CZipFileHeader& header, std::uint64_t position);
  void WriteAllHeaders(CZipActionCallback* callback, bool oneVolume);
  /// Writes the 12 bytes of CRC and sizes at file offset `position` (in a local header): into the
  /// write buffer while they are still there, else through a seek back.
  void PatchLocalHeader(std::uint64_t position, const char* bytes, std::uint32_t count = ZipFormat::DataDescriptor::Size);
  /// Puts the final CRC and sizes into the local header of `header` (a new entry whose offset
  /// is still a file position), in its ZIP64 block when `localZip64`.
  void PatchLocalSizes(const CZipFileHeader& header, bool localZip64);
  /// Takes the ZIP64 values of a central header just read; throws 101 naming the entry when
  /// its ZIP64 field is damaged.
  void TakeZip64Values(CZipFileHeader& header) const;
  void InsertFindFastElement(CZipFileHeader* header, std::uint16_t index);
  int FindFastPosition(const std::string& name, bool caseSensitive) const;
  [[noreturn]] void ThrowError(int code) const;
  bool m_bLocalZip64 = false;  ///< the open entry's local header carries a ZIP64 extra field
  std::vector<char> m_localHeaderBuffer;  ///< reused for each local header read in one piece
};
