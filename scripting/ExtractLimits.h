// ExtractLimits.h -- the limits against decompression bombs, as an administrator and a host set them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

/// What one `UnZip` or `Extract` call may write. Each limit is the strictest of the default, the
/// administrator's registry value and the host's environment variable:
///
/// | Limit | Registry value under HKEY_LOCAL_MACHINE\SOFTWARE\Brevik | Environment | Default |
/// |---|---|---|---|
/// | bytes written by one call (the entries' declared sizes) | "MaxExtractBytes" | BREVIK_MAX_EXTRACT_BYTES | 16 GiB |
/// | uncompressed / compressed size of one entry | "MaxCompressionRatio" | BREVIK_MAX_RATIO | 1100 |
///
/// A value is a number in bytes or times, read as `ComponentSettings::ParseNumber` reads it.
/// The ratio is judged only for entries of at least `RatioFloorBytes`: a small file of one
/// repeated byte packs a thousandfold and harms no one. The default ratio lies above what
/// deflate can reach (about 1032), so by default it refuses only deflated (or stored) sizes no
/// real stream has; bzip2, XZ and Zstandard pack repetitive data far tighter, so for their
/// entries (and AES entries, whose method is inside) only a ratio set by the administrator or
/// the host is judged. The byte total applies to every entry.
struct ExtractLimits {
  static constexpr std::uint64_t DefaultMaxBytes = 16ull << 30;
  static constexpr std::uint64_t DefaultMaxRatio = 1100;
  static constexpr std::uint64_t RatioFloorBytes = 1u << 20;

  std::uint64_t maxBytes = DefaultMaxBytes;
  std::uint64_t maxRatio = DefaultMaxRatio;
  bool ratioSet = false;  ///< an administrator or a host set the ratio (it then applies to every method)

  /// The limits in force now (the registry and the environment are read at each call, so a
  /// change applies from the next call).
  static ExtractLimits Current();
  /// Lowers each limit to the value given for it, when one is given.
  void Tighten(std::optional<std::uint64_t> bytes, std::optional<std::uint64_t> ratio);
};

/// The limits applied to the entries of one call, in their order.
class ExtractBudget {
public:
  explicit ExtractBudget(const ExtractLimits& limits) : limits_(limits) {}
  /// "" when an entry of these declared sizes and compression method (APPNOTE 4.4.5) may be
  /// written, counting it; otherwise the reason it is refused (`NotExtractedReason`), counting
  /// nothing.
  std::string Admit(std::uint64_t uncompressedBytes, std::uint64_t compressedBytes, std::uint16_t method);
  /// The declared bytes admitted so far.
  std::uint64_t AdmittedBytes() const { return admittedBytes_; }

private:
  ExtractLimits limits_;
  std::uint64_t admittedBytes_ = 0;
};
