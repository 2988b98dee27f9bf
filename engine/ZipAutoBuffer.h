// ZipAutoBuffer.h -- CZipAutoBuffer, an owned, deep-copied block of bytes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

/// An owned byte block of at most 4 GiB - 1 bytes; copies are deep. Empty means no block
/// (a null data pointer and size 0).
class CZipAutoBuffer {
public:
  CZipAutoBuffer() = default;
  /// Allocates `size` bytes (none for 0), cleared when `zero`.
  explicit CZipAutoBuffer(std::uint32_t size, bool zero = false);
  CZipAutoBuffer(const CZipAutoBuffer& other);
  CZipAutoBuffer& operator=(const CZipAutoBuffer& other);
  CZipAutoBuffer(CZipAutoBuffer&& other) noexcept;
  CZipAutoBuffer& operator=(CZipAutoBuffer&& other) noexcept;
  ~CZipAutoBuffer() = default;

  /// When `size` differs from the current size, replaces the block with a new one of `size`
  /// bytes (none for 0); otherwise keeps it. Clears it when `zero`. Returns the data pointer.
  char* Allocate(std::uint32_t size, bool zero = false);
  /// Frees the block; size 0, pointer null.
  void Release() noexcept;
  /// Replaces the contents with a copy of `size` bytes at `bytes`.
  void Assign(const void* bytes, std::uint32_t size);
  /// Replaces the contents with a copy of `text`; throws std::length_error past 4 GiB - 1.
  void Assign(std::string_view text);

  /// The block; null when empty.
  char* GetBuffer() noexcept { return data_.get(); }
  const char* GetBuffer() const noexcept { return data_.get(); }
  /// Same as `GetBuffer`, for code written against the standard containers.
  char* data() noexcept { return data_.get(); }
  const char* data() const noexcept { return data_.get(); }
  /// Its size in bytes.
  std::uint32_t GetSize() const noexcept { return size_; }
  /// True when a block is held.
  bool IsAllocated() const noexcept { return size_ != 0; }
  /// The bytes as text (not terminated inside the block).
  std::string_view View() const noexcept { return {data_.get(), size_}; }
  /// A copy of the bytes as a string.
  std::string ToString() const { return std::string(View()); }

  /// Replaces every "/" with "\" when `towardsBackslash`, else every "\" with "/".
  void FlipSlashes(bool towardsBackslash) noexcept;

  /// Converts the block in place between this host's code page (UTF-8) and the OEM code page
  /// (CP437): towards CP437 when `toOem`, else from CP437 to UTF-8. The size changes with the
  /// encoding. A character CP437 cannot hold (or a byte that is not valid UTF-8) becomes "?",
  /// and the result is false; otherwise true. Bytes below 0x80 are the same in both.
  bool ConvertOemAnsi(bool toOem);

private:
  std::unique_ptr<char[]> data_;
  std::uint32_t size_ = 0;
};
