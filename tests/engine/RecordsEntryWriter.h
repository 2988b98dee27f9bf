// RecordsEntryWriter.h -- writing stored entries straight through the central directory, as the archive does.
#pragma once

#include <string>

#include "engine/ZipCentralDir.h"
#include "engine/ZipCrypto.h"
#include "engine/ZipFileHeader.h"
#include "engine/ZipStorage.h"
#include "support/RecordsArchiveBuilder.h"

namespace brevik::test {

/// Adds one stored entry: local header, optional encryption header, data, then CRC and sizes.
inline void WriteStoredEntry(CZipCentralDir& central, CZipStorage& storage, const std::string& name,
                             const std::string& data, const std::string& password = {}) {
  CZipFileHeader templ;
  templ.SetEntryName(name);
  templ.SetEntrySystem(3);
  templ.SetEntryAttributes(0x81A40000u);
  templ.SetEntryTime(1700000000);
  const bool encrypted = !password.empty();
  templ.PrepareForAdding(0, storage.IsSpanned(), encrypted);
  CZipFileHeader* header = central.AddHeader(templ, -1);
  header->ConvertName(false);
  header->WriteLocalHeader(storage);
  header->ConvertName(true);
  std::string bytes = data;
  if (encrypted) {
    CZipCrypto crypto;
    char encryptionHeader[12];
    crypto.MakeEncryptionHeader(password, std::uint32_t{header->m_uModTime} << 16, encryptionHeader);
    storage.StorageWrite(encryptionHeader, 12, false);
    crypto.EncodeBuffer(bytes.data(), bytes.size());
  }
  storage.StorageWrite(bytes.data(), static_cast<std::uint32_t>(bytes.size()), false);
  header->m_uCrc32 = RecordsCrc(data);
  header->m_uComprSize += static_cast<std::uint32_t>(data.size());
  header->m_uUncomprSize = static_cast<std::uint32_t>(data.size());
  central.FinishNewEntry();
}

}  // namespace brevik::test
