// ZipArchiveExtract.cpp -- CZipArchive: opening, reading and closing one entry's data.
#include "engine/ZipArchive.h"

#include "engine/ZipCrc32.h"
#include "engine/ZipException.h"
#include "engine/ZipFile.h"
#include "engine/ZipFileException.h"
#include "engine/ZipPathComponent.h"
#include "engine/ZipPlatform.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <utility>

namespace {

/// Undoes a half-done `OpenEntryForReading` when it throws, so that one bad entry (a wrong
/// password, a damaged header) leaves the archive usable for the next one.
class ReadingOpenGuard {
public:
  explicit ReadingOpenGuard(std::function<void()> undo) : undo_(std::move(undo)) {}
  ~ReadingOpenGuard() {
    if (undo_) undo_();
  }
  ReadingOpenGuard(const ReadingOpenGuard&) = delete;
  ReadingOpenGuard& operator=(const ReadingOpenGuard&) = delete;
  void Dismiss() { undo_ = nullptr; }

private:
  std::function<void()> undo_;
};

}  // namespace

bool CZipArchive::OpenEntryForReading(int index) {
  if (!archiveOpen_ || index < 0 || index >= centralDir_.GetCount()) return false;
  if (storage_.IsNewSpanned() || entryState_ != 0) return false;

  ReadingOpenGuard guard([this] {
    centralDir_.m_pOpenedFile = nullptr;
    centralDir_.m_pLocalExtraField.Release();
    if (zlibStreamOpen_) inflateEnd(&info_.stream);
    ReleaseEntryState();
  });
  info_.buffer.Allocate(static_cast<std::uint32_t>(info_.bufferSize));
  centralDir_.OpenEntryHeader(static_cast<std::uint16_t>(index));
  CZipFileHeader* opened = centralDir_.m_pOpenedFile;

  // The method is judged before the password: no password makes an unreadable method readable.
  // An AES entry (method 99) names its real method in its 0x9901 block, judged below.
  entryDeflated_ = opened->m_uMethod == ZipFormat::Method::Deflated;
  if (opened->m_uMethod != ZipFormat::Method::Stored && !entryDeflated_ && opened->m_uMethod != ZipAesFormat::Method) {
    decompressor_ = CZipDecompressor::ForMethod(opened->m_uMethod, opened->m_uFlag, opened->m_uUncomprSize);
    if (decompressor_ == nullptr)
      ThrowZipError(errUnsupportedMethod, GetArchivePath(), ZipUnsupportedMethodText(opened->m_uMethod));
  }

  entryEncrypted_ = opened->IsEncrypted();
  std::uint64_t packedBytes = opened->m_uComprSize;
  std::uint16_t method = opened->m_uMethod;
  char* decodedAhead = nullptr;
  if (entryEncrypted_ && method == ZipAesFormat::Method) {
    packedBytes = OpenAesEntry(*opened, method);
  } else if (entryEncrypted_) {
    if (password_.View().empty()) ThrowArchiveError(errBadPassword);
    if (packedBytes < ZipFormat::Encryption::HeaderSize) ThrowArchiveError(errBadArchive);
    decodedAhead = DecodedAhead(index, *opened);
    if (decodedAhead == nullptr && !crypto_.CheckEncryptionHeader(password_.View(), *opened, storage_))
      ThrowArchiveError(errBadPassword);
    packedBytes -= ZipFormat::Encryption::HeaderSize;
  }

  // Method 99 without encryption is no AES entry: damaged.
  if (method == ZipAesFormat::Method) ThrowArchiveError(errBadArchive);
  if (method != opened->m_uMethod) {
    // An AES entry's real method, read from its 0x9901 block.
    entryDeflated_ = method == ZipFormat::Method::Deflated;
    if (method != ZipFormat::Method::Stored && !entryDeflated_) {
      decompressor_ = CZipDecompressor::ForMethod(method, opened->m_uFlag, opened->m_uUncomprSize);
      if (decompressor_ == nullptr) ThrowZipError(errUnsupportedMethod, GetArchivePath(), ZipUnsupportedMethodText(method));
    }
  }
  // Stored data is the file itself: sizes that disagree mean a damaged entry.
  if (method == ZipFormat::Method::Stored && packedBytes != opened->m_uUncomprSize)
    ThrowArchiveError(errBadArchive);

  // Data that would run past the end of the archive file is refused before any of it is used
  // (data decoded ahead was read whole from the file).
  if (!storage_.IsSpanned() && decodedAhead == nullptr) {
    std::uint64_t dataStart = storage_.m_pFile->GetPosition();
    const std::uint64_t trailer = entryAes_ ? ZipAesFormat::CodeSize : 0;
    if (dataStart + packedBytes + trailer > storage_.m_pFile->GetLength()) ThrowArchiveError(errBadArchive);
  }

  if (entryDeflated_) {
    PrepareZlibStream();
    int result = inflateInit2(&info_.stream, -MAX_WBITS);
    if (result != Z_OK && result != Z_NEED_DICT) ThrowArchiveError(result, true);
    zlibStreamOpen_ = true;
  } else {
    info_.stream = z_stream{};
  }
  info_.compressedLeft = packedBytes;
  if (decodedAhead != nullptr) {
    // All the packed data is in memory already, decrypted: nothing is left to read.
    info_.stream.next_in = reinterpret_cast<Bytef*>(decodedAhead);
    info_.stream.avail_in = static_cast<uInt>(packedBytes);  // the window holds at most a few MiB
    info_.compressedLeft = 0;
  }
  info_.uncompressedLeft = opened->m_uUncomprSize;
  whole_.Reset();
  whole_.pending = entryDeflated_ && CZipWholeInflater::Fits(opened->m_uUncomprSize, packedBytes);
  info_.crc = 0;
  dummyByteOffered_ = false;
  entryState_ = -1;
  guard.Dismiss();
  return true;
}

char* CZipArchive::DecodedAhead(int index, const CZipFileHeader& entry) {
  // A split archive reads through volume changes, and a writable one may change under the
  // window: both are read the ordinary way.
  if (!readAhead_ || storage_.IsSpanned() || !storage_.m_bReadOnly) return nullptr;
  CZipAbstractFile& file = *storage_.m_pFile;
  const std::uint64_t position = file.GetPosition();
  CZipDecodeAhead::Decoded decoded = decodeAhead_.Find(index, position);
  if (decoded.header == nullptr) {
    decodeAhead_.Fill(file, centralDir_, index, position, password_.View());
    decoded = decodeAhead_.Find(index, position);
  }
  // Served only as decoded with the flags the open has just settled on: the window judged the
  // entry by the same rule, so a difference means the bytes it holds are not this entry's.
  if (decoded.header == nullptr || decoded.length != entry.m_uComprSize || decoded.flags != entry.m_uFlag) {
    file.Seek(static_cast<std::int64_t>(position), CZipAbstractFile::begin);
    return nullptr;
  }
  // An entry whose header failed the check was left encrypted: it is never data.
  const auto checkByte = static_cast<std::uint8_t>(decoded.header[ZipFormat::Encryption::HeaderSize - 1]);
  if (!decoded.dataDecoded || checkByte != CZipCrypto::ExpectedCheckByte(entry)) ThrowArchiveError(errBadPassword);
  // Only a data descriptor is read after the data: from the window when it holds the bytes
  // that may make it up, else from the file, which must then be right after the data.
  if (entry.IsDataDescriptor()) {
    if (decoded.following.count >= CZipCentralDir::DescriptorReadSize)
      followingAhead_ = decoded.following;
    else
      file.Seek(static_cast<std::int64_t>(position + entry.m_uComprSize), CZipAbstractFile::begin);
  }
  return decoded.header + ZipFormat::Encryption::HeaderSize;
}

void CZipArchive::ReadPackedPiece() {
  const auto piece = static_cast<std::uint32_t>(std::min<std::uint64_t>(info_.buffer.GetSize(), info_.compressedLeft));
  storage_.StorageRead(info_.buffer.data(), piece, false);
  DecryptPacked(info_.buffer.data(), piece);
  info_.compressedLeft -= piece;
  info_.stream.next_in = reinterpret_cast<Bytef*>(info_.buffer.data());
  info_.stream.avail_in = piece;
}

std::uint32_t CZipArchive::ReadEntryData(void* buffer, std::uint32_t count) {
  if (entryState_ != -1 || buffer == nullptr || count == 0) return 0;
  // Never more than the declared size, whatever the packed data would give.
  const auto room = static_cast<std::uint32_t>(std::min<std::uint64_t>(count, info_.uncompressedLeft));
  Bytef* output = static_cast<Bytef*>(buffer);
  if (decompressor_ != nullptr) return ReadDecompressed(output, room);
  if (whole_.served < whole_.ready) return ServeWhole(output, room);
  std::uint32_t delivered = 0;
  if (whole_.pending && room > 0 && InflateWhole(output, room, delivered)) return delivered;

  if (!entryDeflated_) {
    while (delivered < room) {
      std::uint32_t wanted = room - delivered;
      if (info_.stream.avail_in == 0 && wanted >= info_.buffer.GetSize()) {
        // A whole buffer or more: read straight into the caller's buffer, saving a copy.
        const auto piece = static_cast<std::uint32_t>(std::min<std::uint64_t>(wanted, info_.compressedLeft));
        storage_.StorageRead(output + delivered, piece, false);
        DecryptPacked(reinterpret_cast<char*>(output + delivered), piece);
        info_.compressedLeft -= piece;
        info_.crc = ZipCrc32(info_.crc, output + delivered, piece);
        delivered += piece;
        continue;
      }
      if (info_.stream.avail_in == 0) ReadPackedPiece();
      std::uint32_t piece = std::min(wanted, info_.stream.avail_in);
      std::memcpy(output + delivered, info_.stream.next_in, piece);
      info_.crc = ZipCrc32(info_.crc, output + delivered, piece);
      info_.stream.next_in += piece;
      info_.stream.avail_in -= piece;
      delivered += piece;
    }
    info_.uncompressedLeft -= delivered;
    return delivered;
  }

  z_stream& stream = info_.stream;
  // With the declared size delivered, one more pass lets zlib see the end of the stream.
  const bool finalPass = room == 0 && (info_.compressedLeft > 0 || stream.avail_in > 0);
  if (room == 0 && !finalPass) return 0;
  stream.next_out = output;
  stream.avail_out = room;
  for (;;) {
    if (stream.avail_out == 0 && !finalPass) break;
    if (stream.avail_in == 0) {
      if (info_.compressedLeft > 0) {
        ReadPackedPiece();
      } else if (finalPass) {
        break;
      } else if (!dummyByteOffered_) {
        // Old deflate writers may end a stream one byte short; zlib is given one byte of zeros.
        static const Bytef dummyByte = 0;
        stream.next_in = const_cast<Bytef*>(&dummyByte);  // inflate never writes its input
        stream.avail_in = 1;
        dummyByteOffered_ = true;
      } else {
        // The packed data ended inside the deflate stream.
        ThrowDataError(Z_DATA_ERROR);
      }
    }
    uLong before = stream.total_out;
    int result = inflate(&stream, Z_SYNC_FLUSH);
    std::uint32_t produced = static_cast<std::uint32_t>(stream.total_out - before);
    if (produced > 0) {
      info_.crc = ZipCrc32(info_.crc, output + delivered, produced);
      info_.uncompressedLeft -= produced;
      delivered += produced;
    }
    if (result == Z_STREAM_END) return delivered;
    if (result != Z_OK && result != Z_NEED_DICT) ThrowDataError(result);
    if (finalPass && produced == 0 && stream.avail_in == 0 && info_.compressedLeft == 0) break;
  }
  return delivered;
}

bool CZipArchive::InflateWhole(Bytef* output, std::uint32_t room, std::uint32_t& delivered) {
  // Tried once: an entry this does not take is read by the stream from here on.
  whole_.pending = false;
  z_stream& stream = info_.stream;
  if (info_.compressedLeft > 0) {
    // Not decoded ahead: the packed bytes are read whole, where the stream can take them too.
    const std::uint32_t packedBytes = info_.compressedLeft;
    char* packed = whole_.packed.Reserve(packedBytes);
    storage_.StorageRead(packed, packedBytes, false);
    DecryptPacked(packed, packedBytes);
    info_.compressedLeft = 0;
    stream.next_in = reinterpret_cast<Bytef*>(packed);
    stream.avail_in = packedBytes;
  }
  const std::uint32_t size = info_.uncompressedLeft;
  const bool direct = room >= size;
  Bytef* data = direct ? output : reinterpret_cast<Bytef*>(whole_.data.Reserve(size));
  const CZipWholeInflater::Result result = whole_.inflater.Inflate(stream.next_in, stream.avail_in, data, size);
  if (result == CZipWholeInflater::Result::Longer) {
    // A tampered AES entry is reported as such.
    if (entryAes_) CheckAesCode();
    ThrowDecodeError(CZipDecompressor::Status::Damaged,
                     "the data goes on past the entry's declared size of " + std::to_string(size) + " bytes");
  }
  if (result != CZipWholeInflater::Result::Exact) return false;
  // The stream ended at the declared size; packed bytes after its end are not data.
  stream.avail_in = 0;
  info_.crc = ZipCrc32(info_.crc, data, size);
  if (direct) {
    info_.uncompressedLeft = 0;
    delivered = size;
  } else {
    whole_.ready = size;
    delivered = ServeWhole(output, room);
  }
  return true;
}

std::uint32_t CZipArchive::ServeWhole(Bytef* output, std::uint32_t room) {
  const std::uint32_t piece = std::min(room, whole_.ready - whole_.served);
  std::memcpy(output, whole_.data.data() + whole_.served, piece);
  whole_.served += piece;
  info_.uncompressedLeft -= piece;
  return piece;
}

int CZipArchive::CloseEntryForReading(const char* targetPath, bool afterError) {
  if (entryState_ != -1) return 0;
  int result = 1;
  bool complete = true;
  if (!afterError) {
    CZipFileHeader* opened = centralDir_.m_pOpenedFile;
    if (info_.uncompressedLeft > 0) {
      result = -1;
      complete = false;
    } else {
      // The code first: a tampered AES entry is reported as such, not as a CRC mismatch.
      if (entryAes_) CheckAesCode();
      if (!ignoreCrc_ && (!entryAes_ || entryAesCrc_) && info_.crc != opened->m_uCrc32) ThrowArchiveError(errCrcMismatch);
    }
    if (zlibStreamOpen_) {
      inflateEnd(&info_.stream);
      zlibStreamOpen_ = false;
    }
    if (targetPath != nullptr) {
      if (!PlatformOps::WriteModTime(targetPath, opened->EntryTime(entryTimeMemo_)) ||
          !PlatformOps::WriteAttributes(targetPath, opened->EntryAttributes())) {
        result = -2;
      }
    }
  }
  // An entry not read to its end leaves the storage inside its data: its data descriptor
  // cannot be checked from there.
  centralDir_.CloseEntryHeader(afterError || !complete, followingAhead_.bytes, followingAhead_.count,
                               !afterError && complete && !ignoreCrc_);
  entryState_ = 0;
  ReleaseEntryState();
  return result;
}
