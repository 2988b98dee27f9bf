// ZipWholeInflate.h -- CZipWholeInflater and ZipGrowBuffer: a deflated entry that fits in memory inflated in one call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

struct libdeflate_decompressor;

/// Inflates a whole raw deflate stream (ZIP application note 4.4.5, method 8) whose size is
/// known, with libdeflate: some 2.3 times zlib's speed, since it decodes straight into the
/// output instead of through a 32 KiB window. Only an exact result is taken: the stream must
/// end having produced exactly the declared size. A stream that would produce more is a lying
/// size, refused as damage; anything else (damaged data, data shorter than declared, a stream
/// cut short by one byte as some old writers end it) is left to the streaming zlib path, which
/// tells those cases apart and reports each as it always has.
class CZipWholeInflater {
public:
  /// Entries whose data and whose packed data are each at most this are inflated whole; larger
  /// ones stream through zlib 64 KiB at a time. Chosen so that an extraction on every core
  /// stays under 32 MiB and one on a single thread under 16 MiB: both the packed and the
  /// inflated bytes of such an entry are in memory at once.
  static constexpr std::uint64_t MaxEntryBytes = std::uint64_t{4} << 20;

  CZipWholeInflater() = default;
  ~CZipWholeInflater();
  CZipWholeInflater(const CZipWholeInflater&) = delete;
  CZipWholeInflater& operator=(const CZipWholeInflater&) = delete;

  /// True when an entry of `dataBytes` (declared) packed into `packedBytes` is taken whole.
  static bool Fits(std::uint64_t dataBytes, std::uint64_t packedBytes) {
    return dataBytes > 0 && dataBytes <= MaxEntryBytes && packedBytes <= MaxEntryBytes;
  }

  /// What `Inflate` found.
  enum class Result {
    Exact,   ///< one deflate stream that ended having produced exactly the declared size
    Longer,  ///< a stream that goes on past the declared size: the entry's size lies
    Other,   ///< anything else: damaged, shorter than declared, or cut short
  };

  /// Inflates the `packedBytes` at `packed` into the `dataBytes` (the declared size) at `data`.
  /// Bytes after the stream's end are passed over, as zlib passes them. Unless the result is
  /// `Exact`, `data` holds nothing meaningful. Throws std::bad_alloc when the decompressor
  /// cannot be made.
  Result Inflate(const void* packed, std::size_t packedBytes, void* data, std::size_t dataBytes);

private:
  libdeflate_decompressor* decompressor_ = nullptr;  ///< made on first use, kept for the next entry
};

/// A byte block that only grows, so that entries of different sizes reuse one allocation.
class ZipGrowBuffer {
public:
  /// At least `size` bytes, the old contents not kept.
  char* Reserve(std::size_t size) {
    if (size > capacity_) {
      block_.reset();
      block_ = std::make_unique_for_overwrite<char[]>(size);
      capacity_ = size;
    }
    return block_.get();
  }
  char* data() noexcept { return block_.get(); }
  /// Frees the block.
  void Release() noexcept {
    block_.reset();
    capacity_ = 0;
  }

private:
  std::unique_ptr<char[]> block_;
  std::size_t capacity_ = 0;
};

/// The open entry's state when it is read whole (`CZipArchive::ReadEntryData`): inflated at its
/// first read, then served from memory when the caller's buffer was smaller than the entry.
struct ZipWholeRead {
  bool pending = false;        ///< the open entry is to be inflated whole at its first read
  std::uint32_t ready = 0;     ///< bytes inflated into `data`
  std::uint32_t served = 0;    ///< of those, bytes delivered
  CZipWholeInflater inflater;  ///< kept between entries
  ZipGrowBuffer packed;        ///< the packed bytes, when not already in memory
  ZipGrowBuffer data;          ///< the inflated bytes, when the caller's buffer cannot take them

  /// Forgets the open entry; the buffers stay for the next one.
  void Reset() noexcept {
    pending = false;
    ready = served = 0;
  }
};
