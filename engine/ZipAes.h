// ZipAes.h -- WinZip AES entry encryption: the 0x9901 extra block, key derivation, CTR stream and code.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "engine/ZipAutoBuffer.h"

class CZipFileHeader;

/// The numbers of WinZip's AES encryption (AE-1 and AE-2) as 7-Zip, WinZip and Info-ZIP use them.
namespace ZipAesFormat {
inline constexpr std::uint16_t Method = 99;            ///< the method field of an AES entry
inline constexpr std::uint16_t ExtraId = 0x9901;       ///< the extra block giving the real method
inline constexpr std::uint16_t ExtraDataSize = 7;      ///< vendor version, "AE", strength, method
inline constexpr std::uint16_t VendorAe1 = 1;          ///< the CRC is stored and checked
inline constexpr std::uint16_t VendorAe2 = 2;          ///< CRC field 0: only the code protects the data
inline constexpr std::uint32_t VerifierSize = 2;       ///< after the salt, before the data
inline constexpr std::uint32_t CodeSize = 10;          ///< HMAC-SHA1 truncated, after the data
inline constexpr int Iterations = 1000;                ///< PBKDF2-HMAC-SHA1 rounds
inline constexpr std::uint16_t VersionNeeded = 51;     ///< version needed to extract an AES entry

/// Strength codes of the extra block: 1, 2, 3 for 128, 192, 256-bit keys.
inline constexpr std::uint32_t KeyBytes(int strength) { return 8u + 8u * static_cast<std::uint32_t>(strength); }
inline constexpr std::uint32_t SaltBytes(int strength) { return 4u + 4u * static_cast<std::uint32_t>(strength); }
inline constexpr bool ValidStrength(int strength) { return strength >= 1 && strength <= 3; }
}  // namespace ZipAesFormat

/// The fields of an entry's 0x9901 extra block.
struct ZipAesField {
  std::uint16_t vendorVersion = ZipAesFormat::VendorAe2;
  int strength = 3;
  std::uint16_t method = 0;  ///< the compression method of the data once decrypted
};

/// Reads the 0x9901 block of `extra` into `field`. False when there is none, it is shorter than
/// 7 bytes, its vendor id is not "AE", its vendor version is not 1 or 2 or its strength not 1-3.
bool ReadAesField(const CZipAutoBuffer& extra, ZipAesField& field);

/// Appends a 0x9901 block holding `field` to `extra`.
void AppendAesField(CZipAutoBuffer& extra, const ZipAesField& field);

/// The bytes encryption adds to an encrypted entry's data: salt, verifier and code for an AES
/// entry with a readable 0x9901 block, else the traditional 12-byte header.
std::uint32_t EncryptionOverhead(const CZipFileHeader& entry);

/// One AES entry's cipher state: keys derived from the password and salt, the CTR key stream
/// with WinZip's little-endian block counter starting at 1, and the HMAC-SHA1 over the
/// encrypted bytes. One object serves one entry at a time; `Begin` or `BeginNew` restarts it.
class CZipAes {
public:
  /// No libcrypto state until the first `Begin` or `BeginNew`.
  CZipAes();
  ~CZipAes();
  CZipAes(const CZipAes&) = delete;
  CZipAes& operator=(const CZipAes&) = delete;

  /// Reading: derives the keys from `password` and `salt` (`SaltBytes(strength)` bytes). True
  /// when the derived verifier equals `verifier` (2 bytes); the state is ready either way.
  bool Begin(std::string_view password, int strength, const unsigned char* salt, const unsigned char* verifier);

  /// Writing: draws a random salt into `salt` (`SaltBytes(strength)` bytes), derives the keys
  /// and writes the verifier to `verifier` (2 bytes). Throws `CZipException` 112 when the system
  /// gives no random bytes.
  void BeginNew(std::string_view password, int strength, unsigned char* salt, unsigned char* verifier);

  /// Encrypts `length` bytes in place and adds the result to the code. These three need a
  /// `Begin` or `BeginNew` first.
  void Encrypt(char* data, std::size_t length);
  /// Adds `length` encrypted bytes to the code and decrypts them in place.
  void Decrypt(char* data, std::size_t length);

  /// The code of the bytes so far (the first 10 bytes of the HMAC-SHA1). Ends the entry.
  void FinishCode(unsigned char* code);

private:
  void Derive(std::string_view password, int strength, const unsigned char* salt, unsigned char* verifier);
  void ApplyKeyStream(unsigned char* data, std::size_t length);
  void RefillKeyStream();

  struct State;
  std::unique_ptr<State> state_;
};
