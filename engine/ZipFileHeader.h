// ZipFileHeader.h -- one archive entry: its central record, local header and data descriptor.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

#include "engine/ZipAutoBuffer.h"
#include "engine/ZipConstants.h"
#include "engine/ZipZip64Field.h"

class CZipStorage;

/// The last DOS date and time turned into a `time_t`. The entries of one archive mostly share
/// their times, and every `mktime` asks the system for the time zone file again (a `stat` per
/// extracted file), so a reader of many entries keeps one of these.
struct ZipEntryTimeMemo {
  std::uint32_t dosDateTime = 0;  ///< date << 16 | time of `time`
  std::time_t time = 0;
  bool known = false;
};

/// One archive entry: the fields of its central directory record with its name, extra field and
/// comment. It reads and writes its own central record and local header, checks a local header
/// against itself, builds the 12 bytes of CRC and sizes of a data descriptor, and converts the
/// entry's time, attributes and name between the archive form and the host form.
///
/// Central directory file header (ZIP application note 4.3.12), 46 bytes + variable parts:
///
///   | Off | Size | Field                        | member             |
///   |-----|------|------------------------------|--------------------|
///   |   0 |   4  | central file header signature| m_uSignature       |
///   |   4 |   2  | version made by              | m_uVersionMadeBy   |
///   |   6 |   2  | version needed to extract    | m_uVersionNeeded   |
///   |   8 |   2  | general purpose bit flag     | m_uFlag            |
///   |  10 |   2  | compression method           | m_uMethod          |
///   |  12 |   2  | last mod file time           | m_uModTime         |
///   |  14 |   2  | last mod file date           | m_uModDate         |
///   |  16 |   4  | crc-32                       | m_uCrc32           |
///   |  20 |   4  | compressed size              | m_uComprSize       |
///   |  24 |   4  | uncompressed size            | m_uUncomprSize     |
///   |  28 |   2  | file name length (n)         | name size          |
///   |  30 |   2  | extra field length (e)       | m_pExtraField size |
///   |  32 |   2  | file comment length (c)      | m_pszComment size  |
///   |  34 |   2  | disk number start            | m_uDiskStart       |
///   |  36 |   2  | internal file attributes     | m_uInternalAttr    |
///   |  38 |   4  | external file attributes     | m_uExternalAttr    |
///   |  42 |   4  | relative offset of local hdr | m_uOffset          |
///   |  46 |   n  | file name                    |                    |
///   |46+n |   e  | extra field                  |                    |
///   |46+n+e| c   | file comment                 |                    |
///
/// Local file header (4.3.7), 30 bytes + variable parts:
///
///   | Off | Size | Field                      |
///   |-----|------|----------------------------|
///   |   0 |   4  | local file header signature|
///   |   4 |   2  | version needed to extract  |
///   |   6 |   2  | general purpose bit flag   |
///   |   8 |   2  | compression method         |
///   |  10 |   2  | last mod file time         |
///   |  12 |   2  | last mod file date         |
///   |  14 |   4  | crc-32                     |
///   |  18 |   4  | compressed size            |
///   |  22 |   4  | uncompressed size          |
///   |  26 |   2  | file name length (n)       |
///   |  28 |   2  | extra field length (e)     |
///   |  30 |   n  | file name                  |
///   |30+n |   e  | extra field                |
///
/// Data descriptor (4.3.9): optional signature 0x08074B50, crc-32 (4), compressed size (4),
/// uncompressed size (4); 8 bytes each for the sizes after a local header with a ZIP64 block.
///
/// ZIP64: the sizes and the local header offset are held as 64-bit values. Read, a field holding
/// the placeholder 0xFFFFFFFF (0xFFFF for the disk) takes its value from the 0x0001 extra block
/// (`TakeZip64Values`); written, a value of 0xFFFFFFFF or more goes there and its field holds the
/// placeholder (`CentralZip64Fields`, `ZipZip64Field.h`).
///
/// Names: `m_pszFileName` holds the name in the form the caller last converted it to. An entry
/// read from an archive remembers the exact bytes it was read with, and converting it back to the
/// archive form restores those bytes (and its flags are never touched), as long as its host-form
/// name has not been changed. A new entry's archive form is computed from its host form by the
/// rules of `ConvertName`. Every size computed from the name counts the archive-form bytes.
///
/// Memory: an archive's directory holds one of these per entry, so the object has no virtual
/// table and keeps the name as read in one block beside the name buffer (see `m_recordedNames`).
class CZipFileHeader final {
public:
  /// A new entry: method 8, every number 0, empty buffers, the central signature.
  CZipFileHeader();
  ~CZipFileHeader();
  CZipFileHeader(const CZipFileHeader& other);
  CZipFileHeader& operator=(const CZipFileHeader& other);

  /// Reads a central header at the storage's position (the fixed part as one whole record, then
  /// each variable part as a whole record). False for a wrong signature, or when the variable
  /// parts are not on the fixed part's volume. The name stays in archive form. Short reads throw
  /// `CZipException` 101 from the storage.
  bool ReadCentralHeader(CZipStorage& storage);

  /// Writes the central header, with the name in its archive form (whatever form the buffer is
  /// in), as one whole record. Returns the bytes written: 46 + n + e + c.
  std::uint32_t WriteCentralHeader(CZipStorage& storage);

  /// Reads a local header at the storage's position and checks it against this header: a wrong
  /// signature, another method, or (without flag bit 3) other CRC or sizes return false. When the low four flag bits differ, the local flags replace these. On
  /// success `extraLength` is the local extra field's length, the storage is positioned at that
  /// extra field (the local name is skipped), and true is returned.
  bool ReadLocalHeader(CZipStorage& storage, std::uint16_t& extraLength);

  /// Checks a local header already in memory against this header by the rules of
  /// `ReadLocalHeader` (and replaces the flags the same way): `record` holds its 30 fixed bytes,
  /// `extra` its whole extra field of the length the record gives, or null when the data ends
  /// before that field does. A missing extra field fails only where the check needs it.
  bool CheckLocalHeader(const char* record, const char* extra);

  /// The whole size (46 + n + e + c) of the central header whose 46 fixed bytes are `record`.
  static std::uint32_t CentralHeaderSize(const char* record);

  /// Takes a central header from `record`, which holds all of its `CentralHeaderSize` bytes
  /// (a directory read through one buffer). False for a wrong signature. The name stays in
  /// archive form.
  bool ReadCentralHeader(const char* record);

  /// Writes the local header (name in archive form, extra field from `m_pExtraField`) as one
  /// whole record, releases the extra field (it belongs to the local header only), and records
  /// the storage's current volume and the header's offset in `m_uDiskStart` and `m_uOffset`.
  void WriteLocalHeader(CZipStorage& storage);

  /// Prepares a new entry for writing: signature, version fields, flags for the deflate level
  /// class, data descriptor (when spanning or encrypted) and encryption, CRC and sizes reset
  /// (compressed size 12 when encrypted). Level 0 means stored; a method other than 0 or 8
  /// becomes 8. Returns false when the archive-form name, the extra field or the comment is
  /// longer than 65535 bytes.
  bool PrepareForAdding(int level, bool spanning, bool encrypted);

  /// True when `bytes` (12 bytes) hold this header's CRC-32, compressed and uncompressed size
  /// (never for sizes of 4 GiB or more, which 4 bytes cannot hold).
  bool CheckCrcAndSizes(const char* bytes) const;
  /// Writes CRC-32, compressed size, uncompressed size (12 bytes, little-endian) to `bytes`; a
  /// size of 0xFFFFFFFF or more is written as the ZIP64 placeholder 0xFFFFFFFF.
  void WriteCrcAndSizes(char* bytes) const;
  /// Writes the ZIP64 form of a data descriptor's fields (4.3.9.2): CRC-32 (4), compressed and
  /// uncompressed size (8 each), 20 bytes.
  void WriteZip64CrcAndSizes(char* bytes) const;

  /// Takes the values of the fields that hold a ZIP64 placeholder (sizes and offset 0xFFFFFFFF,
  /// disk 0xFFFF) from the central extra field's 0x0001 block. A placeholder without a block is
  /// kept as the value it is (writers before ZIP64 could store 0xFFFFFFFF). Returns an empty
  /// text, or what is wrong: a block too short for the placeholders, a disk number past 65535.
  std::string TakeZip64Values();
  /// The fields whose values do not fit the central header's own fields and go into its ZIP64
  /// extra field when it is written.
  Zip64Field::Presence CentralZip64Fields() const;
  /// True when the local extra field of a new entry carries a ZIP64 block: its local header then
  /// holds placeholders for both sizes, and its data descriptor, if any, has 8-byte sizes.
  bool LocalZip64() const;
  /// Gives a new entry's local extra field a ZIP64 block holding both sizes (those known now; a
  /// new entry's are patched in after its data), first in the field so that it sits at a known
  /// place (`LocalZip64SizesOffset`), and the version needed to extract it.
  void AddLocalZip64Field(std::uint64_t uncompressed = 0, std::uint64_t compressed = 0);
  /// Where the 16 bytes of sizes of the local ZIP64 block start, from the local header's start.
  std::uint32_t LocalZip64SizesOffset() const;

  /// 30 + n + e for the local header, 46 + n + e + c for the central one, where n is the length
  /// of the archive-form name, e the extra field as it is written (the central one with the
  /// ZIP64 block the entry's values need and no other) and c the comment.
  std::uint32_t HeaderSize(bool local) const;

  /// The modification time as a `time_t` (local time); -1 when the DOS fields cannot be.
  std::time_t EntryTime() const;
  /// The same, answered from `memo` when it holds this date and time, else kept there.
  std::time_t EntryTime(ZipEntryTimeMemo& memo) const;
  /// Sets the DOS time and date from `t` (local time). Years before 1980 store year bits 0.
  void SetEntryTime(std::time_t t);

  /// The host system code from the high byte of version made by.
  int EntrySystem() const { return m_uVersionMadeBy >> 8; }
  /// Sets the high byte of version made by.
  void SetEntrySystem(int system);

  /// The entry's attributes in this host's form (see `CZipPlatform`'s attribute conversion);
  /// default file or directory attributes when the entry's system is not supported or the
  /// attributes are 0 for a name ending in a separator. May throw `CZipException` 115.
  std::uint32_t EntryAttributes() const;
  /// Stores host attributes, converted to the entry's host system. May throw 115.
  void SetEntryAttributes(std::uint32_t hostAttributes);
  /// True when the entry's attributes mark a directory.
  bool IsDirectoryEntry() const;

  /// Converts the name buffer between its archive form and its host form (UTF-8).
  /// Towards the host: flag bit 11 means UTF-8; host systems 0, 6, 10, 11 mean CP437 (when
  /// `useOem`) and "\" is their separator, turned into "/"; other hosts keep the bytes.
  /// Towards the archive: the bytes the entry was read with, when its name is unchanged;
  /// otherwise a DOS-family entry is stored in CP437 with "/" separators, or as UTF-8 with flag
  /// bit 11 when CP437 cannot represent it; any other entry keeps its UTF-8 bytes and gets bit 11
  /// when the name is non-ASCII. Converting to the form the buffer already has does nothing.
  void ConvertName(bool toHost, bool useOem = true);

  /// Replaces the name with `name`'s bytes (host form, no terminator). Returns true.
  bool SetEntryName(const std::string& name);
  /// The name buffer's bytes as they stand.
  std::string GetFileName() const;
  /// The name as it is or will be stored in the archive.
  std::string ArchiveName() const;
  /// True while the name buffer holds the archive form.
  bool NameInArchiveForm() const { return m_nameInArchiveForm; }

  /// The data of the first block with header id `headerId` in the extra field `extra`, with its
  /// size in `dataSize`; null when there is none or the blocks run past the field's end.
  static const char* FindExtraBlock(const CZipAutoBuffer& extra, std::uint16_t headerId, std::uint16_t& dataSize);

  /// True when the entry is encrypted (flag bit 0).
  bool IsEncrypted() const { return (m_uFlag & ZipFormat::Flag::Encrypted) != 0; }
  /// The flags an entry is read with, given those of its central and its local header: the
  /// local header's when the two disagree in bits 0 to 3 (encryption, method options, data
  /// descriptor), which describe the data that follows that header. Every reader of the entry's
  /// data (the entry open, the decode-ahead window) decides with this one rule.
  static std::uint16_t FlagsInEffect(std::uint16_t centralFlags, std::uint16_t localFlags) {
    return (localFlags & ZipFormat::Flag::LocalOverrideMask) != (centralFlags & ZipFormat::Flag::LocalOverrideMask)
               ? localFlags
               : centralFlags;
  }
  /// True when CRC and sizes follow the data (flag bit 3).
  bool IsDataDescriptor() const { return (m_uFlag & ZipFormat::Flag::DataDescriptor) != 0; }

  std::uint32_t m_uSignature;      ///< central header signature as read
  std::uint16_t m_uVersionMadeBy;  ///< low byte version, high byte host system
  std::uint16_t m_uVersionNeeded;
  std::uint16_t m_uFlag;           ///< general-purpose bit flag
  std::uint16_t m_uMethod;         ///< 0 stored, 8 deflated
  std::uint16_t m_uModTime;        ///< DOS time
  std::uint16_t m_uModDate;        ///< DOS date
  std::uint32_t m_uCrc32;
  std::uint64_t m_uComprSize;      ///< includes a 12-byte encryption header
  std::uint64_t m_uUncomprSize;
  std::uint16_t m_uDiskStart;      ///< 0-based volume of the local header
  std::uint16_t m_uInternalAttr;
  std::uint32_t m_uExternalAttr;   ///< in the form of the entry's host system
  std::uint64_t m_uOffset;         ///< local header offset on its volume, from the archive start
  CZipAutoBuffer m_pExtraField;    ///< central extra field as read; local one for a new entry
  CZipAutoBuffer m_pszFileName;    ///< the name, see `ConvertName`
  CZipAutoBuffer m_pszComment;     ///< the entry comment

private:
  void ReadFixedCentralPart(const char* record);
  bool LocalFixedPartMatches(const char* record);
  bool LocalSizesAgree(const char* record) const;
  bool MayHoldZip64Sizes(const char* record) const;
  bool Zip64SizesMatch(const char* record, const char* extra) const;
  std::uint32_t ArchiveNameSize() const;
  /// The central extra field as written: the one read, without a 0x0001 block, and with the
  /// block `CentralZip64Fields` asks for.
  std::string CentralExtraToWrite() const;
  std::uint32_t CentralExtraSize() const;
  /// The archive-form name without a copy where one is at hand, else encoded into `scratch`.
  std::string_view ArchiveNameIn(std::string& scratch) const;
  std::string_view RecordedArchiveName() const;
  std::string_view RecordedHostName() const;
  void RecordNames(std::string_view archiveName, std::string_view hostName);
  /// True while the record gives the archive form of the current name: the name is still the
  /// recorded host form, and a form this object encoded was made for the current entry system.
  bool RecordedNameApplies() const;

  // The name bytes as read from the archive (or as last encoded), followed by the host form
  // they give when that differs from them (an empty host part means "the same bytes", which
  // is the common case and keeps one copy). While the host-form name equals that host form,
  // the archive bytes are what is written. Valid while `m_archiveNameKnown`.
  CZipAutoBuffer m_recordedNames;
  std::uint32_t m_recordedArchiveSize = 0;  ///< bytes of `m_recordedNames` that are the archive form
  bool m_archiveNameKnown = false;
  bool m_nameInArchiveForm = false;
  /// 0 when the record holds the name as read; else 1 + the entry system it was encoded for
  /// (another system may encode the same name differently, "\\" and CP437 being DOS rules).
  std::uint16_t m_recordEncodedFor = 0;
};
