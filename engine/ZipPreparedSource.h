// ZipPreparedSource.h -- a disk file opened, read whole and deflated ahead of its turn to be added.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/ZipFile.h"

class CZipAbstractFile;

/// What a worker made of one announced source before the archive reached it. Every step is
/// optional: whatever is missing (the file did not open, it was too long to take whole, the
/// memory bound was reached, a step failed) the archive does itself when the entry's turn comes,
/// exactly as without workers, so errors are found and reported by the one thread that reports.
struct ZipPreparedSource {
  std::string path;          ///< as announced; matched against the request's source path
  int level = -1;            ///< the deflate level `packed` was made with
  CZipFile file;             ///< the source, open (with its status) when `file.OpenStatus()` is set
  std::uint64_t statSize = 0;  ///< the size the open found; the read took at most this much
  std::uint64_t dataSize = 0;  ///< bytes read, when `hasPacked` (less than `statSize`: it shrank)
  bool hasPacked = false;      ///< `packed` and `crc` hold the deflated data of the bytes read
  std::uint32_t crc = 0;
  std::vector<unsigned char> packed;
  std::uint64_t reserved = 0;  ///< bytes of the memory bound this source still holds
};

namespace ZipPrepared {

/// Reads up to `size` bytes of `source` from its current position into `into`; returns how many
/// were read (fewer when the source ended first). Throws what the source throws.
std::uint64_t ReadUpTo(CZipAbstractFile& source, std::uint64_t size, unsigned char* into);

/// Reads up to `size` (at most ZipDeflate::WholeBound) bytes of `source` from its current
/// position and deflates them whole at `level` into `prepared` (`packed`, `crc`, `dataSize`,
/// `level`, `hasPacked`). Throws what the source throws.
void PackWhole(CZipAbstractFile& source, std::uint64_t size, int level, ZipPreparedSource& prepared);

}  // namespace ZipPrepared
