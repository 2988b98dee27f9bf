// ZipCrc32.cpp -- CRC-32 by folding 128-bit lanes with carry-less multiplication, zlib for the rest.
#include "engine/ZipCrc32.h"

#include <zlib.h>

#include <limits>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define BREVIK_CRC_FOLDING 1
#endif

namespace {

// zlib's crc32 takes a uInt length: longer buffers go in pieces.
std::uint32_t ZlibCrc32(std::uint32_t crc, const unsigned char* bytes, std::size_t length) {
  constexpr std::size_t kMaxPiece = std::numeric_limits<uInt>::max() & ~std::size_t{0xFFFF};
  while (length > 0) {
    const std::size_t piece = length < kMaxPiece ? length : kMaxPiece;
    crc = static_cast<std::uint32_t>(crc32(crc, bytes, static_cast<uInt>(piece)));
    bytes += piece;
    length -= piece;
  }
  return crc;
}

#ifdef BREVIK_CRC_FOLDING

// The folding method of Gopal et al., "Fast CRC Computation for Generic Polynomials Using
// PCLMULQDQ Instruction" (Intel, 2009), for the reflected polynomial. Each constant is
// x^n mod P, bit-reflected and shifted left by one: the pair for folding four lanes 512 bits
// ahead, the pair for folding one lane 128 bits ahead, the one for the last 64 to 32 bits, and P
// with its Barrett quotient mu for the final reduction.
constexpr long long kFold512Low = 0x154442bd4;   // x^(512+32) mod P
constexpr long long kFold512High = 0x1c6e41596;  // x^(512-32) mod P
constexpr long long kFold128Low = 0x1751997d0;   // x^(128+32) mod P
constexpr long long kFold128High = 0x0ccaa009e;  // x^(128-32) mod P
constexpr long long kFold64 = 0x163cd6124;       // x^64 mod P
constexpr long long kPolynomial = 0x1DB710641;   // P
constexpr long long kBarrettMu = 0x1F7011641;    // x^64 / P

__attribute__((target("pclmul,sse4.1"))) inline __m128i Load(const unsigned char* bytes) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes));
}

// One lane moved ahead over the distance `constants` stand for, added to the lane found there.
__attribute__((target("pclmul,sse4.1"))) inline __m128i FoldInto(__m128i lane, __m128i constants, __m128i next) {
  const __m128i low = _mm_clmulepi64_si128(lane, constants, 0x00);
  const __m128i high = _mm_clmulepi64_si128(lane, constants, 0x11);
  return _mm_xor_si128(_mm_xor_si128(low, high), next);
}

// The CRC register (not inverted) after `length` bytes: at least 64, a multiple of 16.
__attribute__((target("pclmul,sse4.1"))) std::uint32_t FoldedCrc(std::uint32_t state, const unsigned char* bytes,
                                                                  std::size_t length) {
  const __m128i fold512 = _mm_set_epi64x(kFold512High, kFold512Low);
  const __m128i fold128 = _mm_set_epi64x(kFold128High, kFold128Low);
  const __m128i fold64 = _mm_set_epi64x(0, kFold64);
  const __m128i barrett = _mm_set_epi64x(kBarrettMu, kPolynomial);
  const __m128i low32 = _mm_set_epi32(0, 0, 0, -1);

  __m128i lane1 = _mm_xor_si128(Load(bytes), _mm_cvtsi32_si128(static_cast<int>(state)));
  __m128i lane2 = Load(bytes + 16);
  __m128i lane3 = Load(bytes + 32);
  __m128i lane4 = Load(bytes + 48);
  bytes += 64;
  length -= 64;
  // Four independent lanes keep the multiplier busy while each product is under way.
  for (; length >= 64; bytes += 64, length -= 64) {
    lane1 = FoldInto(lane1, fold512, Load(bytes));
    lane2 = FoldInto(lane2, fold512, Load(bytes + 16));
    lane3 = FoldInto(lane3, fold512, Load(bytes + 32));
    lane4 = FoldInto(lane4, fold512, Load(bytes + 48));
  }
  __m128i folded = FoldInto(lane1, fold128, lane2);
  folded = FoldInto(folded, fold128, lane3);
  folded = FoldInto(folded, fold128, lane4);
  for (; length >= 16; bytes += 16, length -= 16) folded = FoldInto(folded, fold128, Load(bytes));

  // 128 bits to 64 (adding the 32 zero bits the register stands for), then to 32.
  folded = _mm_xor_si128(_mm_srli_si128(folded, 8), _mm_clmulepi64_si128(fold128, folded, 0x01));
  folded = _mm_xor_si128(_mm_clmulepi64_si128(_mm_and_si128(folded, low32), fold64, 0x00),
                         _mm_srli_si128(folded, 4));
  // Barrett reduction of the 64-bit remainder.
  __m128i quotient = _mm_clmulepi64_si128(_mm_and_si128(folded, low32), barrett, 0x10);
  quotient = _mm_clmulepi64_si128(_mm_and_si128(quotient, low32), barrett, 0x00);
  return static_cast<std::uint32_t>(_mm_extract_epi32(_mm_xor_si128(quotient, folded), 1));
}

bool CpuFolds() {
  // Asked once; the answer never changes while the process runs.
  static const bool supported = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
  return supported;
}

#endif

}  // namespace

std::uint32_t ZipCrc32(std::uint32_t crc, const void* data, std::size_t length) {
  const auto* bytes = static_cast<const unsigned char*>(data);
#ifdef BREVIK_CRC_FOLDING
  if (length >= 64 && CpuFolds()) {
    // zlib's value is the register inverted before and after.
    const std::size_t bulk = length & ~std::size_t{15};
    crc = ~FoldedCrc(~crc, bytes, bulk);
    bytes += bulk;
    length -= bulk;
  }
#endif
  return ZlibCrc32(crc, bytes, length);
}
