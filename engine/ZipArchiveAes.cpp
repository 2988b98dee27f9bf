// ZipArchiveAes.cpp -- CZipArchive: reading and writing the data of WinZip AES entries.
#include "engine/ZipArchive.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "engine/ZipException.h"

namespace {

/// The detail of an error about `entry`: its name and what is wrong.
std::string AesDetail(const CZipFileHeader& entry, const char* what) {
  return std::string("AES entry \"") + entry.GetFileName() + "\": " + what;
}

}  // namespace

void CZipArchive::DecryptPacked(char* bytes, std::uint32_t count) {
  if (entryAes_)
    aes_.Decrypt(bytes, count);
  else if (entryEncrypted_)
    crypto_.DecodeBuffer(bytes, count);
}

std::uint64_t CZipArchive::OpenAesEntry(const CZipFileHeader& entry, std::uint16_t& method) {
  ZipAesField field;
  // The central record's block is the one every reader goes by.
  if (!ReadAesField(entry.m_pExtraField, field))
    ThrowZipError(errBadArchive, GetArchivePath(), AesDetail(entry, "no usable 0x9901 extra block"));
  if (password_.View().empty()) ThrowArchiveError(errBadPassword);
  const std::uint32_t saltBytes = ZipAesFormat::SaltBytes(field.strength);
  const std::uint32_t overhead = saltBytes + ZipAesFormat::VerifierSize + ZipAesFormat::CodeSize;
  if (entry.m_uComprSize < overhead)
    ThrowZipError(errBadArchive, GetArchivePath(),
                  AesDetail(entry, ("compressed size " + std::to_string(entry.m_uComprSize) +
                                    " is less than the " + std::to_string(overhead) +
                                    " bytes of salt, verifier and code")
                                       .c_str()));
  unsigned char start[16 + ZipAesFormat::VerifierSize];
  storage_.StorageRead(reinterpret_cast<char*>(start), saltBytes + ZipAesFormat::VerifierSize, false);
  // The verifier refuses a wrong password before any data is read or written.
  if (!aes_.Begin(password_.View(), field.strength, start, start + saltBytes)) ThrowArchiveError(errBadPassword);
  entryAes_ = true;
  entryAesCrc_ = field.vendorVersion == ZipAesFormat::VendorAe1;
  entryAesStrength_ = field.strength;
  method = field.method;
  return entry.m_uComprSize - overhead;
}

void CZipArchive::ThrowDataError(int zlibResult) {
  if (entryAes_) CheckAesCode();
  ThrowArchiveError(zlibResult, true);
}

void CZipArchive::CheckAesCode() {
  // The code covers every packed byte: what the decompressor did not need is read as well.
  while (info_.compressedLeft > 0) ReadPackedPiece();
  unsigned char stored[ZipAesFormat::CodeSize];
  unsigned char computed[ZipAesFormat::CodeSize];
  storage_.StorageRead(reinterpret_cast<char*>(stored), sizeof stored, false);
  aes_.FinishCode(computed);
  if (std::memcmp(stored, computed, sizeof stored) != 0) ThrowArchiveError(errAuthFailed);
}

std::uint32_t CZipArchive::NewEntryOverhead() const {
  if (password_.View().empty()) return 0;
  if (encryption_ == ZipCrypto) return ZipFormat::Encryption::HeaderSize;
  return ZipAesFormat::SaltBytes(encryption_) + ZipAesFormat::VerifierSize + ZipAesFormat::CodeSize;
}

void CZipArchive::PrepareAesHeader(CZipFileHeader& header) {
  entryAes_ = true;
  entryAesStrength_ = encryption_;
  entryDeflated_ = header.m_uMethod == ZipFormat::Method::Deflated;
  AppendAesField(header.m_pExtraField,
                 ZipAesField{ZipAesFormat::VendorAe2, static_cast<int>(encryption_), header.m_uMethod});
  header.m_uMethod = ZipAesFormat::Method;
  header.m_uVersionNeeded = ZipAesFormat::VersionNeeded;
  // No check byte is needed before the data, so the sizes go into the local header afterwards
  // as for a plain entry; only a split archive, which cannot go back, keeps the descriptor.
  if (!storage_.IsNewSpanned()) header.m_uFlag &= static_cast<std::uint16_t>(~ZipFormat::Flag::DataDescriptor);
  header.m_uComprSize = ZipAesFormat::SaltBytes(encryption_) + ZipAesFormat::VerifierSize;
}

void CZipArchive::StartAesData(CZipFileHeader& opened) {
  opened.m_pExtraField.Release();
  AppendAesField(opened.m_pExtraField,
                 ZipAesField{ZipAesFormat::VendorAe2, entryAesStrength_,
                             entryDeflated_ ? ZipFormat::Method::Deflated : ZipFormat::Method::Stored});
  unsigned char start[16 + ZipAesFormat::VerifierSize];
  const std::uint32_t saltBytes = ZipAesFormat::SaltBytes(entryAesStrength_);
  aes_.BeginNew(password_.View(), entryAesStrength_, start, start + saltBytes);
  storage_.StorageWrite(reinterpret_cast<const char*>(start), saltBytes + ZipAesFormat::VerifierSize, false);
  entryStartOffset_ += saltBytes + ZipAesFormat::VerifierSize;
}

void CZipArchive::FinishAesData(CZipFileHeader& opened) {
  unsigned char code[ZipAesFormat::CodeSize];
  aes_.FinishCode(code);
  storage_.StorageWrite(reinterpret_cast<const char*>(code), sizeof code, false);
  entryOutputBytes_ += sizeof code;
  // AE-2: the CRC would tell about the plain data; the code alone vouches for it.
  opened.m_uCrc32 = 0;
}
