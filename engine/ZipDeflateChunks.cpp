// ZipDeflateChunks.cpp -- raw deflate of a whole buffer and of one chunk of a long stream (libdeflate).
#include "engine/ZipDeflateChunks.h"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>

#include "engine/ZipDeflateContinue.h"

namespace ZipDeflate {
namespace {

struct CompressorFree {
  void operator()(libdeflate_compressor* compressor) const { libdeflate_free_compressor(compressor); }
};

/// This thread's libdeflate compressor for `level`: one per level in use, made on first need and
/// kept for the thread's life (making one costs more than deflating a small file).
libdeflate_compressor& CompressorFor(int level) {
  thread_local std::unique_ptr<libdeflate_compressor, CompressorFree> compressors[10];
  auto& slot = compressors[level];
  if (!slot) {
    slot.reset(libdeflate_alloc_compressor(level));
    if (!slot) throw std::bad_alloc();
  }
  return *slot;
}

}  // namespace

int EffectiveLevel(int level) { return level >= 1 && level <= 9 ? level : 6; }

int ChunkLevel(int level) { return std::min(EffectiveLevel(level) + 1, 9); }

void DeflateWhole(const unsigned char* data, std::size_t length, int level, std::vector<unsigned char>& out) {
  // libdeflate's levels 1-9 are zlib's in speed and about its equal in ratio; 10-12 go further
  // and are not asked for.
  libdeflate_compressor& compressor = CompressorFor(EffectiveLevel(level));
  // A buffer of libdeflate's bound, never zero-filled (a vector of that size would be, for every
  // source), the result copied out at its exact length. The buffer is the call's own: on a page
  // script's thread nothing outlives the call.
  const std::size_t bound = libdeflate_deflate_compress_bound(&compressor, length);
  const auto buffer = std::make_unique_for_overwrite<unsigned char[]>(bound);
  const std::size_t packed = libdeflate_deflate_compress(&compressor, data, length, buffer.get(), bound);
  // The bound holds for any input, so a zero here would be libdeflate breaking its own contract.
  if (packed == 0) throw std::runtime_error("libdeflate: output bound of " + std::to_string(bound) + " bytes exceeded");
  out.assign(buffer.get(), buffer.get() + packed);
}

void DeflateChunk(const unsigned char* data, std::size_t length, int level, bool last, std::vector<unsigned char>& out) {
  DeflateWhole(data, length, ChunkLevel(level), out);
  if (!last) MakeContinuable(out);
}

std::uint32_t Crc32(std::uint32_t crc, const unsigned char* data, std::size_t length) {
  return libdeflate_crc32(crc, data, length);
}

std::uint32_t Crc32Combine(std::uint32_t first, std::uint32_t second, std::uint64_t secondLength) {
  return static_cast<std::uint32_t>(crc32_combine64(first, second, static_cast<z_off64_t>(secondLength)));
}

}  // namespace ZipDeflate
