// ZipDeflateChunks.cpp -- raw deflate of a whole buffer (libdeflate) and of one chunk of a long stream (zlib).
#include "engine/ZipDeflateChunks.h"

#include <libdeflate.h>
#include <zlib.h>

#include <memory>
#include <new>
#include <stdexcept>
#include <string>

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

/// Ends a zlib deflate stream on every way out.
class DeflateStream {
public:
  explicit DeflateStream(int level) {
    const int result = deflateInit2(&stream_, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    if (result != Z_OK) Fail("deflateInit2", result);
  }
  ~DeflateStream() { deflateEnd(&stream_); }
  DeflateStream(const DeflateStream&) = delete;
  DeflateStream& operator=(const DeflateStream&) = delete;
  z_stream& get() { return stream_; }

  [[noreturn]] static void Fail(const char* call, int result) {
    throw std::runtime_error(std::string("zlib ") + call + " failed with " + std::to_string(result));
  }

private:
  z_stream stream_{};
};

}  // namespace

int EffectiveLevel(int level) { return level >= 1 && level <= 9 ? level : 6; }

void DeflateWhole(const unsigned char* data, std::size_t length, int level, std::vector<unsigned char>& out) {
  // libdeflate's levels 1-9 are zlib's in speed and at least its equal in ratio; 10-12 go
  // further and are not asked for.
  libdeflate_compressor& compressor = CompressorFor(EffectiveLevel(level));
  out.resize(libdeflate_deflate_compress_bound(&compressor, length));
  const std::size_t packed = libdeflate_deflate_compress(&compressor, data, length, out.data(), out.size());
  // The bound holds for any input, so a zero here would be libdeflate breaking its own contract.
  if (packed == 0) throw std::runtime_error("libdeflate: output bound of " + std::to_string(out.size()) + " bytes exceeded");
  out.resize(packed);
}

void DeflateChunk(const unsigned char* dictionary, std::size_t dictionaryLength, const unsigned char* data,
                  std::size_t length, int level, bool last, std::vector<unsigned char>& out) {
  DeflateStream holder(EffectiveLevel(level));
  z_stream& stream = holder.get();
  if (dictionaryLength > 0) {
    const int result = deflateSetDictionary(&stream, dictionary, static_cast<uInt>(dictionaryLength));
    if (result != Z_OK) DeflateStream::Fail("deflateSetDictionary", result);
  }
  // Room for the worst case plus the flush marker: one deflate call with Z_FINISH or
  // Z_SYNC_FLUSH then ends in a single pass.
  out.resize(deflateBound(&stream, static_cast<uLong>(length)) + 16);
  stream.next_in = const_cast<Bytef*>(data);
  stream.avail_in = static_cast<uInt>(length);
  stream.next_out = out.data();
  stream.avail_out = static_cast<uInt>(out.size());
  const int result = deflate(&stream, last ? Z_FINISH : Z_SYNC_FLUSH);
  const bool done = last ? result == Z_STREAM_END : result == Z_OK && stream.avail_in == 0 && stream.avail_out > 0;
  if (!done) DeflateStream::Fail(last ? "deflate(Z_FINISH)" : "deflate(Z_SYNC_FLUSH)", result);
  out.resize(out.size() - stream.avail_out);
}

std::uint32_t Crc32(std::uint32_t crc, const unsigned char* data, std::size_t length) {
  return libdeflate_crc32(crc, data, length);
}

std::uint32_t Crc32Combine(std::uint32_t first, std::uint32_t second, std::uint64_t secondLength) {
  return static_cast<std::uint32_t>(crc32_combine64(first, second, static_cast<z_off64_t>(secondLength)));
}

}  // namespace ZipDeflate
