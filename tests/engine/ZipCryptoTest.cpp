// ZipCryptoTest.cpp -- the traditional cipher: round trips, the encryption header and its check byte.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/ZipCrypto.h"
#include "engine/ZipFileHeader.h"
#include "support/ScratchDir.h"
#include "support/Shell.h"

namespace brevik::test {
namespace {

TEST(Crypto, EncodeThenDecodeIsTheIdentityAndDependsOnThePassword) {
  const std::string plain = GeneratedBytes(5000, 11, false);
  std::string data = plain;
  CZipCrypto encoder;
  encoder.InitKeys("secret");
  encoder.EncodeBuffer(data.data(), data.size());
  EXPECT_NE(data, plain);
  std::string otherPassword = plain;
  CZipCrypto other;
  other.InitKeys("secreT");
  other.EncodeBuffer(otherPassword.data(), otherPassword.size());
  EXPECT_NE(otherPassword, data);

  // Decoding in pieces of any size gives the same bytes back.
  CZipCrypto decoder;
  decoder.InitKeys("secret");
  decoder.DecodeBuffer(data.data(), 1);
  decoder.DecodeBuffer(data.data() + 1, 999);
  decoder.DecodeBuffer(data.data() + 1000, data.size() - 1000);
  EXPECT_EQ(data, plain);
  EXPECT_EQ(decoder.Keys().key0, encoder.Keys().key0);
  EXPECT_EQ(decoder.Keys().key1, encoder.Keys().key1);
  EXPECT_EQ(decoder.Keys().key2, encoder.Keys().key2);
}

TEST(Crypto, DecodingSeveralStreamsSideBySideGivesEachTheBytesAndKeysOfDecodingItAlone) {
  // More streams than are stepped at once, of lengths that end in every order (empty, one
  // byte, equal lengths, one much longer than the rest), each from keys of its own password.
  const std::vector<std::size_t> lengths = {0, 1, 12, 5000, 5000, 3, 70000, 0, 257, 4096, 1, 999, 31, 12000};
  std::vector<std::string> cipher;
  std::vector<CZipCrypto> alone(lengths.size());
  std::vector<CZipCrypto::DecodeJob> jobs(lengths.size());
  for (std::size_t i = 0; i < lengths.size(); ++i) {
    const std::string password = "pw" + std::to_string(i);
    std::string bytes = GeneratedBytes(lengths[i], static_cast<unsigned>(40 + i), i % 2 == 0);
    CZipCrypto encoder;
    encoder.InitKeys(password);
    encoder.EncodeBuffer(bytes.data(), bytes.size());
    cipher.push_back(bytes);
    alone[i].InitKeys(password);
    jobs[i].keys = alone[i].Keys();
  }
  std::vector<std::string> together = cipher;
  for (std::size_t i = 0; i < lengths.size(); ++i) {
    jobs[i].data = together[i].data();
    jobs[i].length = together[i].size();
  }
  CZipCrypto::DecodeSeveral(jobs.data(), jobs.size());
  for (std::size_t i = 0; i < lengths.size(); ++i) {
    std::string expected = cipher[i];
    alone[i].DecodeBuffer(expected.data(), expected.size());
    EXPECT_EQ(together[i], expected) << "stream " << i;
    EXPECT_EQ(together[i], GeneratedBytes(lengths[i], static_cast<unsigned>(40 + i), i % 2 == 0)) << "stream " << i;
    EXPECT_EQ(jobs[i].keys.key0, alone[i].Keys().key0) << "stream " << i;
    EXPECT_EQ(jobs[i].keys.key1, alone[i].Keys().key1) << "stream " << i;
    EXPECT_EQ(jobs[i].keys.key2, alone[i].Keys().key2) << "stream " << i;
  }
}

TEST(Crypto, PythonsDecrypterRecoversWhatEncodeBufferMadeOfEveryByteValue) {
  // An independent implementation of the cipher (Python's zipfile) reads what ours wrote; the
  // data holds every byte value and is encoded in uneven pieces across a long stream.
  std::string plain = GeneratedBytes(200000, 3, false);
  for (int value = 0; value < 256; ++value) plain.push_back(static_cast<char>(value));
  std::string data = plain;
  CZipCrypto encoder;
  const std::string password = "p\xC3\xA4ss w0rd";  // UTF-8 bytes as given
  encoder.InitKeys(password);
  std::size_t done = 0;
  for (std::size_t piece : {std::size_t{1}, std::size_t{12}, std::size_t{65536}, std::size_t{3}}) {
    encoder.EncodeBuffer(data.data() + done, piece);
    done += piece;
  }
  encoder.EncodeBuffer(data.data() + done, data.size() - done);

  ScratchDir dir;
  WriteFileBytes(dir / "cipher.bin", data);
  WriteFileBytes(dir / "password.bin", password);
  CommandResult result = RunCommand(
      "python3 -c 'import sys, zipfile; d = zipfile._ZipDecrypter(open(sys.argv[2], \"rb\").read()); "
      "open(sys.argv[3], \"wb\").write(d(open(sys.argv[1], \"rb\").read()))' " +
      ShellQuote(dir / "cipher.bin") + " " + ShellQuote(dir / "password.bin") + " " + ShellQuote(dir / "plain.bin"));
  ASSERT_EQ(result.exitStatus, 0) << result.output;
  EXPECT_TRUE(ReadFileBytes(dir / "plain.bin") == plain);
}

TEST(Crypto, HeaderCarriesTheCheckValueAndRandomBytesFromTheTime) {
  const std::uint32_t check = 0xA1B20000u;  // a DOS time 0xA1B2 shifted left by 16
  char first[12];
  char again[12];
  char later[12];
  CZipCrypto crypto;
  crypto.MakeEncryptionHeader("pw", check, first, 1700000000);
  crypto.MakeEncryptionHeader("pw", check, again, 1700000000);
  crypto.MakeEncryptionHeader("pw", check, later, 1700000001);
  EXPECT_EQ(std::string(first, 12), std::string(again, 12));
  EXPECT_NE(std::string(first, 10), std::string(later, 10));

  char decoded[12];
  std::copy_n(first, 12, decoded);
  CZipCrypto reader;
  EXPECT_TRUE(reader.CheckEncryptionHeader("pw", decoded, 0xA1));
  EXPECT_EQ(static_cast<std::uint8_t>(decoded[10]), 0xB2);
  EXPECT_EQ(static_cast<std::uint8_t>(decoded[11]), 0xA1);

  // The keys after the header continue identically on both sides.
  std::string data = "entry data";
  crypto.MakeEncryptionHeader("pw", check, first, 1700000000);
  crypto.EncodeBuffer(data.data(), data.size());
  std::copy_n(first, 12, decoded);
  ASSERT_TRUE(reader.CheckEncryptionHeader("pw", decoded, 0xA1));
  reader.DecodeBuffer(data.data(), data.size());
  EXPECT_EQ(data, "entry data");
}

TEST(Crypto, WrongPasswordsFailTheOneByteCheckAlmostAlways) {
  char header[12];
  CZipCrypto crypto;
  crypto.MakeEncryptionHeader("right", 0x12340000u, header, 1600000000);
  int accepted = 0;
  for (int i = 0; i < 200; ++i) {
    char copy[12];
    std::copy_n(header, 12, copy);
    CZipCrypto reader;
    if (reader.CheckEncryptionHeader("wrong" + std::to_string(i), copy, 0x12)) ++accepted;
  }
  // One in 256 passes by chance; 200 tries pass a handful at most.
  EXPECT_LT(accepted, 8);
}

TEST(Crypto, CheckByteIsTheTimeWithADescriptorAndTheCrcWithout) {
  CZipFileHeader entry;
  entry.m_uModTime = 0x7B3C;
  entry.m_uCrc32 = 0xDEADBEEF;
  entry.m_uFlag = 0x0001;
  EXPECT_EQ(CZipCrypto::ExpectedCheckByte(entry), 0xDE);
  entry.m_uFlag = 0x0009;
  EXPECT_EQ(CZipCrypto::ExpectedCheckByte(entry), 0x7B);
}

}  // namespace
}  // namespace brevik::test
