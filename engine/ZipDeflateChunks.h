// ZipDeflateChunks.h -- raw deflate of a whole buffer (libdeflate) and of one chunk of a long stream (zlib, pigz style).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace ZipDeflate {

/// A source at most this long is read whole and deflated in one call. Together with the bound on
/// sources in flight it keeps a whole add within its memory target; longer sources go in chunks.
constexpr std::uint64_t WholeBound = 2u << 20;
/// Input bytes per chunk of a longer source. Fixed, never derived from the thread count: the
/// archive's bytes depend on the input and the level only.
constexpr std::uint64_t ChunkBytes = 512u << 10;
/// The deflate window: each chunk is compressed with this much of the input before it as its
/// preset dictionary, so a chunk boundary costs almost nothing in ratio.
constexpr std::uint64_t WindowBytes = 32u << 10;

/// The zlib level a request's level means: -1 (and anything outside 1-9) is zlib's default, 6.
int EffectiveLevel(int level);

/// Deflates `length` bytes at `level` (1-9, the same number as zlib's) into `out` (replaced), as
/// one final raw deflate stream (RFC 1951, no zlib or gzip wrapper). Thread-safe; each thread
/// keeps its own compressor. Throws std::bad_alloc when no compressor can be made.
void DeflateWhole(const unsigned char* data, std::size_t length, int level, std::vector<unsigned char>& out);

/// Deflates one chunk of a longer stream into `out` (replaced): `data` is preceded in the input
/// by `dictionaryLength` (at most `WindowBytes`) bytes at `dictionary`, which earlier chunks
/// hold and which this one may refer back to. A chunk that is not `last` ends with a sync flush
/// (an empty stored block), so the chunks joined in order are one raw deflate stream; the last
/// one ends it with a final block. Thread-safe. Throws std::runtime_error naming zlib's error.
void DeflateChunk(const unsigned char* dictionary, std::size_t dictionaryLength, const unsigned char* data,
                  std::size_t length, int level, bool last, std::vector<unsigned char>& out);

/// CRC-32 (ZIP application note 4.4.7) of `length` bytes, continuing `crc`.
std::uint32_t Crc32(std::uint32_t crc, const unsigned char* data, std::size_t length);
/// The CRC-32 of two pieces joined, from each piece's CRC and the second one's length.
std::uint32_t Crc32Combine(std::uint32_t first, std::uint32_t second, std::uint64_t secondLength);

}  // namespace ZipDeflate
