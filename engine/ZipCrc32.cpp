// ZipCrc32.cpp -- the engine's CRC-32, computed by libdeflate.
#include "engine/ZipCrc32.h"

#include <libdeflate.h>

std::uint32_t ZipCrc32(std::uint32_t crc, const void* data, std::size_t length) {
  // libdeflate takes a size_t length and keeps zlib's convention of the inverted register.
  return libdeflate_crc32(crc, data, length);
}
