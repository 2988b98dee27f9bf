// ZipDeflateChunksTest.cpp -- libdeflate chunks chained into one deflate stream: the final bit cleared, the sync-flush ending.
#include <gtest/gtest.h>
#include <zlib.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "engine/ZipDeflateChunks.h"
#include "engine/ZipDeflateContinue.h"
#include "support/Shell.h"

namespace brevik::test {
namespace {

std::vector<unsigned char> Chunk(const std::string& data, bool last, int level = 6) {
  std::vector<unsigned char> out;
  ZipDeflate::DeflateChunk(reinterpret_cast<const unsigned char*>(data.data()), data.size(), level, last, out);
  return out;
}

struct Inflated {
  int status = Z_OK;
  std::string data;
};

// Raw inflate through zlib of everything in `packed`, as far as it goes.
Inflated InflateAll(const std::vector<unsigned char>& packed) {
  Inflated result;
  z_stream stream{};
  EXPECT_EQ(inflateInit2(&stream, -MAX_WBITS), Z_OK);
  stream.next_in = const_cast<Bytef*>(packed.data());
  stream.avail_in = static_cast<uInt>(packed.size());
  unsigned char buffer[65536];
  do {
    stream.next_out = buffer;
    stream.avail_out = sizeof buffer;
    result.status = inflate(&stream, Z_NO_FLUSH);
    result.data.append(reinterpret_cast<char*>(buffer), sizeof buffer - stream.avail_out);
  } while (result.status == Z_OK && stream.avail_in > 0);
  inflateEnd(&stream);
  return result;
}

TEST(ZipDeflateChunks, PiecesOfEveryKindJoinIntoOneStreamEndingOnlyAtTheLast) {
  // Text (Huffman blocks, several per piece), noise (libdeflate stores it: a final stored block,
  // byte-aligned before the flush), one byte and nothing at all (a lone, short final block), at
  // the fastest and a middle level: each lands the final block at a different bit.
  const std::vector<std::string> pieces = {GeneratedBytes(900000, 1, true), GeneratedBytes(70000, 2, false), "x", "",
                                           GeneratedBytes(5000, 3, true), GeneratedBytes(300, 4, false)};
  for (int level : {1, 6}) {
    std::vector<unsigned char> joined;
    std::string expected;
    for (const std::string& piece : pieces) {
      const std::vector<unsigned char> packed = Chunk(piece, false, level);
      ASSERT_GE(packed.size(), 5u);
      EXPECT_EQ(std::vector<unsigned char>(packed.end() - 4, packed.end()), (std::vector<unsigned char>{0, 0, 0xFF, 0xFF}));
      // Alone, a piece inflates fully but leaves the stream open.
      const Inflated alone = InflateAll(packed);
      EXPECT_EQ(alone.status, Z_OK) << "level " << level << ", piece of " << piece.size();
      EXPECT_TRUE(alone.data == piece);
      joined.insert(joined.end(), packed.begin(), packed.end());
      expected += piece;
    }
    const std::string tail = GeneratedBytes(4096, 5, true);
    const std::vector<unsigned char> last = Chunk(tail, true, level);
    joined.insert(joined.end(), last.begin(), last.end());
    expected += tail;
    const Inflated all = InflateAll(joined);
    EXPECT_EQ(all.status, Z_STREAM_END) << "level " << level;
    EXPECT_TRUE(all.data == expected) << "level " << level;
  }
}

TEST(ZipDeflateChunks, ChunkedTextCostsLittleOverTheSameTextDeflatedWhole) {
  // Each chunk starts with no history; what that loses must stay small against the same level
  // deflating everything in one call (a chunk cut too small, or stored, would show here).
  const std::string text = GeneratedBytes(6 * ZipDeflate::ChunkBytes, 7, true);
  std::vector<unsigned char> whole;
  ZipDeflate::DeflateWhole(reinterpret_cast<const unsigned char*>(text.data()), text.size(), 6, whole);
  std::size_t chunked = 0;
  for (std::size_t start = 0; start < text.size(); start += ZipDeflate::ChunkBytes)
    chunked += Chunk(text.substr(start, ZipDeflate::ChunkBytes), start + ZipDeflate::ChunkBytes == text.size()).size();
  EXPECT_LE(chunked, whole.size() + whole.size() / 200);
}

TEST(ZipDeflateChunks, WhatIsNotOneCompleteStreamIsRefusedWithWhereItStopped) {
  std::vector<unsigned char> whole = Chunk(GeneratedBytes(20000, 6, true), true);
  std::vector<unsigned char> cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(whole.size() / 2));
  try {
    ZipDeflate::MakeContinuable(cut);
    ADD_FAILURE() << "a stream cut in half was continued";
  } catch (const std::runtime_error& error) {
    EXPECT_NE(std::string(error.what()).find("does not end at bit"), std::string::npos) << error.what();
  }
  // A block type 3 (reserved) at the first bits.
  std::vector<unsigned char> reserved = {0x07, 0x00};
  EXPECT_THROW(ZipDeflate::MakeContinuable(reserved), std::runtime_error);
}

}  // namespace
}  // namespace brevik::test
