// ZipLiblzmaStream.cpp -- running a liblzma stream and translating its result codes.
#include "engine/ZipLiblzmaStream.h"

CZipDecompressor::Status CZipLiblzmaStream::DecodeStream(ZipDecodeBuffers& io) {
  stream_.next_in = io.nextIn;
  stream_.avail_in = io.inBytes;
  stream_.next_out = io.nextOut;
  stream_.avail_out = io.outBytes;
  const lzma_ret result = lzma_code(&stream_, LZMA_RUN);
  io.nextIn = stream_.next_in;
  io.inBytes = stream_.avail_in;
  io.nextOut = stream_.next_out;
  io.outBytes = stream_.avail_out;
  return Translate(result);
}

CZipDecompressor::Status CZipLiblzmaStream::Translate(lzma_ret result) {
  switch (result) {
    case LZMA_OK:
    case LZMA_BUF_ERROR: return Status::Ok;
    case LZMA_STREAM_END: return Status::StreamEnd;
    case LZMA_MEM_ERROR: return Fail(Status::OutOfMemory, "liblzma could not allocate its state (LZMA_MEM_ERROR)");
    case LZMA_MEMLIMIT_ERROR:
      return Fail(Status::OverLimit, "the stream needs more than " + std::to_string(MemoryLimitBytes) +
                                         " bytes of memory (LZMA_MEMLIMIT_ERROR)");
    case LZMA_FORMAT_ERROR: return Fail(Status::Damaged, "the data is not in the .xz format (LZMA_FORMAT_ERROR)");
    case LZMA_OPTIONS_ERROR:
      return Fail(Status::Damaged, "the stream's options are invalid or not supported (LZMA_OPTIONS_ERROR)");
    case LZMA_DATA_ERROR: return Fail(Status::Damaged, "the compressed data is damaged (LZMA_DATA_ERROR)");
    default: return Fail(Status::Damaged, "liblzma failed with code " + std::to_string(static_cast<int>(result)));
  }
}
