// UnZipSafetyTest.cpp -- UnZip against hostile archives and folders: reasons, limits, free space, unique names.
#include "scripting/CUnZip.h"

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <filesystem>
#include <sys/stat.h>
#include <sys/statvfs.h>

#include "engine/ZipArchive.h"
#include "engine/ZipConstants.h"
#include "frame/automation/IUnZipEntries.h"
#include "frame/automation/ScopedVariant.h"
#include "frame/automation/UniqueBstr.h"
#include "scripting/ComponentSettings.h"
#include "scripting/ExtractLimits.h"
#include "scripting/TargetFreeSpace.h"
#include "support/HostingPolicyInstall.h"
#include "support/RecordsArchiveBuilder.h"
#include "support/ScratchDir.h"
#include "support/Shell.h"
#include "ZipOperationsTestHelpers.h"

using namespace brevik::test;

namespace {

namespace fs = std::filesystem;

struct Outcome {
  std::string savedName;
  std::string reason;
  bool operator==(const Outcome&) const = default;
};

/// Name -> what became of it, for every item of an UnZip collection.
std::map<std::string, Outcome> Outcomes(CUnZip& collection) {
  LONG count = 0;
  collection.get_Count(&count);
  std::map<std::string, Outcome> outcomes;
  for (LONG i = 1; i <= count; ++i) {
    ScopedVariant item;
    collection.get_Item(i, item.get());
    ComPtr<IUnZipEntries> entry;
    ComPtr<IDispatch>(item->pdispVal).As(IID_IUnZipEntries, entry);
    UniqueBstr name, saved, reason;
    entry->get_Name(name.ReleaseAndGetAddressOf());
    entry->get_SavedName(saved.ReleaseAndGetAddressOf());
    entry->get_ErrorReason(reason.ReleaseAndGetAddressOf());
    outcomes[name.ToUtf8()] = Outcome{saved.ToUtf8(), reason.ToUtf8()};
  }
  return outcomes;
}

std::string UnZip(const ZipRequest& request, ComPtr<CUnZip>& collection) {
  EXPECT_EQ(CUnZip::Create(collection), S_OK);
  return collection->Fill(request);
}

TEST(UnZipSafety, EachEntryNotExtractedCarriesItsReason) {
  ScratchDir dir;
  const std::string zip = dir / "a.zip";
  // bad.txt is stored, with one byte of its data changed after its CRC was taken.
  const std::string script = "import zipfile,sys\nz=zipfile.ZipFile(sys.argv[1],'w',zipfile.ZIP_DEFLATED)\n"
                             "z.writestr('evil/x','through a link')\nz.writestr('f','over a link')\n"
                             "z.writestr('bad.txt','A'*1000,compress_type=zipfile.ZIP_STORED)\n"
                             "z.writestr('good.txt','good')\nz.close()\n"
                             "i=zipfile.ZipFile(sys.argv[1]).getinfo('bad.txt')\n"
                             "print(i.header_offset+30+len(i.filename)+500)\n";
  const CommandResult offset = RunCommand("python3 -c " + ShellQuote(script) + " " + ShellQuote(zip));
  ASSERT_EQ(offset.exitStatus, 0) << offset.output;
  std::string bytes = ReadFileBytes(zip);
  bytes[std::stoul(offset.output)] = 'B';
  WriteFileBytes(zip, bytes);

  fs::create_directories(dir / "out");
  fs::create_directories(dir / "elsewhere");
  fs::create_symlink("../elsewhere", dir / "out/evil");
  WriteFileBytes(dir / "elsewhere/file", "original");
  fs::create_symlink("../elsewhere/file", dir / "out/f");
  ComPtr<CUnZip> collection;
  EXPECT_EQ(UnZip(RequestFor(OpUnZip, zip, dir / "out"), collection), "");
  const std::map<std::string, Outcome> outcomes = Outcomes(*collection.Get());
  EXPECT_EQ(outcomes.at("evil/x"), (Outcome{"", "a symbolic link in the target is in the way"}));
  EXPECT_EQ(outcomes.at("f"), (Outcome{"", "a symbolic link in the target is in the way"}));
  EXPECT_EQ(outcomes.at("bad.txt"), (Outcome{"", "its data failed the CRC check"}));
  EXPECT_EQ(outcomes.at("good.txt"), (Outcome{"good.txt", ""}));
  EXPECT_FALSE(fs::exists(dir / "out/bad.txt"));
  EXPECT_EQ(ReadFileBytes(dir / "elsewhere/file"), "original");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir / "elsewhere"), fs::directory_iterator()), 1);

  // List extracts nothing and gives no reasons.
  EXPECT_EQ(UnZip(RequestFor(OpList, zip), collection), "");
  EXPECT_EQ(Outcomes(*collection.Get()).at("f"), (Outcome{"", ""}));
}

TEST(UnZipSafety, AnEntryOfAMethodNotReadIsNamedAndTheOthersAreExtracted) {
  ScratchDir dir;
  RecordsArchive built = BuildStoredArchive({StoredEntry("ppmd.bin", "packed by PPMd"), StoredEntry("ok.txt", "ok")});
  PatchLE(built.bytes, built.localOffsets[0] + ZipFormat::LocalHeader::Method, 98, 2);     // PPMd
  PatchLE(built.bytes, built.centralOffsets[0] + ZipFormat::CentralHeader::Method, 98, 2);
  WriteFileBytes(dir / "m.zip", built.bytes);
  ComPtr<CUnZip> collection;
  EXPECT_EQ(UnZip(RequestFor(OpUnZip, dir / "m.zip", dir / "out"), collection), "");
  const std::map<std::string, Outcome> outcomes = Outcomes(*collection.Get());
  EXPECT_EQ(outcomes.at("ppmd.bin"), (Outcome{"", "unsupported compression method 98 (PPMd)"}));
  EXPECT_EQ(outcomes.at("ok.txt"), (Outcome{"ok.txt", ""}));
  EXPECT_FALSE(fs::exists(dir / "out/ppmd.bin"));
}

TEST(UnZipSafety, LimitsOfTheAdministratorAndTheHostRefuseEntriesTheStricterOfEachWinning) {
  ScratchDir dir;
  const std::string zip = dir / "bomb.zip";
  WritePeerArchive(zip, {{"zeros.bin", std::string(2u << 20, '\0')}, {"a.txt", std::string(100, 'a')},
                         {"b.txt", std::string(300, 'b')}});
  std::uint32_t zerosPacked = 0;
  {
    CZipArchive archive;
    ASSERT_TRUE(archive.Open(zip, CZipArchive::OpenReadOnly));
    CZipFileHeader header;
    ASSERT_TRUE(archive.GetEntryInfo(header, 0));
    zerosPacked = header.m_uComprSize;
    archive.Close();
  }
  const std::uint64_t zerosRatio = ((2u << 20) + zerosPacked - 1) / zerosPacked;
  ASSERT_GT(zerosRatio, 500u);

  HostingPolicyInstall machine;
  const auto unzipInto = [&](const std::string& folder) {
    fs::create_directories(dir / folder);
    ComPtr<CUnZip> collection;
    EXPECT_EQ(UnZip(RequestFor(OpUnZip, zip, dir / folder), collection), "");
    return Outcomes(*collection.Get());
  };

  // The defaults let an ordinary archive through.
  std::map<std::string, Outcome> outcomes = unzipInto("defaults");
  EXPECT_EQ(outcomes.at("zeros.bin"), (Outcome{"zeros.bin", ""}));

  // The host's byte total, stricter than the administrator's text "1K".
  machine.WriteRegistry("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Brevik]\n\"MaxExtractBytes\"=\"1K\"\n");
  {
    HostingScopedEnv bytes("BREVIK_MAX_EXTRACT_BYTES", "250");
    outcomes = unzipInto("bytes");
  }
  const std::string overBytes = "it would take the bytes extracted in one call past the limit of 250";
  EXPECT_EQ(outcomes.at("zeros.bin"), (Outcome{"", overBytes}));
  EXPECT_EQ(outcomes.at("a.txt"), (Outcome{"a.txt", ""}));
  EXPECT_EQ(outcomes.at("b.txt"), (Outcome{"", overBytes}));
  EXPECT_FALSE(fs::exists(dir / "bytes/zeros.bin"));

  // The administrator's ratio, stricter than the host's.
  machine.WriteRegistry("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Brevik]\n\"MaxCompressionRatio\"=dword:00000064\n");
  {
    HostingScopedEnv ratio("BREVIK_MAX_RATIO", "500");
    outcomes = unzipInto("ratio");
  }
  EXPECT_EQ(outcomes.at("zeros.bin"),
            (Outcome{"", "it expands " + std::to_string(zerosRatio) + " times its packed size, more than the limit of 100"}));
  EXPECT_EQ(outcomes.at("b.txt"), (Outcome{"b.txt", ""}));  // small entries are not judged by ratio
  EXPECT_FALSE(fs::exists(dir / "ratio/zeros.bin"));
}

TEST(UnZipSafety, TheDefaultRatioJudgesDeflateAndASetRatioEveryMethod) {
  ScratchDir dir;
  const std::string zip = dir / "bz.zip";
  // bzip2 packs 3 MB of one letter some 60000 times: far past what deflate can, and no bomb.
  const std::string script = "import sys, zipfile\n"
                             "with zipfile.ZipFile(sys.argv[1], 'w', zipfile.ZIP_BZIP2) as z:\n"
                             "    z.writestr('letters.txt', 'a' * 3000000)\n";
  ASSERT_EQ(RunCommand("python3 -c " + ShellQuote(script) + " " + ShellQuote(zip)).exitStatus, 0);
  HostingPolicyInstall machine;
  const auto unzipInto = [&](const std::string& folder) {
    fs::create_directories(dir / folder);
    ComPtr<CUnZip> collection;
    EXPECT_EQ(UnZip(RequestFor(OpUnZip, zip, dir / folder), collection), "");
    return Outcomes(*collection.Get());
  };
  EXPECT_EQ(unzipInto("defaults").at("letters.txt"), (Outcome{"letters.txt", ""}));
  std::map<std::string, Outcome> outcomes;
  {
    HostingScopedEnv ratio("BREVIK_MAX_RATIO", "1100");
    outcomes = unzipInto("set");
  }
  EXPECT_EQ(outcomes.at("letters.txt").savedName, "");
  EXPECT_NE(outcomes.at("letters.txt").reason.find("more than the limit of 1100"), std::string::npos);
}

TEST(UnZipSafety, LimitValuesAreNumbersWithAnOptionalBinaryUnit) {
  EXPECT_EQ(ComponentSettings::ParseNumber("250"), 250u);
  EXPECT_EQ(ComponentSettings::ParseNumber("1k"), 1024u);
  EXPECT_EQ(ComponentSettings::ParseNumber("3M"), 3u << 20);
  EXPECT_EQ(ComponentSettings::ParseNumber("2G"), 2ull << 30);
  EXPECT_EQ(ComponentSettings::ParseNumber("1T"), 1ull << 40);
  for (const char* ignored : {"", "0", "-5", "12 MB", "1X", "K", "99999999999999999999", "20000000T"})
    EXPECT_EQ(ComponentSettings::ParseNumber(ignored), std::nullopt) << ignored;
}

TEST(UnZipSafety, AnExtractionThatCannotFitIsRefusedBeforeAnythingIsWritten) {
  ScratchDir dir;
  struct statvfs info {};
  ASSERT_EQ(statvfs(dir.path().c_str(), &info), 0);
  const std::uint64_t freeBytes = static_cast<std::uint64_t>(info.f_bavail) * info.f_frsize;
  EXPECT_EQ(CheckTargetFreeSpace(dir.path(), 1000), "");
  EXPECT_EQ(CheckTargetFreeSpace(dir / "missing", 1ull << 62), "");  // cannot be asked: not refused here
  const std::string refused = CheckTargetFreeSpace(dir.path(), freeBytes + (1ull << 40));
  const std::string expectedStart = "Not enough free space in " + dir.path() + ": the entries need " +
                                    std::to_string(freeBytes + (1ull << 40)) + " bytes and ";
  EXPECT_EQ(refused.substr(0, expectedStart.size()), expectedStart);
  EXPECT_EQ(refused.substr(refused.size() - 9), " are free");
}

TEST(UnZipSafety, MakeUniqueNamesManyEntriesOfOneNameInLinearTime) {
  ScratchDir dir;
  const std::string zip = dir / "same.zip";
  const std::string script = "import zipfile,sys,warnings\nwarnings.simplefilter('ignore')\n"
                             "z=zipfile.ZipFile(sys.argv[1],'w')\n"
                             "[z.writestr('report.txt', str(k)) for k in range(4000)]\nz.close()\n";
  ASSERT_EQ(RunCommand("python3 -c " + ShellQuote(script) + " " + ShellQuote(zip)).exitStatus, 0);
  fs::create_directories(dir / "out");
  ZipRequest request = RequestFor(OpUnZip, zip, dir / "out");
  request.overwrite = 0;
  ComPtr<CUnZip> collection;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(UnZip(request, collection), "");
  const auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  // A search from 0 for each entry made 8 million lookups here (over half a minute).
  EXPECT_LT(seconds, 10.0);
  EXPECT_EQ(ReadFileBytes(dir / "out/report.txt"), "0");
  EXPECT_EQ(ReadFileBytes(dir / "out/report0.txt"), "1");
  EXPECT_EQ(ReadFileBytes(dir / "out/report3998.txt"), "3999");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir / "out"), fs::directory_iterator()), 4000);
}

}  // namespace
