// ZipDecompressorTest.cpp -- bzip2, LZMA, XZ and Zstandard entries built field by field: read exactly, damage refused.
#include <gtest/gtest.h>

#include <bzlib.h>
#include <lzma.h>
#include <zstd.h>

#include <filesystem>

#include "engine/ZipConstants.h"
#include "engine/ZipCrypto.h"
#include "support/RecordsArchiveBuilder.h"
#include "support/ScratchDir.h"
#include "support/Shell.h"
#include "ZipArchiveTestSupport.h"

namespace brevik::test {
namespace {

namespace fs = std::filesystem;
namespace LH = ZipFormat::LocalHeader;
namespace CH = ZipFormat::CentralHeader;

std::string Bzip2Of(const std::string& plain) {
  std::string packed(plain.size() + plain.size() / 100 + 600, '\0');
  auto size = static_cast<unsigned>(packed.size());
  EXPECT_EQ(BZ2_bzBuffToBuffCompress(packed.data(), &size, const_cast<char*>(plain.data()),
                                     static_cast<unsigned>(plain.size()), 9, 0, 0),
            BZ_OK);
  packed.resize(size);
  return packed;
}

/// The ZIP LZMA header (`dictionaryBytes` in its properties) and raw LZMA1 data, with or
/// without the end marker.
std::string LzmaOf(const std::string& plain, bool endMarker, std::uint32_t dictionaryBytes = 1u << 16) {
  lzma_options_lzma options{};
  lzma_lzma_preset(&options, 6);
  options.dict_size = 1u << 16;
  // LZMA1EXT without its end-marker flag writes no marker; plain LZMA1 always does.
  lzma_filter filters[2] = {{endMarker ? LZMA_FILTER_LZMA1 : LZMA_FILTER_LZMA1EXT, &options},
                            {LZMA_VLI_UNKNOWN, nullptr}};
  std::string raw(plain.size() + plain.size() / 2 + 1024, '\0');
  std::size_t rawSize = 0;
  EXPECT_EQ(lzma_raw_buffer_encode(filters, nullptr, reinterpret_cast<const std::uint8_t*>(plain.data()),
                                   plain.size(), reinterpret_cast<std::uint8_t*>(raw.data()), &rawSize, raw.size()),
            LZMA_OK);
  raw.resize(rawSize);
  options.dict_size = dictionaryBytes;
  std::uint8_t properties[5];
  lzma_filter property{LZMA_FILTER_LZMA1, &options};
  EXPECT_EQ(lzma_properties_encode(&property, properties), LZMA_OK);
  RecordBytes header;
  header.U16(0x1409)  // LZMA SDK version 9.20, as 7-Zip writes it
      .U16(5)         // properties size
      .Text(std::string(reinterpret_cast<const char*>(properties), 5));  // lc/lp/pb byte, dictionary size
  return header.str() + raw;
}

std::string XzOf(const std::string& plain) {
  std::string packed(lzma_stream_buffer_bound(plain.size()), '\0');
  std::size_t size = 0;
  EXPECT_EQ(lzma_easy_buffer_encode(6, LZMA_CHECK_CRC64, nullptr, reinterpret_cast<const std::uint8_t*>(plain.data()),
                                    plain.size(), reinterpret_cast<std::uint8_t*>(packed.data()), &size, packed.size()),
            LZMA_OK);
  packed.resize(size);
  return packed;
}

std::string ZstdOf(const std::string& plain) {
  std::string packed(ZSTD_compressBound(plain.size()), '\0');
  const std::size_t size = ZSTD_compress(packed.data(), packed.size(), plain.data(), plain.size(), 3);
  EXPECT_FALSE(ZSTD_isError(size));
  packed.resize(size);
  return packed;
}

/// One entry of a test archive: its name, method, flags, packed bytes and what they decode to.
struct PackedEntry {
  std::string name;
  std::uint16_t method;
  std::uint16_t flags;
  std::string packed;
  std::string plain;
};

/// An archive of `entries`, each encrypted with `password` when one is given: built as stored
/// entries of the packed bytes, then the method, CRC and uncompressed size patched into both
/// headers.
std::string BuildPackedArchive(const std::vector<PackedEntry>& entries, const std::string& password = {}) {
  std::vector<RecordsEntry> records;
  for (const PackedEntry& entry : entries) {
    std::string data = entry.packed;
    std::uint16_t flags = entry.flags;
    if (!password.empty()) {
      // The 12-byte encryption header checks against the CRC's high byte (no data descriptor).
      CZipCrypto crypto;
      char header[ZipFormat::Encryption::HeaderSize];
      crypto.MakeEncryptionHeader(password, RecordsCrc(entry.plain), header);
      crypto.EncodeBuffer(data.data(), data.size());
      data = std::string(header, sizeof header) + data;
      flags |= ZipFormat::Flag::Encrypted;
    }
    records.push_back(StoredEntry(entry.name, data, flags));
  }
  RecordsArchive built = BuildStoredArchive(records);
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const auto size = static_cast<std::uint32_t>(entries[i].plain.size());
    const std::uint32_t crc = RecordsCrc(entries[i].plain);
    for (const auto& [at, method, crcAt, sizeAt] :
         {std::tuple{built.localOffsets[i], LH::Method, LH::Crc, LH::UncompressedSize},
          std::tuple{built.centralOffsets[i], CH::Method, CH::Crc, CH::UncompressedSize}}) {
      PatchLE(built.bytes, at + method, entries[i].method, 2);
      PatchLE(built.bytes, at + crcAt, crc, 4);
      PatchLE(built.bytes, at + sizeAt, size, 4);
    }
  }
  return built.bytes;
}

/// The five kinds of data read besides stored and deflate, made from `plain`.
std::vector<PackedEntry> EveryMethod(const std::string& plain, const std::string& suffix = {}) {
  return {{"bzip2" + suffix, 12, 0, Bzip2Of(plain), plain},
          {"lzma-eos" + suffix, 14, ZipFormat::Flag::LzmaEndMarker, LzmaOf(plain, true), plain},
          {"lzma" + suffix, 14, 0, LzmaOf(plain, false), plain},
          {"zstd" + suffix, 93, 0, ZstdOf(plain), plain},
          {"xz" + suffix, 95, 0, XzOf(plain), plain}};
}

TEST(ZipDecompressor, EveryMethodReadsByteForByteWithAndWithoutPassword) {
  ScratchDir dir;
  std::vector<PackedEntry> entries;
  // Empty, short, and larger than the 64 KiB I/O buffer, so the packed data comes in pieces.
  for (const auto& [plain, suffix] : {std::pair<std::string, std::string>{"", "-empty"},
                                      {"hello, methods", "-short"},
                                      {GeneratedBytes(300000, 41, true) + GeneratedBytes(100000, 42, false), "-large"}}) {
    for (PackedEntry& entry : EveryMethod(plain, suffix)) entries.push_back(std::move(entry));
  }
  for (const std::string password : {"", "secret"}) {
    WriteFileBytes(dir / "m.zip", BuildPackedArchive(entries, password));
    // The read-ahead window serves encrypted entries decoded in memory; without it the file is read.
    for (const bool readAhead : {false, true}) {
      SCOPED_TRACE(password + (readAhead ? " read-ahead" : ""));
      fs::remove_all(dir / "out");
      CZipArchive archive;
      ASSERT_TRUE(archive.Open(dir / "m.zip", CZipArchive::OpenReadOnly));
      archive.SetReadAhead(readAhead);
      if (!password.empty()) archive.SetPassword(password.c_str());
      for (int i = 0; i < archive.GetCount(); ++i) {
        SCOPED_TRACE(entries[i].name);
        EXPECT_TRUE(archive.ExtractEntry(i, dir / "out"));
        EXPECT_EQ(ReadFileBytes(dir / ("out/" + entries[i].name)), entries[i].plain);
      }
      archive.Close();
    }
  }
  // Odd small pieces: the decoder's output stops and resumes inside its own buffers.
  WriteFileBytes(dir / "m.zip", BuildPackedArchive(entries));
  CZipArchive archive;
  ASSERT_TRUE(archive.Open(dir / "m.zip", CZipArchive::OpenReadOnly));
  for (int i = 0; i < archive.GetCount(); i += 5) EXPECT_EQ(ReadTestEntry(archive, i, 7), entries[i].plain);
  archive.Close();
}

TEST(ZipDecompressor, DamagedDataOfEachMethodFailsWithoutAFileAndTheNextEntryStillReads) {
  ScratchDir dir;
  const std::string plain = GeneratedBytes(200000, 43, true);
  for (const PackedEntry& good : EveryMethod(plain)) {
    SCOPED_TRACE(good.name);
    PackedEntry flipped = good;
    for (std::size_t at = flipped.packed.size() / 3; at < flipped.packed.size() / 3 + 16; ++at) flipped.packed[at] ^= 0x55;
    PackedEntry cut = good;
    cut.packed.resize(good.packed.size() / 2);
    PackedEntry longer = good;  // declares one byte less than its data holds
    longer.plain.pop_back();
    std::vector<PackedEntry> damages = {flipped, cut};
    // LZMA without its end marker ends where the declared size says: that is no damage.
    if (good.name != "lzma") damages.push_back(longer);
    for (const PackedEntry& damaged : damages) {
      WriteFileBytes(dir / "d.zip", BuildPackedArchive({damaged, {"after", 12, 0, Bzip2Of("after"), "after"}}));
      fs::remove_all(dir / "out");
      CZipArchive archive;
      ASSERT_TRUE(archive.Open(dir / "d.zip", CZipArchive::OpenReadOnly));
      const int code = ZipErrorOf([&] { archive.ExtractEntry(0, dir / "out"); });
      // Damage shows in the stream (101) or, where the stream still decodes, in the CRC (102).
      EXPECT_TRUE(code == 101 || code == 102) << code;
      EXPECT_FALSE(fs::exists(dir / ("out/" + good.name)));
      archive.CloseEntryForReading(nullptr, true);
      EXPECT_TRUE(archive.ExtractEntry(1, dir / "out"));
      EXPECT_EQ(ReadFileBytes(dir / "out/after"), "after");
      archive.Close();
    }
  }
}

TEST(ZipDecompressor, StreamEndsAndOverrunsAreNamedExactly) {
  ScratchDir dir;
  const std::string plain = GeneratedBytes(5000, 44, true);
  struct Case {
    PackedEntry entry;
    std::string detail;
  } cases[] = {
      {{"cut.xz", 95, 0, XzOf(plain).substr(0, 12), plain},  // the stream header only
       "entry 0 'cut.xz' (XZ): the packed data ends inside the stream, 5000 bytes short of the declared size"},
      {{"long.zst", 93, 0, ZstdOf(plain), plain.substr(0, 4999)},
       "entry 0 'long.zst' (Zstd): the data goes on past the entry's declared size of 4999 bytes"},
      {{"magic.bz2", 12, 0, "BZh9" + std::string(40, 'x'), plain},
       "entry 0 'magic.bz2' (BZip2): the bzip2 data is damaged (BZ_DATA_ERROR)"},
      {{"nobz", 12, 0, std::string(40, 'x'), plain},
       "entry 0 'nobz' (BZip2): the data does not start with the bzip2 signature (BZ_DATA_ERROR_MAGIC)"},
      {{"props.lzma", 14, 0, [&] {
          std::string packed = LzmaOf(plain, false);
          PatchLE(packed, 2, 4, 2);  // properties size
          return packed;
        }(), plain},
       "entry 0 'props.lzma' (LZMA): the LZMA header gives 4 bytes of properties, expected 5"},
      {{"noend.lzma", 14, ZipFormat::Flag::LzmaEndMarker, LzmaOf(plain, false), plain},
       "entry 0 'noend.lzma' (LZMA): the packed data ends before the stream's end mark"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.entry.name);
    WriteFileBytes(dir / "e.zip", BuildPackedArchive({c.entry}));
    CZipArchive archive;
    ASSERT_TRUE(archive.Open(dir / "e.zip", CZipArchive::OpenReadOnly));
    try {
      archive.ExtractEntry(0, dir / "out");
      ADD_FAILURE() << "extracted";
    } catch (const CZipException& error) {
      EXPECT_EQ(error.GetCause(), 101);
      EXPECT_STREQ(error.what(), "Damaged or not a zip file");
      EXPECT_EQ(error.GetDetail(), c.detail);
    }
    archive.Close(CZipArchive::CloseAfterError);
  }
}

TEST(ZipDecompressor, LzmaDictionariesAreHeldToWhatTheEntryCanUse) {
  ScratchDir dir;
  const std::string plain = GeneratedBytes(70000, 45, true);
  // A header naming a 4 GiB dictionary for a small entry costs the entry's size only.
  WriteFileBytes(dir / "big-dict.zip",
                 BuildPackedArchive({{"d", 14, 0, LzmaOf(plain, false, 0xFFFFFFFFu), plain}}));
  CZipArchive archive;
  ASSERT_TRUE(archive.Open(dir / "big-dict.zip", CZipArchive::OpenReadOnly));
  EXPECT_EQ(ReadTestEntry(archive, 0, 65536), plain);
  archive.Close();

  // An entry that declares 3 GiB may use that much dictionary, more than the decoder's limit.
  std::string bytes = BuildPackedArchive({{"huge", 14, 0, LzmaOf(plain, false, 0xC0000000u), plain}});
  RecordsArchive layout = BuildStoredArchive({StoredEntry("huge", LzmaOf(plain, false))});
  PatchLE(bytes, layout.localOffsets[0] + LH::UncompressedSize, 0xC0000000u, 4);
  PatchLE(bytes, layout.centralOffsets[0] + CH::UncompressedSize, 0xC0000000u, 4);
  WriteFileBytes(dir / "huge.zip", bytes);
  ASSERT_TRUE(archive.Open(dir / "huge.zip", CZipArchive::OpenReadOnly));
  ASSERT_TRUE(archive.OpenEntryForReading(0));
  char piece[64];
  try {
    archive.ReadEntryData(piece, sizeof piece);
    ADD_FAILURE() << "read";
  } catch (const CZipException& error) {
    EXPECT_EQ(error.GetCause(), 505);
    EXPECT_EQ(error.GetDetail(), "entry 0 'huge' (LZMA): the LZMA dictionary of 3221225472 bytes needs more than the "
                                 "limit of 1610612736 bytes of memory");
  }
  archive.Close(CZipArchive::CloseAfterError);
}

TEST(ZipDecompressor, OtherMethodsAreRefusedByNameBeforeThePasswordIsAsked) {
  ScratchDir dir;
  struct Case {
    std::uint16_t method;
    std::uint16_t flags;
    const char* detail;
  } cases[] = {{98, 0, "unsupported compression method 98 (PPMd)"},
               {98, ZipFormat::Flag::Encrypted, "unsupported compression method 98 (PPMd)"},
               {9, 0, "unsupported compression method 9 (Deflate64)"},
               {200, 0, "unsupported compression method 200"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.detail);
    WriteFileBytes(dir / "u.zip", BuildPackedArchive({{"u", c.method, c.flags, std::string(20, 'p'), "plain"}}));
    CZipArchive archive;
    ASSERT_TRUE(archive.Open(dir / "u.zip", CZipArchive::OpenReadOnly));
    try {
      archive.ExtractEntry(0, dir / "out");
      ADD_FAILURE() << "extracted";
    } catch (const CZipException& error) {
      EXPECT_EQ(error.GetCause(), 136);
      EXPECT_STREQ(error.what(), "The entry's compression method is not supported");
      EXPECT_EQ(error.GetDetail(), c.detail);
    }
    EXPECT_FALSE(fs::exists(dir / "out/u"));
    archive.Close(CZipArchive::CloseAfterError);
  }
}

}  // namespace
}  // namespace brevik::test
