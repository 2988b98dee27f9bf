// ZipEndianTest.cpp -- the little-endian helpers against byte images written field by field.
#include "engine/ZipEndian.h"

#include <cstdint>

#include <gtest/gtest.h>

namespace {

TEST(ZipEndian, ReadsWritesAndComparesLittleEndianImages) {
  // A local file header signature as it lies in the file.
  const unsigned char signature[4] = {0x50, 0x4B, 0x03, 0x04};
  EXPECT_EQ(ReadLE<std::uint32_t>(signature), 0x04034B50u);
  EXPECT_TRUE(EqualLE(signature, 0x04034B50u, 4));
  EXPECT_FALSE(EqualLE(signature, 0x02014B50u, 4));
  EXPECT_TRUE(EqualLE(signature, 0x4B50u, 2));

  unsigned char image[8] = {};
  WriteLE<std::uint16_t>(image, 0xA1B2);
  EXPECT_EQ(image[0], 0xB2);
  EXPECT_EQ(image[1], 0xA1);
  WriteLE<std::uint64_t>(image, 0x0102030405060708ull);
  EXPECT_EQ(image[0], 0x08);
  EXPECT_EQ(image[7], 0x01);
  EXPECT_EQ(ReadLE<std::uint64_t>(image), 0x0102030405060708ull);

  const std::uint32_t value = 0xDEADBEEF;
  unsigned char copied[4];
  CopyLE(copied, &value, 4);
  EXPECT_EQ(copied[0], 0xEF);
  EXPECT_EQ(copied[3], 0xDE);
  std::uint32_t back = 0;
  CopyLE(&back, copied, 4);
  EXPECT_EQ(back, value);
}

}  // namespace
