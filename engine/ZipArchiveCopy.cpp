// ZipArchiveCopy.cpp -- CZipArchive::CopyEntryFrom: copying a packed entry from another archive unchanged.
#include "engine/ZipArchive.h"

#include "engine/ZipConstants.h"
#include "engine/ZipEndian.h"
#include "engine/ZipEntryName.h"
#include "engine/ZipException.h"
#include "engine/ZipIoBufferLease.h"
#include "engine/ZipPlatform.h"
#include "engine/ZipZip64Field.h"

#include <algorithm>
#include <cerrno>

namespace {

namespace LH = ZipFormat::LocalHeader;
namespace DD = ZipFormat::DataDescriptor;
namespace EF = ZipFormat::ExtraField;

/// True when a name stored for host system `from` is read differently once the entry says it
/// comes from `to`: the DOS family reads "\" as a separator and, without the UTF-8 flag, the
/// bytes as CP437; other systems read the bytes as they are.
bool NameReadsDifferently(const std::string& archiveBytes, std::uint16_t flags, int from, int to) {
  if (ZipEntryName::IsDosFamily(from) == ZipEntryName::IsDosFamily(to)) return false;
  if (archiveBytes.find('\\') != std::string::npos) return true;
  return (flags & ZipFormat::Flag::Utf8Name) == 0 && !ZipEntryName::IsAscii(archiveBytes);
}

}  // namespace

bool CZipArchive::CopyEntryFrom(CZipArchive& source, int sourceIndex, int replaceIndex, bool keepHostSystem,
                                CZipActionCallback* callback) {
  // Copying an archive into itself would cut off the directory it is reading from.
  if (&source == this) return false;
  if (!archiveOpen_ || !source.archiveOpen_ || entryState_ != 0 || source.entryState_ != 0) return false;
  if (centralDir_.m_pOpenedFile != nullptr || source.centralDir_.m_pOpenedFile != nullptr) return false;
  if (source.storage_.IsSpanned() || storage_.IsExistingSpanned() || storage_.m_bReadOnly) return false;

  CZipFileHeader header;
  if (!source.GetEntryInfo(header, sourceIndex)) return false;

  // Where the packed data ends: the next local header, else the source's directory (or the end
  // of its file while the directory is not written yet).
  if (source.storage_.GetBytesInWriteBuffer() != 0) source.storage_.StorageFlush();
  CZipAbstractFile& sourceFile = *source.storage_.m_pFile;
  const std::string sourcePath = source.GetArchivePath();
  const std::uint64_t sourceBase = source.centralDir_.m_uBytesBeforeZip;
  std::uint64_t dataLimit = 0;
  if (sourceIndex + 1 < source.centralDir_.GetCount()) {
    dataLimit = source.centralDir_.GetHeader(static_cast<std::uint16_t>(sourceIndex + 1))->m_uOffset;
  } else if (source.centralDir_.m_bOnDisk) {
    dataLimit = source.centralDir_.m_info.m_uOffset;
  } else {
    dataLimit = sourceFile.GetLength() - sourceBase;
  }
  dataLimit += sourceBase;

  // The data starts after the source's own local header, whose name and extra field lengths
  // often differ from the central header's (Info-ZIP writes a longer local extra field).
  const std::uint64_t localPosition = sourceBase + header.m_uOffset;
  char local[LH::Size];
  sourceFile.Seek(static_cast<std::int64_t>(localPosition), CZipAbstractFile::begin);
  if (sourceFile.Read(local, LH::Size) != LH::Size || !EqualLE(local + LH::Signature, ZipFormat::LocalHeaderSignature, 4)) {
    ThrowZipError(errBadArchive, sourcePath);
  }
  const auto localNameLength = ReadLE<std::uint16_t>(local + LH::NameLength);
  const auto localExtraLength = ReadLE<std::uint16_t>(local + LH::ExtraLength);
  CZipAutoBuffer localExtra;
  if (localExtraLength != 0) {
    localExtra.Allocate(localExtraLength);
    sourceFile.Seek(static_cast<std::int64_t>(localPosition + LH::Size + localNameLength), CZipAbstractFile::begin);
    if (sourceFile.Read(localExtra.data(), localExtraLength) != localExtraLength) ThrowZipError(errBadArchive, sourcePath);
  }
  const std::uint64_t dataStart = localPosition + LH::Size + localNameLength + localExtraLength;
  const std::uint64_t packedSize = header.m_uComprSize;
  // The packed data and, when the entry has one, at least the unsigned form of its descriptor
  // must fit in front of whatever follows the entry.
  const std::uint64_t required = std::uint64_t{packedSize} + (header.IsDataDescriptor() ? DD::Size : 0);
  if (dataLimit < dataStart || dataLimit - dataStart < required) ThrowZipError(errBadArchive, sourcePath);

  if (!keepHostSystem && header.EntrySystem() != archiveHostSystem_) {
    const int from = header.EntrySystem();
    header.m_uExternalAttr = PlatformOps::ConvertAttributes(header.m_uExternalAttr, from, archiveHostSystem_);
    const bool reencode = NameReadsDifferently(header.ArchiveName(), header.m_uFlag, from, archiveHostSystem_);
    header.SetEntrySystem(archiveHostSystem_);
    if (reencode) {
      // The name bytes must say the same under the new host system: encode the host form anew
      // (this also sets or clears the UTF-8 flag to match), then hold it in host form again.
      const std::string hostName = header.GetFileName();
      header.SetEntryName(hostName);
      header.ConvertName(false);
      header.ConvertName(true);
    }
  }

  // A new split archive finds the sizes of every entry in a signed descriptor after its data.
  if (storage_.IsNewSpanned()) header.m_uFlag |= ZipFormat::Flag::DataDescriptor;
  // The source's descriptor is not copied: a fresh signed one is written from the central
  // header, 16 bytes, or 24 with the 8-byte sizes that follow a ZIP64 local header.
  const bool writeDescriptor = header.IsDataDescriptor();
  // The source's ZIP64 block is not copied either: the local header gets one exactly when the
  // sizes need it.
  const bool localZip64 = header.CentralZip64Fields().uncompressed || header.CentralZip64Fields().compressed;
  const std::uint32_t descriptorBytes =
      writeDescriptor ? ZipFormat::SignatureSize + (localZip64 ? DD::Zip64Size : DD::Size) : 0;

  if (!ResolveReplaceIndex(replaceIndex, header.GetFileName())) return false;
  const bool isReplacement = replaceIndex >= 0;
  if (!isReplacement && centralDir_.GetCount() >= ZipFormat::MaxEntries) return false;

  // The central extra field is kept for the central record; the local header gets the source's
  // local one.
  CZipAutoBuffer centralExtra = header.m_pExtraField;
  header.m_pExtraField.Assign(Zip64Field::Without(localExtra.GetBuffer(), localExtra.GetSize()));
  if (localZip64) header.AddLocalZip64Field(header.m_uUncomprSize, header.m_uComprSize);
  const std::uint32_t localSize = header.HeaderSize(true);
  const std::uint64_t entryBytes = std::uint64_t{localSize} + packedSize + descriptorBytes;

  ZipIoBufferLease buffer(info_.buffer, info_.bufferSize);
  const std::string name = header.GetFileName();
  CZipFileHeader* added = centralDir_.AddHeader(header, replaceIndex);
  if (isReplacement) MakeRoomForReplace(replaceIndex, entryBytes, name);

  if (callback != nullptr) {
    callback->Begin(name.c_str(), sourcePath.c_str());
    callback->SetTotal(packedSize);
  }
  added->WriteLocalHeader(storage_);
  added->m_uOffset -= centralDir_.m_uBytesBeforeZip;
  added->m_pExtraField = std::move(centralExtra);

  // Finishes the entry in this archive once all its data is there.
  auto finish = [&] {
    centralDir_.m_pOpenedFile = nullptr;
    if (writeDescriptor) {
      char descriptor[ZipFormat::SignatureSize + DD::Zip64Size];
      WriteLE<std::uint32_t>(descriptor, ZipFormat::DataDescriptorSignature);
      if (localZip64)
        added->WriteZip64CrcAndSizes(descriptor + ZipFormat::SignatureSize);
      else
        added->WriteCrcAndSizes(descriptor + ZipFormat::SignatureSize);
      storage_.StorageWrite(descriptor, descriptorBytes, true);
    }
    storage_.StorageFlush();
    centralDir_.m_bOnDisk = false;
  };
  // Takes an incomplete appended entry back out, when the file allows it.
  const bool canUndo = !isReplacement && !storage_.IsSpanned();
  auto undo = [&] {
    centralDir_.m_pOpenedFile = nullptr;
    RemoveLastEntry(true);
  };

  sourceFile.Seek(static_cast<std::int64_t>(dataStart), CZipAbstractFile::begin);
  std::uint64_t copied = 0;
  try {
    while (copied < packedSize) {
      const auto piece = static_cast<std::uint32_t>(std::min<std::uint64_t>(buffer.size(), packedSize - copied));
      const std::uint32_t got = sourceFile.Read(buffer.data(), piece);
      if (got == 0) break;
      storage_.StorageWrite(buffer.data(), got, false);
      copied += got;
      if (callback != nullptr && !callback->Step(got)) {
        // Stopped: a complete copy is finished, an incomplete one undone where the file can be
        // cut back; either way the archive stays sound (106). Otherwise it is not (105).
        if (copied == packedSize) {
          finish();
          ThrowZipError(errActionAbortedSafely);
        }
        if (canUndo) {
          undo();
          ThrowZipError(errActionAbortedSafely);
        }
        ThrowZipError(errActionAborted);
      }
    }
    if (copied < packedSize) {
      // The source ended early: do not leave an entry that points at missing data.
      if (canUndo) undo();
      ThrowZipError(errBadArchive, sourcePath);
    }
    finish();
  } catch (...) {
    if (callback != nullptr) callback->End();
    throw;
  }
  if (callback != nullptr) callback->End();
  if (autoWrite_) WriteDirectoryNow();
  return true;
}
