// ZipArchive.cpp -- CZipArchive: opening, closing, settings, entry look-up and the shared entry state.
#include "engine/ZipArchive.h"

#include "engine/ZipAddAhead.h"
#include "engine/ZipException.h"
#include "engine/ZipMemFile.h"
#include "engine/ZipPlatform.h"
#include "engine/ZipTextCompare.h"

#include <algorithm>
#include <cstring>

CZipArchive::CZipArchive() : nameCompare_(ZipCompareNoCase), centralDir_(&storage_) {}

CZipArchive::~CZipArchive() {
  // A stream abandoned by an exception is never ended; its blocks are ours to free.
  ZipZlibFreeAll(zlibBlocks_);
  EndDeflate();
}

bool CZipArchive::Open(const std::string& path, int mode, int volumeSize) {
  if (!IsClosed()) return false;
  storage_.StorageOpen(path, mode, volumeSize);
  InitAfterOpen(mode);
  return true;
}

bool CZipArchive::Open(CZipMemFile& memoryFile, int mode) {
  if (!IsClosed()) return false;
  storage_.StorageOpenMemory(memoryFile, mode);
  InitAfterOpen(mode);
  return true;
}

void CZipArchive::InitAfterOpen(int mode) {
  password_.Release();
  entryState_ = 0;
  centralDir_.Clear();
  archiveHostSystem_ = PlatformOps::HostSystemCode();
  rootPath_.clear();
  if (mode == OpenExisting || mode == OpenReadOnly) {
    centralDir_.ReadCentralDir();
    // New entries carry the host system of the existing ones, so that one archive does not mix
    // attribute conventions.
    if (centralDir_.GetCount() > 0) {
      int system = centralDir_.GetHeader(0)->EntrySystem();
      if (PlatformOps::IsSupportedSystem(system)) archiveHostSystem_ = system;
    }
  }
  archiveOpen_ = true;
}

void CZipArchive::Close(int closeMode, bool updateTime) {
  bool afterError = closeMode != CloseNormal;
  if (!archiveOpen_) {
    // Only the after-error modes release a file left open by a failed Open.
    if (!afterError || !storage_.IsOpen()) return;
  }
  if (entryState_ == -1) CloseEntryForReading(nullptr, afterError);
  if (entryState_ == 1) {
    CZipFileHeader* abandoned = centralDir_.m_pOpenedFile;
    CloseEntryForWriting(afterError);
    // The directory kept after an error describes the finished entries only: a header with the
    // sizes of a half-written entry would make every reader reject the archive.
    if (closeMode == CloseAfterErrorKeepDirectory && abandoned != nullptr) centralDir_.RemoveHeader(abandoned, -1, true);
  }
  // A directory that was never read completely is not written back over the file.
  if (archiveOpen_ && closeMode != CloseAfterError && storage_.IsOpen()) {
    centralDir_.WriteCentralDir(GetCallback(cbSaveDirectory));
    // The directory reaches the file while it is still known here: a write that fails leaves the
    // archive open with it, and a second Close writes it again. Failing only when the storage was
    // closed, after the directory was emptied, would leave a retry nothing but an empty one.
    storage_.StorageFlush();
  }
  std::time_t latest = 0;
  if (updateTime) {
    for (std::uint16_t i = 0; i < centralDir_.GetCount(); ++i) {
      latest = std::max(latest, centralDir_.GetHeader(i)->EntryTime());
    }
  }
  ReleaseEntryState();
  ReleaseArchiveBuffers();
  targetFolder_.Release();
  centralDir_.m_pOpenedFile = nullptr;
  centralDir_.Clear();
  std::string closedPath = storage_.StorageClose(closeMode == CloseAfterError);
  archiveOpen_ = false;
  entryState_ = 0;
  if (updateTime && !closedPath.empty()) PlatformOps::WriteModTime(closedPath, latest);
}

bool CZipArchive::IsClosed() const { return !archiveOpen_; }

bool CZipArchive::SetPassword(const char* password) {
  if (entryState_ != 0) return false;
  const std::string_view wanted = password != nullptr ? std::string_view(password) : std::string_view();
  // Entries decoded ahead were decoded with the password before.
  if (wanted != password_.View()) decodeAhead_.Clear();
  if (password != nullptr) {
    password_.Assign(password, static_cast<std::uint32_t>(std::strlen(password)));
  } else {
    password_.Release();
  }
  return true;
}

std::string CZipArchive::GetPassword() const { return password_.ToString(); }

void CZipArchive::SetRootPath(const char* path) {
  if (!archiveOpen_ || entryState_ != 0) return;
  if (path == nullptr) {
    rootPath_.clear();
    return;
  }
  rootPath_ = path;
  // Trailing separators go, but the lone root "/" stays the root.
  while (rootPath_.size() > 1 && rootPath_.back() == '/') rootPath_.pop_back();
}

void CZipArchive::SetCallback(CZipActionCallback* callback, int kinds) { callbacks_.SetCallback(callback, kinds); }

CZipActionCallback* CZipArchive::GetCallback(CallbackType kind) { return callbacks_.GetCallback(kind); }

int CZipArchive::GetCount() const { return archiveOpen_ ? centralDir_.GetCount() : 0; }

bool CZipArchive::GetEntryInfo(CZipFileHeader& info, int index) const {
  if (!archiveOpen_ || index < 0 || index >= centralDir_.GetCount()) return false;
  // The directory holds names in host form from the moment it reads them.
  info = *centralDir_.GetHeader(static_cast<std::uint16_t>(index));
  return true;
}

int CZipArchive::FindEntry(const std::string& name) {
  if (!archiveOpen_) return -1;
  return centralDir_.FindByName(name, caseSensitive_, false, false);
}

std::string CZipArchive::GetArchivePath() const {
  if (!storage_.IsOpen()) return {};
  return storage_.GetFilePath();
}

CZipArchive::SpanState CZipArchive::GetSpanState() const {
  if (!storage_.IsOpen()) return SpanState::NotSpanned;
  if (storage_.IsNewSpanned()) return SpanState::NewSpanned;
  if (storage_.IsSpanned()) return SpanState::ExistingSpanned;
  return SpanState::NotSpanned;
}

void CZipArchive::ThrowArchiveError(int code, bool fromZlib) const {
  if (fromZlib) code = ZlibToZipError(code);
  ThrowZipError(code, GetArchivePath());
}

void CZipArchive::WriteDirectoryNow() {
  if (!archiveOpen_ || storage_.IsExistingSpanned()) return;
  centralDir_.WriteCentralDir(GetCallback(cbSaveDirectory));
  storage_.StorageFlush();
  if (!storage_.m_bInMemory && !storage_.m_bReadOnly && !storage_.IsSpanned()) storage_.m_pFile->Flush();
  if (storage_.IsNewSpanned()) storage_.ReopenAfterWrite();
}

void CZipArchive::ReleaseEntryState() {
  entryAes_ = false;
  // The I/O buffer stays for the next entry (allocating 64 KiB per entry showed up as a growing
  // and shrinking heap); `Close` frees it.
  info_.stream = z_stream{};
  ZipZlibFreeAll(zlibBlocks_);
  zlibStreamOpen_ = false;
  followingAhead_ = CZipDecodeAhead::Following{};
  decompressor_.reset();
  decompressorEnded_ = false;
  whole_.Reset();
}

void CZipArchive::PrepareZlibStream() {
  info_.stream = z_stream{};
  info_.stream.zalloc = ZipZlibAlloc;
  info_.stream.zfree = ZipZlibFree;
  info_.stream.opaque = trackAllocations_ ? &zlibBlocks_ : nullptr;
}

std::uint64_t CZipArchive::AppendPosition() const {
  // An old directory still in the file is cut off before the next local header is written.
  if (centralDir_.m_bOnDisk) {
    return static_cast<std::uint64_t>(centralDir_.m_info.m_uOffset) + centralDir_.m_uBytesBeforeZip;
  }
  return storage_.m_pFile->GetLength() + storage_.GetBytesInWriteBuffer();
}

void CZipArchive::StartDeflate(int level) {
  if (deflateReady_ && deflateLevel_ == level && deflateReset(&deflateStream_) == Z_OK) return;
  EndDeflate();
  deflateStream_ = z_stream{};
  deflateStream_.zalloc = ZipZlibAlloc;
  deflateStream_.zfree = ZipZlibFree;
  deflateStream_.opaque = trackAllocations_ ? &deflateBlocks_ : nullptr;
  int result = deflateInit2(&deflateStream_, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
  if (result != Z_OK && result != Z_NEED_DICT) {
    ZipZlibFreeAll(deflateBlocks_);
    ThrowArchiveError(result, true);
  }
  deflateReady_ = true;
  deflateLevel_ = level;
}

void CZipArchive::EndDeflate() {
  if (deflateReady_) deflateEnd(&deflateStream_);
  deflateReady_ = false;
  // Without tracking the blocks are zlib's to free, which deflateEnd did.
  ZipZlibFreeAll(deflateBlocks_);
}

void CZipArchive::ReleaseArchiveBuffers() {
  EndDeflate();
  info_.ReleaseBuffer();
  readBuffer_.Release();
  decodeAhead_.Release();
  whole_.packed.Release();
  whole_.data.Release();
}
