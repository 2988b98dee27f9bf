// ZipRecovery.h -- finding the finished entries of an archive from its local headers, and a new directory for them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class CZipAbstractFile;

/// An entry found whole: its local header's fields, with the CRC and sizes that its data (or
/// data descriptor) proved.
struct ZipRecoveredEntry {
  std::string name;               ///< the name bytes as the local header stores them
  std::uint64_t offset = 0;       ///< file position of the local header
  std::uint64_t end = 0;          ///< file position just past its data and data descriptor
  std::uint16_t versionNeeded = 0;
  std::uint16_t flags = 0;
  std::uint16_t method = 0;
  std::uint16_t modTime = 0;
  std::uint16_t modDate = 0;
  std::uint32_t crc = 0;
  std::uint32_t compressedSize = 0;
  std::uint32_t uncompressedSize = 0;
};

/// A local header whose entry was not kept, and why.
struct ZipDroppedEntry {
  std::string name;          ///< the name bytes, or empty when the header ends before its name
  std::uint64_t offset = 0;  ///< file position of the local header
  std::string reason;
};

/// What a scan found, in file order.
struct ZipRecoveryScan {
  std::vector<ZipRecoveredEntry> kept;
  std::vector<ZipDroppedEntry> dropped;
};

/// Reads `file` from its start for local headers (ZIP application note 4.3.7), as Info-ZIP's
/// `zip -FF` does, whatever central directory the file has. An entry is kept when all of it is
/// in the file and proves finished: its data decodes to the CRC-32 and size it names (an
/// encrypted entry, which cannot be decoded without its password, when its data fits and its
/// data descriptor, if it announces one, matches), and its data descriptor is there when flag
/// bit 3 announces one. Sizes a streaming writer left as 0 are found from the deflate stream's
/// end or from the data descriptor that follows the data. An entry identical to one kept before
/// it (a copy left by a move that was stopped) is dropped as such. Every other local header is
/// dropped with its reason. Throws the file's errors only.
ZipRecoveryScan ScanForEntries(CZipAbstractFile& file);

/// Writes, at the end of `file`, a central directory naming `scan.kept` at their offsets and an
/// end record, so that every reader finds those entries. Nothing already in the file is changed:
/// what the scan dropped stays where it was, bytes that no entry claims. Entries past the format's
/// 65535 or a directory past 4 GiB throw `CZipException` 101 with a detail, before anything is
/// written. The names are stored as found; each entry says it was made on Unix (host system 3)
/// with mode 0644 (0755 for a name ending in "/") unless its name is not UTF-8, when it says
/// DOS, whose names are CP437.
void WriteRecoveredDirectory(CZipAbstractFile& file, const ZipRecoveryScan& scan);
