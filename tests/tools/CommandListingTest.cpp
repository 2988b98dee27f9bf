// CommandListingTest.cpp -- brevik list in the archive's order, and its verbose form against the peers.
#include <gtest/gtest.h>

#include "BrevikRunner.h"
#include "support/RecordsArchiveBuilder.h"
#include "support/ScratchDir.h"

using namespace brevik::test;

TEST(CommandListing, EntriesComeInTheArchivesOrderAndVerboseAgreesWithPython) {
  ScratchDir dir;
  // Info-ZIP writes the entries in the order given; one is stored, one deflated, one encrypted.
  WriteFileBytes(dir / "z.txt", std::string(5000, 'z'));
  WriteFileBytes(dir / "a.txt", "alpha\n");
  WriteFileBytes(dir / "m.bin", "m");
  ASSERT_EQ(RunCommand("cd " + ShellQuote(dir.path()) + " && zip -q -0 t.zip z.txt && zip -q t.zip a.txt && "
                       "zip -q -P pw t.zip m.bin")
                .exitStatus,
            0);
  std::string errors;
  CommandResult listed = RunBrevik(dir.path(), "list t.zip", &errors);
  ASSERT_EQ(listed.exitStatus, 0) << errors;
  EXPECT_EQ(listed.output,
            "Type        Size  Encrypted  Name\n"
            "File        5000  no         z.txt\n"
            "File           6  no         a.txt\n"
            "File           1  yes        m.bin\n"
            "3 entries\n");

  // Each verbose field as Python's zipfile reads it from the central directory.
  const CommandResult expected = RunCommand(
      "python3 -c 'import sys,zipfile\n"
      "m={0:\"Stored\",8:\"Deflate\"}\n"
      "for i in zipfile.ZipFile(sys.argv[1]).infolist():\n"
      " y,mo,d,h,mi,s=i.date_time\n"
      " print(i.filename, i.file_size, m[i.compress_type], i.compress_size, \"%04d-%02d-%02d %02d:%02d\" % (y,mo,d,h,mi), "
      "\"%08x\" % i.CRC)' " +
      ShellQuote(dir / "t.zip"));
  const CommandResult verbose =
      RunCommand("cd " + ShellQuote(dir.path()) + " && " + ShellQuote(kBrevikCommand) +
                 " list -v t.zip | awk 'NR>1 && NF==10 {print $10, $2, $3, $4, $7, $8, $9}'");
  EXPECT_EQ(verbose.output, expected.output);
  const CommandResult heading = RunBrevik(dir.path(), "list --verbose t.zip");
  EXPECT_EQ(heading.output.substr(0, heading.output.find('\n')),
            "Type      Length  Method           Size  Cmpr  Encrypted  Date        Time   CRC-32    Name");
  const CommandResult json = RunBrevik(dir.path(), "list -v --json t.zip");
  EXPECT_NE(json.output.find("{\"Name\": \"z.txt\", \"Type\": \"File\", \"Size\": 5000, \"SavedName\": \"\", "
                             "\"PasswordRequired\": \"No\", \"ErrorReason\": \"\", \"CompressedSize\": 5000, \"Method\": \"Stored\""),
            std::string::npos)
      << json.output;
}

TEST(CommandListing, ASizePastFourGibibytesIsPrintedExactly) {
  ScratchDir dir;
  // Listing reads only the directory: its central header declares 5,000,000,000 bytes through
  // the ZIP64 extra field, whatever the one stored byte says.
  std::vector<RecordsEntry> entries = {StoredEntry("huge.bin", "x")};
  entries[0].centralExtra = RecordBytes()
                                .U16(0x0001)         // ZIP64 header id
                                .U16(8)              // data size
                                .U64(5000000000ull)  // original size
                                .str();
  RecordsArchive built = BuildStoredArchive(entries);
  PatchLE(built.bytes, built.centralOffsets[0] + 24, 0xFFFFFFFF, 4);  // uncompressed size: placeholder
  WriteFileBytes(dir / "big.zip", built.bytes);
  std::string errors;
  const CommandResult json = RunBrevik(dir.path(), "list --json big.zip", &errors);
  ASSERT_EQ(json.exitStatus, 0) << errors;
  EXPECT_EQ(json.output,
            "[\n {\"Name\": \"huge.bin\", \"Type\": \"File\", \"Size\": 5000000000, \"SavedName\": \"\", "
            "\"PasswordRequired\": \"No\", \"ErrorReason\": \"\"}\n]\n");
  const CommandResult table = RunBrevik(dir.path(), "list big.zip");
  EXPECT_EQ(table.output,
            "Type        Size  Encrypted  Name\n"
            "File  5000000000  no         huge.bin\n"
            "1 entry\n");
}
