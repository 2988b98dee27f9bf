// ArchiveMethodsPeersTest.cpp -- bzip2, LZMA and PPMd entries of 7-Zip and Python, and two inconsistencies read as Python reads them.
#include "engine/ZipArchive.h"
#include "engine/ZipConstants.h"
#include "engine/ZipException.h"
#include "support/ArchivePeers.h"
#include "support/RecordsArchiveBuilder.h"
#include "support/ScratchDir.h"
#include "support/Shell.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace brevik::test {
namespace {

namespace fs = std::filesystem;

std::vector<ArchiveTreeItem> MethodTree() {
  const long long t = 1600000000;
  return {
      {"tree/", "", 0755, t},
      {"tree/empty.txt", "", 0644, t},
      {"tree/short.txt", "a few words", 0644, t + 2},
      {"tree/text.txt", GeneratedBytes(2 * 1024 * 1024 + 3, 51, true), 0644, t + 4},
      {"tree/noise.bin", GeneratedBytes(200000, 52, false), 0644, t + 6},
  };
}

/// Extracts every entry of `zip` into `target`; returns what failed, each entry's code and
/// detail, as text.
std::string ExtractEvery(const std::string& zip, const std::string& target, const char* password = nullptr) {
  std::string failures;
  CZipArchive archive;
  archive.Open(zip, CZipArchive::OpenReadOnly);
  archive.SetPassword(password);
  for (int i = 0; i < archive.GetCount(); ++i) {
    CZipFileHeader header;
    archive.GetEntryInfo(header, i);
    try {
      if (!archive.ExtractEntry(i, target)) failures += header.GetFileName() + ": refused; ";
    } catch (const CZipException& error) {
      failures += header.GetFileName() + ": " + std::to_string(error.GetCause()) + " " + error.GetDetail() + "; ";
      archive.CloseEntryForReading(nullptr, true);
    }
  }
  archive.Close();
  return failures;
}

TEST(ArchiveMethodsPeers, BzipAndLzmaEntriesOf7ZipAndPythonExtractByteForByte) {
  ScratchDir dir;
  WriteArchiveTree(dir.path(), MethodTree());
  const std::string d = ShellQuote(dir.path());
  const std::string python = "import zipfile,os,sys\n"
                             "z=zipfile.ZipFile(sys.argv[1],'w',getattr(zipfile,sys.argv[2]))\n"
                             "for r,ds,fs in os.walk('tree'):\n  z.write(r)\n  [z.write(os.path.join(r,f)) for f in fs]\n";
  WriteFileBytes(dir / "make.py", python);
  struct Writer {
    const char* name;
    std::string command;
    const char* password;
    std::uint16_t method;
  } writers[] = {
      {"7zz-bzip2", "7zz a -tzip -bd -mm=BZip2 7zz-bzip2.zip tree", nullptr, 12},
      {"7zz-lzma", "7zz a -tzip -bd -mm=LZMA 7zz-lzma.zip tree", nullptr, 14},
      // 7-Zip encrypts ZIP entries with the traditional cipher unless told otherwise.
      {"7zz-bzip2-password", "7zz a -tzip -bd -mm=BZip2 -p'pa ss' 7zz-bzip2-password.zip tree", "pa ss", 12},
      {"7zz-lzma-password", "7zz a -tzip -bd -mm=LZMA -p'pa ss' 7zz-lzma-password.zip tree", "pa ss", 14},
      {"python-bzip2", "python3 make.py python-bzip2.zip ZIP_BZIP2", nullptr, 12},
      {"python-lzma", "python3 make.py python-lzma.zip ZIP_LZMA", nullptr, 14},
  };
  for (const Writer& writer : writers) {
    SCOPED_TRACE(writer.name);
    const CommandResult made = RunCommand("cd " + d + " && " + writer.command + " >/dev/null");
    ASSERT_EQ(made.exitStatus, 0) << made.output;
    const std::string zip = dir / (std::string(writer.name) + ".zip");
    // The method asked for is the one written (for the entries with data).
    CZipArchive probe;
    ASSERT_TRUE(probe.Open(zip, CZipArchive::OpenReadOnly));
    int ofMethod = 0;
    for (int i = 0; i < probe.GetCount(); ++i) {
      CZipFileHeader header;
      probe.GetEntryInfo(header, i);
      if (header.m_uMethod == writer.method) ++ofMethod;
    }
    probe.Close();
    // 7-Zip stores what would not shrink (the short and the random file); Python packs all.
    EXPECT_GE(ofMethod, writer.name[0] == '7' ? 1 : 3);
    const std::string target = dir / ("out-" + std::string(writer.name));
    EXPECT_EQ(ExtractEvery(zip, target, writer.password), "");
    EXPECT_EQ(CompareArchiveTrees(dir / "tree", target + "/tree", true, false), "");
  }
}

TEST(ArchiveMethodsPeers, PpmdEntriesOf7ZipAreRefusedByName) {
  ScratchDir dir;
  WriteArchiveTree(dir.path(), MethodTree());
  ASSERT_EQ(RunCommand("cd " + ShellQuote(dir.path()) + " && 7zz a -tzip -bd -mm=PPMd ppmd.zip tree >/dev/null").exitStatus,
            0);
  const std::string failures = ExtractEvery(dir / "ppmd.zip", dir / "out");
  // The one file that PPMd shrinks is refused; the others, stored by 7-Zip, are extracted.
  EXPECT_EQ(failures, "tree/text.txt: 136 unsupported compression method 98 (PPMd); ");
  EXPECT_FALSE(fs::exists(dir / "out/tree/text.txt"));
  EXPECT_EQ(ReadFileBytes(dir / "out/tree/short.txt"), "a few words");
}

/// What Python's zipfile reads from `zip`: each entry's name and data, one "name=hex" per line
/// (or its error).
std::string PythonReads(const std::string& zip) {
  const std::string script = "import zipfile,sys\n"
                             "z=zipfile.ZipFile(sys.argv[1])\n"
                             "for n in z.namelist(): print(n + '=' + z.read(n).hex())\n";
  const CommandResult read = RunCommand("python3 -c " + ShellQuote(script) + " " + ShellQuote(zip) + " 2>&1");
  return read.output;
}

/// The same from the engine.
std::string EngineReads(const std::string& zip, const std::string& target) {
  std::string lines;
  CZipArchive archive;
  try {
    archive.Open(zip, CZipArchive::OpenReadOnly);
    for (int i = 0; i < archive.GetCount(); ++i) {
      CZipFileHeader header;
      archive.GetEntryInfo(header, i);
      if (!archive.ExtractEntry(i, target)) return lines + "refused " + header.GetFileName();
      std::string hex;
      for (const unsigned char byte : ReadFileBytes(target + "/" + header.GetFileName())) {
        static const char digits[] = "0123456789abcdef";
        hex += digits[byte >> 4];
        hex += digits[byte & 15];
      }
      lines += header.GetFileName() + "=" + hex + "\n";
    }
    archive.Close();
  } catch (const CZipException& error) {
    archive.Close(CZipArchive::CloseAfterError);
    return lines + error.what() + " " + error.GetDetail();
  }
  return lines;
}

TEST(ArchiveMethodsPeers, UncountedRecordsAndDescriptorsWithWrongSizesReadAsPythonReadsThem) {
  ScratchDir dir;
  // An end record that counts one entry of three.
  RecordsArchive counted =
      BuildStoredArchive({StoredEntry("a.txt", "first"), StoredEntry("b.txt", "second"), StoredEntry("c.txt", "third")});
  PatchLE(counted.bytes, counted.endRecordOffset + ZipFormat::EndRecord::HeadersOnVolume, 1, 2);
  PatchLE(counted.bytes, counted.endRecordOffset + ZipFormat::EndRecord::HeadersTotal, 1, 2);
  WriteFileBytes(dir / "counted.zip", counted.bytes);

  // A stored entry whose data descriptor gives sizes of 0 and 7 with the right CRC.
  const std::string data = "described";
  const RecordsArchive plain = BuildStoredArchive({StoredEntry("d.txt", data, ZipFormat::Flag::DataDescriptor)});
  RecordBytes descriptor;
  descriptor.U32(0x08074B50)     // data descriptor signature
      .U32(RecordsCrc(data))     // crc-32, right
      .U32(0)                    // compressed size, wrong
      .U32(7);                   // uncompressed size, wrong
  std::string described = plain.bytes.substr(0, plain.directoryOffset) + descriptor.str() +
                          plain.bytes.substr(plain.directoryOffset);
  PatchLE(described, plain.endRecordOffset + descriptor.size() + ZipFormat::EndRecord::DirectoryOffset,
          plain.directoryOffset + descriptor.size(), 4);
  WriteFileBytes(dir / "described.zip", described);

  for (const char* name : {"counted", "described"}) {
    SCOPED_TRACE(name);
    const std::string zip = dir / (std::string(name) + ".zip");
    const std::string python = PythonReads(zip);
    EXPECT_EQ(python.find("Error"), std::string::npos) << python;
    EXPECT_EQ(EngineReads(zip, dir / ("out-" + std::string(name))), python);
  }
}

}  // namespace
}  // namespace brevik::test
