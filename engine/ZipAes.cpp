// ZipAes.cpp -- WinZip AES entry encryption on OpenSSL's libcrypto: PBKDF2, AES-ECB as CTR, HMAC-SHA1.
#include "engine/ZipAes.h"

#include <algorithm>
#include <array>
#include <cstring>

#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/params.h>
#include <openssl/rand.h>

#include "engine/ZipEndian.h"
#include "engine/ZipException.h"
#include "engine/ZipFileHeader.h"

namespace {

constexpr std::size_t kBlockBytes = 16;
/// Counter blocks encrypted per call into OpenSSL: one call per 4 KiB of data, not per block.
constexpr std::size_t kStreamBlocks = 256;
constexpr std::size_t kMaxKeyBytes = 32;
constexpr std::size_t kMaxSaltBytes = 16;

struct CipherFree {
  void operator()(EVP_CIPHER_CTX* ctx) const { EVP_CIPHER_CTX_free(ctx); }
};
struct MacFree {
  void operator()(EVP_MAC* mac) const { EVP_MAC_free(mac); }
};
struct MacCtxFree {
  void operator()(EVP_MAC_CTX* ctx) const { EVP_MAC_CTX_free(ctx); }
};

[[noreturn]] void ThrowCryptoFailure(const char* step) {
  ThrowZipError(errInternal, {}, std::string("AES: ") + step + " failed in libcrypto");
}

}  // namespace

struct CZipAes::State {
  std::unique_ptr<EVP_CIPHER_CTX, CipherFree> cipher{EVP_CIPHER_CTX_new()};
  std::unique_ptr<EVP_MAC, MacFree> mac{EVP_MAC_fetch(nullptr, "HMAC", nullptr)};
  std::unique_ptr<EVP_MAC_CTX, MacCtxFree> macCtx;
  std::uint64_t counter = 0;  ///< the last counter block encrypted (the first one used is 1)
  std::array<unsigned char, kBlockBytes * kStreamBlocks> stream{};
  std::size_t streamAt = 0;   ///< next unused key-stream byte
  std::size_t streamEnd = 0;  ///< key-stream bytes made
};

bool ReadAesField(const CZipAutoBuffer& extra, ZipAesField& field) {
  std::uint16_t size = 0;
  const char* block = CZipFileHeader::FindExtraBlock(extra, ZipAesFormat::ExtraId, size);
  if (block == nullptr || size < ZipAesFormat::ExtraDataSize) return false;
  const auto version = ReadLE<std::uint16_t>(block);
  const int strength = static_cast<unsigned char>(block[4]);
  if (block[2] != 'A' || block[3] != 'E') return false;
  if (version != ZipAesFormat::VendorAe1 && version != ZipAesFormat::VendorAe2) return false;
  if (!ZipAesFormat::ValidStrength(strength)) return false;
  field.vendorVersion = version;
  field.strength = strength;
  field.method = ReadLE<std::uint16_t>(block + 5);
  return true;
}

void AppendAesField(CZipAutoBuffer& extra, const ZipAesField& field) {
  const std::uint32_t old = extra.GetSize();
  CZipAutoBuffer grown(old + 4 + ZipAesFormat::ExtraDataSize);
  if (old != 0) std::memcpy(grown.data(), extra.data(), old);
  char* p = grown.data() + old;
  WriteLE(p, ZipAesFormat::ExtraId);
  WriteLE(p + 2, ZipAesFormat::ExtraDataSize);
  WriteLE(p + 4, field.vendorVersion);
  p[6] = 'A';
  p[7] = 'E';
  p[8] = static_cast<char>(field.strength);
  WriteLE(p + 9, field.method);
  extra = std::move(grown);
}

std::uint32_t EncryptionOverhead(const CZipFileHeader& entry) {
  ZipAesField field;
  if (entry.m_uMethod == ZipAesFormat::Method && ReadAesField(entry.m_pExtraField, field))
    return ZipAesFormat::SaltBytes(field.strength) + ZipAesFormat::VerifierSize + ZipAesFormat::CodeSize;
  return ZipFormat::Encryption::HeaderSize;
}

CZipAes::CZipAes() = default;

CZipAes::~CZipAes() = default;

void CZipAes::Derive(std::string_view password, int strength, const unsigned char* salt, unsigned char* verifier) {
  // Made on first use: an archive that meets no AES entry never starts libcrypto.
  if (state_ == nullptr) {
    auto state = std::make_unique<State>();
    if (state->cipher == nullptr || state->mac == nullptr) ThrowCryptoFailure("setting up");
    state_ = std::move(state);
  }
  // PBKDF2 gives the encryption key, then the authentication key of the same length, then the
  // 2-byte password verifier.
  const std::uint32_t keyBytes = ZipAesFormat::KeyBytes(strength);
  std::array<unsigned char, 2 * kMaxKeyBytes + ZipAesFormat::VerifierSize> derived{};
  const int derivedBytes = static_cast<int>(2 * keyBytes + ZipAesFormat::VerifierSize);
  if (PKCS5_PBKDF2_HMAC_SHA1(password.data(), static_cast<int>(password.size()), salt,
                             static_cast<int>(ZipAesFormat::SaltBytes(strength)), ZipAesFormat::Iterations,
                             derivedBytes, derived.data()) != 1)
    ThrowCryptoFailure("PBKDF2");

  const EVP_CIPHER* cipher = strength == 1 ? EVP_aes_128_ecb() : strength == 2 ? EVP_aes_192_ecb() : EVP_aes_256_ecb();
  if (EVP_EncryptInit_ex(state_->cipher.get(), cipher, nullptr, derived.data(), nullptr) != 1 ||
      EVP_CIPHER_CTX_set_padding(state_->cipher.get(), 0) != 1)
    ThrowCryptoFailure("AES key setup");

  char digest[] = "SHA1";
  const OSSL_PARAM params[] = {OSSL_PARAM_construct_utf8_string(OSSL_MAC_PARAM_DIGEST, digest, 0),
                               OSSL_PARAM_construct_end()};
  state_->macCtx.reset(EVP_MAC_CTX_new(state_->mac.get()));
  if (state_->macCtx == nullptr || EVP_MAC_init(state_->macCtx.get(), derived.data() + keyBytes, keyBytes, params) != 1)
    ThrowCryptoFailure("HMAC key setup");

  std::memcpy(verifier, derived.data() + 2 * keyBytes, ZipAesFormat::VerifierSize);
  OPENSSL_cleanse(derived.data(), derived.size());
  state_->counter = 0;
  state_->streamAt = 0;
  state_->streamEnd = 0;
}

bool CZipAes::Begin(std::string_view password, int strength, const unsigned char* salt, const unsigned char* verifier) {
  unsigned char derived[ZipAesFormat::VerifierSize];
  Derive(password, strength, salt, derived);
  return std::memcmp(derived, verifier, ZipAesFormat::VerifierSize) == 0;
}

void CZipAes::BeginNew(std::string_view password, int strength, unsigned char* salt, unsigned char* verifier) {
  const int saltBytes = static_cast<int>(ZipAesFormat::SaltBytes(strength));
  static_assert(ZipAesFormat::SaltBytes(3) <= kMaxSaltBytes);
  if (RAND_bytes(salt, saltBytes) != 1) ThrowCryptoFailure("drawing the salt");
  Derive(password, strength, salt, verifier);
}

void CZipAes::RefillKeyStream() {
  // WinZip's CTR: block n is AES(n) with n a 16-byte little-endian number; 64 bits of it are
  // enough for any entry this format can describe.
  State& s = *state_;
  for (std::size_t i = 0; i < kStreamBlocks; ++i) {
    unsigned char* block = s.stream.data() + i * kBlockBytes;
    std::memset(block, 0, kBlockBytes);
    WriteLE(reinterpret_cast<char*>(block), ++s.counter);
  }
  int made = 0;
  if (EVP_EncryptUpdate(s.cipher.get(), s.stream.data(), &made, s.stream.data(), static_cast<int>(s.stream.size())) != 1 ||
      made != static_cast<int>(s.stream.size()))
    ThrowCryptoFailure("AES");
  s.streamAt = 0;
  s.streamEnd = s.stream.size();
}

void CZipAes::ApplyKeyStream(unsigned char* data, std::size_t length) {
  State& s = *state_;
  while (length > 0) {
    if (s.streamAt == s.streamEnd) RefillKeyStream();
    const std::size_t piece = std::min(length, s.streamEnd - s.streamAt);
    const unsigned char* key = s.stream.data() + s.streamAt;
    for (std::size_t i = 0; i < piece; ++i) data[i] ^= key[i];
    s.streamAt += piece;
    data += piece;
    length -= piece;
  }
}

void CZipAes::Encrypt(char* data, std::size_t length) {
  auto* bytes = reinterpret_cast<unsigned char*>(data);
  ApplyKeyStream(bytes, length);
  if (EVP_MAC_update(state_->macCtx.get(), bytes, length) != 1) ThrowCryptoFailure("HMAC");
}

void CZipAes::Decrypt(char* data, std::size_t length) {
  auto* bytes = reinterpret_cast<unsigned char*>(data);
  if (EVP_MAC_update(state_->macCtx.get(), bytes, length) != 1) ThrowCryptoFailure("HMAC");
  ApplyKeyStream(bytes, length);
}

void CZipAes::FinishCode(unsigned char* code) {
  unsigned char full[EVP_MAX_MD_SIZE];
  std::size_t size = 0;
  if (EVP_MAC_final(state_->macCtx.get(), full, &size, sizeof full) != 1 || size < ZipAesFormat::CodeSize)
    ThrowCryptoFailure("HMAC");
  std::memcpy(code, full, ZipAesFormat::CodeSize);
}
