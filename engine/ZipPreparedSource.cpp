// ZipPreparedSource.cpp -- reading a source whole and deflating it in one piece.
#include "engine/ZipPreparedSource.h"

#include <algorithm>
#include <limits>
#include <memory>
#include <stdexcept>
#include <string>

#include "engine/ZipAbstractFile.h"
#include "engine/ZipDeflateChunks.h"

namespace ZipPrepared {

std::uint64_t ReadUpTo(CZipAbstractFile& source, std::uint64_t size, unsigned char* into) {
  std::uint64_t got = 0;
  while (got < size) {
    const std::uint32_t wanted = static_cast<std::uint32_t>(
        std::min<std::uint64_t>(size - got, std::numeric_limits<std::uint32_t>::max() / 2));
    const std::uint32_t read = source.Read(into + got, wanted);
    got += read;
    if (read < wanted) break;  // the source ended early: it shrank since its size was read
  }
  return got;
}

void PackWhole(CZipAbstractFile& source, std::uint64_t size, int level, ZipPreparedSource& prepared) {
  if (size > ZipDeflate::WholeBound)
    throw std::logic_error("a source of " + std::to_string(size) + " bytes is past the " +
                           std::to_string(ZipDeflate::WholeBound) + " deflated whole");
  // Never zero-filled: every byte of it that is used is read into first.
  const auto input = std::make_unique_for_overwrite<unsigned char[]>(static_cast<std::size_t>(std::max<std::uint64_t>(size, 1)));
  const std::uint64_t got = ReadUpTo(source, size, input.get());
  ZipDeflate::DeflateWhole(input.get(), static_cast<std::size_t>(got), level, prepared.packed);
  prepared.crc = ZipDeflate::Crc32(0, input.get(), static_cast<std::size_t>(got));
  prepared.dataSize = got;
  prepared.level = level;
  prepared.hasPacked = true;
}

}  // namespace ZipPrepared
