// ZipCentralDir.cpp -- finding, reading and writing the central directory and its end record.
#include "engine/ZipCentralDir.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
#include <vector>

#include "engine/ZipActionCallback.h"
#include "engine/ZipConstants.h"
#include "engine/ZipEndian.h"
#include "engine/ZipException.h"
#include "engine/ZipStorage.h"

namespace ER = ZipFormat::EndRecord;
namespace Z64L = ZipFormat::Zip64Locator;
namespace Z64E = ZipFormat::Zip64EndRecord;
namespace DD = ZipFormat::DataDescriptor;

namespace {

namespace CH = ZipFormat::CentralHeader;
namespace LH = ZipFormat::LocalHeader;

// Reads exactly `count` bytes at file position `position`; false on a short read.
bool ReadAt(CZipAbstractFile& file, std::uint64_t position, char* buffer, std::uint32_t count) {
  file.Seek(static_cast<std::int64_t>(position), CZipAbstractFile::begin);
  return file.Read(buffer, count) == count;
}

// Info-ZIP's extended timestamp extra field ("UT", header id 0x5455): a flags byte, then one
// 4-byte time for each of its bits 0 (modification), 1 (access) and 2 (creation). The central
// copy of the field holds at most the modification time, the local one every time flagged.
constexpr std::uint16_t kExtendedTimestampId = 0x5455;

// How many bytes longer than the central extra field `centralExtra` the local one is expected
// to be: the times only an Info-ZIP local header carries. A guess, for reading the local header
// in one piece; 0 when the field is not there.
std::uint32_t LocalTimestampGrowth(const CZipAutoBuffer& centralExtra) {
  std::uint16_t size = 0;
  const char* block = CZipFileHeader::FindExtraBlock(centralExtra, kExtendedTimestampId, size);
  if (block == nullptr || size == 0) return 0;
  const unsigned flags = static_cast<unsigned char>(block[0]) & 0x07u;
  const std::uint32_t localSize = 1 + 4 * static_cast<std::uint32_t>(std::popcount(flags));
  return localSize > size ? localSize - size : 0;
}

// The central directory of a one-volume archive read through one buffer: a few large reads
// instead of three small ones per header (the name, the extra field and the comment each were
// a system call of their own, and every call is a chance to be descheduled).
class DirectoryReader {
public:
  /// Reads from `file`, whose position is `start`, where a directory of `directorySize` bytes
  /// (as the end record says) begins.
  DirectoryReader(CZipAbstractFile& file, std::uint64_t start, std::uint64_t directorySize)
      : file_(file), start_(start), directoryLeft_(directorySize) {}

  /// Makes the next `count` bytes available at `Data()`; false when the file ends first.
  bool Ensure(std::uint32_t count) {
    if (end_ - begin_ >= count) return true;
    // The unread tail moves to the front; the buffer grows only for a header larger than it.
    std::copy(buffer_.data() + begin_, buffer_.data() + end_, buffer_.data());
    end_ -= begin_;
    begin_ = 0;
    // Read ahead to the declared end of the directory, no further: a directory that is as long
    // as it says is read without a single byte (or call) more. A damaged one that runs past its
    // size is still read as far as its headers go.
    const std::size_t target =
        std::max<std::size_t>(count, std::min<std::uint64_t>(kChunkBytes, end_ + directoryLeft_));
    if (buffer_.size() < target) buffer_.resize(target);
    const std::uint32_t got = file_.Read(buffer_.data() + end_, static_cast<std::uint32_t>(target - end_));
    end_ += got;
    directoryLeft_ -= std::min<std::uint64_t>(got, directoryLeft_);
    return end_ >= count;
  }

  /// True when a whole central header, signature first, starts at `Position()` and ends at or
  /// before file position `stop`.
  bool HoldsCentralRecord(std::uint64_t stop) {
    if (Position() + CH::Size > stop || !Ensure(CH::Size)) return false;
    if (ReadLE<std::uint32_t>(Data() + CH::Signature) != ZipFormat::CentralHeaderSignature) return false;
    return Position() + CZipFileHeader::CentralHeaderSize(Data()) <= stop;
  }

  /// The next unconsumed byte.
  const char* Data() const { return buffer_.data() + begin_; }
  /// Marks `count` available bytes as taken.
  void Consume(std::uint32_t count) {
    begin_ += count;
    consumed_ += count;
  }
  /// The file position just after the last byte taken.
  std::uint64_t Position() const { return start_ + consumed_; }
  /// True when the file itself is at `Position()`: nothing was read ahead beyond it.
  bool FileAtPosition() const { return begin_ == end_; }

private:
  static constexpr std::size_t kChunkBytes = 65536;
  CZipAbstractFile& file_;
  std::vector<char> buffer_;
  std::size_t begin_ = 0;  ///< first unconsumed byte in `buffer_`
  std::size_t end_ = 0;    ///< end of the bytes read into `buffer_`
  std::uint64_t start_;
  std::uint64_t consumed_ = 0;
  std::uint64_t directoryLeft_;  ///< declared directory bytes not yet read from the file
};

}  // namespace

CZipCentralDir::CZipCentralDir(CZipStorage* storage) : m_pStorage(storage) {}

CZipCentralDir::~CZipCentralDir() = default;

void CZipCentralDir::ThrowError(int code) const { ThrowZipError(code, m_pStorage->GetFilePath()); }

void CZipCentralDir::Clear() {
  m_pOpenedFile = nullptr;
  m_pLocalExtraField.Release();
  m_localHeaderBuffer.clear();
  m_localHeaderBuffer.shrink_to_fit();
  m_pszComment.Release();
  m_findarray.clear();
  m_headers.clear();
  m_bFindFastEnabled = false;
  m_info = EndRecord{};
  m_uEndRecordPosition = 0;
  m_uBytesBeforeZip = 0;
  m_bOnDisk = false;
  m_bLocalZip64 = false;
}

int CZipCentralDir::FindIndex(const CZipFileHeader* header) const {
  for (std::size_t i = 0; i < m_headers.size(); ++i)
    if (m_headers[i].get() == header) return static_cast<int>(i);
  return -1;
}

std::uint64_t CZipCentralDir::LocateEndRecord() {
  CZipAbstractFile& file = *m_pStorage->m_pFile;
  const std::uint64_t length = file.GetLength();
  const std::uint64_t window = std::min<std::uint64_t>(length, ER::SearchWindow);
  const std::uint64_t lowest = length - window;
  const std::uint32_t chunkCapacity = std::max<std::uint32_t>(m_iBufferSize, ZipFormat::SignatureSize);
  std::vector<char> chunk(chunkCapacity);
  char signature[ZipFormat::SignatureSize];
  WriteLE(signature, ZipFormat::EndRecordSignature);

  std::uint64_t chunkEnd = length;
  while (chunkEnd - lowest >= ZipFormat::SignatureSize) {
    const std::uint64_t chunkStart = std::max<std::uint64_t>(lowest, chunkEnd - std::min<std::uint64_t>(chunkEnd, chunkCapacity));
    const auto size = static_cast<std::uint32_t>(chunkEnd - chunkStart);
    file.Seek(-static_cast<std::int64_t>(length - chunkStart), CZipAbstractFile::end);
    if (file.Read(chunk.data(), size) != size) ThrowError(errBadArchive);
    for (std::uint32_t i = size - ZipFormat::SignatureSize + 1; i-- > 0;) {
      if (std::equal(signature, signature + ZipFormat::SignatureSize, chunk.data() + i)) return chunkStart + i;
    }
    if (chunkStart == lowest) break;
    // Overlap by three bytes, so that a signature across the chunk border is still seen.
    chunkEnd = chunkStart + ZipFormat::SignatureSize - 1;
  }
  ThrowError(errCentralDirNotFound);
}

void CZipCentralDir::ReadCentralDir() {
  CZipAbstractFile& file = *m_pStorage->m_pFile;
  const std::uint64_t position = LocateEndRecord();
  m_uEndRecordPosition = position;
  char record[ER::Size];
  if (!ReadAt(file, position, record, ER::Size)) ThrowError(errBadArchive);
  m_info.m_uThisVolume = ReadLE<std::uint16_t>(record + ER::ThisVolume);
  m_info.m_uStartVolume = ReadLE<std::uint16_t>(record + ER::StartVolume);
  m_info.m_uVolumeEntriesNo = ReadLE<std::uint16_t>(record + ER::HeadersOnVolume);
  m_info.m_uEntriesNumber = ReadLE<std::uint16_t>(record + ER::HeadersTotal);
  m_info.m_uSize = ReadLE<std::uint32_t>(record + ER::DirectorySize);
  m_info.m_uOffset = ReadLE<std::uint32_t>(record + ER::DirectoryOffset);
  const auto commentLength = ReadLE<std::uint16_t>(record + ER::CommentLength);
  m_pszComment.Release();
  if (commentLength != 0) {
    m_pszComment.Allocate(commentLength);
    if (file.Read(m_pszComment.GetBuffer(), commentLength) != commentLength) ThrowError(errBadArchive);
  }

  // A ZIP64 locator and end record before the end record belong to the directory's end (Info-ZIP
  // writes them when reading from a pipe, every writer past 4 GiB or 65535 entries), so the
  // directory ends where the ZIP64 record starts.
  std::uint64_t directoryEnd = position;
  bool zip64 = false;
  char zip64Record[Z64E::Size];
  if (position >= Z64L::Size + Z64E::Size) {
    char locator[Z64L::Size];
    if (ReadAt(file, position - Z64L::Size, locator, Z64L::Size) &&
        ReadLE<std::uint32_t>(locator + Z64L::Signature) == ZipFormat::Zip64LocatorSignature) {
      const std::uint64_t locatorPosition = position - Z64L::Size;
      // The record usually has no extensible data and sits right before the locator; otherwise
      // the locator's offset places it (exact when nothing precedes the archive).
      const std::uint64_t candidates[2] = {locatorPosition - Z64E::Size,
                                           ReadLE<std::uint64_t>(locator + Z64L::RecordOffset)};
      for (const std::uint64_t candidate : candidates) {
        if (candidate > locatorPosition - Z64E::Size) continue;
        if (!ReadAt(file, candidate, zip64Record, Z64E::Size)) continue;
        if (ReadLE<std::uint32_t>(zip64Record + Z64E::Signature) != ZipFormat::Zip64EndRecordSignature) continue;
        const auto recordSize = ReadLE<std::uint64_t>(zip64Record + Z64E::RecordSize);
        // Shorter than its fixed fields, the record would be read from the locator's bytes.
        if (recordSize < Z64E::Size - Z64E::LeadingSize || recordSize > locatorPosition ||
            candidate + Z64E::LeadingSize + recordSize != locatorPosition)
          continue;
        directoryEnd = candidate;
        zip64 = true;
        break;
      }
    }
  }
  if (zip64) TakeZip64EndRecord(zip64Record);

  m_pStorage->AdoptSpanInfo(m_info.m_uThisVolume);
  const std::uint64_t directoryStop = m_info.m_uOffset + m_info.m_uSize;
  if (!m_pStorage->IsSpanned()) {
    // 64-bit values from a ZIP64 record could wrap around when added up; neither can pass the
    // end record of a one-volume archive.
    if (m_info.m_uOffset > position || m_info.m_uSize > position) ThrowError(errBadArchive);
    if (directoryEnd < directoryStop) ThrowError(errBadArchive);
    const std::uint64_t before = directoryEnd - directoryStop;
    if (before > 0xFFFFFFFFull) ThrowError(errBadArchive);
    m_uBytesBeforeZip = static_cast<std::uint32_t>(before);
  } else {
    m_uBytesBeforeZip = 0;
  }
  // Entries without a directory to hold them are damage. The converse, a directory that the
  // count leaves empty, is read for what it holds (`ReadAllHeaders`).
  if (m_info.m_uSize == 0 && m_info.m_uEntriesNumber != 0) ThrowError(errBadArchive);
  m_bOnDisk = true;
  m_pStorage->ChangeVolume(m_info.m_uStartVolume);
  if (m_info.m_uSize != 0) ReadAllHeaders();
}

void CZipCentralDir::TakeZip64EndRecord(const char* record) {
  const auto thisVolume = ReadLE<std::uint32_t>(record + Z64E::ThisVolume);
  const auto startVolume = ReadLE<std::uint32_t>(record + Z64E::StartVolume);
  const auto volumeEntries = ReadLE<std::uint64_t>(record + Z64E::HeadersOnVolume);
  const auto entries = ReadLE<std::uint64_t>(record + Z64E::HeadersTotal);
  // The entry indexes of this engine are 16-bit: more entries cannot be reached.
  if (entries > ZipFormat::MaxEntries || volumeEntries > ZipFormat::MaxEntries)
    ThrowZipError(errBadArchive, m_pStorage->GetFilePath(),
                  "the ZIP64 end record counts " + std::to_string(std::max(entries, volumeEntries)) +
                      " entries, more than the " + std::to_string(ZipFormat::MaxEntries) + " this engine reads");
  if (m_info.m_uThisVolume == ER::Zip64Marker16 || m_info.m_uStartVolume == ER::Zip64Marker16) {
    if (thisVolume > ER::Zip64Marker16 || startVolume > ER::Zip64Marker16)
      ThrowZipError(errBadArchive, m_pStorage->GetFilePath(),
                    "the ZIP64 end record names volume " + std::to_string(std::max(thisVolume, startVolume)) +
                        ", past the last of " + std::to_string(ER::Zip64Marker16));
    if (m_info.m_uThisVolume == ER::Zip64Marker16) m_info.m_uThisVolume = static_cast<std::uint16_t>(thisVolume);
    if (m_info.m_uStartVolume == ER::Zip64Marker16) m_info.m_uStartVolume = static_cast<std::uint16_t>(startVolume);
  }
  if (m_info.m_uVolumeEntriesNo == ER::Zip64Marker16) m_info.m_uVolumeEntriesNo = static_cast<std::uint16_t>(volumeEntries);
  if (m_info.m_uEntriesNumber == ER::Zip64Marker16) m_info.m_uEntriesNumber = static_cast<std::uint16_t>(entries);
  if (m_info.m_uSize == ER::Zip64Marker32) m_info.m_uSize = ReadLE<std::uint64_t>(record + Z64E::DirectorySize);
  if (m_info.m_uOffset == ER::Zip64Marker32) m_info.m_uOffset = ReadLE<std::uint64_t>(record + Z64E::DirectoryOffset);
}

void CZipCentralDir::TakeZip64Values(CZipFileHeader& header) const {
  const std::string problem = header.TakeZip64Values();
  if (!problem.empty())
    ThrowZipError(errBadArchive, m_pStorage->GetFilePath(),
                  "the central header of '" + header.GetFileName() + "': " + problem);
}

void CZipCentralDir::ReadAllHeaders() {
  const std::uint64_t start = std::uint64_t{m_info.m_uOffset} + m_uBytesBeforeZip;
  CZipAbstractFile& file = *m_pStorage->m_pFile;
  file.Seek(static_cast<std::int64_t>(start), CZipAbstractFile::begin);
  m_pOpenedFile = nullptr;
  m_findarray.clear();
  m_headers.clear();
  m_headers.reserve(m_info.m_uEntriesNumber);
  if (m_pStorage->IsSpanned()) {
    // Headers may continue on the next volume; the storage knows how to follow them there.
    for (std::uint32_t i = 0; i < m_info.m_uEntriesNumber; ++i) {
      auto header = std::make_unique<CZipFileHeader>();
      if (!header->ReadCentralHeader(*m_pStorage)) ThrowError(errBadArchive);
      TakeZip64Values(*header);
      header->ConvertName(true, m_bOemConversion);
      m_headers.push_back(std::move(header));
    }
  } else {
    DirectoryReader reader(file, start, m_info.m_uSize);
    const std::uint64_t directoryStop = start + m_info.m_uSize;
    for (std::uint32_t i = 0;; ++i) {
      // Writers that counted wrong leave more records in the directory than the end record
      // counts: every whole record that the directory's size holds is an entry, as Python's
      // zipfile and libarchive read it. Past the count, anything else ends the directory.
      if (i >= m_info.m_uEntriesNumber && !reader.HoldsCentralRecord(directoryStop)) break;
      if (i >= ZipFormat::MaxEntries)
        ThrowZipError(errBadArchive, m_pStorage->GetFilePath(),
                      "the central directory holds more than " + std::to_string(ZipFormat::MaxEntries) + " entries");
      auto header = std::make_unique<CZipFileHeader>();
      if (!reader.Ensure(CH::Size)) ThrowError(errBadArchive);
      const std::uint32_t size = CZipFileHeader::CentralHeaderSize(reader.Data());
      if (!reader.Ensure(size) || !header->ReadCentralHeader(reader.Data())) ThrowError(errBadArchive);
      reader.Consume(size);
      TakeZip64Values(*header);
      // A one-volume archive has volume 0 only: another number in the field names nothing (as
      // Python's zipfile, the engine then ignores it). Kept, it would put the entry out of file
      // order, past the checks of where entries end and under a deletion that moves bytes by that order.
      header->m_uDiskStart = 0;
      header->ConvertName(true, m_bOemConversion);
      m_headers.push_back(std::move(header));
    }
    // Where reading header by header would have left the file.
    if (!reader.FileAtPosition()) file.Seek(static_cast<std::int64_t>(reader.Position()), CZipAbstractFile::begin);
  }
  // A directory size with no record in it.
  if (m_headers.empty()) ThrowError(errBadArchive);
  // Entry indexes follow the order of the local headers, whatever order the directory has.
  const auto localOrder = [](const auto& a, const auto& b) {
    if (a->m_uDiskStart != b->m_uDiskStart) return a->m_uDiskStart < b->m_uDiskStart;
    return a->m_uOffset < b->m_uOffset;
  };
  // Writers almost always keep that order: checking costs less than a sort and its buffer.
  if (!std::is_sorted(m_headers.begin(), m_headers.end(), localOrder))
    std::stable_sort(m_headers.begin(), m_headers.end(), localOrder);
  for (std::size_t i = 1; i < m_headers.size(); ++i) {
    if (m_headers[i]->m_uDiskStart == m_headers[i - 1]->m_uDiskStart &&
        m_headers[i]->m_uOffset == m_headers[i - 1]->m_uOffset) {
      m_headers.clear();
      ThrowZipError(errBadArchive);
    }
  }
  try {
    CheckAllEntryBounds();
  } catch (const CZipException&) {
    m_headers.clear();
    throw;
  }
  if (m_bFindFastEnabled) BuildFindFast(m_bCaseSensitive);
}

void CZipCentralDir::OpenEntryHeader(std::uint16_t index) {
  CZipFileHeader* header = m_headers.at(index).get();
  m_pOpenedFile = header;
  try {
    m_pStorage->ChangeVolume(header->m_uDiskStart);
    m_pStorage->m_pFile->Seek(static_cast<std::int64_t>(std::uint64_t{header->m_uOffset} + m_uBytesBeforeZip),
                              CZipAbstractFile::begin);
    if (m_pStorage->IsSpanned()) {
      ReadLocalHeaderByParts(*header);
    } else {
      const std::uint32_t localBytes =
          ReadLocalHeaderAtOnce(*header, std::uint64_t{header->m_uOffset} + m_uBytesBeforeZip);
      // Now with the local extra field as it is: a field that reaches into the next entry
      // quotes its header as well.
      CheckEntryBounds(index, std::uint64_t{localBytes} + header->m_uComprSize);
    }
    std::uint16_t zip64Size = 0;
    m_bLocalZip64 = CZipFileHeader::FindExtraBlock(m_pLocalExtraField, ZipFormat::ExtraField::Zip64Id, zip64Size) != nullptr;
  } catch (...) {
    m_pOpenedFile = nullptr;
    m_pLocalExtraField.Release();
    throw;
  }
}

void CZipCentralDir::ReadLocalHeaderByParts(CZipFileHeader& header) {
  std::uint16_t extraLength = 0;
  if (!header.ReadLocalHeader(*m_pStorage, extraLength)) ThrowError(errBadArchive);
  m_pLocalExtraField.Release();
  if (extraLength != 0) {
    const int volume = m_pStorage->GetCurrentVolume();
    m_pLocalExtraField.Allocate(extraLength);
    m_pStorage->StorageRead(m_pLocalExtraField.GetBuffer(), extraLength, true);
    if (m_pStorage->GetCurrentVolume() != volume) ThrowError(errBadArchive);
  }
}

std::uint32_t CZipCentralDir::ReadLocalHeaderAtOnce(CZipFileHeader& header, std::uint64_t position) {
  CZipAbstractFile& file = *m_pStorage->m_pFile;
  // Most writers give the local header the central header's name and extra field lengths (and
  // Info-ZIP a few bytes of times more): one read then takes the whole header and leaves the
  // file at the entry's data. Otherwise one more read takes the rest, or one seek steps back
  // from what was read too far.
  const std::uint32_t expected = header.HeaderSize(true) + LocalTimestampGrowth(header.m_pExtraField);
  if (m_localHeaderBuffer.size() < expected) m_localHeaderBuffer.resize(expected);
  std::uint32_t got = file.Read(m_localHeaderBuffer.data(), expected);
  if (got < LH::Size) ThrowError(errBadArchive);
  const std::uint16_t nameLength = ReadLE<std::uint16_t>(m_localHeaderBuffer.data() + LH::NameLength);
  const std::uint16_t extraLength = ReadLE<std::uint16_t>(m_localHeaderBuffer.data() + LH::ExtraLength);
  const std::uint32_t whole = LH::Size + std::uint32_t{nameLength} + extraLength;
  if (got == expected && got < whole) {
    m_localHeaderBuffer.resize(whole);
    got += file.Read(m_localHeaderBuffer.data() + got, whole - got);
  }
  const char* record = m_localHeaderBuffer.data();
  // Bytes that end before the extra field does are damage, but only where the field is needed:
  // the checks of the fixed part come first, as when the header is read field by field.
  const char* extra = got >= whole ? record + LH::Size + nameLength : nullptr;
  if (!header.CheckLocalHeader(record, extra)) ThrowError(errBadArchive);
  m_pLocalExtraField.Release();
  if (extraLength != 0) {
    if (extra == nullptr) ThrowError(errBadArchive);
    m_pLocalExtraField.Assign(extra, extraLength);
  }
  if (got != whole) file.Seek(static_cast<std::int64_t>(position + whole), CZipAbstractFile::begin);
  return whole;
}

void CZipCentralDir::CloseEntryHeader(bool afterError, const char* following, std::uint32_t followingCount,
                                      bool crcProven) {
  if (m_pOpenedFile == nullptr) return;
  CZipFileHeader* header = m_pOpenedFile;
  m_pOpenedFile = nullptr;
  m_pLocalExtraField.Release();
  if (afterError || !header->IsDataDescriptor()) return;
  // A ZIP64 local header announces a descriptor with 8-byte sizes (streaming writers).
  const std::uint32_t descriptorSize = m_bLocalZip64 ? DD::Zip64Size : DD::Size;
  char bytes[ZipFormat::SignatureSize + DD::Zip64Size];
  const char* descriptor = bytes;
  if (m_pStorage->IsSpanned()) {
    // The descriptor may continue on the next volume: the storage follows it there.
    m_pStorage->StorageRead(bytes, ZipFormat::SignatureSize, false);
    const bool signedDescriptor = ReadLE<std::uint32_t>(bytes) == ZipFormat::DataDescriptorSignature;
    // The signature is optional: without it the four bytes just read are the CRC.
    const std::uint32_t have = signedDescriptor ? 0 : ZipFormat::SignatureSize;
    m_pStorage->StorageRead(bytes + have, descriptorSize - have, false);
  } else {
    // One read for the signed form, which is the common one; four bytes too many for the
    // unsigned form are given back, so that the file is left right after the descriptor.
    const std::uint32_t wanted = ZipFormat::SignatureSize + descriptorSize;
    CZipAbstractFile& file = *m_pStorage->m_pFile;
    std::uint32_t got;
    if (following != nullptr && followingCount >= wanted) {
      std::memcpy(bytes, following, wanted);
      got = wanted;
    } else {
      following = nullptr;
      got = file.Read(bytes, wanted);
    }
    if (got < ZipFormat::SignatureSize) ThrowError(errBadArchive);
    const bool signedDescriptor = ReadLE<std::uint32_t>(bytes) == ZipFormat::DataDescriptorSignature;
    const std::uint32_t length = signedDescriptor ? ZipFormat::SignatureSize + descriptorSize : descriptorSize;
    if (got < length) ThrowError(errBadArchive);
    if (got > length && following == nullptr) file.Seek(-static_cast<std::int64_t>(got - length), CZipAbstractFile::current);
    if (signedDescriptor) descriptor = bytes + ZipFormat::SignatureSize;
  }
  bool matches;
  if (m_bLocalZip64) {
    matches = EqualLE(descriptor + DD::Crc, header->m_uCrc32, 4) &&
              EqualLE(descriptor + DD::Zip64CompressedSize, header->m_uComprSize, 8) &&
              EqualLE(descriptor + DD::Zip64UncompressedSize, header->m_uUncomprSize, 8);
  } else {
    matches = header->CheckCrcAndSizes(descriptor);
  }
  // Some writers put wrong sizes into the descriptor of a right entry. Data that was read with
  // the central header's sizes and gave its CRC proves those sizes; every other reader then
  // takes them, and so does this one. A descriptor with another CRC is damage all the same.
  if (!matches && !(crcProven && EqualLE(descriptor + DD::Crc, header->m_uCrc32, 4))) {
    const bool zip64 = m_bLocalZip64;
    const auto number = [&](std::uint32_t offset32, std::uint32_t offset64) {
      return std::to_string(zip64 ? ReadLE<std::uint64_t>(descriptor + offset64)
                                  : std::uint64_t{ReadLE<std::uint32_t>(descriptor + offset32)});
    };
    ThrowZipError(errBadArchive, m_pStorage->GetFilePath(),
                  "the data descriptor of '" + header->GetFileName() + "' (CRC " +
                      std::to_string(ReadLE<std::uint32_t>(descriptor + DD::Crc)) + ", sizes " +
                      number(DD::CompressedSize, DD::Zip64CompressedSize) + " and " +
                      number(DD::UncompressedSize, DD::Zip64UncompressedSize) +
                      ") disagrees with its central header (CRC " + std::to_string(header->m_uCrc32) + ", sizes " +
                      std::to_string(header->m_uComprSize) + " and " + std::to_string(header->m_uUncomprSize) + ")");
  }
}

CZipFileHeader* CZipCentralDir::AddHeader(const CZipFileHeader& templ, int replaceIndex) {
  auto owned = std::make_unique<CZipFileHeader>(templ);
  CZipFileHeader* header = owned.get();
  const bool replace = replaceIndex >= 0 && static_cast<std::size_t>(replaceIndex) < m_headers.size();
  std::uint64_t replacePosition = 0;
  std::uint16_t index;
  if (replace) {
    replacePosition = std::uint64_t{m_headers[replaceIndex]->m_uOffset} + m_uBytesBeforeZip;
    RemoveHeader(m_headers[replaceIndex].get(), replaceIndex, false);
    m_headers.insert(m_headers.begin() + replaceIndex, std::move(owned));
    index = static_cast<std::uint16_t>(replaceIndex);
  } else {
    m_headers.push_back(std::move(owned));
    index = static_cast<std::uint16_t>(m_headers.size() - 1);
  }
  m_pOpenedFile = header;
  if (m_bFindFastEnabled) InsertFindFastElement(header, index);
  CZipAbstractFile& file = *m_pStorage->m_pFile;
  if (m_bOnDisk) {
    // A directory just written may still sit in the write buffer; it must reach the file
    // before the file is cut, or it would land after the new data.
    m_pStorage->StorageFlush();
    file.SetLength(std::uint64_t{m_info.m_uOffset} + m_uBytesBeforeZip);
    m_bOnDisk = false;
  } else if (!replace && file.GetPosition() == file.GetLength()) {
    // Appending where the file already ends: bytes still buffered go there, and the new entry
    // after them, so neither a flush nor a seek is needed (both are free for a kept place).
    return header;
  } else {
    m_pStorage->StorageFlush();
  }
  if (replace)
    file.Seek(static_cast<std::int64_t>(replacePosition), CZipAbstractFile::begin);
  else
    file.SeekToEnd();
  return header;
}

void CZipCentralDir::FinishNewEntry(bool localZip64) {
  CZipFileHeader* header = m_pOpenedFile;
  if (header == nullptr) return;
  if (!localZip64 && (header->m_uComprSize >= ER::Zip64Marker32 || header->m_uUncomprSize >= ER::Zip64Marker32))
    ThrowZipError(EFBIG, m_pStorage->GetFilePath(),
                  "entry '" + header->GetFileName() + "' came to " + std::to_string(header->m_uUncomprSize) +
                      " bytes (" + std::to_string(header->m_uComprSize) +
                      " packed), past the 4 GiB its local header can hold without a ZIP64 field");
  const bool spanned = m_pStorage->IsSpanned();
  char bytes[ZipFormat::SignatureSize + DD::Zip64Size];
  if (header->IsDataDescriptor()) {
    // Split archives and encrypted entries get the signed form, which readers recognise best.
    const bool signedForm = spanned || header->IsEncrypted();
    char* fields = bytes;
    if (signedForm) {
      WriteLE(bytes, ZipFormat::DataDescriptorSignature);
      fields += ZipFormat::SignatureSize;
    }
    // After a ZIP64 local header readers expect 8-byte sizes (4.3.9.2).
    if (localZip64)
      header->WriteZip64CrcAndSizes(fields);
    else
      header->WriteCrcAndSizes(fields);
    const std::uint32_t size = static_cast<std::uint32_t>(fields - bytes) + (localZip64 ? DD::Zip64Size : DD::Size);
    m_pStorage->StorageWrite(bytes, size, true);
    // The local header of an encrypted entry carries the final values as well.
    if (!spanned && header->IsEncrypted()) PatchLocalSizes(*header, localZip64);
  } else {
    PatchLocalSizes(*header, localZip64);
  }
  header->m_uOffset -= m_uBytesBeforeZip;
  // Between entries nothing waits in the buffer: readers of the file and the cut after a failed
  // entry rely on every finished entry being in the file.
  if (!spanned) m_pStorage->StorageFlush();
  m_pOpenedFile = nullptr;
}

void CZipCentralDir::PatchLocalSizes(const CZipFileHeader& header, bool localZip64) {
  char bytes[DD::Size];
  if (!localZip64) {
    header.WriteCrcAndSizes(bytes);
    PatchLocalHeader(header.m_uOffset + ZipFormat::LocalHeader::Crc, bytes);
    return;
  }
  // The header's own size fields keep their placeholders; the block takes the sizes.
  WriteLE(bytes, header.m_uCrc32);
  PatchLocalHeader(header.m_uOffset + ZipFormat::LocalHeader::Crc, bytes, 4);
  char sizes[ZipFormat::ExtraField::Zip64LocalDataSize];
  WriteLE(sizes, header.m_uUncomprSize);
  WriteLE(sizes + 8, header.m_uComprSize);
  PatchLocalHeader(header.m_uOffset + header.LocalZip64SizesOffset(), sizes, sizeof sizes);
}

void CZipCentralDir::PatchLocalHeader(std::uint64_t position, const char* bytes, std::uint32_t count) {
  // Usually the whole entry of a small file is still in the write buffer.
  if (m_pStorage->RewriteBuffered(position, bytes, count)) return;
  m_pStorage->StorageFlush();
  CZipAbstractFile& file = *m_pStorage->m_pFile;
  const std::uint64_t end = file.GetPosition();
  file.Seek(static_cast<std::int64_t>(position), CZipAbstractFile::begin);
  m_pStorage->StorageWrite(bytes, count, true);
  if (count != DD::Size) {
    // A second patch of the same header may follow: come back to where the data ended.
    m_pStorage->StorageFlush();
    file.Seek(static_cast<std::int64_t>(end), CZipAbstractFile::begin);
  }
}

void CZipCentralDir::RemoveHeader(CZipFileHeader* header, int index, bool shift) {
  if (index < 0) index = FindIndex(header);
  if (index < 0 || static_cast<std::size_t>(index) >= m_headers.size()) return;
  header = m_headers[index].get();
  if (m_bFindFastEnabled) {
    const int position = FindFastPosition(header->GetFileName(), m_bCaseSensitive);
    // Equal names sit together: look for this very header among them.
    for (int i = std::max(position, 0); i < static_cast<int>(m_findarray.size()); ++i) {
      if (m_findarray[i].m_pHeader == header) {
        m_findarray.erase(m_findarray.begin() + i);
        break;
      }
    }
    if (shift)
      for (CZipFindFast& element : m_findarray)
        if (element.m_uIndex > index) --element.m_uIndex;
  }
  if (m_pOpenedFile == header) m_pOpenedFile = nullptr;
  m_headers.erase(m_headers.begin() + index);
}

void CZipCentralDir::PrepareToAppend() {
  if (m_bOnDisk) {
    // A directory just written may still sit in the write buffer; it must reach the file
    // before the file is cut, or it would land after the new data.
    m_pStorage->StorageFlush();
    m_pStorage->m_pFile->SetLength(std::uint64_t{m_info.m_uOffset} + m_uBytesBeforeZip);
    m_bOnDisk = false;
  } else {
    m_pStorage->StorageFlush();
  }
}

void CZipCentralDir::WriteCentralDir(CZipActionCallback* callback) {
  if (m_bOnDisk) return;
  CZipStorage& storage = *m_pStorage;
  const bool spanned = storage.IsSpanned();
  if (!spanned) {
    storage.StorageFlush();
    storage.m_pFile->SeekToEnd();
  }
  m_info.m_uEntriesNumber = GetCount();
  m_info.m_uSize = 0;
  bool converted = false;
  std::uint64_t needed = std::uint64_t{m_pszComment.GetSize()} + ER::Size;
  for (const auto& header : m_headers) needed += header->HeaderSize(false);
  const auto needed32 = static_cast<std::uint32_t>(std::min<std::uint64_t>(needed, 0xFFFFFFFFull));
  if (spanned) {
    if (storage.GetCurrentVolume() == 0) {
      // Turning the archive into an ordinary one drops the span signature and the signed
      // descriptor of every unencrypted entry.
      std::uint64_t freed = ZipFormat::SignatureSize;
      for (const auto& header : m_headers)
        if (header->IsDataDescriptor() && !header->IsEncrypted()) freed += DD::SignedSize;
      const std::uint64_t convertedSize = needed > freed ? needed - freed : 0;
      if (convertedSize <= storage.VolumeFreeSpace()) {
        converted = true;
        if (storage.m_uBytesWritten != 0 ||
            storage.GetWriteBufferSize() - storage.GetBytesInWriteBuffer() < convertedSize) {
          storage.StorageFlush();
          converted = ConvertToPlainArchive(false);
        } else {
          converted = ConvertToPlainArchive(true);
        }
      }
    }
    if (!converted) storage.EnsureVolumeSpace(needed32);
  }
  try {
    WriteAllHeaders(callback, converted || !spanned);
    m_info.m_uThisVolume = static_cast<std::uint16_t>(storage.GetCurrentVolume());
    const int volumeBefore = storage.GetCurrentVolume();
    const std::uint32_t recordSize = WriteEndRecord();
    if (converted && storage.GetCurrentVolume() != 0) ThrowError(errBadArchive);
    if (storage.GetCurrentVolume() != volumeBefore) {
      // The record went onto a volume of its own: it must name that volume.
      m_info.m_uThisVolume = static_cast<std::uint16_t>(storage.GetCurrentVolume());
      if (m_info.m_uEntriesNumber != 0) {
        m_info.m_uVolumeEntriesNo = 0;
      } else {
        m_info.m_uStartVolume = m_info.m_uThisVolume;
        m_info.m_uOffset = 0;
      }
      if (storage.GetBytesInWriteBuffer() >= recordSize) {
        storage.DropBufferedBytes(recordSize);
      } else {
        storage.StorageFlush();
        storage.m_uBytesWritten -= std::min(storage.m_uBytesWritten, recordSize);
        storage.m_pFile->Seek(0, CZipAbstractFile::begin);
      }
      WriteEndRecord();
    }
  } catch (...) {
    if (converted) {
      try {
        storage.ReopenAfterWrite();
      } catch (...) {
        // The first failure is the one to report.
      }
      m_info.m_uThisVolume = 0;
    }
    throw;
  }
  m_bOnDisk = true;
}

void CZipCentralDir::WriteAllHeaders(CZipActionCallback* callback, bool oneVolume) {
  CZipStorage& storage = *m_pStorage;
  m_info.m_uVolumeEntriesNo = 0;
  m_info.m_uStartVolume = static_cast<std::uint16_t>(storage.GetCurrentVolume());
  m_info.m_uOffset = storage.m_pFile->GetPosition() + storage.GetBytesInWriteBuffer() - m_uBytesBeforeZip;
  const std::uint32_t total = m_info.m_uEntriesNumber;
  if (total == 0) return;
  if (callback != nullptr) {
    const std::string path = storage.GetFilePath();
    callback->Begin(nullptr, path.c_str());
    callback->SetTotal(total);
  }
  bool stopped = false;
  int previousVolume = m_info.m_uStartVolume;
  std::uint32_t pendingSteps = 0;
  for (std::uint32_t i = 0; i < total && !stopped; ++i) {
    CZipFileHeader& header = *m_headers[i];
    m_info.m_uSize += header.WriteCentralHeader(storage);
    const int volume = storage.GetCurrentVolume();
    if (volume == previousVolume) {
      ++m_info.m_uVolumeEntriesNo;
    } else {
      m_info.m_uVolumeEntriesNo = 1;
      if (i == 0) {
        m_info.m_uStartVolume = static_cast<std::uint16_t>(volume);
        m_info.m_uOffset = 0;
      }
      previousVolume = volume;
    }
    if (callback == nullptr) continue;
    if (i == 0) {
      stopped = !callback->Step(1);
    } else if (++pendingSteps == ProgressStep) {
      pendingSteps = 0;
      stopped = !callback->Step(ProgressStep);
    }
    if (!stopped && i + 1 == total && pendingSteps != 0) stopped = !callback->Step(pendingSteps);
  }
  if (callback == nullptr) return;
  int error = 0;
  if (stopped) {
    if (oneVolume) {
      // Cut the file back to where the directory began: the archive lacks only its directory,
      // which the next save writes again.
      if (storage.IsSpanned())
        storage.StorageFlush();
      else
        storage.DropBufferedBytes(storage.GetBytesInWriteBuffer());
      storage.m_pFile->SetLength(std::uint64_t{m_info.m_uOffset} + m_uBytesBeforeZip);
      error = errActionAbortedSafely;
    } else {
      error = errActionAborted;
    }
  }
  callback->End();
  if (error != 0) ThrowError(error);
}

std::uint32_t CZipCentralDir::WriteEndRecord() {
  // A comment longer than the length field can say would make the record unreadable.
  const std::uint32_t commentLength = std::min<std::uint32_t>(m_pszComment.GetSize(), ER::MaxCommentLength);
  const bool sizeOverflows = m_info.m_uSize >= ER::Zip64Marker32;
  const bool offsetOverflows = m_info.m_uOffset >= ER::Zip64Marker32;
  const bool zip64 = sizeOverflows || offsetOverflows;
  const std::uint32_t zip64Size = zip64 ? Z64E::Size + Z64L::Size : 0;
  const std::uint32_t size = zip64Size + ER::Size + commentLength;
  std::vector<char> record(size);
  char* p = record.data();
  if (zip64) {
    // The locator gives the ZIP64 record's offset on its volume: the record must not move to
    // another volume after that offset is taken.
    if (m_pStorage->IsSpanned()) m_pStorage->EnsureVolumeSpace(size);
    const std::uint64_t recordOffset =
        m_pStorage->m_pFile->GetPosition() + m_pStorage->GetBytesInWriteBuffer() - m_uBytesBeforeZip;
    const auto volume = static_cast<std::uint32_t>(std::max(m_pStorage->GetCurrentVolume(), 0));
    WriteLE(p + Z64E::Signature, ZipFormat::Zip64EndRecordSignature);
    WriteLE(p + Z64E::RecordSize, std::uint64_t{Z64E::Size - Z64E::LeadingSize});
    WriteLE(p + Z64E::VersionMadeBy, ZipFormat::Version::NeededZip64);
    WriteLE(p + Z64E::VersionNeeded, ZipFormat::Version::NeededZip64);
    WriteLE(p + Z64E::ThisVolume, std::uint32_t{m_info.m_uThisVolume});
    WriteLE(p + Z64E::StartVolume, std::uint32_t{m_info.m_uStartVolume});
    WriteLE(p + Z64E::HeadersOnVolume, std::uint64_t{m_info.m_uVolumeEntriesNo});
    WriteLE(p + Z64E::HeadersTotal, std::uint64_t{m_info.m_uEntriesNumber});
    WriteLE(p + Z64E::DirectorySize, m_info.m_uSize);
    WriteLE(p + Z64E::DirectoryOffset, m_info.m_uOffset);
    char* locator = p + Z64E::Size;
    WriteLE(locator + Z64L::Signature, ZipFormat::Zip64LocatorSignature);
    WriteLE(locator + Z64L::RecordVolume, volume);
    WriteLE(locator + Z64L::RecordOffset, recordOffset);
    WriteLE(locator + Z64L::TotalVolumes, volume + 1);
    p += zip64Size;
  }
  WriteLE(p + ER::Signature, ZipFormat::EndRecordSignature);
  WriteLE(p + ER::ThisVolume, m_info.m_uThisVolume);
  WriteLE(p + ER::StartVolume, m_info.m_uStartVolume);
  WriteLE(p + ER::HeadersOnVolume, m_info.m_uVolumeEntriesNo);
  WriteLE(p + ER::HeadersTotal, m_info.m_uEntriesNumber);
  WriteLE(p + ER::DirectorySize, sizeOverflows ? ER::Zip64Marker32 : static_cast<std::uint32_t>(m_info.m_uSize));
  WriteLE(p + ER::DirectoryOffset, offsetOverflows ? ER::Zip64Marker32 : static_cast<std::uint32_t>(m_info.m_uOffset));
  WriteLE(p + ER::CommentLength, static_cast<std::uint16_t>(commentLength));
  if (commentLength != 0) std::copy_n(m_pszComment.GetBuffer(), commentLength, p + ER::Size);
  m_pStorage->StorageWrite(record.data(), size, true);
  return size;
}
