// ZipDeflateChunks.h -- raw deflate of a whole buffer and of one chunk of a long stream (libdeflate, pigz style).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace ZipDeflate {

/// A source at most this long is read whole and deflated in one call. Together with the bound on
/// sources in flight it keeps a whole add within its memory target; longer sources go in chunks.
constexpr std::uint64_t WholeBound = 2u << 20;
/// Input bytes per chunk of a longer source. Fixed, never derived from the thread count: the
/// archive's bytes depend on the input and the level only. A chunk starts with no history, so
/// its first matches are missed; at 1 MiB that costs less than libdeflate's better parsing
/// gains over zlib's streaming deflate.
constexpr std::uint64_t ChunkBytes = 1u << 20;

/// The zlib level a request's level means: -1 (and anything outside 1-9) is zlib's default, 6.
int EffectiveLevel(int level);

/// The libdeflate level a long source's chunks are deflated at for a request's `level`: one up.
/// libdeflate's lazy levels search less deep than zlib's of the same number, which a small file
/// hardly feels but long runs of repetitive text (generated headers) do: 7% larger at 6 than
/// zlib's stream. One level up is smaller than zlib's stream there and still twice its speed.
int ChunkLevel(int level);

/// Deflates `length` bytes at `level` (1-9, the same number as zlib's) into `out` (replaced, and
/// exactly as long as the deflated data), as one final raw deflate stream (RFC 1951, no zlib or
/// gzip wrapper). Thread-safe; each thread keeps its own compressor. Throws
/// std::bad_alloc when no compressor can be made.
void DeflateWhole(const unsigned char* data, std::size_t length, int level, std::vector<unsigned char>& out);

/// Deflates one chunk of a longer stream at ChunkLevel(`level`) into `out` (replaced). A chunk that is not `last` ends
/// as a sync flush ends (an empty stored block), so the chunks joined in order are one raw
/// deflate stream; the last one ends it with a final block. Thread-safe. Throws
/// std::runtime_error when the deflated chunk cannot be continued (see MakeContinuable).
void DeflateChunk(const unsigned char* data, std::size_t length, int level, bool last, std::vector<unsigned char>& out);

/// CRC-32 (ZIP application note 4.4.7) of `length` bytes, continuing `crc`.
std::uint32_t Crc32(std::uint32_t crc, const unsigned char* data, std::size_t length);
/// The CRC-32 of two pieces joined, from each piece's CRC and the second one's length.
std::uint32_t Crc32Combine(std::uint32_t first, std::uint32_t second, std::uint64_t secondLength);

}  // namespace ZipDeflate
