// ZipDecompressorXz.cpp -- method 95: one .xz stream, decoded by liblzma.
#include "engine/ZipLiblzmaStream.h"

namespace {

class XzDecompressor final : public CZipLiblzmaStream {
public:
  // No flags: one stream, whose integrity check (when liblzma knows its kind) is verified; the
  // entry's CRC-32 covers the data in any case.
  XzDecompressor() : initResult_(lzma_stream_decoder(&stream_, MemoryLimitBytes, 0)) {}

  Status Decode(ZipDecodeBuffers& io) override {
    if (initResult_ != LZMA_OK) return Translate(initResult_);
    return DecodeStream(io);
  }

private:
  lzma_ret initResult_;
};

}  // namespace

std::unique_ptr<CZipDecompressor> MakeXzDecompressor() { return std::make_unique<XzDecompressor>(); }
