// ZipCrypto.h -- the traditional PKWARE encryption of the ZIP application note: keys and header.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string_view>

class CZipStorage;
class CZipFileHeader;

/// The three running keys of the traditional cipher and the operations on them. One object
/// serves one entry at a time: `InitKeys` starts it, the 12-byte encryption header advances it,
/// and the same keys then encode or decode the entry data in order.
///
/// Deciding whether an entry is encrypted (flag bit 0) is the caller's: `EncodeBuffer` and
/// `DecodeBuffer` always transform the bytes they are given.
class CZipCrypto {
public:
  /// Key 0, key 1, key 2 of the application note.
  struct CryptKeys {
    std::uint32_t key0 = 0;
    std::uint32_t key1 = 0;
    std::uint32_t key2 = 0;
  };

  /// Sets the keys to their initial constants, then feeds each password byte to `UpdateKeys`.
  /// The password is the bytes as given (no terminator); an empty one leaves the constants.
  void InitKeys(std::string_view password);

  /// Advances the keys by one plaintext byte.
  void UpdateKeys(std::uint8_t plainByte);

  /// The next key-stream byte; depends on key 2 only and does not advance the keys.
  std::uint8_t KeyStreamByte() const;

  /// Encrypts `length` bytes in place, advancing the keys by each plaintext byte.
  void EncodeBuffer(char* buffer, std::size_t length);

  /// Decrypts `length` bytes in place, advancing the keys by each recovered plaintext byte.
  void DecodeBuffer(char* buffer, std::size_t length);

  /// One stream for `DecodeSeveral`: the keys it starts from (left as they end) and its bytes.
  struct DecodeJob {
    CryptKeys keys;
    char* data = nullptr;
    std::size_t length = 0;
  };

  /// Decrypts each job's bytes in place, exactly as `DecodeBuffer` would from the job's keys,
  /// and leaves each job's keys as they end. Each byte's step needs the keys of the byte before,
  /// so one stream is a single chain of dependent loads and multiplications (about 100 MB/s
  /// whatever the code); the chains of different streams are independent, and stepping
  /// several side by side lets the processor overlap them.
  static void DecodeSeveral(DecodeJob* jobs, std::size_t count);

  /// Starts encrypting an entry: `InitKeys`(password), then fills `header` with ten encrypted
  /// random bytes followed by the encryptions of bits 16-23 and 24-31 of `checkValue`. The
  /// random bytes come from a generator seeded with `now` (seconds), so two entries started in
  /// the same second with the same password and check value get the same header.
  /// The engine passes the entry's DOS modification time shifted left by 16 bits.
  void MakeEncryptionHeader(std::string_view password, std::uint32_t checkValue,
                            char (&header)[12], std::time_t now = std::time(nullptr));

  /// Starts decrypting an entry from its 12 encrypted header bytes: `InitKeys`(password),
  /// decrypts the bytes in place and compares the last one with `expectedCheckByte`. True when
  /// they agree; the keys are then ready for the entry data either way.
  bool CheckEncryptionHeader(std::string_view password, char (&header)[12],
                             std::uint8_t expectedCheckByte);

  /// As above for an entry opened for reading: reads the 12 header bytes from `storage`
  /// (positioned after the local header) and checks them against the high byte of the entry's
  /// DOS modification time when it has a data descriptor (flag bit 3), else against the high
  /// byte of its CRC-32. Returns false without reading anything when the password is empty;
  /// the caller reports both failures as `CZipException` 110. Storage read errors propagate.
  bool CheckEncryptionHeader(std::string_view password, const CZipFileHeader& entry,
                             CZipStorage& storage);

  /// The byte an entry's decrypted header must end with (see above).
  static std::uint8_t ExpectedCheckByte(const CZipFileHeader& entry);
  /// As above for an entry read with `flags` (those in effect, which may not yet be the header's).
  static std::uint8_t ExpectedCheckByte(const CZipFileHeader& entry, std::uint16_t flags);

  /// The keys as they stand.
  const CryptKeys& Keys() const { return keys_; }

private:
  CryptKeys keys_;
};
