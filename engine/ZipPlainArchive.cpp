// ZipPlainArchive.cpp -- rewriting a one-volume split archive in place as an ordinary archive.
#include <sys/mman.h>

#include <cstring>
#include <optional>

#include "engine/ZipCentralDir.h"
#include "engine/ZipConstants.h"
#include "engine/ZipEndian.h"
#include "engine/ZipStorage.h"

namespace {

// A shared, writable mapping of a whole file, unmapped when it goes.
class FileMapping {
public:
  FileMapping(int fd, std::size_t length)
      : length_(length), data_(length == 0 ? MAP_FAILED : mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0)) {}
  ~FileMapping() {
    if (valid()) munmap(data_, length_);
  }
  FileMapping(const FileMapping&) = delete;
  FileMapping& operator=(const FileMapping&) = delete;
  bool valid() const { return data_ != MAP_FAILED; }
  char* data() const { return static_cast<char*>(data_); }

private:
  std::size_t length_;
  void* data_;
};

// The archive bytes begin with the span signature; each entry's block runs from its local header
// to the next one's (or the end of the data) and, for an unencrypted entry, ends with a signed
// data descriptor. Blocks move down over the dropped bytes; offsets shrink by what went before.
// Returns the new length of the data, or nothing when the layout is not the one this engine
// writes (then nothing has been changed).
std::optional<std::uint32_t> RewriteAsPlain(std::vector<std::unique_ptr<CZipFileHeader>>& headers, char* data,
                                    std::uint32_t length) {
  if (length < ZipFormat::SignatureSize || !EqualLE(data, ZipFormat::SpanSignature, ZipFormat::SignatureSize))
    return std::nullopt;
  // Check the whole layout before anything moves: a failure must leave the bytes untouched.
  std::uint32_t expectedStart = ZipFormat::SignatureSize;
  for (std::size_t i = 0; i < headers.size(); ++i) {
    const CZipFileHeader& header = *headers[i];
    const std::uint32_t start = header.m_uOffset;
    const std::uint32_t end = i + 1 < headers.size() ? headers[i + 1]->m_uOffset : length;
    const std::uint32_t minimum = ZipFormat::LocalHeader::Size +
                                  ((header.IsDataDescriptor() && !header.IsEncrypted()) ? ZipFormat::DataDescriptor::SignedSize : 0);
    if (header.m_uDiskStart != 0 || start < expectedStart || end < start || end - start < minimum || end > length)
      return std::nullopt;
    if (!EqualLE(data + start, ZipFormat::LocalHeaderSignature, ZipFormat::SignatureSize)) return std::nullopt;
    expectedStart = end;
  }
  std::uint32_t removed = ZipFormat::SignatureSize;
  std::uint32_t writePosition = 0;
  for (std::size_t i = 0; i < headers.size(); ++i) {
    CZipFileHeader& header = *headers[i];
    const std::uint32_t start = header.m_uOffset;
    const std::uint32_t end = i + 1 < headers.size() ? headers[i + 1]->m_uOffset : length;
    std::uint32_t dropped = 0;
    char* local = data + start;
    if (header.IsDataDescriptor() && !header.IsEncrypted()) {
      header.m_uFlag = static_cast<std::uint16_t>(header.m_uFlag & ~ZipFormat::Flag::DataDescriptor);
      const auto localFlags = ReadLE<std::uint16_t>(local + ZipFormat::LocalHeader::Flags);
      WriteLE(local + ZipFormat::LocalHeader::Flags,
              static_cast<std::uint16_t>(localFlags & ~ZipFormat::Flag::DataDescriptor));
      dropped = ZipFormat::DataDescriptor::SignedSize;
    }
    header.WriteCrcAndSizes(local + ZipFormat::LocalHeader::Crc);
    const std::uint32_t kept = end - start - dropped;
    std::memmove(data + writePosition, local, kept);
    header.m_uOffset = start - removed;
    writePosition += kept;
    removed += dropped;
  }
  return writePosition;
}

}  // namespace

bool CZipCentralDir::ConvertToPlainArchive(bool inBuffer) {
  CZipStorage& storage = *m_pStorage;
  if (inBuffer) {
    const auto length = RewriteAsPlain(m_headers, storage.GetWriteBufferData(), storage.GetBytesInWriteBuffer());
    if (!length) return false;
    storage.m_uBytesInWriteBuffer = *length;
    return true;
  }
  if (storage.m_bInMemory || storage.m_pFile != &storage.m_internalfile) return false;
  const std::uint64_t fileLength = storage.m_pFile->GetLength();
  if (fileLength > 0xFFFFFFFFull) return false;
  std::optional<std::uint32_t> length;
  {
    FileMapping mapping(storage.m_internalfile.GetHandle(), static_cast<std::size_t>(fileLength));
    if (!mapping.valid()) return false;
    length = RewriteAsPlain(m_headers, mapping.data(), static_cast<std::uint32_t>(fileLength));
    if (!length) return false;
  }
  storage.m_uBytesWritten = *length;
  storage.m_pFile->SetLength(*length);
  storage.m_pFile->SeekToEnd();
  return true;
}
