// ZipArchiveAdd.cpp -- CZipArchive: adding files and folders, and writing one entry's data.
#include "engine/ZipArchive.h"

#include "engine/ZipAddAhead.h"

#include "engine/ZipCrc32.h"
#include "engine/ZipException.h"
#include "engine/ZipFile.h"
#include "engine/ZipPathComponent.h"
#include "engine/ZipPlatform.h"
#include "engine/ZipSourceInfo.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>

namespace {

/// Clears an archive's password for one entry that must not be encrypted and sets it again at
/// the end of the scope. Both changes go through `SetPassword`, so neither happens while an entry
/// is open.
class PasswordPause {
public:
  explicit PasswordPause(CZipArchive& archive) : archive_(archive), saved_(archive.GetPassword()) {}
  ~PasswordPause() {
    if (active_ && !saved_.empty()) archive_.SetPassword(saved_.c_str());
  }
  PasswordPause(const PasswordPause&) = delete;
  PasswordPause& operator=(const PasswordPause&) = delete;

  /// Clears the password now (when there is one).
  void Activate() {
    if (!saved_.empty() && archive_.SetPassword(nullptr)) active_ = true;
  }

private:
  CZipArchive& archive_;
  std::string saved_;
  bool active_ = false;
};

/// Tells a callback that its action ended, on every way out of a scope.
class CallbackEnd {
public:
  explicit CallbackEnd(CZipActionCallback* callback) : callback_(callback) {}
  ~CallbackEnd() {
    if (callback_ != nullptr) callback_->End();
  }
  CallbackEnd(const CallbackEnd&) = delete;
  CallbackEnd& operator=(const CallbackEnd&) = delete;

private:
  CZipActionCallback* callback_;
};

/// The most a deflate stream of `bytes` input can grow to: stored blocks of 16 KiB with 5 bytes
/// of overhead each, plus the stream's own few bytes (zlib's deflateBound for the worst case).
std::uint64_t DeflateWorstCase(std::uint64_t bytes) { return bytes + (bytes >> 12) + (bytes >> 14) + (bytes >> 25) + 13 + 5; }

/// True when a new entry of a source of `bytes` may reach 4 GiB in either size, so that its
/// local header must carry the ZIP64 block: its sizes are written into the header after the
/// data, and the header cannot grow then. Deflate's worst growth and the largest encryption
/// overhead (AES salt, verifier and code) make the margin.
bool NeedsLocalZip64(std::uint64_t bytes) {
  constexpr std::uint64_t kMostEncryptionBytes = 16 + 2 + 10;
  return DeflateWorstCase(bytes) + kMostEncryptionBytes >= ZipFormat::EndRecord::Zip64Marker32;
}

// Refuses the open entry when `bytes` reach 4 GiB and its local header has no ZIP64 block for them.
void CheckLocalSizeRoom(bool zip64, std::uint64_t bytes, const std::string& archivePath, const char* what) {
  if (!zip64 && bytes >= ZipFormat::EndRecord::Zip64Marker32)
    ThrowZipError(EFBIG, archivePath,
                  std::string("the entry's ") + what + " reached " + std::to_string(bytes) +
                      " bytes, past the 4 GiB its local header can hold: its source's size was not known "
                      "in advance");
}

}  // namespace

bool CZipArchive::AddFile(const std::string& sourcePath, int level, bool fullPath, std::uint32_t smartFlags,
                          std::uint32_t bufferSize) {
  AddFileRequest request;
  request.sourcePath = sourcePath;
  request.fullPath = fullPath;
  request.level = level;
  request.smartFlags = smartFlags;
  request.bufferSize = bufferSize;
  return AddFile(request);
}

bool CZipArchive::AddFile(const AddFileRequest& request) {
  addRefusal_ = AddSourceRefusal::None;
  AddAttempt attempt{request.level, request.smartFlags, request.replaceIndex};
  for (;;) {
    const AddStep step = AddFileOnce(request, attempt);
    if (step != AddStep::StoreInstead) return step == AddStep::Added;
    // Deflating did not pay off and the entry is gone again: the same source once more, stored,
    // its progress reported as storing again.
    attempt.level = 0;
    attempt.smartFlags = InternalReAdd;
  }
}

CZipArchive::AddStep CZipArchive::AddFileOnce(const AddFileRequest& request, AddAttempt& attempt) {
  if (info_.bufferSize <= 0 || request.bufferSize == 0) return AddStep::Refused;
  if (!archiveOpen_ || entryState_ != 0) return AddStep::Refused;

  std::string sourcePath = request.sourcePath;
  while (sourcePath.size() > 1 && sourcePath.back() == '/') sourcePath.pop_back();
  std::string storedName = request.storedName;
  if (sourcePath.empty() && request.sourceFile == nullptr) return AddStep::Refused;
  if (!sourcePath.empty() && storedName.empty()) {
    CZipPathComponent components(sourcePath);
    // A name built from a disk path never holds a root, "." or ".." (other readers would put
    // such an entry outside their target folder).
    storedName = CleanStoredName(request.fullPath ? components.GetNoDrive() : NameInArchiveFor(components));
  }

  int replaceIndex = attempt.replaceIndex;
  // A source a worker prepared comes with its file already open (and its status taken there).
  std::unique_ptr<ZipPreparedSource> prepared;
  if (addAhead_ && request.sourceFile == nullptr && replaceIndex == -1) prepared = addAhead_->Take(sourcePath);
  struct PreparedRelease {
    ZipAddAhead* ahead;
    ZipPreparedSource* source;
    ~PreparedRelease() {
      if (source != nullptr) ahead->Release(*source);
    }
  } release{addAhead_.get(), prepared.get()};
  CZipFile ownFile;
  CZipFile& diskFile = prepared && !prepared->file.IsClosed() ? prepared->file : ownFile;
  if (request.sourceFile == nullptr &&
      (replaceIndex != -1 || (request.sourceSeenAsFile && !request.sourceInfo.has_value()))) {
    // Resolving a replacement of the last entry cuts that entry off at once: a source that cannot
    // be read must be found out before, or the old entry would be lost for nothing. A file seen
    // by its directory entry is opened now too (unless a worker did), and its facts come from
    // the open descriptor.
    if (diskFile.IsClosed() && !diskFile.Open(sourcePath, CZipFile::modeRead | CZipFile::shareDenyNone, false)) {
      // Only a file that became a folder since it was seen goes on, as the folder it now is.
      if (replaceIndex != -1 || errno != EISDIR) {
        if (errno == ENOENT) addRefusal_ = AddSourceRefusal::Vanished;
        return AddStep::Refused;
      }
    } else if (RefusedAsArchive(diskFile)) {
      return AddStep::Refused;
    }
  }
  if (!ResolveReplaceIndex(replaceIndex, storedName)) return AddStep::Refused;
  attempt.replaceIndex = replaceIndex;
  const bool isReplacement = replaceIndex >= 0;

  std::uint32_t attributes = 0;
  std::time_t modTime = std::time(nullptr);
  ZipSourceInfo diskInfo;
  if (request.sourceFile != nullptr) {
    attributes = PlatformOps::DefaultFileAttributes();
  } else {
    // One stat for attributes, time and size: the caller's, when it has just made one, or the
    // open's own.
    if (request.sourceInfo.has_value())
      diskInfo = *request.sourceInfo;
    else if (diskFile.OpenStatus() != nullptr)
      diskInfo = ZipSourceInfoFromStat(*diskFile.OpenStatus());
    else if (!ZipReadSourceInfo(sourcePath, diskInfo))
      return AddStep::Refused;
    attributes = diskInfo.attributes;
    if (diskInfo.modTimeKnown) modTime = diskInfo.modTime;
    // A FIFO, socket or device is no file to archive: reading one may never end.
    std::uint32_t type = (attributes >> 16) & 0170000;
    if (type != 0100000 && type != 0040000) return AddStep::Refused;
  }

  CZipFileHeader header;
  header.SetEntryName(storedName);
  header.SetEntrySystem(archiveHostSystem_);
  header.SetEntryAttributes(attributes);
  header.SetEntryTime(modTime);

  CZipActionCallback* callback = nullptr;
  if ((attempt.smartFlags & InternalReAdd) == 0) {
    callback = GetCallback(cbAddFile);
    if (callback != nullptr) callback->Begin(storedName.c_str(), sourcePath.c_str());
  }

  if (header.IsDirectoryEntry()) {
    CallbackEnd end(callback);
    if (callback != nullptr) callback->SetTotal(0);
    PasswordPause pause(*this);
    if ((attempt.smartFlags & PlainDirectories) != 0) pause.Activate();
    const bool opened = OpenEntry(header, 0, nullptr, 0, false, false, replaceIndex);
    CloseEntryForWriting(false);
    return opened ? AddStep::Added : AddStep::Refused;
  }
  // The directory entry took its own path; what follows ends the callback inside AddFileData.
  return AddFileData(request, attempt, header, isReplacement, diskInfo, diskFile, prepared.get());
}

bool CZipArchive::RefusedAsArchive(const CZipFile& source) {
  // Read while being written, the archive's own file would give neither its old bytes nor its
  // new ones.
  if (!IsArchiveFile(source)) return false;
  addRefusal_ = AddSourceRefusal::IsArchive;
  return true;
}

bool CZipArchive::IsArchiveFile(const CZipFile& source) const {
  const struct stat* status = source.OpenStatus();
  return status != nullptr && !storage_.m_bInMemory && storage_.IsOpen() &&
         storage_.m_internalfile.IsSameFileAs(*status);
}

CZipArchive::AddStep CZipArchive::AddFileData(const AddFileRequest& request, const AddAttempt& attempt,
                                               CZipFileHeader& header, bool isReplacement,
                              const ZipSourceInfo& diskInfo, CZipFile& diskFile, ZipPreparedSource* prepared) {
  const std::uint32_t flags = attempt.smartFlags;
  int entryLevel = attempt.level;  // tiny files are stored whatever the level
  const bool reAdd = (flags & InternalReAdd) != 0;
  CZipActionCallback* addCallback = reAdd ? nullptr : GetCallback(cbAddFile);
  CallbackEnd addEnd(addCallback);

  std::string sourcePath = request.sourcePath;
  while (sourcePath.size() > 1 && sourcePath.back() == '/') sourcePath.pop_back();

  // The size is needed before anything is written: it decides whether the local header must carry
  // a ZIP64 block for sizes of 4 GiB or more (`NeedsLocalZip64`). A disk file is opened now: one
  // that cannot be read is refused before any decision rests on its size.
  std::uint64_t size = 0;
  bool sizeKnown = false;
  if (request.sourceFile != nullptr) {
    size = request.sourceFile->GetLength();
    sizeKnown = true;
  } else {
    if (diskFile.IsClosed() && !diskFile.Open(sourcePath, CZipFile::modeRead | CZipFile::shareDenyNone, false))
      return AddStep::Refused;
    if (RefusedAsArchive(diskFile)) return AddStep::Refused;
    sizeKnown = diskInfo.isRegularFile;
    size = diskInfo.size;
  }

  bool checkEfficiency = (flags & CheckEfficiency) != 0 && entryLevel != 0;
  bool plainEmpty = (flags & PlainEmptyFiles) != 0 && !password_.View().empty();
  bool storeTiny = (flags & StoreTinyFiles) != 0 && entryLevel != 0;
  bool useTemporary = (checkEfficiency && storage_.IsSpanned()) || (isReplacement && entryLevel != 0);
  PasswordPause pause(*this);
  if (!sizeKnown) {
    checkEfficiency = false;
  } else {
    if (size == 0 && plainEmpty) pause.Activate();
    if (size < 5 && storeTiny) entryLevel = 0;
  }
  // A compressed replacement (its packed size is not known in advance) and the efficiency check
  // on a spanned archive (which cannot be cut back) go through a temporary archive.
  const bool inMemory = checkEfficiency && (flags & TempInMemory) != 0;
  std::string temporaryPath;
  if (useTemporary && !inMemory) {
    temporaryPath = PlatformOps::TempFileName(tempPath_, size);
    if (temporaryPath.empty()) useTemporary = false;
  }
  if (useTemporary) {
    diskFile.Close();  // the temporary archive reads the source itself
    return AddFileThroughTemporary(request, AddAttempt{entryLevel, flags, attempt.replaceIndex}, checkEfficiency,
                                   inMemory, temporaryPath);
  }
  if (isReplacement && !sizeKnown) return AddStep::Refused;  // the stored replacement needs its size first

  CZipAbstractFile* source = request.sourceFile;
  if (source != nullptr) {
    source->SeekToBegin();
  } else {
    source = &diskFile;
  }
  // Progress totals are 32-bit: a longer source reports the most they hold.
  const std::uint32_t length =
      static_cast<std::uint32_t>(std::min<std::uint64_t>(sizeKnown ? size : source->GetLength(), UINT32_MAX));
  // A deflated entry of known size takes its data deflated whole or in chunks; the stream
  // through the entry's own zlib state stays for sizes not known in advance.
  const bool deliverPacked = sizeKnown && !isReplacement && entryLevel != 0;
  if (!OpenEntry(header, entryLevel, nullptr, sizeKnown ? size : 0, sizeKnown, deliverPacked,
                 isReplacement ? attempt.replaceIndex : -1)) {
    return AddStep::Refused;
  }

  CZipActionCallback* stepCallback = addCallback;
  CZipActionCallback* storeAgain = reAdd ? GetCallback(cbStoreAgain) : nullptr;
  CallbackEnd storeAgainEnd(storeAgain);
  if (storeAgain != nullptr) {
    storeAgain->Begin(header.GetFileName().c_str(), sourcePath.c_str());
    storeAgain->SetTotal(length);
    stepCallback = storeAgain;
  } else if (addCallback != nullptr) {
    addCallback->SetTotal(length);
  }

  // A step the callback answers with "stop": the entry is finished when its data was all
  // written, else cut off again.
  auto step = [&](std::uint32_t got, bool moreToRead) {
    if (stepCallback == nullptr || stepCallback->Step(got)) return;
    if (!moreToRead) {
      CloseEntryForWriting(false);
      ThrowZipError(errActionAbortedSafely);
    }
    // A spanned archive or a replaced entry cannot be undone by cutting the file.
    if (storage_.IsSpanned() || isReplacement) ThrowZipError(errActionAborted);
    RemoveLastEntry(true);
    CloseEntryForWriting(true);
    ThrowZipError(errActionAbortedSafely);
  };

  // The entry holds the bytes the source had when its size was read: every decision above (the local
  // ZIP64 block, a replacement's room) was checked against that size, and with it known no read is spent
  // on finding the end. A file whose size was not known is read until a read falls short.
  if (deliverPacked) {
    WritePackedSource(*source, size, entryLevel, source == &diskFile ? prepared : nullptr, request.bufferSize,
                      step);
    CloseEntryForWriting(false);
  } else {
    if (prepared != nullptr && source == &diskFile) source->SeekToBegin();
    std::uint64_t bytesLeft = size;
    readBuffer_.Allocate(request.bufferSize);
    for (;;) {
      const std::uint32_t wanted =
          sizeKnown ? static_cast<std::uint32_t>(std::min<std::uint64_t>(bytesLeft, request.bufferSize))
                    : request.bufferSize;
      std::uint32_t got = wanted > 0 ? source->Read(readBuffer_.data(), wanted) : 0;
      if (sizeKnown) bytesLeft -= got;
      if (got > 0) {
        WriteEntryData(readBuffer_.data(), got);
        step(got, got == request.bufferSize && source->GetPosition() < source->GetLength());
      }
      if (got < wanted || (sizeKnown ? bytesLeft == 0 : got < request.bufferSize)) {
        CloseEntryForWriting(false);
        break;
      }
    }
  }

  if (checkEfficiency) {
    diskFile.Close();
    const CZipFileHeader* last = centralDir_.GetHeader(static_cast<std::uint16_t>(centralDir_.GetCount() - 1));
    std::uint64_t packed = last->m_uComprSize;
    if (last->IsEncrypted()) packed -= std::min<std::uint64_t>(packed, EncryptionOverhead(*last));
    if (last->m_uUncomprSize < packed) {
      RemoveLastEntry(true);
      return AddStep::StoreInstead;
    }
  }
  return AddStep::Added;
}

bool CZipArchive::OpenEntryForWriting(CZipFileHeader& header, int level, const char* sourcePath,
                                      std::uint32_t size) {
  int replaceIndex = -1;
  if ((level & 0xFFFF) == ReplaceLevelMarker) {
    replaceIndex = static_cast<int>(static_cast<unsigned>(level) >> 16);
    level = 0;
  }
  return OpenEntry(header, level, sourcePath, size, false, false, replaceIndex);
}

bool CZipArchive::OpenEntry(CZipFileHeader& header, int level, const char* sourcePath, std::uint64_t size,
                            bool sizeKnown, bool packed, int replaceIndex) {
  if (!archiveOpen_ || entryState_ != 0 || storage_.IsExistingSpanned() || storage_.m_bReadOnly) return false;
  if (centralDir_.GetCount() >= ZipFormat::MaxEntries) return false;
  if (replaceIndex >= 0) {
    level = 0;  // the size must be known in advance: the data is stored
    // Only an entry followed by another has a space to resize; the last one is cut and appended.
    if (storage_.IsSpanned() || replaceIndex + 1 >= centralDir_.GetCount()) return false;
  }

  std::uint32_t attributes = 0;
  std::time_t modTime = std::time(nullptr);
  if (sourcePath != nullptr) {
    ZipSourceInfo info;
    if (!ZipReadSourceInfo(sourcePath, info)) return false;
    attributes = info.attributes;
    if (info.modTimeKnown) modTime = info.modTime;
    header.SetEntryTime(modTime);
    header.SetEntrySystem(archiveHostSystem_);
    header.SetEntryAttributes(attributes);
  } else {
    // Attributes are held in the form of the entry's host system: keep their meaning.
    std::uint32_t hostAttributes = header.EntryAttributes();
    header.SetEntrySystem(archiveHostSystem_);
    header.SetEntryAttributes(hostAttributes);
  }

  std::string name = header.GetFileName();
  bool isDirectory = header.IsDirectoryEntry();
  if (isDirectory && (name.empty() || (name.back() != '/' && name.back() != '\\'))) name += '/';
  if (name.empty()) name = "file" + std::to_string(centralDir_.GetCount());
  header.SetEntryName(name);

  entryEncrypted_ = !password_.View().empty();
  entryAes_ = false;
  if (level < -1 || level > 9) level = -1;
  if (isDirectory) level = 0;  // a folder has no data to compress
  if (!header.PrepareForAdding(level, storage_.IsNewSpanned(), entryEncrypted_)) {
    ThrowArchiveError(errNameTooLong);
  }
  if (entryEncrypted_ && encryption_ != ZipCrypto) PrepareAesHeader(header);

  // Sizes go into the local header after the data, which cannot grow then: the ZIP64 block is
  // reserved from what the source's size says the entry may reach.
  entryZip64_ = sizeKnown && NeedsLocalZip64(size);
  if (entryZip64_) header.AddLocalZip64Field();

  info_.buffer.Allocate(static_cast<std::uint32_t>(info_.bufferSize));
  std::uint64_t replaceSpace = 0;
  if (replaceIndex >= 0) {
    replaceSpace = size + header.HeaderSize(true) + NewEntryOverhead() +
                   (header.IsDataDescriptor() ? ZipFormat::SignatureSize +
                                                    (entryZip64_ ? ZipFormat::DataDescriptor::Zip64Size
                                                                 : ZipFormat::DataDescriptor::Size)
                                              : 0);
  }
  CZipFileHeader* opened = nullptr;
  try {
    opened = centralDir_.AddHeader(header, replaceIndex);
    if (replaceIndex >= 0) MakeRoomForReplace(replaceIndex, replaceSpace, opened->GetFileName());
    opened->WriteLocalHeader(storage_);
    entryStartOffset_ = static_cast<std::uint64_t>(opened->m_uOffset) + opened->HeaderSize(true);

    if (entryAes_) {
      StartAesData(*opened);
    } else if (entryEncrypted_) {
      char encryptionHeader[ZipFormat::Encryption::HeaderSize];
      crypto_.MakeEncryptionHeader(password_.View(), static_cast<std::uint32_t>(opened->m_uModTime) << 16,
                                   encryptionHeader);
      storage_.StorageWrite(encryptionHeader, sizeof encryptionHeader, false);
      entryStartOffset_ += sizeof encryptionHeader;
    }
  } catch (...) {
    // The entry never opened: its header leaves the directory at once, or a directory written
    // after the failure (CloseAfterErrorKeepDirectory) would name an entry that is not in the file.
    if (centralDir_.m_pOpenedFile != nullptr) centralDir_.RemoveHeader(centralDir_.m_pOpenedFile, -1, true);
    centralDir_.m_pOpenedFile = nullptr;
    throw;
  }

  info_.compressedLeft = 0;
  info_.crc = 0;
  entryOutputBytes_ = 0;
  entryInputBytes_ = 0;
  if (!entryAes_) entryDeflated_ = opened->m_uMethod == ZipFormat::Method::Deflated;
  entryPacked_ = packed && entryDeflated_;
  if (entryDeflated_ && !entryPacked_) {
    StartDeflate(level);
    deflateStream_.next_out = reinterpret_cast<Bytef*>(info_.buffer.data());
    deflateStream_.avail_out = info_.buffer.GetSize();
  }
  entryState_ = 1;
  return true;
}

void CZipArchive::FlushEntryBuffer(std::uint32_t count) {
  if (count == 0) return;
  CheckLocalSizeRoom(entryZip64_, centralDir_.m_pOpenedFile->m_uComprSize + entryOutputBytes_ + count,
                     GetArchivePath(), "packed size");
  if (entryAes_)
    aes_.Encrypt(info_.buffer.data(), count);
  else if (entryEncrypted_)
    crypto_.EncodeBuffer(info_.buffer.data(), count);
  storage_.StorageWrite(info_.buffer.data(), count, false);
  entryOutputBytes_ += count;
}

bool CZipArchive::WriteEntryData(const void* bytes, std::uint32_t count) {
  if (entryState_ != 1 || entryPacked_) return false;
  if (count == 0) return true;
  CheckLocalSizeRoom(entryZip64_, entryInputBytes_ + count, GetArchivePath(), "size");
  CZipFileHeader* opened = centralDir_.m_pOpenedFile;
  opened->m_uCrc32 = ZipCrc32(opened->m_uCrc32, bytes, count);
  entryInputBytes_ += count;

  const std::uint32_t bufferSize = info_.buffer.GetSize();
  if (entryDeflated_) {
    z_stream& stream = deflateStream_;
    stream.next_in = const_cast<Bytef*>(static_cast<const Bytef*>(bytes));
    stream.avail_in = count;
    while (stream.avail_in > 0) {
      if (stream.avail_out == 0) {
        FlushEntryBuffer(bufferSize);
        stream.next_out = reinterpret_cast<Bytef*>(info_.buffer.data());
        stream.avail_out = bufferSize;
      }
      int result = deflate(&stream, Z_NO_FLUSH);
      if (result != Z_OK && result != Z_NEED_DICT) ThrowArchiveError(result, true);
    }
    return true;
  }

  const char* input = static_cast<const char*>(bytes);
  std::uint32_t left = count;
  while (left > 0) {
    if (info_.compressedLeft == bufferSize) {
      FlushEntryBuffer(bufferSize);
      info_.compressedLeft = 0;
    }
    const auto piece = static_cast<std::uint32_t>(std::min<std::uint64_t>(left, bufferSize - info_.compressedLeft));
    std::memcpy(info_.buffer.data() + info_.compressedLeft, input, piece);
    info_.compressedLeft += piece;
    input += piece;
    left -= piece;
  }
  return true;
}

bool CZipArchive::CloseEntryForWriting(bool afterError) {
  if (entryState_ != 1) return false;
  if (afterError) {
    // Nothing more is written; the header stays listed with the sizes it was opened with.
    // A stream stopped half-way is not reused: the next entry starts a fresh one.
    if (entryDeflated_ && !entryPacked_) EndDeflate();
    centralDir_.m_pOpenedFile = nullptr;
  } else {
    CZipFileHeader* opened = centralDir_.m_pOpenedFile;
    if (entryDeflated_ && !entryPacked_) {
      const std::uint32_t bufferSize = info_.buffer.GetSize();
      z_stream& stream = deflateStream_;
      stream.next_in = nullptr;
      stream.avail_in = 0;
      for (;;) {
        if (stream.avail_out == 0) {
          FlushEntryBuffer(bufferSize);
          stream.next_out = reinterpret_cast<Bytef*>(info_.buffer.data());
          stream.avail_out = bufferSize;
        }
        int result = deflate(&stream, Z_FINISH);
        if (result == Z_STREAM_END) break;
        if (result != Z_OK && result != Z_BUF_ERROR) ThrowArchiveError(result, true);
      }
      // The finished stream is kept and reset for the next entry rather than ended.
      FlushEntryBuffer(bufferSize - stream.avail_out);
    } else {
      FlushEntryBuffer(static_cast<std::uint32_t>(info_.compressedLeft));  // at most one buffer
      info_.compressedLeft = 0;
    }
    if (entryAes_) FinishAesData(*opened);
    // The compressed size started at 12 for an encrypted entry: the encryption header (an AES
    // entry's salt and verifier).
    opened->m_uComprSize += entryOutputBytes_;
    opened->m_uUncomprSize = entryInputBytes_;
    centralDir_.FinishNewEntry(entryZip64_);
  }
  entryState_ = 0;
  entryPacked_ = false;
  ReleaseEntryState();
  if (autoWrite_ && !afterError) WriteDirectoryNow();
  return true;
}

bool CZipArchive::RemoveLastEntry(bool force) {
  if (!archiveOpen_ || storage_.IsSpanned()) return false;  // a volume cannot be cut back
  std::uint16_t count = centralDir_.GetCount();
  if (count == 0) return false;
  CZipFileHeader* last = centralDir_.GetHeader(static_cast<std::uint16_t>(count - 1));
  if (!force) {
    std::uint64_t packed = last->m_uComprSize;
    if (last->IsEncrypted()) packed -= std::min<std::uint64_t>(packed, EncryptionOverhead(*last));
    if (last->m_uUncomprSize >= packed) return false;
  }
  // The open entry's offset is still a file position; a finished one counts from the archive.
  bool isOpenEntry = last == centralDir_.m_pOpenedFile;
  std::uint64_t cutAt = last->m_uOffset;
  if (!isOpenEntry) cutAt += centralDir_.m_uBytesBeforeZip;
  centralDir_.RemoveHeader(last, count - 1, true);
  if (isOpenEntry) centralDir_.m_pOpenedFile = nullptr;
  // Bytes still in the write buffer go where the file position is. When that lies at or past
  // the cut they belong to the entry being removed: drop them instead of writing them, since the
  // write that failed (a full disk) would only fail again and leave the archive without a
  // directory.
  if (storage_.m_pFile->GetPosition() >= cutAt)
    storage_.DropBufferedBytes(storage_.GetBytesInWriteBuffer());
  else
    storage_.StorageFlush();
  storage_.m_pFile->SetLength(cutAt);
  storage_.m_pFile->SeekToEnd();
  centralDir_.m_bOnDisk = false;
  return true;
}
