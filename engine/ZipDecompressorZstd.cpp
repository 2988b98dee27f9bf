// ZipDecompressorZstd.cpp -- method 93: Zstandard frames, decoded by libzstd.
#include "engine/ZipDecompressor.h"

#include <zstd.h>
#include <zstd_errors.h>

namespace {

/// The largest window accepted, as a power of two: 1 GiB, the largest within
/// `MemoryLimitBytes` (libzstd's own default stops at 128 MiB, below what `zstd --long` writes).
constexpr int kWindowLogMax = 30;
static_assert((std::uint64_t{1} << kWindowLogMax) <= CZipDecompressor::MemoryLimitBytes);

class ZstdDecompressor final : public CZipDecompressor {
public:
  ZstdDecompressor() : context_(ZSTD_createDCtx()) {
    if (context_ != nullptr) ZSTD_DCtx_setParameter(context_, ZSTD_d_windowLogMax, kWindowLogMax);
  }
  ~ZstdDecompressor() override { ZSTD_freeDCtx(context_); }

  Status Decode(ZipDecodeBuffers& io) override {
    if (context_ == nullptr) return Fail(Status::OutOfMemory, "libzstd could not allocate its context");
    ZSTD_inBuffer in{io.nextIn, io.inBytes, 0};
    ZSTD_outBuffer out{io.nextOut, io.outBytes, 0};
    const std::size_t result = ZSTD_decompressStream(context_, &out, &in);
    io.nextIn += in.pos;
    io.inBytes -= in.pos;
    io.nextOut += out.pos;
    io.outBytes -= out.pos;
    if (ZSTD_isError(result)) return Translate(ZSTD_getErrorCode(result));
    // 0: a frame is complete and flushed. The data may hold several frames, one after the
    // other; it ends with the frame that ends with the packed bytes.
    if (result == 0 && io.inBytes == 0 && io.inputEnds) return Status::StreamEnd;
    return Status::Ok;
  }

private:
  Status Translate(ZSTD_ErrorCode code) {
    const std::string name = ZSTD_getErrorString(code);
    switch (code) {
      case ZSTD_error_memory_allocation: return Fail(Status::OutOfMemory, "libzstd: " + name);
      case ZSTD_error_frameParameter_windowTooLarge:
        return Fail(Status::OverLimit, "the frame's window is larger than " +
                                           std::to_string(std::uint64_t{1} << kWindowLogMax) +
                                           " bytes (libzstd: " + name + ")");
      default: return Fail(Status::Damaged, "the Zstandard data is damaged (libzstd: " + name + ")");
    }
  }

  ZSTD_DCtx* context_;
};

}  // namespace

std::unique_ptr<CZipDecompressor> MakeZstdDecompressor() { return std::make_unique<ZstdDecompressor>(); }
