// ZipDeflateContinue.cpp -- a complete raw deflate stream turned into a piece another stream may follow.
#include "engine/ZipDeflateContinue.h"

#include <zlib.h>

#include <array>
#include <cstddef>
#include <stdexcept>
#include <string>

namespace ZipDeflate {
namespace {

/// Ends a zlib raw inflate stream on every way out.
class InflateWalk {
public:
  InflateWalk() {
    const int result = inflateInit2(&stream_, -MAX_WBITS);
    if (result != Z_OK) throw std::runtime_error("zlib inflateInit2 failed with " + std::to_string(result));
  }
  ~InflateWalk() { inflateEnd(&stream_); }
  InflateWalk(const InflateWalk&) = delete;
  InflateWalk& operator=(const InflateWalk&) = delete;
  z_stream& get() { return stream_; }

private:
  z_stream stream_{};
};

}  // namespace

void MakeContinuable(std::vector<unsigned char>& stream) {
  InflateWalk walk;
  z_stream& z = walk.get();
  z.next_in = stream.data();
  z.avail_in = static_cast<uInt>(stream.size());
  // The inflated bytes are not wanted, only where each block starts; zlib keeps the 32 KiB window
  // it needs itself, so a small buffer, overwritten each time, is enough.
  std::array<unsigned char, 16384> sink;
  // Bit offsets from the start of `stream`, bits counted from each byte's least significant end.
  const auto bitsUsed = [&] { return (stream.size() - z.avail_in) * 8 - (static_cast<unsigned>(z.data_type) & 7u); };
  std::size_t lastBlock = 0;
  std::size_t end = 0;
  for (;;) {
    z.next_out = sink.data();
    z.avail_out = static_cast<uInt>(sink.size());
    const int result = inflate(&z, Z_BLOCK);
    // 128: stopped just after a block's end-of-block code; 64: that block was the final one.
    // The end is taken there: past it zlib skips to a byte boundary before saying Z_STREAM_END.
    if (result == Z_OK && (z.data_type & 128) != 0) {
      if ((z.data_type & 64) != 0) {
        end = bitsUsed();
        break;
      }
      lastBlock = bitsUsed();
    } else if (result != Z_OK && !(result == Z_BUF_ERROR && z.avail_in > 0)) {
      throw std::runtime_error("deflate piece of " + std::to_string(stream.size()) + " bytes does not end at bit " +
                               std::to_string(bitsUsed()) + ": zlib inflate says " + std::to_string(result));
    }
  }
  if ((end + 7) / 8 != stream.size())
    throw std::runtime_error("deflate piece of " + std::to_string(stream.size()) + " bytes ends at bit " +
                             std::to_string(end) + ", before its last byte");
  stream[lastBlock / 8] &= static_cast<unsigned char>(~(1u << (lastBlock % 8)));  // BFINAL
  // The stored block's 3 header bits (BFINAL 0, BTYPE 00) are zero, as is the padding up to the
  // byte boundary after them (RFC 1951 3.2.4); then LEN 0 and NLEN 0xFFFF.
  if (end % 8 != 0) stream.back() &= static_cast<unsigned char>((1u << (end % 8)) - 1u);
  stream.resize((end + 3 + 7) / 8, 0);
  stream.insert(stream.end(), {0x00, 0x00, 0xFF, 0xFF});
}

}  // namespace ZipDeflate
