// ZipFileHeader.cpp -- reading, writing and checking an entry's central header, local header and descriptor.
#include "engine/ZipFileHeader.h"

#include "engine/ZipAes.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "engine/ZipEndian.h"
#include "engine/ZipEntryName.h"
#include "engine/ZipException.h"
#include "engine/ZipPlatform.h"
#include "engine/ZipStorage.h"

namespace CH = ZipFormat::CentralHeader;
namespace LH = ZipFormat::LocalHeader;
namespace DD = ZipFormat::DataDescriptor;

namespace {

std::uint16_t Get16(const char* record, std::uint32_t offset) {
  return ReadLE<std::uint16_t>(record + offset);
}
std::uint32_t Get32(const char* record, std::uint32_t offset) {
  return ReadLE<std::uint32_t>(record + offset);
}
void Put16(char* record, std::uint32_t offset, std::uint16_t value) { WriteLE(record + offset, value); }
void Put32(char* record, std::uint32_t offset, std::uint32_t value) { WriteLE(record + offset, value); }

constexpr std::uint32_t kMarker32 = ZipFormat::EndRecord::Zip64Marker32;

// A size or offset as its 4-byte field holds it: the value, or the ZIP64 placeholder when the
// value needs the ZIP64 extra field (0xFFFFFFFF itself included, which would read as the marker).
std::uint32_t Field32(std::uint64_t value) {
  return value >= kMarker32 ? kMarker32 : static_cast<std::uint32_t>(value);
}

// Reads `length` bytes as one whole record into `buffer` (released when the length is 0).
void ReadVariablePart(CZipStorage& storage, CZipAutoBuffer& buffer, std::uint32_t length) {
  if (length == 0) {
    buffer.Release();
    return;
  }
  buffer.Allocate(length);
  storage.StorageRead(buffer.GetBuffer(), length, true);
}

// The data of the first block with header id `headerId` among the `fieldSize` bytes of an
// extra field at `field`, with its size in `dataSize`; null when there is none or the blocks
// run past the field's end.
const char* FindBlock(const char* field, std::uint32_t fieldSize, std::uint16_t headerId, std::uint16_t& dataSize) {
  namespace EF = ZipFormat::ExtraField;
  const char* p = field;
  std::uint32_t left = fieldSize;
  while (left >= EF::BlockHeaderSize) {
    const std::uint16_t id = Get16(p, EF::HeaderId);
    const std::uint16_t size = Get16(p, EF::DataSize);
    if (size > left - EF::BlockHeaderSize) return nullptr;
    if (id == headerId) {
      dataSize = size;
      return p + EF::BlockHeaderSize;
    }
    p += EF::BlockHeaderSize + size;
    left -= EF::BlockHeaderSize + size;
  }
  return nullptr;
}

bool EndsWithSeparator(const CZipAutoBuffer& name) {
  const std::string_view view = name.View();
  return !view.empty() && (view.back() == '/' || view.back() == '\\');
}

// Room for one header record: on the stack for the usual sizes, on the heap for long names or
// extra fields (a record holds at most 46 + 3 * 65535 bytes).
class RecordSpace {
public:
  // Zeroed like a new vector: no byte of a record may ever come from the stack.
  explicit RecordSpace(std::uint32_t size) {
    if (size > sizeof small_)
      large_.resize(size);
    else
      std::memset(small_, 0, size);
  }
  char* data() { return large_.empty() ? small_ : large_.data(); }

private:
  char small_[512];
  std::vector<char> large_;
};

// The archive form of a new name: the bytes and whether they are UTF-8 that needs flag bit 11.
struct EncodedName {
  std::string bytes;
  bool utf8 = false;
};

EncodedName EncodeName(const std::string& hostName, int entrySystem, bool useOem) {
  EncodedName result;
  if (ZipEntryName::IsDosFamily(entrySystem)) {
    // "\" is the separator of these systems and cannot be part of one of their names.
    std::string name = hostName;
    std::replace(name.begin(), name.end(), '\\', '/');
    if (useOem) {
      if (auto oem = ZipEntryName::Utf8ToCp437(name)) {
        result.bytes = std::move(*oem);
        return result;
      }
    }
    result.bytes = std::move(name);
  } else {
    result.bytes = hostName;
  }
  result.utf8 = !ZipEntryName::IsAscii(result.bytes) && ZipEntryName::IsValidUtf8(result.bytes);
  return result;
}

// The host form of archive-form name bytes, into `host`; false (and `host` untouched) when
// it is the very same bytes, which is what almost every name gives. A name ends at its first NUL
// byte, as Python's zipfile cuts it and as every system call would see it: what is checked is
// then what is used.
bool DecodeName(std::string_view archiveName, int entrySystem, std::uint16_t flags, bool useOem,
                std::string& host) {
  // A name that begins with NUL keeps its bytes (an empty host form would lose the entry's name
  // when the directory is written again); extraction refuses it for the NUL.
  const std::size_t end = archiveName.find('\0');
  const std::string_view used = archiveName.substr(0, end == 0 ? archiveName.size() : end);
  const bool cut = used.size() != archiveName.size();
  if (!ZipEntryName::IsDosFamily(entrySystem)) {
    if (cut) host = std::string(used);
    return cut;
  }
  const bool oem = (flags & ZipFormat::Flag::Utf8Name) == 0 && useOem && !ZipEntryName::IsAscii(used);
  if (!oem && !cut && used.find('\\') == std::string_view::npos) return false;
  host = oem ? ZipEntryName::Cp437ToUtf8(used) : std::string(used);
  std::replace(host.begin(), host.end(), '\\', '/');
  return true;
}

}  // namespace

CZipFileHeader::CZipFileHeader()
    : m_uSignature(ZipFormat::CentralHeaderSignature),
      m_uVersionMadeBy(0),
      m_uVersionNeeded(0),
      m_uFlag(0),
      m_uMethod(ZipFormat::Method::Deflated),
      m_uModTime(0),
      m_uModDate(0),
      m_uCrc32(0),
      m_uComprSize(0),
      m_uUncomprSize(0),
      m_uDiskStart(0),
      m_uInternalAttr(0),
      m_uExternalAttr(0),
      m_uOffset(0) {}

CZipFileHeader::~CZipFileHeader() = default;
CZipFileHeader::CZipFileHeader(const CZipFileHeader& other) = default;
CZipFileHeader& CZipFileHeader::operator=(const CZipFileHeader& other) = default;

void CZipFileHeader::ReadFixedCentralPart(const char* record) {
  m_uVersionMadeBy = Get16(record, CH::VersionMadeBy);
  m_uVersionNeeded = Get16(record, CH::VersionNeeded);
  m_uFlag = Get16(record, CH::Flags);
  m_uMethod = Get16(record, CH::Method);
  m_uModTime = Get16(record, CH::ModTime);
  m_uModDate = Get16(record, CH::ModDate);
  m_uCrc32 = Get32(record, CH::Crc);
  m_uComprSize = Get32(record, CH::CompressedSize);
  m_uUncomprSize = Get32(record, CH::UncompressedSize);
  m_uDiskStart = Get16(record, CH::DiskStart);
  m_uInternalAttr = Get16(record, CH::InternalAttributes);
  m_uExternalAttr = Get32(record, CH::ExternalAttributes);
  m_uOffset = Get32(record, CH::LocalHeaderOffset);
  // The archive form in the name buffer is what counts until the name is converted.
  m_recordedNames.Release();
  m_recordedArchiveSize = 0;
  m_archiveNameKnown = false;
  m_recordEncodedFor = 0;
  m_nameInArchiveForm = true;
}

bool CZipFileHeader::ReadCentralHeader(CZipStorage& storage) {
  char record[CH::Size];
  storage.StorageRead(record, CH::Size, true);
  m_uSignature = Get32(record, CH::Signature);
  if (m_uSignature != ZipFormat::CentralHeaderSignature) return false;
  ReadFixedCentralPart(record);
  const int volume = storage.GetCurrentVolume();
  ReadVariablePart(storage, m_pszFileName, Get16(record, CH::NameLength));
  ReadVariablePart(storage, m_pExtraField, Get16(record, CH::ExtraLength));
  ReadVariablePart(storage, m_pszComment, Get16(record, CH::CommentLength));
  // The variable parts must lie on the fixed part's volume.
  return storage.GetCurrentVolume() == volume;
}

std::uint32_t CZipFileHeader::CentralHeaderSize(const char* record) {
  return CH::Size + std::uint32_t{Get16(record, CH::NameLength)} + Get16(record, CH::ExtraLength) +
         Get16(record, CH::CommentLength);
}

bool CZipFileHeader::ReadCentralHeader(const char* record) {
  m_uSignature = Get32(record, CH::Signature);
  if (m_uSignature != ZipFormat::CentralHeaderSignature) return false;
  ReadFixedCentralPart(record);
  const std::uint16_t nameLength = Get16(record, CH::NameLength);
  const std::uint16_t extraLength = Get16(record, CH::ExtraLength);
  const char* variable = record + CH::Size;
  m_pszFileName.Assign(variable, nameLength);
  m_pExtraField.Assign(variable + nameLength, extraLength);
  m_pszComment.Assign(variable + nameLength + extraLength, Get16(record, CH::CommentLength));
  return true;
}

std::uint32_t CZipFileHeader::WriteCentralHeader(CZipStorage& storage) {
  std::string encoded;
  const std::string_view name = ArchiveNameIn(encoded);
  // Almost every header is written with its extra field as it is; only a ZIP64 block to add,
  // drop or renew costs a copy.
  std::string rebuilt;
  std::string_view extra = m_pExtraField.View();
  if (CentralZip64Fields().Any() || Zip64Field::Has(m_pExtraField.GetBuffer(), m_pExtraField.GetSize())) {
    rebuilt = CentralExtraToWrite();
    extra = rebuilt;
  }
  if (extra.size() > ZipFormat::MaxVariableLength)
    ThrowZipError(EFBIG, storage.GetFilePath(),
                  "the central extra field of '" + GetFileName() + "' with its ZIP64 block would be " +
                      std::to_string(extra.size()) + " bytes, more than " +
                      std::to_string(ZipFormat::MaxVariableLength));
  const std::uint32_t size = HeaderSize(false);
  RecordSpace record(size);
  char* p = record.data();
  Put32(p, CH::Signature, m_uSignature);
  Put16(p, CH::VersionMadeBy, m_uVersionMadeBy);
  Put16(p, CH::VersionNeeded, m_uVersionNeeded);
  Put16(p, CH::Flags, m_uFlag);
  Put16(p, CH::Method, m_uMethod);
  Put16(p, CH::ModTime, m_uModTime);
  Put16(p, CH::ModDate, m_uModDate);
  const Zip64Field::Presence zip64 = CentralZip64Fields();
  if (zip64.Any()) Put16(p, CH::VersionNeeded, std::max(m_uVersionNeeded, ZipFormat::Version::NeededZip64));
  Put32(p, CH::Crc, m_uCrc32);
  Put32(p, CH::CompressedSize, Field32(m_uComprSize));
  Put32(p, CH::UncompressedSize, Field32(m_uUncomprSize));
  Put16(p, CH::NameLength, static_cast<std::uint16_t>(name.size()));
  Put16(p, CH::ExtraLength, static_cast<std::uint16_t>(extra.size()));
  Put16(p, CH::CommentLength, static_cast<std::uint16_t>(m_pszComment.GetSize()));
  Put16(p, CH::DiskStart, m_uDiskStart);
  Put16(p, CH::InternalAttributes, m_uInternalAttr);
  Put32(p, CH::ExternalAttributes, m_uExternalAttr);
  Put32(p, CH::LocalHeaderOffset, Field32(m_uOffset));
  char* variable = p + CH::Size;
  std::copy(name.begin(), name.end(), variable);
  variable += name.size();
  variable = std::copy(extra.begin(), extra.end(), variable);
  if (m_pszComment.IsAllocated())
    std::copy_n(m_pszComment.GetBuffer(), m_pszComment.GetSize(), variable);
  storage.StorageWrite(p, size, true);
  return size;
}

bool CZipFileHeader::LocalFixedPartMatches(const char* record) {
  if (Get32(record, LH::Signature) != ZipFormat::LocalHeaderSignature) return false;
  m_uFlag = FlagsInEffect(m_uFlag, Get16(record, LH::Flags));
  // Whether the method can be read is the reader's decision, made when the data is opened.
  return Get16(record, LH::Method) == m_uMethod;
}

bool CZipFileHeader::LocalSizesAgree(const char* record) const {
  return (Get16(record, LH::Flags) & ZipFormat::Flag::DataDescriptor) != 0 || CheckCrcAndSizes(record + LH::Crc);
}

bool CZipFileHeader::MayHoldZip64Sizes(const char* record) const {
  // Info-ZIP, reading from a pipe, fills in the sizes afterwards but keeps them in a ZIP64 extra
  // field, with 0xFFFFFFFF in the local header's own size fields.
  if (Get32(record, LH::Crc) != m_uCrc32 || Get16(record, LH::ExtraLength) == 0) return false;
  return Get32(record, LH::CompressedSize) == ZipFormat::EndRecord::Zip64Marker32 ||
         Get32(record, LH::UncompressedSize) == ZipFormat::EndRecord::Zip64Marker32;
}

bool CZipFileHeader::ReadLocalHeader(CZipStorage& storage, std::uint16_t& extraLength) {
  char record[LH::Size];
  storage.StorageRead(record, LH::Size, true);
  if (!LocalFixedPartMatches(record)) return false;
  extraLength = Get16(record, LH::ExtraLength);
  storage.m_pFile->Seek(Get16(record, LH::NameLength), CZipAbstractFile::current);
  if (LocalSizesAgree(record)) return true;
  if (!MayHoldZip64Sizes(record)) return false;
  CZipAutoBuffer extra(extraLength);
  const int volume = storage.GetCurrentVolume();
  storage.StorageRead(extra.GetBuffer(), extraLength, true);
  if (storage.GetCurrentVolume() != volume) return false;
  storage.m_pFile->Seek(-static_cast<std::int64_t>(extraLength), CZipAbstractFile::current);
  return Zip64SizesMatch(record, extra.GetBuffer());
}

bool CZipFileHeader::CheckLocalHeader(const char* record, const char* extra) {
  if (!LocalFixedPartMatches(record)) return false;
  if (LocalSizesAgree(record)) return true;
  return MayHoldZip64Sizes(record) && extra != nullptr && Zip64SizesMatch(record, extra);
}

bool CZipFileHeader::Zip64SizesMatch(const char* record, const char* extra) const {
  const std::uint32_t compressed = Get32(record, LH::CompressedSize);
  const std::uint32_t uncompressed = Get32(record, LH::UncompressedSize);
  std::uint16_t size = 0;
  const char* block = FindBlock(extra, Get16(record, LH::ExtraLength), ZipFormat::ExtraField::Zip64Id, size);
  if (block == nullptr) return false;
  Zip64Field::Presence present;
  present.uncompressed = uncompressed == kMarker32;
  present.compressed = compressed == kMarker32;
  Zip64Field::Values values;
  values.uncompressed = uncompressed;
  values.compressed = compressed;
  if (!Zip64Field::Read(block, size, present, values).empty()) return false;
  return values.uncompressed == m_uUncomprSize && values.compressed == m_uComprSize;
}

std::string CZipFileHeader::TakeZip64Values() {
  Zip64Field::Presence present;
  present.uncompressed = m_uUncomprSize == kMarker32;
  present.compressed = m_uComprSize == kMarker32;
  present.offset = m_uOffset == kMarker32;
  present.diskStart = m_uDiskStart == ZipFormat::EndRecord::Zip64Marker16;
  if (!present.Any()) return {};
  std::uint16_t size = 0;
  const char* block = FindExtraBlock(m_pExtraField, ZipFormat::ExtraField::Zip64Id, size);
  if (block == nullptr) return {};
  Zip64Field::Values values;
  values.uncompressed = m_uUncomprSize;
  values.compressed = m_uComprSize;
  values.offset = m_uOffset;
  values.diskStart = m_uDiskStart;
  std::string problem = Zip64Field::Read(block, size, present, values);
  if (!problem.empty()) return problem;
  if (values.diskStart > ZipFormat::EndRecord::Zip64Marker16)
    return "its ZIP64 extra field gives disk " + std::to_string(values.diskStart) + ", past the last of 65535";
  m_uUncomprSize = values.uncompressed;
  m_uComprSize = values.compressed;
  m_uOffset = values.offset;
  m_uDiskStart = static_cast<std::uint16_t>(values.diskStart);
  return {};
}

Zip64Field::Presence CZipFileHeader::CentralZip64Fields() const {
  Zip64Field::Presence present;
  present.uncompressed = m_uUncomprSize >= kMarker32;
  present.compressed = m_uComprSize >= kMarker32;
  present.offset = m_uOffset >= kMarker32;
  return present;
}

std::string CZipFileHeader::CentralExtraToWrite() const {
  const Zip64Field::Presence present = CentralZip64Fields();
  const char* extra = m_pExtraField.GetBuffer();
  const std::uint32_t extraSize = m_pExtraField.GetSize();
  // A block read with the entry describes the values it had then: it is written anew or not at all.
  std::string result =
      Zip64Field::Has(extra, extraSize) ? Zip64Field::Without(extra, extraSize) : std::string(extra, extraSize);
  if (present.Any()) {
    Zip64Field::Values values;
    values.uncompressed = m_uUncomprSize;
    values.compressed = m_uComprSize;
    values.offset = m_uOffset;
    Zip64Field::Append(result, present, values);
  }
  return result;
}

std::uint32_t CZipFileHeader::CentralExtraSize() const {
  const Zip64Field::Presence present = CentralZip64Fields();
  if (!present.Any() && !Zip64Field::Has(m_pExtraField.GetBuffer(), m_pExtraField.GetSize()))
    return m_pExtraField.GetSize();
  return static_cast<std::uint32_t>(CentralExtraToWrite().size());
}

bool CZipFileHeader::LocalZip64() const { return Zip64Field::Has(m_pExtraField.GetBuffer(), m_pExtraField.GetSize()); }

void CZipFileHeader::AddLocalZip64Field(std::uint64_t uncompressed, std::uint64_t compressed) {
  Zip64Field::Presence present;
  present.uncompressed = true;
  present.compressed = true;
  Zip64Field::Values values;
  values.uncompressed = uncompressed;
  values.compressed = compressed;
  std::string extra;
  Zip64Field::Append(extra, present, values);
  extra += Zip64Field::Without(m_pExtraField.GetBuffer(), m_pExtraField.GetSize());
  m_pExtraField.Assign(extra);
  m_uVersionNeeded = std::max(m_uVersionNeeded, ZipFormat::Version::NeededZip64);
}

std::uint32_t CZipFileHeader::LocalZip64SizesOffset() const {
  return LH::Size + ArchiveNameSize() + ZipFormat::ExtraField::BlockHeaderSize;
}

const char* CZipFileHeader::FindExtraBlock(const CZipAutoBuffer& extra, std::uint16_t headerId, std::uint16_t& dataSize) {
  return FindBlock(extra.GetBuffer(), extra.GetSize(), headerId, dataSize);
}

void CZipFileHeader::WriteLocalHeader(CZipStorage& storage) {
  std::string encoded;
  const std::string_view name = ArchiveNameIn(encoded);
  const std::uint32_t size = HeaderSize(true);
  RecordSpace record(size);
  char* p = record.data();
  Put32(p, LH::Signature, ZipFormat::LocalHeaderSignature);
  Put16(p, LH::VersionNeeded, m_uVersionNeeded);
  Put16(p, LH::Flags, m_uFlag);
  Put16(p, LH::Method, m_uMethod);
  Put16(p, LH::ModTime, m_uModTime);
  Put16(p, LH::ModDate, m_uModDate);
  // With a ZIP64 block the sizes live there and the header's own fields hold placeholders.
  if (LocalZip64()) {
    Put32(p, LH::Crc, m_uCrc32);
    Put32(p, LH::CompressedSize, kMarker32);
    Put32(p, LH::UncompressedSize, kMarker32);
  } else {
    WriteCrcAndSizes(p + LH::Crc);
  }
  Put16(p, LH::NameLength, static_cast<std::uint16_t>(name.size()));
  Put16(p, LH::ExtraLength, static_cast<std::uint16_t>(m_pExtraField.GetSize()));
  char* variable = std::copy(name.begin(), name.end(), p + LH::Size);
  if (m_pExtraField.IsAllocated()) std::copy_n(m_pExtraField.GetBuffer(), m_pExtraField.GetSize(), variable);
  storage.StorageWrite(p, size, true);
  // The extra field of a new entry belongs to its local header only.
  m_pExtraField.Release();
  m_uDiskStart = static_cast<std::uint16_t>(storage.GetCurrentVolume());
  // Wherever buffering left the bytes, the header ends at position + buffered bytes.
  const std::uint64_t end = storage.m_pFile->GetPosition() + storage.GetBytesInWriteBuffer();
  m_uOffset = end - size;
}

bool CZipFileHeader::PrepareForAdding(int level, bool spanning, bool encrypted) {
  m_uSignature = ZipFormat::CentralHeaderSignature;
  m_uInternalAttr = 0;
  m_uVersionNeeded = IsDirectoryEntry() ? ZipFormat::Version::NeededDirectory
                                        : ZipFormat::Version::NeededDefault;
  m_uVersionMadeBy = static_cast<std::uint16_t>((m_uVersionMadeBy & 0xFF00) | ZipFormat::Version::MadeBy);
  m_uCrc32 = 0;
  m_uComprSize = 0;
  m_uUncomprSize = 0;
  if (level == 0)
    m_uMethod = ZipFormat::Method::Stored;
  else if (m_uMethod != ZipFormat::Method::Stored && m_uMethod != ZipFormat::Method::Deflated)
    m_uMethod = ZipFormat::Method::Deflated;

  // Bit 11 describes the name bytes: a name kept as read keeps its bit, a new one gets it when
  // its archive form is UTF-8 beyond ASCII.
  const bool keepName = m_nameInArchiveForm || RecordedNameApplies();
  std::uint16_t utf8Bit = static_cast<std::uint16_t>(m_uFlag & ZipFormat::Flag::Utf8Name);
  if (!keepName) {
    // The archive form is recorded now: the sizes, the local and the central header all ask
    // for it, and encoding it each time was most of the cost of a new entry outside zlib.
    const EncodedName encoded = EncodeName(m_pszFileName.ToString(), EntrySystem(), true);
    utf8Bit = encoded.utf8 ? ZipFormat::Flag::Utf8Name : 0;
    RecordNames(encoded.bytes, m_pszFileName.View());
    m_archiveNameKnown = true;
    m_recordEncodedFor = static_cast<std::uint16_t>(EntrySystem() + 1);
  }
  m_uFlag = utf8Bit;
  if (m_uMethod == ZipFormat::Method::Deflated) {
    switch (level) {
      case 1: m_uFlag |= ZipFormat::Flag::LevelClassFastest; break;
      case 2: m_uFlag |= ZipFormat::Flag::LevelClassFast; break;
      case 8:
      case 9: m_uFlag |= ZipFormat::Flag::LevelClassMaximum; break;
      default: break;
    }
  }
  if (spanning || encrypted) m_uFlag |= ZipFormat::Flag::DataDescriptor;
  if (encrypted) {
    m_uFlag |= ZipFormat::Flag::Encrypted;
    m_uComprSize = ZipFormat::Encryption::HeaderSize;
  }
  return ArchiveNameSize() <= ZipFormat::MaxVariableLength &&
         m_pExtraField.GetSize() <= ZipFormat::MaxVariableLength &&
         m_pszComment.GetSize() <= ZipFormat::MaxVariableLength;
}

bool CZipFileHeader::CheckCrcAndSizes(const char* bytes) const {
  return m_uComprSize < kMarker32 && m_uUncomprSize < kMarker32 && EqualLE(bytes + DD::Crc, m_uCrc32, 4) && EqualLE(bytes + DD::CompressedSize, m_uComprSize, 4) &&
         EqualLE(bytes + DD::UncompressedSize, m_uUncomprSize, 4);
}

void CZipFileHeader::WriteCrcAndSizes(char* bytes) const {
  Put32(bytes, DD::Crc, m_uCrc32);
  Put32(bytes, DD::CompressedSize, Field32(m_uComprSize));
  Put32(bytes, DD::UncompressedSize, Field32(m_uUncomprSize));
}

void CZipFileHeader::WriteZip64CrcAndSizes(char* bytes) const {
  Put32(bytes, DD::Crc, m_uCrc32);
  WriteLE(bytes + DD::Zip64CompressedSize, m_uComprSize);
  WriteLE(bytes + DD::Zip64UncompressedSize, m_uUncomprSize);
}

std::uint32_t CZipFileHeader::HeaderSize(bool local) const {
  const std::uint32_t nameSize = ArchiveNameSize();
  if (local) return LH::Size + nameSize + m_pExtraField.GetSize();
  return CH::Size + nameSize + CentralExtraSize() + m_pszComment.GetSize();
}

std::time_t CZipFileHeader::EntryTime() const {
  std::tm parts{};
  parts.tm_sec = (m_uModTime & 0x1F) * 2;
  parts.tm_min = (m_uModTime >> 5) & 0x3F;
  parts.tm_hour = m_uModTime >> 11;
  parts.tm_mday = m_uModDate & 0x1F;
  parts.tm_mon = ((m_uModDate >> 5) & 0xF) - 1;
  parts.tm_year = (m_uModDate >> 9) + 80;
  parts.tm_isdst = -1;
  return std::mktime(&parts);
}

std::time_t CZipFileHeader::EntryTime(ZipEntryTimeMemo& memo) const {
  const std::uint32_t dosDateTime = std::uint32_t{m_uModDate} << 16 | m_uModTime;
  if (!memo.known || memo.dosDateTime != dosDateTime) {
    memo.time = EntryTime();
    memo.dosDateTime = dosDateTime;
    memo.known = true;
  }
  return memo.time;
}

void CZipFileHeader::SetEntryTime(std::time_t t) {
  std::tm parts{};
  if (localtime_r(&t, &parts) == nullptr) {
    m_uModTime = 0;
    m_uModDate = 0;
    return;
  }
  const int year = parts.tm_year + 1900;
  const int yearBits = year <= 1980 ? 0 : ((year - 1980) & 0x7F);
  m_uModTime = static_cast<std::uint16_t>(parts.tm_hour * 2048 + parts.tm_min * 32 + parts.tm_sec / 2);
  m_uModDate = static_cast<std::uint16_t>(yearBits * 512 + (parts.tm_mon + 1) * 32 + parts.tm_mday);
}

void CZipFileHeader::SetEntrySystem(int system) {
  m_uVersionMadeBy = static_cast<std::uint16_t>((m_uVersionMadeBy & 0x00FF) | ((system & 0xFF) << 8));
}

std::uint32_t CZipFileHeader::EntryAttributes() const {
  const int system = EntrySystem();
  if (PlatformOps::IsSupportedSystem(system)) {
    if (m_uExternalAttr == 0 && EndsWithSeparator(m_pszFileName)) return PlatformOps::DefaultDirAttributes();
    return PlatformOps::ConvertAttributes(m_uExternalAttr, system, PlatformOps::HostSystemCode());
  }
  return EndsWithSeparator(m_pszFileName) ? PlatformOps::DefaultDirAttributes()
                                          : PlatformOps::DefaultFileAttributes();
}

void CZipFileHeader::SetEntryAttributes(std::uint32_t hostAttributes) {
  m_uExternalAttr = PlatformOps::ConvertAttributes(hostAttributes, PlatformOps::HostSystemCode(), EntrySystem());
}

bool CZipFileHeader::IsDirectoryEntry() const { return PlatformOps::AttrIsDirectory(EntryAttributes()); }

void CZipFileHeader::ConvertName(bool toHost, bool useOem) {
  if (toHost == !m_nameInArchiveForm) return;
  if (toHost) {
    CZipAutoBuffer archiveName = std::move(m_pszFileName);
    std::string hostName;
    if (DecodeName(archiveName.View(), EntrySystem(), m_uFlag, useOem, hostName)) {
      RecordNames(archiveName.View(), hostName);
      m_pszFileName.Assign(hostName);
    } else {
      // The same bytes in both forms: the record keeps the one copy besides the name buffer.
      m_pszFileName = archiveName;
      m_recordedArchiveSize = archiveName.GetSize();
      m_recordedNames = std::move(archiveName);
    }
    m_archiveNameKnown = true;
    m_recordEncodedFor = 0;
    m_nameInArchiveForm = false;
    return;
  }
  const std::string_view hostName = m_pszFileName.View();
  if (!RecordedNameApplies()) {
    // A new or renamed entry: encode it and let bit 11 say what the bytes are.
    const EncodedName encoded = EncodeName(std::string(hostName), EntrySystem(), useOem);
    m_uFlag = static_cast<std::uint16_t>(encoded.utf8 ? (m_uFlag | ZipFormat::Flag::Utf8Name)
                                                      : (m_uFlag & ~ZipFormat::Flag::Utf8Name));
    RecordNames(encoded.bytes, hostName);
    m_archiveNameKnown = true;
    m_recordEncodedFor = static_cast<std::uint16_t>(EntrySystem() + 1);
  }
  m_pszFileName.Assign(RecordedArchiveName());
  m_nameInArchiveForm = true;
}

bool CZipFileHeader::SetEntryName(const std::string& name) {
  m_pszFileName.Assign(name);
  m_archiveNameKnown = false;
  m_recordedNames.Release();
  m_recordedArchiveSize = 0;
  m_recordEncodedFor = 0;
  m_nameInArchiveForm = false;
  return true;
}

std::string CZipFileHeader::GetFileName() const { return m_pszFileName.ToString(); }

std::string CZipFileHeader::ArchiveName() const {
  if (m_nameInArchiveForm) return m_pszFileName.ToString();
  if (RecordedNameApplies()) return std::string(RecordedArchiveName());
  return EncodeName(m_pszFileName.ToString(), EntrySystem(), true).bytes;
}

std::string_view CZipFileHeader::ArchiveNameIn(std::string& scratch) const {
  if (m_nameInArchiveForm) return m_pszFileName.View();
  if (RecordedNameApplies()) return RecordedArchiveName();
  scratch = ArchiveName();
  return scratch;
}

std::uint32_t CZipFileHeader::ArchiveNameSize() const {
  if (m_nameInArchiveForm) return m_pszFileName.GetSize();
  if (RecordedNameApplies()) return m_recordedArchiveSize;
  // An ASCII name keeps its length in every archive form ("\\" becomes "/", CP437 agrees with
  // ASCII), and a name of a system outside the DOS family is stored as it is.
  const std::string_view host = m_pszFileName.View();
  if (!ZipEntryName::IsDosFamily(EntrySystem()) || ZipEntryName::IsAscii(host))
    return static_cast<std::uint32_t>(host.size());
  return static_cast<std::uint32_t>(EncodeName(m_pszFileName.ToString(), EntrySystem(), true).bytes.size());
}

bool CZipFileHeader::RecordedNameApplies() const {
  return m_archiveNameKnown && m_pszFileName.View() == RecordedHostName() &&
         (m_recordEncodedFor == 0 || m_recordEncodedFor == EntrySystem() + 1);
}

std::string_view CZipFileHeader::RecordedArchiveName() const {
  return m_recordedNames.View().substr(0, m_recordedArchiveSize);
}

std::string_view CZipFileHeader::RecordedHostName() const {
  // A name that is not empty never decodes to an empty host form, so an empty host part can
  // only mean "the same bytes as the archive form".
  const std::string_view host = m_recordedNames.View().substr(m_recordedArchiveSize);
  return host.empty() ? RecordedArchiveName() : host;
}

void CZipFileHeader::RecordNames(std::string_view archiveName, std::string_view hostName) {
  const bool same = archiveName == hostName;
  const std::size_t total = archiveName.size() + (same ? 0 : hostName.size());
  if (total > 0xFFFFFFFFull) throw std::length_error("CZipFileHeader: name too long");
  // Built aside first: either view may point into the record being replaced.
  CZipAutoBuffer names(static_cast<std::uint32_t>(total));
  std::copy(archiveName.begin(), archiveName.end(), names.GetBuffer());
  if (!same) std::copy(hostName.begin(), hostName.end(), names.GetBuffer() + archiveName.size());
  m_recordedArchiveSize = static_cast<std::uint32_t>(archiveName.size());
  m_recordedNames = std::move(names);
}
