// ZipIoBufferLease.h -- ZipIoBufferLease, an archive I/O buffer held for the length of one action.
#pragma once

#include <cstdint>

#include "engine/ZipAutoBuffer.h"

/// Makes sure an I/O buffer is allocated for one action and, when the action allocated it, frees
/// it again on every way out. A buffer that was already allocated (an entry is being written and
/// owns it) is used as it is and left allocated.
class ZipIoBufferLease {
public:
  /// Allocates `buffer` with `size` bytes (at least 1) unless it already holds a block.
  ZipIoBufferLease(CZipAutoBuffer& buffer, std::int32_t size) : buffer_(buffer) {
    if (!buffer_.IsAllocated()) {
      buffer_.Allocate(size > 0 ? static_cast<std::uint32_t>(size) : 1u);
      owned_ = true;
    }
  }
  ~ZipIoBufferLease() {
    if (owned_) buffer_.Release();
  }
  ZipIoBufferLease(const ZipIoBufferLease&) = delete;
  ZipIoBufferLease& operator=(const ZipIoBufferLease&) = delete;

  /// The buffer's bytes.
  char* data() noexcept { return buffer_.data(); }
  /// The buffer's size.
  std::uint32_t size() const noexcept { return buffer_.GetSize(); }

private:
  CZipAutoBuffer& buffer_;
  bool owned_ = false;
};
