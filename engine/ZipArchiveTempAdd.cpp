// ZipArchiveTempAdd.cpp -- CZipArchive::AddFileThroughTemporary: compressing into a temporary archive, then copying.
#include "engine/ZipArchive.h"

#include "engine/ZipConstants.h"
#include "engine/ZipIoBufferLease.h"
#include "engine/ZipMemFile.h"
#include "engine/ZipPlatform.h"

#include <memory>

namespace {

/// Growth step of the in-memory temporary archive.
constexpr std::uint64_t MemoryGrowBy = 1024;

/// The temporary archive and what holds its bytes, released on every way out: the archive is
/// closed (as after an error unless it was closed normally), then the temporary file removed.
class TemporaryArchive {
public:
  TemporaryArchive(bool inMemory, std::string path) : path_(inMemory ? std::string() : std::move(path)) {
    if (inMemory) memory_ = std::make_unique<CZipMemFile>(MemoryGrowBy);
  }
  ~TemporaryArchive() {
    try {
      archive_.Close(CZipArchive::CloseAfterError);
    } catch (...) {
      // Releasing after an error writes nothing; a failure to close changes nothing we keep.
    }
    // The temporary file is ours alone; failing to remove it is not the caller's failure.
    if (!path_.empty()) PlatformOps::DeleteFileByName(path_, false);
  }
  TemporaryArchive(const TemporaryArchive&) = delete;
  TemporaryArchive& operator=(const TemporaryArchive&) = delete;

  /// Creates the empty temporary archive.
  void Create() {
    if (memory_) {
      archive_.Open(*memory_, CZipArchive::CreateNew);
    } else {
      archive_.Open(path_, CZipArchive::CreateNew);
    }
  }
  CZipArchive& archive() { return archive_; }

private:
  // Declared before the archive, so the archive is closed before its memory file goes.
  std::unique_ptr<CZipMemFile> memory_;
  std::string path_;
  CZipArchive archive_;
};

}  // namespace

CZipArchive::AddStep CZipArchive::AddFileThroughTemporary(const AddFileRequest& request, const AddAttempt& attempt,
                                                          bool checkEfficiency, bool inMemory,
                                                          const std::string& temporaryPath) {
  TemporaryArchive temporary(inMemory, temporaryPath);
  temporary.Create();
  CZipArchive& staging = temporary.archive();
  // The entry must come out as this archive would have written it: same stored name, same
  // password, same host system; the caller still sees the progress of compressing.
  staging.SetRootPath(rootPath_.c_str());
  const std::string password = GetPassword();
  staging.SetPassword(password.empty() ? nullptr : password.c_str());
  staging.SetEncryption(encryption_);
  if (PlatformOps::IsSupportedSystem(archiveHostSystem_)) staging.archiveHostSystem_ = archiveHostSystem_;
  staging.info_.bufferSize = info_.bufferSize;
  staging.SetCallback(GetCallback(cbAddFile), cbAddFile);

  // The staging archive appends the entry plainly; the replacing happens in the copy.
  AddFileRequest staged = request;
  staged.level = attempt.level;
  staged.smartFlags = 0;
  staged.replaceIndex = -1;
  if (!staging.AddFile(staged)) return AddStep::Refused;

  if (checkEfficiency) {
    CZipFileHeader packed;
    staging.GetEntryInfo(packed, 0);
    std::uint64_t packedSize = packed.m_uComprSize;
    if (packed.IsEncrypted()) packedSize -= std::min<std::uint64_t>(packedSize, EncryptionOverhead(packed));
    if (packed.m_uUncomprSize < packedSize) {
      // Deflating did not pay off: the entry goes into this archive stored, straight away.
      staging.Close(CloseNormal);
      return AddStep::StoreInstead;
    }
  }

  bool copied = false;
  {
    ZipIoBufferLease buffer(info_.buffer, info_.bufferSize);
    copied = CopyEntryFrom(staging, 0, attempt.replaceIndex, true, GetCallback(cbCopyFromTemp));
  }
  staging.Close(copied ? CloseNormal : CloseAfterError);
  return copied ? AddStep::Added : AddStep::Refused;
}
