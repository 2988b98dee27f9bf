// ZipInternalInfo.h -- the compression state and I/O buffer shared by the entry operations.
#pragma once

#include "engine/ZipAutoBuffer.h"

#include <cstdint>
#include <zlib.h>

/// The state of the one entry an archive has open, for reading or for writing. The archive sets
/// the stream's allocation functions before every deflate or inflate initialisation.
struct CZipInternalInfo {
  CZipInternalInfo() = default;
  virtual ~CZipInternalInfo() = default;
  CZipInternalInfo(const CZipInternalInfo&) = delete;
  CZipInternalInfo& operator=(const CZipInternalInfo&) = delete;

  /// Releases the I/O buffer; the buffer size is kept.
  void ReleaseBuffer() { buffer.Release(); }

  z_stream stream{};                      ///< the deflate or inflate state of the open entry
  std::uint64_t uncompressedLeft = 0;     ///< reading: bytes of the entry still to be delivered
  std::uint64_t compressedLeft = 0;       ///< reading: packed bytes still in the archive;
                                          ///< writing: bytes waiting in the buffer
  std::uint32_t crc = 0;                  ///< running CRC-32 of the data read so far
  std::int32_t bufferSize = 65536;        ///< size of the I/O buffer allocated at entry open
  CZipAutoBuffer buffer;                  ///< the I/O buffer; held only while an entry is open
};
