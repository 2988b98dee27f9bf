// ZipDecompressor.h -- the decoders of the compression methods read besides stored and deflate.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>

/// Where one `CZipDecompressor::Decode` call takes packed bytes from and puts data to; it
/// advances both as it goes.
struct ZipDecodeBuffers {
  const std::uint8_t* nextIn = nullptr;
  std::size_t inBytes = 0;
  /// No packed bytes follow `inBytes`: the entry's packed data ends with them.
  bool inputEnds = false;
  std::uint8_t* nextOut = nullptr;
  std::size_t outBytes = 0;
};

/// A streaming decoder for the data of one entry. The archive feeds it the entry's packed
/// bytes, decrypted, in pieces of any size, and takes its output straight into the caller's
/// buffer; it never sees more than the entry's declared sizes. Each method's library result
/// codes are turned into `Status` in the method's own file, once.
class CZipDecompressor {
public:
  enum class Status {
    Ok,           ///< progress, or waiting for more input or output room
    StreamEnd,    ///< the method's own end of data was reached; no more output comes
    Damaged,      ///< the packed data is not a valid stream of the method (`Problem` says how)
    OutOfMemory,  ///< the library could not allocate what it needs
    OverLimit,    ///< the stream asks for more memory than `MemoryLimitBytes`
  };

  /// The most memory a decoder may ask for (LZMA and XZ dictionaries, Zstandard windows):
  /// 7-Zip's largest LZMA dictionary, 1.5 GiB. A hostile header would otherwise choose it.
  static constexpr std::uint64_t MemoryLimitBytes = 1536ull << 20;

  virtual ~CZipDecompressor() = default;
  CZipDecompressor(const CZipDecompressor&) = delete;
  CZipDecompressor& operator=(const CZipDecompressor&) = delete;

  /// Decodes what `io` offers. Never writes past `io.outBytes`; may be called with no output
  /// room, to let the decoder see its end of stream.
  virtual Status Decode(ZipDecodeBuffers& io) = 0;

  /// Whether the data must end with the method's end mark once the declared size has been
  /// delivered. Only LZMA without the end-marker flag (general-purpose bit 1) does not.
  virtual bool NeedsEndMark() const { return true; }

  /// What the last `Damaged`, `OutOfMemory` or `OverLimit` found, in words and with the
  /// library's own code ("BZ_DATA_ERROR").
  const std::string& Problem() const { return problem_; }

  /// The decoder for `method` (12 bzip2, 14 LZMA, 93 Zstandard, 95 XZ), or null for any other
  /// method, stored and deflate included (the archive reads those itself). `flags` are the
  /// entry's general-purpose flags in effect; `uncompressedBytes` its declared size.
  /// Throws std::bad_alloc; a library that cannot start reports it on the first `Decode`.
  static std::unique_ptr<CZipDecompressor> ForMethod(std::uint16_t method, std::uint16_t flags,
                                                     std::uint64_t uncompressedBytes);

protected:
  CZipDecompressor() = default;
  /// Records `problem` and returns `status`, for a failing `Decode`.
  Status Fail(Status status, std::string problem) {
    problem_ = std::move(problem);
    return status;
  }

private:
  std::string problem_;
};

/// The method's name as archivers show it ("BZip2", "PPMd"), or empty for a number no archiver
/// this engine knows of uses.
const char* ZipMethodName(std::uint16_t method);

/// "unsupported compression method 98 (PPMd)", or without the parenthesis for a number with no
/// name: the reason given for an entry that is not read.
std::string ZipUnsupportedMethodText(std::uint16_t method);

// One factory per method, each in the method's own file.
std::unique_ptr<CZipDecompressor> MakeBzip2Decompressor();
std::unique_ptr<CZipDecompressor> MakeLzmaDecompressor(bool endMarkPresent, std::uint64_t uncompressedBytes);
std::unique_ptr<CZipDecompressor> MakeXzDecompressor();
std::unique_ptr<CZipDecompressor> MakeZstdDecompressor();
