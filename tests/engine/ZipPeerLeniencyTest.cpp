// ZipPeerLeniencyTest.cpp -- what every peer reads despite an inconsistency: uncounted central records, descriptors with wrong sizes.
#include <gtest/gtest.h>

#include <filesystem>

#include "engine/ZipConstants.h"
#include "support/RecordsArchiveBuilder.h"
#include "support/ScratchDir.h"
#include "support/Shell.h"
#include "ZipArchiveTestSupport.h"

namespace brevik::test {
namespace {

namespace fs = std::filesystem;
namespace ER = ZipFormat::EndRecord;

/// A stored entry with flag bit 3 and, after its data, a signed descriptor with `crc` and the
/// two sizes; the directory moves up behind it.
std::string WithDescriptor(const std::string& data, std::uint32_t crc, std::uint32_t compressed,
                           std::uint32_t uncompressed) {
  const RecordsArchive built = BuildStoredArchive({StoredEntry("d.txt", data, ZipFormat::Flag::DataDescriptor)});
  RecordBytes descriptor;
  descriptor.U32(0x08074B50)  // data descriptor signature
      .U32(crc)               // crc-32
      .U32(compressed)        // compressed size
      .U32(uncompressed);     // uncompressed size
  std::string bytes =
      built.bytes.substr(0, built.directoryOffset) + descriptor.str() + built.bytes.substr(built.directoryOffset);
  PatchLE(bytes, built.endRecordOffset + descriptor.size() + ER::DirectoryOffset,
          built.directoryOffset + descriptor.size(), 4);
  return bytes;
}

TEST(ZipPeerLeniency, ADescriptorWithWrongSizesIsTakenWhenTheDataProvesTheCentralOnes) {
  ScratchDir dir;
  const std::string data = "the data and its CRC are right";
  const auto size = static_cast<std::uint32_t>(data.size());
  const std::uint32_t crc = RecordsCrc(data);
  struct Case {
    const char* what;
    std::string archive;
    bool ignoreCrc;
    int code;
  } cases[] = {
      {"sizes 0, as a streaming writer left them", WithDescriptor(data, crc, 0, 0), false, 0},
      {"sizes off by one", WithDescriptor(data, crc, size + 1, size - 1), false, 0},
      {"a descriptor with another CRC", WithDescriptor(data, crc ^ 1, size, size), false, 101},
      {"sizes not proven when the CRC is not checked", WithDescriptor(data, crc, 0, 0), true, 101},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WriteFileBytes(dir / "d.zip", c.archive);
    fs::remove_all(dir / "out");
    CZipArchive archive;
    ASSERT_TRUE(archive.Open(dir / "d.zip", CZipArchive::OpenReadOnly));
    archive.SetIgnoreCrc(c.ignoreCrc);
    bool extracted = false;
    std::string detail;
    int code = 0;
    try {
      extracted = archive.ExtractEntry(0, dir / "out");
    } catch (const CZipException& error) {
      code = error.GetCause();
      detail = error.GetDetail();
    }
    EXPECT_EQ(code, c.code);
    EXPECT_EQ(extracted, c.code == 0);
    if (c.code == 0) {
      EXPECT_EQ(ReadFileBytes(dir / "out/d.txt"), data);
    } else {
      EXPECT_FALSE(fs::exists(dir / "out/d.txt"));
    }
    archive.Close(c.code == 0 ? CZipArchive::CloseNormal : CZipArchive::CloseAfterError);
    if (std::string(c.what) == "a descriptor with another CRC") {
      EXPECT_EQ(detail, "the data descriptor of 'd.txt' (CRC " + std::to_string(crc ^ 1) + ", sizes 30 and 30) "
                        "disagrees with its central header (CRC " + std::to_string(crc) + ", sizes 30 and 30)");
    }
  }
}

TEST(ZipPeerLeniency, EntriesTheEndRecordDoesNotCountAreExtractedToo) {
  ScratchDir dir;
  RecordsArchive built =
      BuildStoredArchive({StoredEntry("a.txt", "first"), StoredEntry("b.txt", "second"), StoredEntry("c.txt", "third")});
  PatchLE(built.bytes, built.endRecordOffset + ER::HeadersOnVolume, 1, 2);
  PatchLE(built.bytes, built.endRecordOffset + ER::HeadersTotal, 1, 2);
  WriteFileBytes(dir / "c.zip", built.bytes);
  CZipArchive archive;
  ASSERT_TRUE(archive.Open(dir / "c.zip", CZipArchive::OpenReadOnly));
  ASSERT_EQ(archive.GetCount(), 3);
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(archive.ExtractEntry(i, dir / "out"));
  archive.Close();
  EXPECT_EQ(ReadFileBytes(dir / "out/c.txt"), "third");

  // Written back, the archive counts what it holds.
  ASSERT_TRUE(archive.Open(dir / "c.zip", CZipArchive::OpenExisting));
  CZipArray<std::uint16_t> first{0};
  archive.DeleteEntries(first);
  archive.Close();
  const std::string after = ReadFileBytes(dir / "c.zip");
  const std::size_t end = after.size() - ER::Size;
  EXPECT_EQ(static_cast<unsigned char>(after[end + ER::HeadersTotal]), 2);
}

}  // namespace
}  // namespace brevik::test
