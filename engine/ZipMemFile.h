// ZipMemFile.h -- CZipMemFile, a growable block of memory behind the engine's file interface.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "engine/ZipAbstractFile.h"

/// A file in memory. The capacity grows in steps of the grow-by size; shrinking never releases
/// memory; the position may be set past the end (a read there gives 0, a write there fills the
/// gap with zeros). After `Close` (which also sets grow-by to 0) a write that needs room throws
/// `CZipException` 505 with an empty name, as does any failure to grow and any growth past 4 GiB.
class CZipMemFile : public CZipAbstractFile {
public:
  /// An empty memory file (no block yet: `IsClosed` is true until the first growth).
  explicit CZipMemFile(std::uint64_t growBy = 1024) noexcept : growBy_(growBy) {}
  ~CZipMemFile() override = default;
  CZipMemFile(const CZipMemFile&) = delete;
  CZipMemFile& operator=(const CZipMemFile&) = delete;

  /// Frees the block and sets position, capacity, data size and grow-by to 0.
  void Close() override;
  /// Does nothing.
  void Flush() override {}
  std::uint64_t GetPosition() const override { return position_; }
  /// Origin 0: position = offset; 1: position += offset; 2: position = length + offset; any other
  /// origin changes nothing. There is no upper bound; a position before the start throws
  /// `CZipFileException` EINVAL with an empty path. Returns the position.
  std::uint64_t Seek(std::int64_t offset, int origin) override;
  std::uint64_t GetLength() const override { return dataSize_; }
  /// When the capacity is below `newLength` it grows and the position stays; otherwise the
  /// position becomes `newLength`. The length becomes `newLength`; bytes it adds are zeros.
  void SetLength(std::uint64_t newLength) override;
  /// Always empty.
  std::string GetFilePath() const override { return {}; }
  /// 0 at or past the end; else min(count, length - position) bytes.
  std::uint32_t Read(void* buffer, std::uint32_t count) override;
  /// Grows until position + count fits, copies, advances, raises the length when passed.
  void Write(const void* buffer, std::uint32_t count) override;
  /// True when there is no block.
  bool IsClosed() const override { return !buffer_; }

  /// Bytes allocated.
  std::uint64_t GetCapacity() const noexcept { return capacity_; }
  /// The grow-by step.
  std::uint64_t GetGrowBy() const noexcept { return growBy_; }
  /// The block (`GetLength` bytes are meaningful); null when none.
  const unsigned char* GetData() const noexcept { return buffer_.get(); }

private:
  struct FreeBlock {
    void operator()(unsigned char* block) const noexcept { std::free(block); }
  };
  /// Applies the growth rule until the capacity reaches `neededBytes`.
  void Grow(std::uint64_t neededBytes);
  /// Zeros the bytes from the current length up to `newLength` (stale or never written).
  void ZeroFrom(std::uint64_t newLength) noexcept;

  std::uint64_t growBy_;
  std::uint64_t position_ = 0;
  std::uint64_t capacity_ = 0;
  std::uint64_t dataSize_ = 0;
  std::unique_ptr<unsigned char, FreeBlock> buffer_;
};
