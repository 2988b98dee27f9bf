// ZipCrypto.cpp -- key schedule, key stream and the 12-byte encryption header.
#include "engine/ZipCrypto.h"

#include <cstdlib>

#include <zlib.h>

#include "engine/ZipConstants.h"
#include "engine/ZipFileHeader.h"
#include "engine/ZipStorage.h"

namespace {

// One CRC-32 step with zlib's table, as the key schedule defines it.
std::uint32_t CrcStep(std::uint32_t crc, std::uint8_t byte) {
  static const z_crc_t* const table = get_crc_table();
  return static_cast<std::uint32_t>(table[(crc ^ byte) & 0xFF]) ^ (crc >> 8);
}

// A header byte from one generator value: bits 6-13 when any of them is set, else the low bits.
std::uint8_t RandomHeaderByte(int value) {
  const unsigned bits = static_cast<unsigned>(value);
  return static_cast<std::uint8_t>(((bits >> 6) & 0xFF) != 0 ? (bits >> 6) : bits);
}

}  // namespace

void CZipCrypto::InitKeys(std::string_view password) {
  keys_.key0 = ZipFormat::Encryption::Key0;
  keys_.key1 = ZipFormat::Encryption::Key1;
  keys_.key2 = ZipFormat::Encryption::Key2;
  for (const char c : password) UpdateKeys(static_cast<std::uint8_t>(c));
}

void CZipCrypto::UpdateKeys(std::uint8_t plainByte) {
  keys_.key0 = CrcStep(keys_.key0, plainByte);
  keys_.key1 = (keys_.key1 + (keys_.key0 & 0xFF)) * ZipFormat::Encryption::Key1Multiplier + 1;
  keys_.key2 = CrcStep(keys_.key2, static_cast<std::uint8_t>(keys_.key1 >> 24));
}

std::uint8_t CZipCrypto::KeyStreamByte() const {
  // 32-bit arithmetic: t * (t ^ 1) stays below 2^32 because t < 2^16.
  const std::uint32_t t = (keys_.key2 & 0xFFFF) | 2;
  return static_cast<std::uint8_t>(((t * (t ^ 1)) >> 8) & 0xFF);
}

void CZipCrypto::EncodeBuffer(char* buffer, std::size_t length) {
  for (std::size_t i = 0; i < length; ++i) {
    const auto plain = static_cast<std::uint8_t>(buffer[i]);
    buffer[i] = static_cast<char>(plain ^ KeyStreamByte());
    UpdateKeys(plain);
  }
}

void CZipCrypto::DecodeBuffer(char* buffer, std::size_t length) {
  for (std::size_t i = 0; i < length; ++i) {
    const auto plain = static_cast<std::uint8_t>(static_cast<std::uint8_t>(buffer[i]) ^ KeyStreamByte());
    buffer[i] = static_cast<char>(plain);
    UpdateKeys(plain);
  }
}

void CZipCrypto::MakeEncryptionHeader(std::string_view password, std::uint32_t checkValue,
                                      char (&header)[12], std::time_t now) {
  InitKeys(password);
  // A generator of our own seeded with the time: the process-wide rand() state is shared by
  // every thread of the host, and this keeps "same second, same header" without touching it.
  auto seed = static_cast<unsigned>(now);
  for (std::uint32_t i = 0; i < ZipFormat::Encryption::RandomBytes; ++i)
    header[i] = static_cast<char>(RandomHeaderByte(rand_r(&seed)));
  header[10] = static_cast<char>((checkValue >> 16) & 0xFF);
  header[11] = static_cast<char>((checkValue >> 24) & 0xFF);
  EncodeBuffer(header, ZipFormat::Encryption::HeaderSize);
}

bool CZipCrypto::CheckEncryptionHeader(std::string_view password, char (&header)[12],
                                       std::uint8_t expectedCheckByte) {
  InitKeys(password);
  DecodeBuffer(header, ZipFormat::Encryption::HeaderSize);
  return static_cast<std::uint8_t>(header[ZipFormat::Encryption::HeaderSize - 1]) == expectedCheckByte;
}

bool CZipCrypto::CheckEncryptionHeader(std::string_view password, const CZipFileHeader& entry,
                                       CZipStorage& storage) {
  if (password.empty()) return false;
  char header[12];
  storage.StorageRead(header, ZipFormat::Encryption::HeaderSize, false);
  return CheckEncryptionHeader(password, header, ExpectedCheckByte(entry));
}

std::uint8_t CZipCrypto::ExpectedCheckByte(const CZipFileHeader& entry) {
  // Without a data descriptor the CRC is known before the data and serves as the check; with
  // one, writers use the DOS time instead, which they know when the header is made.
  if ((entry.m_uFlag & ZipFormat::Flag::DataDescriptor) != 0)
    return static_cast<std::uint8_t>(entry.m_uModTime >> 8);
  return static_cast<std::uint8_t>(entry.m_uCrc32 >> 24);
}
