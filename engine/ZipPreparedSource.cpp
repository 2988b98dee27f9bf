// ZipPreparedSource.cpp -- reading a source whole and deflating it in one piece.
#include "engine/ZipPreparedSource.h"

#include <algorithm>
#include <limits>

#include "engine/ZipAbstractFile.h"
#include "engine/ZipDeflateChunks.h"

namespace ZipPrepared {

void ReadUpTo(CZipAbstractFile& source, std::uint64_t size, std::vector<unsigned char>& data) {
  data.resize(static_cast<std::size_t>(size));
  std::uint64_t got = 0;
  while (got < size) {
    const std::uint32_t wanted = static_cast<std::uint32_t>(
        std::min<std::uint64_t>(size - got, std::numeric_limits<std::uint32_t>::max() / 2));
    const std::uint32_t read = source.Read(data.data() + got, wanted);
    got += read;
    if (read < wanted) break;  // the source ended early: it shrank since its size was read
  }
  data.resize(static_cast<std::size_t>(got));
}

void PackWhole(const std::vector<unsigned char>& data, int level, ZipPreparedSource& prepared) {
  ZipDeflate::DeflateWhole(data.data(), data.size(), level, prepared.packed);
  prepared.crc = ZipDeflate::Crc32(0, data.data(), data.size());
  prepared.dataSize = data.size();
  prepared.level = level;
  prepared.hasPacked = true;
}

}  // namespace ZipPrepared
