// FaultyMemFile.h -- a memory file whose Nth read, write, seek or truncation fails as a disk would.
#pragma once

#include <cerrno>
#include <cstdint>
#include <string>

#include "engine/ZipFileException.h"
#include "engine/ZipMemFile.h"

namespace brevik::test {

/// A `CZipMemFile` that counts its reads, writes, seeks and length changes together and makes
/// call number `failAt` (1-based; 0: none) throw `CZipFileException` EIO without doing anything,
/// as a disk that fails the call would. Every later call works again.
class FaultyMemFile : public CZipMemFile {
public:
  explicit FaultyMemFile(const std::string& bytes, int failAt) : failAt_(failAt) {
    CZipMemFile::Write(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
    CZipMemFile::Seek(0, begin);
  }

  std::uint32_t Read(void* buffer, std::uint32_t count) override {
    Count();
    return CZipMemFile::Read(buffer, count);
  }
  void Write(const void* buffer, std::uint32_t count) override {
    Count();
    CZipMemFile::Write(buffer, count);
  }
  std::uint64_t Seek(std::int64_t offset, int origin) override {
    Count();
    return CZipMemFile::Seek(offset, origin);
  }
  void SetLength(std::uint64_t newLength) override {
    Count();
    CZipMemFile::SetLength(newLength);
  }

  /// True once the failing call has been made.
  bool Failed() const { return calls_ >= failAt_ && failAt_ > 0; }
  /// Calls made so far.
  int Calls() const { return calls_; }
  /// The bytes as they stand.
  std::string Bytes() const { return std::string(reinterpret_cast<const char*>(GetData()), GetLength()); }

private:
  void Count() {
    if (++calls_ == failAt_) throw CZipFileException(EIO, "faulty");
  }
  int failAt_;
  int calls_ = 0;
};

}  // namespace brevik::test
