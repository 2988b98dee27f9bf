// ZipCopyEntryTest.cpp -- copying packed entries between archives: peers' archives, descriptors, split targets, hosts.
#include "ZipArchiveTestSupport.h"

#include "engine/ZipEndian.h"
#include "support/EntryEditPeers.h"
#include "support/ScratchDir.h"
#include "support/Shell.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace brevik::test {
namespace {

std::vector<EntryEditFile> SourceFiles() {
  return {{"text.txt", GeneratedBytes(90000, 71, true)},
          {"dir/noise.bin", GeneratedBytes(150000, 72, false)},
          {"tiny", "t"},
          {"empty.txt", ""}};
}

/// Copies every entry of `sourcePath` into `target`, appending.
void CopyAll(const std::string& sourcePath, CZipArchive& target) {
  CZipArchive source;
  ASSERT_TRUE(source.Open(sourcePath, CZipArchive::OpenReadOnly));
  for (int i = 0; i < source.GetCount(); ++i) ASSERT_TRUE(target.CopyEntryFrom(source, i)) << i;
  source.Close();
}

/// "name method crc compressed-size flags local-extra-hex" for every entry, as Python reads them
/// (the local extra field from the local header itself).
std::string PeerPackedSummary(const std::string& archive) {
  static const char* const script =
      "import sys, zipfile, struct\n"
      "z = zipfile.ZipFile(sys.argv[1])\n"
      "f = open(sys.argv[1], 'rb')\n"
      "for i in z.infolist():\n"
      "    f.seek(i.header_offset + 26)\n"
      "    n, e = struct.unpack('<HH', f.read(4))\n"
      "    f.seek(n, 1)\n"
      "    print(i.filename, i.compress_type, i.CRC, i.compress_size, i.flag_bits & 0x809, f.read(e).hex())\n";
  return RunCommand("python3 -c " + ShellQuote(script) + " " + ShellQuote(archive) + " 2>&1").output;
}

TEST(ZipCopyEntry, CopiesInfoZipEntriesPackedAsTheyAreWithAndWithoutDescriptors) {
  ScratchDir dir;
  const std::vector<EntryEditFile> files = SourceFiles();
  MakeInfoZipArchive(dir / "src", dir / "plain.zip", files);
  MakeInfoZipArchive(dir / "src", dir / "streamed.zip", files, "", true);

  for (const char* source : {"plain.zip", "streamed.zip"}) {
    SCOPED_TRACE(source);
    const std::string target = dir / (std::string("copy-") + source);
    CZipArchive archive;
    ASSERT_TRUE(archive.Open(target, CZipArchive::CreateNew));
    CopyAll(dir / source, archive);
    ASSERT_EQ(archive.GetCount(), 4);
    EXPECT_EQ(ReadTestEntry(archive, 1), files[1].second);  // readable before the directory is written
    archive.Close();

    EXPECT_EQ(PeerTestFailures(target), "");
    // Info-ZIP's local extra field (with the access time) is longer than its central one: the
    // copy keeps the local one in the local header, and the packed data as it was.
    EXPECT_EQ(PeerPackedSummary(target), PeerPackedSummary(dir / source));
    for (const auto& [name, bytes] : files) EXPECT_TRUE(PeerExtract(target, name) == bytes) << name;
  }
}

TEST(ZipCopyEntry, CopiesIntoANewSplitArchiveWithADescriptorAfterEveryEntry) {
  ScratchDir dir;
  const std::vector<EntryEditFile> files = SourceFiles();
  MakeInfoZipArchive(dir / "src", dir / "plain.zip", files);
  MakeInfoZipArchive(dir / "src", dir / "streamed.zip", files, "", true);

  CZipArchive archive;
  ASSERT_TRUE(archive.Open(dir / "split.zip", CZipArchive::CreateSpanned, 65536));
  CopyAll(dir / "plain.zip", archive);
  CZipArchive streamed;
  ASSERT_TRUE(streamed.Open(dir / "streamed.zip", CZipArchive::OpenReadOnly));
  RecordingCallback progress;
  ASSERT_TRUE(archive.CopyEntryFrom(streamed, 0, -1, false, &progress));
  const CZipFileHeader copied = EntryInfo(archive, 4);
  EXPECT_TRUE(copied.IsDataDescriptor());
  EXPECT_EQ(progress.events.front(), "Begin text.txt " + streamed.GetArchivePath());
  EXPECT_EQ(progress.events[1], "SetTotal " + std::to_string(copied.m_uComprSize));
  EXPECT_EQ(progress.events.back(), "End");
  streamed.Close();
  for (int i = 0; i < 4; ++i) EXPECT_TRUE(EntryInfo(archive, i).IsDataDescriptor()) << i;
  archive.Close();

  EXPECT_TRUE(std::filesystem::exists(dir / "split.z01"));
  EXPECT_TRUE(std::filesystem::exists(dir / "split.z02"));
  EXPECT_EQ(PeerTestSplitFailures(dir / "split.zip"), "");
  CZipArchive reread;
  ASSERT_TRUE(reread.Open(dir / "split.zip", CZipArchive::OpenReadOnly));
  ASSERT_EQ(reread.GetCount(), 5);
  EXPECT_EQ(ReadTestEntry(reread, 1), files[1].second);
  EXPECT_EQ(ReadTestEntry(reread, 4), files[0].second);
}

TEST(ZipCopyEntry, CopiesFromAnArchiveStillBeingWrittenAndInPlaceOfAnEntry) {
  ScratchDir dir;
  WriteFileBytes(dir / "one.txt", GeneratedBytes(20000, 81, true));
  WriteFileBytes(dir / "two.txt", GeneratedBytes(30000, 82, true));
  const std::vector<EntryEditFile> files = SourceFiles();
  MakeInfoZipArchive(dir / "src", dir / "target.zip", files);

  // The source's directory is not in its file yet: the last entry's data ends with the file.
  CZipArchive source;
  ASSERT_TRUE(source.Open(dir / "source.zip", CZipArchive::CreateNew));
  ASSERT_TRUE(source.AddFile(dir / "one.txt", -1, false));
  ASSERT_TRUE(source.AddFile(dir / "two.txt", -1, false));

  CZipArchive target;
  ASSERT_TRUE(target.Open(dir / "target.zip", CZipArchive::OpenExisting));
  ASSERT_TRUE(target.CopyEntryFrom(source, 1, 1));   // in place of dir/noise.bin
  ASSERT_TRUE(target.CopyEntryFrom(source, 0, -2));  // a name not there: appended
  EXPECT_FALSE(target.CopyEntryFrom(source, 2));     // no such entry
  EXPECT_FALSE(target.CopyEntryFrom(target, 0));     // into itself
  ASSERT_EQ(target.GetCount(), 5);
  target.Close();
  source.Close();

  EXPECT_EQ(PeerTestFailures(dir / "target.zip"), "");
  EXPECT_EQ(PeerEntryNames(dir / "target.zip"),
            (std::vector<std::string>{"text.txt", "two.txt", "tiny", "empty.txt", "one.txt"}));
  EXPECT_TRUE(PeerExtract(dir / "target.zip", "two.txt") == ReadFileBytes(dir / "two.txt"));
  EXPECT_TRUE(PeerExtract(dir / "target.zip", "one.txt") == ReadFileBytes(dir / "one.txt"));
  EXPECT_TRUE(PeerExtract(dir / "target.zip", "tiny") == "t");
}

TEST(ZipCopyEntry, ConvertsAttributesAndNameToTheTargetsHostSystemUnlessAskedToKeepThem) {
  ScratchDir dir;
  // An entry made on MS-DOS: a CP437 name with a "\" separator and DOS attributes (read-only).
  static const char* const make =
      "import sys, zipfile\n"
      "zipfile.ZipInfo._encodeFilenameFlags = lambda self: (self.filename.encode('cp437'), self.flag_bits)\n"
      "with zipfile.ZipFile(sys.argv[1], 'w') as z:\n"
      "    i = zipfile.ZipInfo('dir\\\\caf\\u00e9.txt', (2009, 1, 1, 0, 0, 0))\n"
      "    i.create_system = 0\n"
      "    i.external_attr = 0x21\n"
      "    z.writestr(i, b'dos bytes')\n";
  ASSERT_EQ(RunCommand("python3 -c " + ShellQuote(make) + " " + ShellQuote(dir / "dos.zip")).exitStatus, 0);
  static const char* const show =
      "import sys, zipfile\n"
      "for i in zipfile.ZipFile(sys.argv[1]).infolist():\n"
      "    print(i.create_system, hex(i.external_attr), hex(i.flag_bits & 0x800), i.orig_filename)\n";
  static const char* const readFirst =
      "import sys, zipfile\n"
      "z = zipfile.ZipFile(sys.argv[1])\n"
      "sys.stdout.write(z.read(z.infolist()[0]).decode())\n";
  auto describe = [&](const std::string& archive) {
    return RunCommand("python3 -c " + ShellQuote(show) + " " + ShellQuote(archive) + " 2>&1").output;
  };

  CZipArchive source;
  ASSERT_TRUE(source.Open(dir / "dos.zip", CZipArchive::OpenReadOnly));
  ASSERT_EQ(EntryInfo(source, 0).GetFileName(), "dir/caf\u00e9.txt");
  for (bool keep : {false, true}) {
    const std::string target = dir / (keep ? "kept.zip" : "converted.zip");
    CZipArchive archive;
    ASSERT_TRUE(archive.Open(target, CZipArchive::CreateNew));
    ASSERT_EQ(archive.GetHostSystem(), 3);
    ASSERT_TRUE(archive.CopyEntryFrom(source, 0, -1, keep));
    archive.Close();
    EXPECT_EQ(PeerTestFailures(target), "");
    EXPECT_EQ(RunCommand("python3 -c " + ShellQuote(readFirst) + " " + ShellQuote(target)).output, "dos bytes");
    CZipArchive reread;
    ASSERT_TRUE(reread.Open(target, CZipArchive::OpenReadOnly));
    EXPECT_EQ(EntryInfo(reread, 0).GetFileName(), "dir/caf\u00e9.txt");
    // Read-only on MS-DOS is a regular file without write permission on Unix.
    std::uint32_t attributes = EntryInfo(reread, 0).EntryAttributes();
    EXPECT_EQ(attributes >> 16 & 0170000, 0100000u);
    EXPECT_EQ(attributes >> 16 & 0222, 0u);
  }
  EXPECT_EQ(describe(dir / "kept.zip"), describe(dir / "dos.zip"));
  EXPECT_EQ(describe(dir / "converted.zip").substr(0, 2), "3 ");
  EXPECT_NE(describe(dir / "converted.zip").find(" 0x800 dir/caf\u00e9.txt"), std::string::npos)
      << describe(dir / "converted.zip");
}

TEST(ZipCopyEntry, RefusesWhatItCannotCopyAndStopsSoundlyWhereItCan) {
  ScratchDir dir;
  const std::vector<EntryEditFile> files = SourceFiles();
  MakeInfoZipArchive(dir / "src", dir / "plain.zip", files, "-0");

  // A central header that claims more packed data than lies before the next entry.
  std::string damaged = ReadFileBytes(dir / "plain.zip");
  const std::size_t central = damaged.find("PK\x01\x02");
  ASSERT_NE(central, std::string::npos);
  WriteLE<std::uint32_t>(damaged.data() + central + 20, 200000);
  WriteFileBytes(dir / "damaged.zip", damaged);

  CZipArchive target;
  ASSERT_TRUE(target.Open(dir / "target.zip", CZipArchive::CreateNew));
  CZipArchive source;
  // Such a source is refused when it is opened (its data would overlap the next entry), so
  // nothing of it can reach the target.
  CZipException caught;
  try {
    source.Open(dir / "damaged.zip", CZipArchive::OpenReadOnly);
  } catch (const CZipException& error) {
    caught = error;
  }
  EXPECT_EQ(caught.GetCause(), errBadArchive);
  EXPECT_STREQ(caught.what(), "Damaged or not a zip file");
  EXPECT_EQ(caught.GetFileName(), dir / "damaged.zip");
  source.Close(CZipArchive::CloseAfterError);
  EXPECT_FALSE(target.CopyEntryFrom(source, 0));
  EXPECT_EQ(target.GetCount(), 0);

  // Refusals: a closed source, a source with an entry open, a split source, a read-only target.
  CZipArchive closed;
  EXPECT_FALSE(target.CopyEntryFrom(closed, 0));
  ASSERT_TRUE(source.Open(dir / "plain.zip", CZipArchive::OpenReadOnly));
  ASSERT_TRUE(source.OpenEntryForReading(0));
  EXPECT_FALSE(target.CopyEntryFrom(source, 1));
  source.CloseEntryForReading(nullptr, true);
  ASSERT_EQ(RunCommand("cd " + ShellQuote(dir.path()) + " && zip -q -s 64k plain.zip --out split.zip").exitStatus, 0);
  CZipArchive split;
  ASSERT_TRUE(split.Open(dir / "split.zip", CZipArchive::OpenReadOnly));
  EXPECT_FALSE(target.CopyEntryFrom(split, 0));
  split.Close();
  CZipArchive readOnly;
  ASSERT_TRUE(readOnly.Open(dir / "plain.zip", CZipArchive::OpenReadOnly));
  EXPECT_FALSE(readOnly.CopyEntryFrom(source, 0));
  readOnly.Close();
  EXPECT_EQ(target.GetCount(), 0);

  // Stopped half way: the appended entry is taken out again (106). Stopped at the last piece:
  // the entry is complete (106 as well).
  RecordingCallback early(1);
  std::string message;
  EXPECT_EQ(ZipErrorOf([&] { target.CopyEntryFrom(source, 1, -1, false, &early); }, &message),
            errActionAbortedSafely);
  EXPECT_EQ(message, "Action aborted safely");
  EXPECT_EQ(early.events.back(), "End");
  EXPECT_EQ(target.GetCount(), 0);
  RecordingCallback last(1);
  EXPECT_EQ(ZipErrorOf([&] { target.CopyEntryFrom(source, 2, -1, false, &last); }), errActionAbortedSafely);
  EXPECT_EQ(target.GetCount(), 1);
  ASSERT_TRUE(target.CopyEntryFrom(source, 0));
  source.Close();
  target.Close();
  EXPECT_EQ(PeerTestFailures(dir / "target.zip"), "");
  EXPECT_EQ(PeerEntryNames(dir / "target.zip"), (std::vector<std::string>{"tiny", "text.txt"}));
  EXPECT_TRUE(PeerExtract(dir / "target.zip", "text.txt") == files[0].second);
}

}  // namespace
}  // namespace brevik::test
