// ZipDeflateContinue.h -- a complete raw deflate stream turned into a piece another stream may follow.
#pragma once

#include <vector>

namespace ZipDeflate {

/// Turns `stream`, one complete raw deflate stream (RFC 1951) as libdeflate makes it, into a
/// piece that more deflate data may follow: the BFINAL bit of its last block is cleared and an
/// empty stored block brings it to a byte boundary, so it ends exactly as a zlib sync flush ends
/// (..., 00 00 FF FF). Pieces made so and a last, untouched stream joined in order are one deflate
/// stream. libdeflate takes no dictionary and always ends with a final block; this is how its
/// output is chained. Finding the last block means walking every block, which zlib's inflate does
/// for us with Z_BLOCK (it stops at each block boundary and says how many bits it has used).
/// Throws std::runtime_error, with the bit offset, when `stream` is not one complete stream.
void MakeContinuable(std::vector<unsigned char>& stream);

}  // namespace ZipDeflate
