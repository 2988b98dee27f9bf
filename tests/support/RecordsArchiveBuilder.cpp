// RecordsArchiveBuilder.cpp -- assembling test archives from local headers, central headers and the end record.
#include "support/RecordsArchiveBuilder.h"

#include <numeric>
#include <stdexcept>

#include <zlib.h>

namespace brevik::test {

RecordBytes& RecordBytes::U16(std::uint16_t value) {
  for (int i = 0; i < 2; ++i) bytes_.push_back(static_cast<char>(value >> (8 * i)));
  return *this;
}
RecordBytes& RecordBytes::U32(std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes_.push_back(static_cast<char>(value >> (8 * i)));
  return *this;
}
RecordBytes& RecordBytes::U64(std::uint64_t value) {
  for (int i = 0; i < 8; ++i) bytes_.push_back(static_cast<char>(value >> (8 * i)));
  return *this;
}
RecordBytes& RecordBytes::Text(const std::string& bytes) {
  bytes_ += bytes;
  return *this;
}

std::uint32_t RecordsCrc(const std::string& bytes) {
  return static_cast<std::uint32_t>(
      crc32(0, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size())));
}

void PatchLE(std::string& bytes, std::size_t offset, std::uint64_t value, std::size_t width) {
  if (offset + width > bytes.size()) throw std::out_of_range("PatchLE past the end");
  for (std::size_t i = 0; i < width; ++i) bytes[offset + i] = static_cast<char>(value >> (8 * i));
}

RecordsEntry StoredEntry(std::string name, std::string data, std::uint16_t flags, std::uint16_t hostSystem) {
  RecordsEntry entry;
  entry.name = std::move(name);
  entry.data = std::move(data);
  entry.flags = flags;
  entry.hostSystem = hostSystem;
  return entry;
}

RecordsArchive BuildStoredArchive(const std::vector<RecordsEntry>& entries, const std::string& comment,
                                  const std::string& stub, std::vector<std::size_t> centralOrder) {
  RecordsArchive archive;
  RecordBytes out;
  out.Text(stub);
  const auto base = static_cast<std::uint32_t>(stub.size());
  for (const RecordsEntry& entry : entries) {
    archive.localOffsets.push_back(static_cast<std::uint32_t>(out.size()));
    out.U32(0x04034B50)                                   // local file header signature
        .U16(20)                                          // version needed to extract
        .U16(entry.flags)                                 // general purpose bit flag
        .U16(0)                                           // compression method: stored
        .U16(entry.modTime)                               // last mod file time
        .U16(entry.modDate)                               // last mod file date
        .U32(RecordsCrc(entry.data))                      // crc-32
        .U32(static_cast<std::uint32_t>(entry.data.size()))  // compressed size
        .U32(static_cast<std::uint32_t>(entry.data.size()))  // uncompressed size
        .U16(static_cast<std::uint16_t>(entry.name.size()))  // file name length
        .U16(static_cast<std::uint16_t>(entry.localExtra.size()))  // extra field length
        .Text(entry.name)                                 // file name
        .Text(entry.localExtra)                           // extra field
        .Text(entry.data);                                // file data
  }
  if (centralOrder.empty()) {
    centralOrder.resize(entries.size());
    std::iota(centralOrder.begin(), centralOrder.end(), std::size_t{0});
  }
  archive.directoryOffset = static_cast<std::uint32_t>(out.size());
  archive.centralOffsets.resize(entries.size());
  for (const std::size_t i : centralOrder) {
    const RecordsEntry& entry = entries[i];
    archive.centralOffsets[i] = static_cast<std::uint32_t>(out.size());
    out.U32(0x02014B50)                                   // central file header signature
        .U16(static_cast<std::uint16_t>(entry.hostSystem << 8 | 20))  // version made by
        .U16(20)                                          // version needed to extract
        .U16(entry.flags)                                 // general purpose bit flag
        .U16(0)                                           // compression method: stored
        .U16(entry.modTime)                               // last mod file time
        .U16(entry.modDate)                               // last mod file date
        .U32(RecordsCrc(entry.data))                      // crc-32
        .U32(static_cast<std::uint32_t>(entry.data.size()))  // compressed size
        .U32(static_cast<std::uint32_t>(entry.data.size()))  // uncompressed size
        .U16(static_cast<std::uint16_t>(entry.name.size()))  // file name length
        .U16(static_cast<std::uint16_t>(entry.centralExtra.size()))  // extra field length
        .U16(static_cast<std::uint16_t>(entry.comment.size()))  // file comment length
        .U16(0)                                           // disk number start
        .U16(0)                                           // internal file attributes
        .U32(entry.externalAttributes)                    // external file attributes
        .U32(archive.localOffsets[i] - base)              // relative offset of local header
        .Text(entry.name)
        .Text(entry.centralExtra)
        .Text(entry.comment);
  }
  archive.endRecordOffset = static_cast<std::uint32_t>(out.size());
  const auto count = static_cast<std::uint16_t>(entries.size());
  out.U32(0x06054B50)                                     // end of central dir signature
      .U16(0)                                             // number of this disk
      .U16(0)                                             // disk where the central directory starts
      .U16(count)                                         // entries on this disk
      .U16(count)                                         // total entries
      .U32(archive.endRecordOffset - archive.directoryOffset)  // size of the central directory
      .U32(archive.directoryOffset - base)                // offset of the central directory
      .U16(static_cast<std::uint16_t>(comment.size()))    // comment length
      .Text(comment);
  archive.bytes = out.str();
  return archive;
}

}  // namespace brevik::test
