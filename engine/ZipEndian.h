// ZipEndian.h -- little-endian reading and writing of the ZIP format's integers.
#pragma once

#include <bit>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <cstring>

/// Every integer of the ZIP format is little-endian; the engine reads and writes them only here.

/// Reads a `T` (an unsigned integer type) from the little-endian bytes at `bytes`.
template <std::unsigned_integral T>
constexpr T ReadLE(const void* bytes) noexcept {
  const auto* in = static_cast<const unsigned char*>(bytes);
  T value = 0;
  for (std::size_t i = 0; i < sizeof(T); ++i) {
    value = static_cast<T>(value | (static_cast<T>(in[i]) << (8 * i)));
  }
  return value;
}

/// Writes `value` as sizeof(T) little-endian bytes at `bytes`.
template <std::unsigned_integral T>
constexpr void WriteLE(void* bytes, T value) noexcept {
  auto* out = static_cast<unsigned char*>(bytes);
  for (std::size_t i = 0; i < sizeof(T); ++i) {
    out[i] = static_cast<unsigned char>(value >> (8 * i));
  }
}

/// Copies an integer field of `width` bytes between a host integer and the format's byte image
/// (either direction): a plain copy on a little-endian host, reversed on a big-endian one.
inline void CopyLE(void* destination, const void* source, std::size_t width) noexcept {
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(destination, source, width);
  } else {
    auto* out = static_cast<unsigned char*>(destination);
    const auto* in = static_cast<const unsigned char*>(source);
    for (std::size_t i = 0; i < width; ++i) out[i] = in[width - 1 - i];
  }
}

/// True when the `width` (1 to 8) little-endian bytes at `bytes` hold `value`.
inline bool EqualLE(const void* bytes, std::uint64_t value, std::size_t width) noexcept {
  const auto* in = static_cast<const unsigned char*>(bytes);
  for (std::size_t i = 0; i < width; ++i) {
    if (in[i] != static_cast<unsigned char>(value >> (8 * i))) return false;
  }
  return true;
}
