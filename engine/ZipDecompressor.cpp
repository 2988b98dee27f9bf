// ZipDecompressor.cpp -- choosing a decoder by compression method, and the methods' names.
#include "engine/ZipDecompressor.h"

#include "engine/ZipConstants.h"

namespace Method = ZipFormat::Method;

std::unique_ptr<CZipDecompressor> CZipDecompressor::ForMethod(std::uint16_t method, std::uint16_t flags,
                                                              std::uint64_t uncompressedBytes) {
  switch (method) {
    case Method::Bzip2: return MakeBzip2Decompressor();
    case Method::Lzma:
      return MakeLzmaDecompressor((flags & ZipFormat::Flag::LzmaEndMarker) != 0, uncompressedBytes);
    case Method::Zstd: return MakeZstdDecompressor();
    case Method::Xz: return MakeXzDecompressor();
    default: return nullptr;
  }
}

const char* ZipMethodName(std::uint16_t method) {
  // APPNOTE 4.4.5, named as 7-Zip and Info-ZIP name them.
  switch (method) {
    case 0: return "Stored";
    case 1: return "Shrink";
    case 2:
    case 3:
    case 4:
    case 5: return "Reduce";
    case 6: return "Implode";
    case 8: return "Deflate";
    case 9: return "Deflate64";
    case 10: return "PKImplode";
    case 12: return "BZip2";
    case 14: return "LZMA";
    case 18: return "Terse";
    case 19: return "LZ77";
    case 93: return "Zstd";
    case 94: return "MP3";
    case 95: return "XZ";
    case 96: return "JPEG";
    case 97: return "WavPack";
    case 98: return "PPMd";
    case 99: return "AES";
    default: return "";
  }
}

std::string ZipUnsupportedMethodText(std::uint16_t method) {
  std::string text = "unsupported compression method " + std::to_string(method);
  const std::string name = ZipMethodName(method);
  if (!name.empty()) text += " (" + name + ")";
  return text;
}
