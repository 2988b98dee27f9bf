// RecordsRoundTripTest.cpp -- directories written back or written anew by the records, checked by the peers.
#include "RecordsPeerSupport.h"

namespace brevik::test {
namespace {

// Every peer's verdict on an archive: all must accept it.
void ExpectPeersAccept(const std::string& path) {
  const std::string quoted = ShellQuote(path);
  const CommandResult unzip = RunCommand("unzip -tq " + quoted);
  EXPECT_EQ(unzip.exitStatus, 0) << unzip.output;
  const CommandResult python =
      RunCommand("python3 -c \"import zipfile,sys\nprint(zipfile.ZipFile(sys.argv[1]).testzip())\" " + quoted);
  EXPECT_EQ(python.output, "None\n");
  const CommandResult sevenZip = RunCommand("7zz t " + quoted + " >/dev/null");
  EXPECT_EQ(sevenZip.exitStatus, 0) << sevenZip.output;
  const CommandResult bsdtar = RunCommand("bsdtar -xOf " + quoted + " >/dev/null");
  EXPECT_EQ(bsdtar.exitStatus, 0) << bsdtar.output;
}

TEST(RecordsRoundTrip, InfoZipUtf8NamesWithoutBit11AreWrittenBackByteForByte) {
  ScratchDir dir;
  RunCommand("mkdir -p " + ShellQuote(dir / "n"));
  for (const char* name : {"n/\xC3\xA9t\xC3\xA9.txt", "n/\xE6\x97\xA5\xE6\x9C\xAC.txt", "n/plain.txt", "n/back\\slash"})
    WriteFileBytes(dir / name, std::string("content of ") + name);
  ASSERT_EQ(RunCommand("cd " + ShellQuote(dir.path()) + " && zip -q -r names.zip n").exitStatus, 0);
  const std::vector<PeerEntry> before = PythonListing(dir / "names.zip");
  ASSERT_EQ(before.size(), 5u);
  bool anyUtf8WithoutFlag = false;
  for (const PeerEntry& e : before)
    if ((e.flags & 0x800) == 0 && e.name.find('\xC3') != std::string::npos) anyUtf8WithoutFlag = true;
  ASSERT_TRUE(anyUtf8WithoutFlag) << "this Info-ZIP build sets bit 11 itself";

  {
    CZipStorage storage;
    storage.StorageOpen(dir / "names.zip", CZipStorage::OpenExisting, 0);
    CZipCentralDir central(&storage);
    central.ReadCentralDir();
    EXPECT_GE(central.FindByName("n/back\\slash", true, false, false), 0);  // a Unix name keeps its "\"
    central.PrepareToAppend();
    // A new entry goes after the old ones; the old names must come back as they were.
    WriteStoredEntry(central, storage, "n/new \xC3\xBC.txt", "new");
    central.WriteCentralDir(nullptr);
    storage.StorageClose(false);
  }
  const std::vector<PeerEntry> after = PythonListing(dir / "names.zip");
  ASSERT_EQ(after.size(), 6u);
  for (std::size_t i = 0; i < before.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(after[i].name, before[i].name);
    EXPECT_EQ(after[i].flags, before[i].flags);
    EXPECT_EQ(after[i].extra, before[i].extra);
  }
  EXPECT_EQ(after[5].name, "n/new \xC3\xBC.txt");
  EXPECT_EQ(after[5].flags & 0x800, 0x800u);
  ExpectPeersAccept(dir / "names.zip");
}

TEST(RecordsRoundTrip, ArchivesWrittenByTheRecordsPassEveryPeer) {
  ScratchDir dir;
  std::vector<std::string> contents;
  for (int i = 0; i < 5; ++i) contents.push_back(GeneratedBytes(2000 + 700 * i, 20 + i, i % 2 == 0));

  // An ordinary archive, a split archive that fits one volume, and one over several volumes.
  struct Kind {
    const char* name;
    int mode;
    int volumeSize;
  };
  for (const Kind& kind : {Kind{"plain.zip", CZipStorage::CreateNew, 0}, Kind{"fits.zip", CZipStorage::CreateSpanned, 1 << 20},
                           Kind{"multi.zip", CZipStorage::CreateSpanned, 4096}}) {
    SCOPED_TRACE(kind.name);
    CZipStorage storage;
    storage.StorageOpen(dir / kind.name, kind.mode, kind.volumeSize);
    CZipCentralDir central(&storage);
    for (int i = 0; i < 5; ++i)
      WriteStoredEntry(central, storage, "e" + std::to_string(i) + ".bin", contents[i], i == 3 ? "pw" : "");
    central.WriteCentralDir(nullptr);
    storage.StorageClose(false);
  }
  for (const char* name : {"plain.zip", "fits.zip"}) {
    SCOPED_TRACE(name);
    const std::string quoted = ShellQuote(dir / name);
    EXPECT_EQ(RunCommand("unzip -tq -P pw " + quoted).exitStatus, 0);
    EXPECT_EQ(RunCommand("unzip -p " + quoted + " e4.bin").output, contents[4]);
    EXPECT_EQ(RunCommand("7zz t -ppw " + quoted + " >/dev/null").exitStatus, 0);
    EXPECT_EQ(RunCommand("python3 -c \"import zipfile,sys\nz=zipfile.ZipFile(sys.argv[1])\nz.setpassword(b'pw')\n"
                         "print(z.testzip())\" " + quoted).output,
              "None\n");
    EXPECT_EQ(RunCommand("bsdtar -xOf " + quoted + " e2.bin").output, contents[2]);
  }
  // The one-volume split archive is an ordinary archive: no signature in front.
  EXPECT_EQ(ReadFileBytes(dir / "fits.zip").substr(0, 4), std::string("PK\x03\x04", 4));
  EXPECT_EQ(ReadFileBytes(dir / "multi.z01").substr(0, 4), std::string("PK\x07\x08", 4));
  // Info-ZIP joins the volumes of a split archive into one, which then tests good.
  const std::string cd = "cd " + ShellQuote(dir.path()) + " && ";
  const CommandResult joined = RunCommand(cd + "zip -q -s 0 multi.zip --out joined.zip");
  ASSERT_EQ(joined.exitStatus, 0) << joined.output;
  EXPECT_EQ(RunCommand(cd + "unzip -tq -P pw joined.zip").exitStatus, 0);
  EXPECT_EQ(RunCommand(cd + "unzip -p joined.zip e1.bin").output, contents[1]);
}

TEST(RecordsRoundTrip, PeerArchiveBehindAStubAndPythonsFullDirectory) {
  ScratchDir dir;
  const std::string cd = "cd " + ShellQuote(dir.path()) + " && ";
  WriteFileBytes(dir / "stub", std::string(1000, '\x90'));
  WriteFileBytes(dir / "a.txt", "alpha\n");
  ASSERT_EQ(RunCommand(cd + "zip -q a.zip a.txt && cat stub a.zip > sfx.zip").exitStatus, 0);
  for (const RecordsMedium medium : {RecordsMedium::File, RecordsMedium::Memory}) {
    RecordsOpenArchive archive(ReadFileBytes(dir / "sfx.zip"), medium);
    archive.central.ReadCentralDir();
    EXPECT_EQ(archive.central.m_uBytesBeforeZip, 1000u);
    EXPECT_EQ(ReadEntryThroughRecords(archive.central, archive.storage, 0), "alpha\n");
  }
  EXPECT_EQ(PythonListing(dir / "sfx.zip").at(0).headerOffset, 1000u);

  // Exactly 65535 entries: Python writes the count 0xFFFF without ZIP64 records.
  ASSERT_EQ(RunCommand(cd + "python3 -c \"import zipfile\nz=zipfile.ZipFile('full.zip','w')\n"
                            "for i in range(65535): z.writestr('f%d' % i, '')\nz.close()\"")
                .exitStatus,
            0);
  RecordsOpenArchive full(ReadFileBytes(dir / "full.zip"), RecordsMedium::File);
  full.central.ReadCentralDir();
  ASSERT_EQ(full.central.GetCount(), 65535);
  EXPECT_EQ(full.central.GetHeader(65534)->GetFileName(), "f65534");
  EXPECT_EQ(full.central.FindByName("F12345", false, false, false), 12345);
}

}  // namespace
}  // namespace brevik::test

namespace brevik::test {
namespace {

TEST(RecordsRoundTrip, InfoZipSplitArchiveIsReadAcrossItsVolumes) {
  ScratchDir dir;
  const std::string big = GeneratedBytes(300000, 31, false);
  WriteFileBytes(dir / "r.bin", big);
  for (int i = 0; i < 40; ++i) WriteFileBytes(dir / ("f" + std::to_string(i) + ".txt"), "file " + std::to_string(i));
  const CommandResult made = RunCommand("cd " + ShellQuote(dir.path()) + " && zip -q -s 64k sp.zip r.bin f*.txt");
  ASSERT_EQ(made.exitStatus, 0) << made.output;
  CZipStorage storage;
  storage.StorageOpen(dir / "sp.zip", CZipStorage::OpenReadOnly, 0);
  CZipCentralDir central(&storage);
  central.ReadCentralDir();
  EXPECT_EQ(storage.m_iSpanMode, CZipStorage::SplitSpanned);
  EXPECT_EQ(storage.m_iVolumeSize, 4);  // sp.z01 to sp.z04, then sp.zip
  ASSERT_EQ(central.GetCount(), 41);
  EXPECT_EQ(ReadEntryThroughRecords(central, storage, 0), big);
  for (std::uint16_t i = 1; i < 41; ++i) {
    const std::string name = central.GetHeader(i)->GetFileName();
    SCOPED_TRACE(name);
    EXPECT_EQ(ReadEntryThroughRecords(central, storage, i), "file " + name.substr(1, name.size() - 5));
  }
  storage.StorageClose(false);
}

}  // namespace
}  // namespace brevik::test
