// RecordsArchiveBuilder.h -- ZIP records written field by field for tests of the record readers.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace brevik::test {

/// Little-endian bytes appended field by field; each call names the field it writes at its site.
class RecordBytes {
public:
  RecordBytes& U16(std::uint16_t value);
  RecordBytes& U32(std::uint32_t value);
  RecordBytes& U64(std::uint64_t value);
  RecordBytes& Text(const std::string& bytes);
  const std::string& str() const { return bytes_; }
  std::size_t size() const { return bytes_.size(); }

private:
  std::string bytes_;
};

/// One stored entry of a test archive.
struct RecordsEntry {
  std::string name;             ///< name bytes as stored
  std::string data;             ///< stored (method 0) data
  std::uint16_t flags = 0;      ///< general-purpose flags of both headers
  std::uint16_t hostSystem = 3; ///< high byte of version made by
  std::uint32_t externalAttributes = 0x81A40000u;
  std::uint16_t modTime = 0x6000;  ///< 12:00:00
  std::uint16_t modDate = 0x5A21;  ///< 2025-01-01
  std::string localExtra;
  std::string centralExtra;
  std::string comment;
};

/// A stored entry with `name` and `data`, the given flags and host system, the rest default.
RecordsEntry StoredEntry(std::string name, std::string data, std::uint16_t flags = 0, std::uint16_t hostSystem = 3);

/// A whole archive of stored entries, assembled from its records.
struct RecordsArchive {
  std::string bytes;                      ///< the file
  std::vector<std::uint32_t> localOffsets;   ///< where each local header starts (file positions)
  std::vector<std::uint32_t> centralOffsets; ///< where each central header starts (file positions)
  std::uint32_t directoryOffset = 0;      ///< file position of the first central header
  std::uint32_t endRecordOffset = 0;      ///< file position of the end record
};

/// Builds `stub`, then each entry's local header and data, then the central headers in the
/// order `centralOrder` gives (entry indexes; empty means entry order), then the end record with
/// `comment`. Offsets in the records count from the end of the stub, as a self-extractor has them.
RecordsArchive BuildStoredArchive(const std::vector<RecordsEntry>& entries, const std::string& comment = {},
                                  const std::string& stub = {}, std::vector<std::size_t> centralOrder = {});

/// CRC-32 of `bytes` (zlib).
std::uint32_t RecordsCrc(const std::string& bytes);

/// Overwrites the little-endian field of `width` bytes at `offset` in `bytes` with `value`.
void PatchLE(std::string& bytes, std::size_t offset, std::uint64_t value, std::size_t width);

}  // namespace brevik::test
