// ZipDecompressorBzip2.cpp -- method 12: bzip2 data, decoded by libbz2.
#include "engine/ZipDecompressor.h"

#include <algorithm>
#include <climits>

#include <bzlib.h>

namespace {

/// libbz2's result codes turned into the decoder's, with the code's own name in the text.
CZipDecompressor::Status Bzip2Problem(int result, std::string& text) {
  using Status = CZipDecompressor::Status;
  switch (result) {
    case BZ_MEM_ERROR: text = "libbz2 could not allocate its state (BZ_MEM_ERROR)"; return Status::OutOfMemory;
    case BZ_DATA_ERROR_MAGIC: text = "the data does not start with the bzip2 signature (BZ_DATA_ERROR_MAGIC)"; break;
    case BZ_DATA_ERROR: text = "the bzip2 data is damaged (BZ_DATA_ERROR)"; break;
    default: text = "libbz2 failed with code " + std::to_string(result); break;
  }
  return Status::Damaged;
}

class Bzip2Decompressor final : public CZipDecompressor {
public:
  Bzip2Decompressor() { initResult_ = BZ2_bzDecompressInit(&stream_, 0, 0); }
  ~Bzip2Decompressor() override {
    if (initResult_ == BZ_OK) BZ2_bzDecompressEnd(&stream_);
  }

  Status Decode(ZipDecodeBuffers& io) override {
    std::string text;
    if (initResult_ != BZ_OK) {
      const Status status = Bzip2Problem(initResult_, text);
      return Fail(status, text);
    }
    // libbz2 counts in unsigned int: larger offers are made in parts, the caller calls again.
    const unsigned inOffered = static_cast<unsigned>(std::min<std::size_t>(io.inBytes, UINT_MAX));
    const unsigned outOffered = static_cast<unsigned>(std::min<std::size_t>(io.outBytes, UINT_MAX));
    // libbz2 never writes its input; its interface is older than const.
    stream_.next_in = const_cast<char*>(reinterpret_cast<const char*>(io.nextIn));
    stream_.avail_in = inOffered;
    stream_.next_out = reinterpret_cast<char*>(io.nextOut);
    stream_.avail_out = outOffered;
    const int result = BZ2_bzDecompress(&stream_);
    io.nextIn += inOffered - stream_.avail_in;
    io.inBytes -= inOffered - stream_.avail_in;
    io.nextOut += outOffered - stream_.avail_out;
    io.outBytes -= outOffered - stream_.avail_out;
    if (result == BZ_OK) return Status::Ok;
    if (result == BZ_STREAM_END) return Status::StreamEnd;
    const Status status = Bzip2Problem(result, text);
    return Fail(status, text);
  }

private:
  bz_stream stream_{};
  int initResult_;
};

}  // namespace

std::unique_ptr<CZipDecompressor> MakeBzip2Decompressor() { return std::make_unique<Bzip2Decompressor>(); }
