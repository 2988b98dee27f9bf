// RecordsPeerArchivesTest.cpp -- directories of archives made by Info-ZIP, 7-Zip, bsdtar and Python, read field by field.
#include <map>

#include "RecordsPeerSupport.h"

namespace brevik::test {
namespace {

// The tree every peer packs: text, binary, empty file, a folder, a non-ASCII name.
std::map<std::string, std::string> MakeTree(const ScratchDir& dir) {
  std::map<std::string, std::string> files = {
      {"d/text.txt", GeneratedBytes(20000, 1, true)},
      {"d/binary.dat", GeneratedBytes(5000, 2, false)},
      {"d/empty", ""},
      {"d/sub/inner.txt", "inner\n"},
      {"d/\xC3\xA9t\xC3\xA9.txt", "summer\n"},
  };
  RunCommand("mkdir -p " + ShellQuote(dir / "d/sub"));
  for (const auto& [name, bytes] : files) WriteFileBytes(dir / name, bytes);
  return files;
}

// Checks every entry of the archive against Python's listing and the packed files.
void CheckAgainstPython(const std::string& archivePath, const std::map<std::string, std::string>& files,
                        RecordsMedium medium) {
  const std::vector<PeerEntry> peer = PythonListing(archivePath);
  RecordsOpenArchive archive(ReadFileBytes(archivePath), medium);
  archive.central.ReadCentralDir();
  ASSERT_EQ(archive.central.GetCount(), peer.size());
  std::uint64_t previousOffset = 0;
  for (std::uint16_t i = 0; i < archive.central.GetCount(); ++i) {
    const CZipFileHeader& header = *archive.central.GetHeader(i);
    const std::uint64_t position = std::uint64_t{header.m_uOffset} + archive.central.m_uBytesBeforeZip;
    // Indexes follow the local headers.
    if (i > 0) {
      EXPECT_GT(position, previousOffset);
    }
    previousOffset = position;
    const PeerEntry* match = nullptr;
    for (const PeerEntry& e : peer)
      if (e.headerOffset == position) match = &e;
    ASSERT_NE(match, nullptr) << "no entry at " << position;
    SCOPED_TRACE(match->name);
    EXPECT_EQ(header.ArchiveName(), match->name);
    EXPECT_EQ(header.m_uFlag, match->flags);
    EXPECT_EQ(header.m_uMethod, match->method);
    EXPECT_EQ(header.m_uModTime, match->modTime);
    EXPECT_EQ(header.m_uModDate, match->modDate);
    EXPECT_EQ(header.m_uCrc32, match->crc);
    EXPECT_EQ(header.m_uComprSize, match->compressedSize);
    EXPECT_EQ(header.m_uUncomprSize, match->size);
    EXPECT_EQ(header.m_uVersionMadeBy, match->versionMadeBy);
    EXPECT_EQ(header.m_uVersionNeeded, match->versionNeeded);
    EXPECT_EQ(header.m_uInternalAttr, match->internalAttributes);
    EXPECT_EQ(header.m_uExternalAttr, match->externalAttributes);
    EXPECT_EQ(header.m_uDiskStart, match->volume);
    EXPECT_EQ(header.m_pExtraField.ToString(), match->extra);
    EXPECT_EQ(header.m_pszComment.ToString(), match->comment);

    const std::string hostName = header.GetFileName();
    const std::string data = ReadEntryThroughRecords(archive.central, archive.storage, i);
    if (!hostName.empty() && hostName.back() == '/') {
      EXPECT_TRUE(header.IsDirectoryEntry());
      EXPECT_EQ(data, "");
    } else {
      const auto file = files.find(hostName);
      ASSERT_NE(file, files.end()) << hostName;
      EXPECT_EQ(data, file->second);
    }
  }
}

struct Peer {
  const char* name;
  const char* tool;
  const char* command;  // run in the scratch folder; makes out.zip from d
};

TEST(RecordsPeerArchives, EveryFieldAgreesWithPython) {
  const Peer peers[] = {
      {"Info-ZIP", "zip", "zip -q -r out.zip d"},
      {"Info-ZIP stored", "zip", "zip -q -0 -r out.zip d"},
      {"7-Zip", "7zz", "7zz a -tzip out.zip d >/dev/null"},
      {"bsdtar", "bsdtar", "bsdtar -a -cf out.zip d"},
      {"Python", "python3",
       "python3 -c \"import zipfile,os\nz=zipfile.ZipFile('out.zip','w',zipfile.ZIP_DEFLATED)\n"
       "for r,ds,fs in os.walk('d'):\n for f in sorted(fs): z.write(os.path.join(r,f))\nz.close()\""},
  };
  for (const Peer& peer : peers) {
    SCOPED_TRACE(peer.name);
    ASSERT_TRUE(HavePeer(peer.tool)) << peer.tool << " is one of the test peers";
    ScratchDir dir;
    const auto files = MakeTree(dir);
    const CommandResult made = RunCommand("cd " + ShellQuote(dir.path()) + " && " + peer.command);
    ASSERT_EQ(made.exitStatus, 0) << made.output;
    for (const RecordsMedium medium : {RecordsMedium::File, RecordsMedium::Memory}) {
      SCOPED_TRACE(medium == RecordsMedium::File ? "file" : "memory");
      CheckAgainstPython(dir / "out.zip", files, medium);
    }
  }
}

TEST(RecordsPeerArchives, IndexesFollowLocalHeadersWhenTheDirectoryIsReversed) {
  ScratchDir dir;
  const CommandResult made = RunCommand(
      "cd " + ShellQuote(dir.path()) +
      " && python3 -c \"import zipfile\nz=zipfile.ZipFile('rev.zip','w')\n"
      "for n in ['first','second','third','fourth']: z.writestr(n, n * 3)\nz.filelist.reverse()\nz.close()\"");
  ASSERT_EQ(made.exitStatus, 0) << made.output;
  const std::vector<PeerEntry> peer = PythonListing(dir / "rev.zip");
  ASSERT_EQ(peer.size(), 4u);
  EXPECT_EQ(peer[0].name, "fourth");  // the directory really lists them backwards
  for (const RecordsMedium medium : {RecordsMedium::File, RecordsMedium::Memory}) {
    RecordsOpenArchive archive(ReadFileBytes(dir / "rev.zip"), medium);
    archive.central.ReadCentralDir();
    const char* const order[] = {"first", "second", "third", "fourth"};
    for (std::uint16_t i = 0; i < 4; ++i) {
      EXPECT_EQ(archive.central.GetHeader(i)->GetFileName(), order[i]);
      std::string expected;
      for (int k = 0; k < 3; ++k) expected += order[i];
      EXPECT_EQ(ReadEntryThroughRecords(archive.central, archive.storage, i), expected);
    }
  }
}

TEST(RecordsPeerArchives, StreamedArchivesWithZip64RecordsOrPlainDescriptors) {
  ScratchDir dir;
  const std::string content = GeneratedBytes(30000, 5, true);
  WriteFileBytes(dir / "f.txt", content);
  const std::string cd = "cd " + ShellQuote(dir.path()) + " && ";
  // Reading a pipe, zip writes ZIP64 end records and a ZIP64 local extra field.
  ASSERT_EQ(RunCommand(cd + "cat f.txt | zip -q piped.zip -").exitStatus, 0);
  // Writing a pipe, zip cannot go back: data descriptors after each entry.
  ASSERT_EQ(RunCommand(cd + "zip -q - f.txt | cat > streamed.zip").exitStatus, 0);
  ASSERT_EQ(RunCommand(cd + "bsdtar --format zip -cf - f.txt | cat > bsdtar.zip").exitStatus, 0);
  for (const char* name : {"piped.zip", "streamed.zip", "bsdtar.zip"}) {
    for (const RecordsMedium medium : {RecordsMedium::File, RecordsMedium::Memory}) {
      SCOPED_TRACE(name);
      RecordsOpenArchive archive(ReadFileBytes(dir / name), medium);
      archive.central.ReadCentralDir();
      EXPECT_EQ(archive.central.m_uBytesBeforeZip, 0u);
      ASSERT_EQ(archive.central.GetCount(), 1);
      EXPECT_EQ(ReadEntryThroughRecords(archive.central, archive.storage, 0), content);
    }
    CheckAgainstPython(dir / name, {{"-", content}, {"f.txt", content}}, RecordsMedium::File);
  }
}

TEST(RecordsPeerArchives, EncryptedEntriesWithAndWithoutDescriptor) {
  ASSERT_TRUE(HavePeer("zip") && HavePeer("7zz"));
  ScratchDir dir;
  const std::string content = GeneratedBytes(12000, 9, true);
  WriteFileBytes(dir / "s.txt", content);
  const std::string cd = "cd " + ShellQuote(dir.path()) + " && ";
  ASSERT_EQ(RunCommand(cd + "zip -q -P Sesame zip.zip s.txt").exitStatus, 0);
  ASSERT_EQ(RunCommand(cd + "7zz a -tzip -pSesame 7z.zip s.txt >/dev/null").exitStatus, 0);
  for (const char* name : {"zip.zip", "7z.zip"}) {
    SCOPED_TRACE(name);
    RecordsOpenArchive archive(ReadFileBytes(dir / name), RecordsMedium::Memory);
    archive.central.ReadCentralDir();
    const CZipFileHeader& header = *archive.central.GetHeader(0);
    ASSERT_TRUE(header.IsEncrypted());
    // zip -P always writes a descriptor (the check byte is the time); 7-Zip writes none (the CRC).
    EXPECT_EQ(header.IsDataDescriptor(), std::string(name) == "zip.zip");
    bool ok = false;
    EXPECT_EQ(ReadEntryThroughRecords(archive.central, archive.storage, 0, "Sesame", &ok), content);
    EXPECT_TRUE(ok);
    int accepted = 0;
    for (const char* wrong : {"sesame", "Sesame ", "", "x", "SESAME", "Sesam", "open", "123456"}) {
      if (PasswordPassesCheck(archive.central, archive.storage, 0, wrong)) ++accepted;
    }
    EXPECT_LE(accepted, 2);  // the check is one byte: a wrong password passes 1 time in 256
  }
}

TEST(RecordsPeerArchives, PeersDecryptWhatTheRecordsEncrypt) {
  ScratchDir dir;
  {
    CZipStorage storage;
    storage.StorageOpen(dir / "ours.zip", CZipStorage::CreateNew, 0);
    CZipCentralDir central(&storage);
    WriteStoredEntry(central, storage, "plain.txt", "not secret\n");
    WriteStoredEntry(central, storage, "secret.txt", GeneratedBytes(3000, 4, true), "Pa55 word");
    central.WriteCentralDir(nullptr);
    storage.StorageClose(false);
  }
  const std::string path = ShellQuote(dir / "ours.zip");
  const CommandResult unzip = RunCommand("unzip -P 'Pa55 word' -p " + path + " secret.txt");
  EXPECT_EQ(unzip.exitStatus, 0);
  EXPECT_EQ(unzip.output, GeneratedBytes(3000, 4, true));
  const CommandResult python = RunCommand(
      "python3 -c \"import zipfile,sys\nz=zipfile.ZipFile(sys.argv[1])\nz.setpassword(b'Pa55 word')\n"
      "print(z.testzip())\" " + path);
  EXPECT_EQ(python.output, "None\n");
  EXPECT_NE(RunCommand("unzip -P wrong -p " + path + " secret.txt >/dev/null").exitStatus, 0);
}

}  // namespace
}  // namespace brevik::test
