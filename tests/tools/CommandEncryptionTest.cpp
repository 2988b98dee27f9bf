// CommandEncryptionTest.cpp -- brevik zip --encryption: AES archives for the peers, and reading them back.
#include <gtest/gtest.h>

#include <filesystem>

#include "BrevikRunner.h"
#include "support/ArchivePeers.h"
#include "support/ScratchDir.h"
#include "support/Shell.h"

using namespace brevik::test;

namespace {

class CommandEncryption : public ::testing::Test {
protected:
  void SetUp() override {
    WriteArchiveTree(dir.path(), {{"docs/a.txt", "alpha\n"}, {"docs/b.txt", std::string(30000, 'b')}});
    WriteFileBytes(dir / "pw.txt", "correct horse\n");
  }
  /// The methods 7-Zip lists for the entries of `archive`, one per line.
  std::string SevenZipMethods(const std::string& archive) {
    return RunCommand("7zz l -slt " + ShellQuote(dir / archive) + " | grep '^Method = '").output;
  }
  ScratchDir dir;
};

TEST_F(CommandEncryption, EachCipherIsWrittenAsAskedAndReadBack) {
  const std::vector<std::pair<std::string, std::string>> ciphers = {
      {"aes256", "AES-256"}, {"AES192", "AES-192"}, {"Aes128", "AES-128"}, {"zipcrypto", "ZipCrypto"}};
  for (const auto& [option, method] : ciphers) {
    SCOPED_TRACE(option);
    const std::string archive = option + ".zip";
    std::string errors;
    ASSERT_EQ(RunBrevik(dir.path(), "zip " + archive + " --no-paths --encryption " + option + " --password-file pw.txt docs",
                        &errors)
                  .exitStatus,
              0)
        << errors;
    EXPECT_EQ(SevenZipMethods(archive), "Method = " + method + " Deflate\nMethod = " + method + " Deflate\n");
    const CommandResult tested = RunCommand("7zz t -bd '-pcorrect horse' " + ShellQuote(dir / archive) + " 2>&1");
    EXPECT_EQ(tested.exitStatus, 0) << tested.output;
    EXPECT_EQ(RunCommand("bsdtar -xOf " + ShellQuote(dir / archive) + " --passphrase 'correct horse' b.txt").output,
              std::string(30000, 'b'));
    const CommandResult unzipped = RunBrevik(dir.path(), "unzip " + archive + " -d out-" + option + " --password-file pw.txt", &errors);
    EXPECT_EQ(unzipped.exitStatus, 0) << errors;
    EXPECT_EQ(ReadFileBytes(dir / ("out-" + option + "/a.txt")), "alpha\n");
  }
}

TEST_F(CommandEncryption, AWrongPasswordAndATamperedEntryAreReported) {
  ASSERT_EQ(RunBrevik(dir.path(), "zip aes.zip --no-paths --encryption aes256 --password-file pw.txt docs/b.txt docs/a.txt")
                .exitStatus,
            0);
  WriteFileBytes(dir / "wrong.txt", "wrong horse\n");
  std::string errors;
  CommandResult result = RunBrevik(dir.path(), "unzip aes.zip -d wrong --password-file wrong.txt", &errors);
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_EQ(errors, "brevik: Cannot open file " + dir / "aes.zip" + ". It does not appear to be a valid password\n");
  EXPECT_TRUE(!std::filesystem::exists(dir / "wrong") || std::filesystem::is_empty(dir / "wrong"));

  // A byte of b.txt's deflated data: past its local header (30 bytes, the name, the 0x9901
  // block) and 18 bytes of salt and verifier.
  std::string bytes = ReadFileBytes(dir / "aes.zip");
  bytes[30 + 5 + 11 + 18 + 3] ^= 0x01;
  WriteFileBytes(dir / "aes.zip", bytes);
  result = RunBrevik(dir.path(), "unzip aes.zip -d tampered --password-file pw.txt", &errors);
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_EQ(result.output, "a.txt\n");
  EXPECT_EQ(errors, "brevik: not extracted: b.txt: its data failed the AES authentication check\n");
  EXPECT_FALSE(std::filesystem::exists(dir / "tampered/b.txt"));
  EXPECT_EQ(ReadFileBytes(dir / "tampered/a.txt"), "alpha\n");
}

}  // namespace
