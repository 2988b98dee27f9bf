// ZipWholeInflate.cpp -- CZipWholeInflater: libdeflate's one-call inflate, taken only when exact.
#include "engine/ZipWholeInflate.h"

#include <libdeflate.h>

#include <new>

CZipWholeInflater::~CZipWholeInflater() {
  if (decompressor_ != nullptr) libdeflate_free_decompressor(decompressor_);
}

CZipWholeInflater::Result CZipWholeInflater::Inflate(const void* packed, std::size_t packedBytes, void* data,
                                                     std::size_t dataBytes) {
  if (decompressor_ == nullptr) {
    decompressor_ = libdeflate_alloc_decompressor();
    if (decompressor_ == nullptr) throw std::bad_alloc();
  }
  // Without an "actual size" out-parameter libdeflate answers LIBDEFLATE_SUCCESS only for a
  // stream that fills the output exactly: LIBDEFLATE_SHORT_OUTPUT is data that ends early,
  // LIBDEFLATE_INSUFFICIENT_SPACE data that goes on past the declared size.
  switch (libdeflate_deflate_decompress(decompressor_, packed, packedBytes, data, dataBytes, nullptr)) {
    case LIBDEFLATE_SUCCESS: return Result::Exact;
    case LIBDEFLATE_INSUFFICIENT_SPACE: return Result::Longer;
    default: return Result::Other;
  }
}
