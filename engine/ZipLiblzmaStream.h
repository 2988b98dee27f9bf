// ZipLiblzmaStream.h -- one liblzma stream as a decoder, shared by the LZMA and XZ methods (internal).
#pragma once

#include <lzma.h>

#include "engine/ZipDecompressor.h"

/// A `CZipDecompressor` over a `lzma_stream` that a method's decoder has initialised (or failed
/// to: `initResult`). liblzma's result codes become the decoder's here, once for both methods.
class CZipLiblzmaStream : public CZipDecompressor {
public:
  ~CZipLiblzmaStream() override { lzma_end(&stream_); }

protected:
  CZipLiblzmaStream() = default;

  /// Runs the initialised stream over what `io` offers.
  Status DecodeStream(ZipDecodeBuffers& io);
  /// The decoder's status for liblzma's `result` (LZMA_OK and LZMA_BUF_ERROR are progress or
  /// waiting: the archive judges a stream that stops moving itself).
  Status Translate(lzma_ret result);

  lzma_stream stream_ = LZMA_STREAM_INIT;
};
