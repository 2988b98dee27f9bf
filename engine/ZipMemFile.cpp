// ZipMemFile.cpp -- CZipMemFile's growth, seeking, reading and writing rules.
#include "engine/ZipMemFile.h"

#include <cerrno>
#include <cstring>
#include <limits>

#include "engine/ZipException.h"
#include "engine/ZipFileException.h"

namespace {
/// No archive of the format without its 64-bit extensions reaches 4 GiB, so neither does a
/// memory file that holds one; a larger request is a fault, answered like a failed allocation.
constexpr std::uint64_t kMaxMemFileBytes = 0x100000000ull;
}  // namespace

void CZipMemFile::Grow(std::uint64_t neededBytes) {
  if (neededBytes <= capacity_) return;
  // A closed file has no step left to grow by.
  if (growBy_ == 0 || neededBytes > kMaxMemFileBytes) ThrowZipError(errZlibMemory);
  const std::uint64_t missing = neededBytes - capacity_;
  const std::uint64_t steps = missing / growBy_ + (missing % growBy_ != 0 ? 1 : 0);
  if (steps > (kMaxMemFileBytes * 2 - capacity_) / growBy_) ThrowZipError(errZlibMemory);
  const std::uint64_t newCapacity = capacity_ + steps * growBy_;
  void* block = std::realloc(buffer_.get(), static_cast<std::size_t>(newCapacity));
  if (block == nullptr) ThrowZipError(errZlibMemory);
  (void)buffer_.release();  // realloc has taken the old block over
  buffer_.reset(static_cast<unsigned char*>(block));
  capacity_ = newCapacity;
}

void CZipMemFile::ZeroFrom(std::uint64_t newLength) noexcept {
  // Bytes past the length are either never written or left from before a shrink.
  if (newLength > dataSize_) std::memset(buffer_.get() + dataSize_, 0, static_cast<std::size_t>(newLength - dataSize_));
}

void CZipMemFile::Close() {
  buffer_.reset();
  position_ = 0;
  capacity_ = 0;
  dataSize_ = 0;
  growBy_ = 0;
}

std::uint64_t CZipMemFile::Seek(std::int64_t offset, int origin) {
  std::uint64_t base = 0;
  switch (origin) {
    case begin: base = 0; break;
    case current: base = position_; break;
    case end: base = dataSize_; break;
    default: return position_;
  }
  // A position before the start is no position; unsigned arithmetic would wrap it to a huge one.
  if (offset < 0 && static_cast<std::uint64_t>(-(offset + 1)) + 1 > base) throw CZipFileException(EINVAL, "");
  position_ = offset < 0 ? base - (static_cast<std::uint64_t>(-(offset + 1)) + 1) : base + static_cast<std::uint64_t>(offset);
  return position_;
}

void CZipMemFile::SetLength(std::uint64_t newLength) {
  if (capacity_ < newLength) {
    Grow(newLength);
  } else {
    position_ = newLength;
  }
  ZeroFrom(newLength);
  dataSize_ = newLength;
}

std::uint32_t CZipMemFile::Read(void* buffer, std::uint32_t count) {
  if (position_ >= dataSize_ || count == 0) return 0;
  const std::uint64_t available = dataSize_ - position_;
  const auto bytesRead = static_cast<std::uint32_t>(available < count ? available : count);
  std::memcpy(buffer, buffer_.get() + position_, bytesRead);
  position_ += bytesRead;
  return bytesRead;
}

void CZipMemFile::Write(const void* buffer, std::uint32_t count) {
  if (count == 0) return;
  if (position_ > std::numeric_limits<std::uint64_t>::max() - count) ThrowZipError(errZlibMemory);
  const std::uint64_t endPosition = position_ + count;
  Grow(endPosition);
  ZeroFrom(position_);
  std::memcpy(buffer_.get() + position_, buffer, count);
  position_ = endPosition;
  if (position_ > dataSize_) dataSize_ = position_;
}
