// ZipStorage.cpp -- buffered archive I/O, split volumes and their names.
#include "engine/ZipStorage.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "engine/ZipConstants.h"
#include "engine/ZipEndian.h"
#include "engine/ZipException.h"
#include "engine/ZipPathComponent.h"
#include "engine/ZipPlatform.h"

namespace {

// A new archive or volume: read and write, created (truncating), others may read.
constexpr unsigned kCreateFlags = CZipFile::modeCreate | CZipFile::shareDenyWrite | CZipFile::modeReadWrite;
// An existing archive opened for changes.
constexpr unsigned kExistingFlags = CZipFile::modeNoTruncate | CZipFile::shareDenyWrite | CZipFile::modeReadWrite;
// An existing archive opened read-only; each volume of a split archive when read.
constexpr unsigned kReadFlags = CZipFile::modeNoTruncate | CZipFile::shareDenyWrite | CZipFile::modeRead;

}  // namespace

CZipStorage::CZipStorage() = default;

CZipStorage::~CZipStorage() = default;

void CZipStorage::StorageOpen(const std::string& path, int mode, int volumeSize) {
  m_pWriteBuffer.Allocate(static_cast<std::uint32_t>(std::max(m_iWriteBufferSize, 0)));
  m_uBytesInWriteBuffer = 0;
  m_bNewSpan = false;
  m_pFile = &m_internalfile;
  m_bInMemory = false;
  switch (mode) {
    case CreateNew:
      m_bReadOnly = false;
      m_iCurrentVolume = 0;
      m_iSpanMode = NotSpanned;
      m_internalfile.Open(path, kCreateFlags, true);
      break;
    case CreateSpanned:
      m_bReadOnly = false;
      if (volumeSize <= 0) {
        // Spanning over removable disks needs a disk-change callback, which nothing provides.
        m_pWriteBuffer.Release();
        m_pFile = nullptr;
        ThrowZipError(errNoSpanCallback);
      }
      m_iCurrentVolume = 0;
      m_bNewSpan = true;
      m_uBytesWritten = 0;
      m_iSpanMode = SplitSpanned;
      m_iVolumeSize = volumeSize;
      NextVolume(ZipFormat::SignatureSize, &path);
      EnsureVolumeSpace(ZipFormat::SignatureSize);
      {
        char signature[ZipFormat::SignatureSize];
        WriteLE(signature, ZipFormat::SpanSignature);
        WriteInternalBuffer(signature, ZipFormat::SignatureSize);
      }
      break;
    default:
      m_bReadOnly = mode == OpenReadOnly;
      m_iCurrentVolume = 0;
      m_internalfile.Open(path, m_bReadOnly ? kReadFlags : kExistingFlags, true);
      m_iSpanMode = volumeSize != 0 ? ExistingSplit : ExistingUnknown;
      break;
  }
}

void CZipStorage::StorageOpenMemory(CZipMemFile& memoryFile, int mode) {
  m_pWriteBuffer.Allocate(static_cast<std::uint32_t>(std::max(m_iWriteBufferSize, 0)));
  m_pFile = &memoryFile;
  m_bInMemory = true;
  m_uBytesInWriteBuffer = 0;
  m_bNewSpan = false;
  m_bReadOnly = mode == OpenReadOnly;
  m_iCurrentVolume = 0;
  if (mode == CreateNew) {
    m_iSpanMode = NotSpanned;
    memoryFile.SetLength(0);
  } else {
    memoryFile.SeekToBegin();
    m_iSpanMode = ExistingUnknown;
  }
}

bool CZipStorage::IsOpen() const { return m_pFile != nullptr && (m_bInMemory || !m_pFile->IsClosed()); }

std::string CZipStorage::GetFilePath() const { return m_pFile != nullptr ? m_pFile->GetFilePath() : std::string(); }

std::uint32_t CZipStorage::ReadFromFile(char* buffer, std::uint32_t count) { return m_pFile->Read(buffer, count); }

std::uint32_t CZipStorage::StorageRead(void* buffer, std::uint32_t count, bool whole) {
  if (count == 0) return 0;
  char* out = static_cast<char*>(buffer);
  std::uint32_t done = ReadFromFile(out, count);
  if (done == 0) {
    if (!IsSpanned()) ThrowZipError(errBadArchive, GetFilePath());
    // A record may start at the very beginning of the next volume.
    ChangeVolume(m_iCurrentVolume + 1);
    done = ReadFromFile(out, count);
  }
  if (done == count) return count;
  if (whole || !IsSpanned()) ThrowZipError(errBadArchive, GetFilePath());
  while (done < count) {
    ChangeVolume(m_iCurrentVolume + 1);
    const std::uint32_t more = ReadFromFile(out + done, count - done);
    if (more == 0) ThrowZipError(errBadArchive, GetFilePath());
    done += more;
  }
  return count;
}

void CZipStorage::StorageWrite(const void* buffer, std::uint32_t count, bool whole) {
  const char* in = static_cast<const char*>(buffer);
  if (m_iSpanMode == NotSpanned) {
    WriteInternalBuffer(in, count);
    return;
  }
  std::uint32_t left = count;
  while (left > 0) {
    // A whole record goes onto one volume; other bytes fill each volume to its end.
    EnsureVolumeSpace(whole ? count : 1);
    const std::uint32_t chunk = std::min(VolumeFreeSpace(), left);
    WriteInternalBuffer(in, chunk);
    in += chunk;
    left -= chunk;
    if (whole) break;
  }
}

void CZipStorage::WriteInternalBuffer(const char* buffer, std::uint32_t count) {
  const std::uint32_t capacity = m_pWriteBuffer.GetSize();
  if (capacity == 0) {
    // No buffer to gather into: the bytes go straight to the file.
    if (count == 0) return;
    m_pFile->Write(buffer, count);
    if (IsSpanned()) m_uBytesWritten += count;
    return;
  }
  while (count > 0) {
    if (m_uBytesInWriteBuffer == capacity) StorageFlush();
    const std::uint32_t chunk = std::min(capacity - m_uBytesInWriteBuffer, count);
    std::memcpy(m_pWriteBuffer.GetBuffer() + m_uBytesInWriteBuffer, buffer, chunk);
    m_uBytesInWriteBuffer += chunk;
    buffer += chunk;
    count -= chunk;
  }
}

void CZipStorage::StorageFlush() {
  if (IsSpanned()) m_uBytesWritten += m_uBytesInWriteBuffer;
  if (m_uBytesInWriteBuffer != 0) m_pFile->Write(m_pWriteBuffer.GetBuffer(), m_uBytesInWriteBuffer);
  m_uBytesInWriteBuffer = 0;
}

void CZipStorage::DropBufferedBytes(std::uint32_t count) {
  m_uBytesInWriteBuffer -= std::min(count, m_uBytesInWriteBuffer);
}

bool CZipStorage::RewriteBuffered(std::uint64_t position, const void* bytes, std::uint32_t count) {
  if (m_pFile == nullptr || m_uBytesInWriteBuffer == 0) return false;
  // The buffered bytes go to the file at its current offset.
  const std::uint64_t bufferStart = m_pFile->GetPosition();
  if (position < bufferStart || position - bufferStart > m_uBytesInWriteBuffer ||
      m_uBytesInWriteBuffer - (position - bufferStart) < count) {
    return false;
  }
  std::memcpy(m_pWriteBuffer.GetBuffer() + (position - bufferStart), bytes, count);
  return true;
}

std::uint32_t CZipStorage::VolumeFreeSpace() const {
  // 64-bit: the counts may pass the volume size after an oversized record took an empty volume.
  const std::int64_t free = static_cast<std::int64_t>(m_uCurrentVolSize) - m_uBytesInWriteBuffer - m_uBytesWritten;
  return free > 0 ? static_cast<std::uint32_t>(free) : 0;
}

void CZipStorage::EnsureVolumeSpace(std::uint32_t count) {
  while (VolumeFreeSpace() < count) {
    if (m_iSpanMode == SplitSpanned && m_uBytesWritten == 0 && m_uBytesInWriteBuffer == 0)
      m_uCurrentVolSize = count;  // a record larger than a volume goes whole onto an empty one
    else
      NextVolume(count);
  }
}

void CZipStorage::NextVolume(std::uint32_t bytesNeeded, const std::string* path) {
  (void)bytesNeeded;  // every volume has the same size; an oversized record is handled above
  StorageFlush();
  if (m_uBytesWritten != 0) {
    m_uBytesWritten = 0;
    ++m_iCurrentVolume;
    if (m_iCurrentVolume >= ZipFormat::MaxSplitVolumes) ThrowZipError(errTooManyVolumes, GetFilePath());
  }
  const std::string name = SplitVolumeName(false, path);
  if (!m_pFile->IsClosed()) {
    m_pFile->Flush();
    m_pFile->Close();
  }
  m_uCurrentVolSize = static_cast<std::uint32_t>(m_iVolumeSize);
  m_internalfile.Open(name, kCreateFlags, true);
}

std::string CZipStorage::SplitVolumeName(bool last, const std::string* path) const {
  CZipPathComponent components(path != nullptr ? *path : GetFilePath());
  std::string extension;
  if (last) {
    extension = m_szArchiveExtension;
  } else {
    const int number = m_iCurrentVolume + 1;
    char text[16];
    std::snprintf(text, sizeof text, number < 100 ? "z%.2d" : "z%.3d", number);
    extension = text;
  }
  components.SetExtension(extension);
  return components.GetFullPath();
}

void CZipStorage::ChangeVolume(int volume) {
  if (volume == m_iCurrentVolume) return;
  // Only a split archive has other volumes, numbered 0 to the last one; anything else is a
  // damaged directory, not a file to look for.
  if (m_iSpanMode != SplitSpanned || m_bNewSpan || m_bInMemory || volume < 0 || volume > m_iVolumeSize)
    ThrowZipError(errBadArchive, GetFilePath());
  const int previous = m_iCurrentVolume;
  m_iCurrentVolume = volume;
  std::string name;
  try {
    name = SplitVolumeName(volume == m_iVolumeSize);
  } catch (...) {
    m_iCurrentVolume = previous;
    throw;
  }
  OpenVolumeForReading(name);
}

void CZipStorage::OpenVolumeForReading(const std::string& name) {
  m_pFile->Close();
  m_internalfile.Open(name, kReadFlags, true);
}

void CZipStorage::AdoptSpanInfo(int lastVolume) {
  m_iCurrentVolume = lastVolume;
  if (lastVolume == 0) {
    m_iSpanMode = NotSpanned;
    return;
  }
  // A memory file is one volume: a volume number other than 0 can only be damage.
  if (m_bInMemory) ThrowZipError(errBadArchive);
  if (m_iSpanMode == ExistingUnknown)
    m_iSpanMode = PlatformOps::IsRemovableDrive(GetFilePath()) ? RemovableSpanned : SplitSpanned;
  else
    m_iSpanMode = SplitSpanned;
  if (m_iSpanMode == RemovableSpanned) ThrowZipError(errNoSpanCallback, GetFilePath());
  m_iVolumeSize = lastVolume;
  m_szArchiveExtension = CZipPathComponent(GetFilePath()).GetFileExt();
  m_pWriteBuffer.Release();
}

std::string CZipStorage::RenameLastSplitVolume() {
  const std::string path = GetFilePath();
  const std::string newName = SplitVolumeName(true);
  if (!m_bInMemory) {
    StorageFlush();
    m_pFile->Flush();
    m_pFile->Close();
  }
  if (PlatformOps::PathKind(newName) != 0) PlatformOps::DeleteFileByName(newName, true);
  PlatformOps::MoveFileByName(path, newName, true);
  return newName;
}

void CZipStorage::ReopenAfterWrite() {
  std::string name;
  if (m_bNewSpan) {
    name = RenameLastSplitVolume();
  } else {
    StorageFlush();
    name = GetFilePath();
    m_pFile->Close();
  }
  m_bNewSpan = false;
  if (m_iCurrentVolume != 0)
    m_iVolumeSize = m_iCurrentVolume;
  else
    m_iSpanMode = NotSpanned;  // a split archive that fits one volume is an ordinary archive
  m_internalfile.Open(name, m_iSpanMode != NotSpanned ? kReadFlags : kExistingFlags, true);
  m_pFile = &m_internalfile;
}

std::string CZipStorage::StorageClose(bool afterError) {
  std::string name;
  bool closed = false;
  if (!afterError && m_pFile != nullptr) {
    StorageFlush();
    if (m_bNewSpan) {
      name = RenameLastSplitVolume();
      closed = true;
    }
  }
  if (name.empty()) name = GetFilePath();
  if (!closed && !m_bInMemory && m_pFile != nullptr && !m_pFile->IsClosed()) {
    if (!afterError && !m_bReadOnly && (!IsSpanned() || m_bNewSpan)) m_pFile->Flush();
    m_pFile->Close();
  }
  m_pWriteBuffer.Release();
  m_uBytesInWriteBuffer = 0;
  m_iCurrentVolume = -1;
  m_iSpanMode = NotSpanned;
  m_bNewSpan = false;
  m_pFile = nullptr;
  return name;
}
