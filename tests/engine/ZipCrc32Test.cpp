// ZipCrc32Test.cpp -- the engine's CRC-32 gives zlib's value for every length, alignment and split.
#include "engine/ZipCrc32.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <zlib.h>

namespace {

std::vector<unsigned char> NoiseBytes(std::size_t count) {
  std::vector<unsigned char> bytes(count);
  std::uint32_t state = 0x9E3779B9u;
  for (auto& byte : bytes) {
    state = state * 1103515245u + 12345u;
    byte = static_cast<unsigned char>(state >> 16);
  }
  return bytes;
}

std::uint32_t ZlibCrc(std::uint32_t crc, const unsigned char* bytes, std::size_t length) {
  return static_cast<std::uint32_t>(crc32(crc, bytes, static_cast<uInt>(length)));
}

TEST(ZipCrc32, EveryLengthAndAlignmentGivesZlibsValue) {
  const std::vector<unsigned char> bytes = NoiseBytes(4096 + 64);
  // Around the folding's steps: below 64, each 16-byte tail, several 64-byte rounds.
  for (std::size_t length = 0; length <= 700; ++length) {
    for (std::size_t offset : {0, 1, 3, 8, 15}) {
      ASSERT_EQ(ZipCrc32(0, bytes.data() + offset, length), ZlibCrc(0, bytes.data() + offset, length))
          << length << " bytes at " << offset;
    }
  }
  EXPECT_EQ(ZipCrc32(0, bytes.data(), 4096), ZlibCrc(0, bytes.data(), 4096));
  const std::string check = "123456789";
  EXPECT_EQ(ZipCrc32(0, check.data(), check.size()), 0xCBF43926u);  // the polynomial's check value
  const std::vector<unsigned char> zeros(1000, 0), ones(1000, 0xFF);
  EXPECT_EQ(ZipCrc32(0, zeros.data(), zeros.size()), ZlibCrc(0, zeros.data(), zeros.size()));
  EXPECT_EQ(ZipCrc32(0, ones.data(), ones.size()), ZlibCrc(0, ones.data(), ones.size()));
}

TEST(ZipCrc32, AValueContinuesAcrossCallsSplitAnywhere) {
  const std::vector<unsigned char> bytes = NoiseBytes(300000);
  const std::uint32_t whole = ZlibCrc(0, bytes.data(), bytes.size());
  for (std::size_t split : {1, 63, 64, 65, 1000, 65536, 299999}) {
    const std::uint32_t first = ZipCrc32(0, bytes.data(), split);
    EXPECT_EQ(ZipCrc32(first, bytes.data() + split, bytes.size() - split), whole) << split;
  }
  // A value from zlib continues here and the other way round.
  EXPECT_EQ(ZipCrc32(ZlibCrc(0, bytes.data(), 777), bytes.data() + 777, bytes.size() - 777), whole);
  EXPECT_EQ(ZlibCrc(ZipCrc32(0, bytes.data(), 5000), bytes.data() + 5000, bytes.size() - 5000), whole);
}

}  // namespace
