// ZipDecompressorLzma.cpp -- method 14: the ZIP LZMA header, then raw LZMA1 data decoded by liblzma.
#include "engine/ZipLiblzmaStream.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "engine/ZipConstants.h"
#include "engine/ZipEndian.h"

namespace {

namespace LZ = ZipFormat::LzmaHeader;

class LzmaDecompressor final : public CZipLiblzmaStream {
public:
  LzmaDecompressor(bool endMarkPresent, std::uint64_t uncompressedBytes)
      : endMarkPresent_(endMarkPresent), uncompressedBytes_(uncompressedBytes) {}
  ~LzmaDecompressor() override {
    // liblzma leaves the options decoded from the properties to their caller (malloc'd).
    std::free(options_);
  }

  Status Decode(ZipDecodeBuffers& io) override {
    if (!started_) {
      // The header may arrive in pieces when the I/O buffer is small.
      const std::size_t taken = std::min<std::size_t>(io.inBytes, LZ::Size - headerBytes_);
      std::memcpy(header_ + headerBytes_, io.nextIn, taken);
      headerBytes_ += static_cast<std::uint32_t>(taken);
      io.nextIn += taken;
      io.inBytes -= taken;
      if (headerBytes_ < LZ::Size) return Status::Ok;
      const Status started = Start();
      if (started != Status::Ok) return started;
    }
    return DecodeStream(io);
  }

  bool NeedsEndMark() const override { return endMarkPresent_; }

private:
  /// Reads the properties from the complete header and sets up the raw decoder.
  Status Start() {
    const auto propertiesSize = ReadLE<std::uint16_t>(header_ + LZ::PropertiesSize);
    if (propertiesSize != LZ::PropertiesBytes)
      return Fail(Status::Damaged, "the LZMA header gives " + std::to_string(propertiesSize) +
                                       " bytes of properties, expected 5");
    lzma_filter filters[2] = {{LZMA_FILTER_LZMA1, nullptr}, {LZMA_VLI_UNKNOWN, nullptr}};
    const lzma_ret decoded = lzma_properties_decode(
        &filters[0], nullptr, reinterpret_cast<const std::uint8_t*>(header_ + LZ::Properties), LZ::PropertiesBytes);
    options_ = static_cast<lzma_options_lzma*>(filters[0].options);
    if (decoded != LZMA_OK) return Translate(decoded);
    // No match reaches further back than the data's start, so a dictionary larger than the
    // entry is never used: a header naming 4 GiB for a small entry costs the entry's size only.
    const std::uint64_t needed = std::max<std::uint64_t>(uncompressedBytes_, LZMA_DICT_SIZE_MIN);
    if (options_->dict_size > needed) options_->dict_size = static_cast<std::uint32_t>(needed);
    const std::uint64_t memoryBytes = lzma_raw_decoder_memusage(filters);
    if (memoryBytes > MemoryLimitBytes)
      return Fail(Status::OverLimit, "the LZMA dictionary of " + std::to_string(options_->dict_size) +
                                         " bytes needs more than the limit of " + std::to_string(MemoryLimitBytes) +
                                         " bytes of memory");
    // Raw LZMA1 knows no size: it stops at the end marker, or the archive stops at the entry's
    // declared size.
    const lzma_ret initialised = lzma_raw_decoder(&stream_, filters);
    if (initialised != LZMA_OK) return Translate(initialised);
    started_ = true;
    return Status::Ok;
  }

  bool endMarkPresent_;
  std::uint64_t uncompressedBytes_;
  char header_[LZ::Size] = {};
  std::uint32_t headerBytes_ = 0;
  bool started_ = false;
  lzma_options_lzma* options_ = nullptr;
};

}  // namespace

std::unique_ptr<CZipDecompressor> MakeLzmaDecompressor(bool endMarkPresent, std::uint64_t uncompressedBytes) {
  return std::make_unique<LzmaDecompressor>(endMarkPresent, uncompressedBytes);
}
