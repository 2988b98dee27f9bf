// UnZipCollectionExtractTest.cpp -- UnZip: overwriting, unique names, passwords, skipped entries.
#include "scripting/CUnZip.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include "frame/automation/IUnZipEntries.h"
#include "frame/automation/ScopedVariant.h"
#include "frame/automation/UniqueBstr.h"
#include "support/ScratchDir.h"
#include "support/Shell.h"
#include "ZipOperationsTestHelpers.h"

using namespace brevik::test;

namespace {

// Name -> SavedName of every item, in collection order.
std::vector<std::pair<std::string, std::string>> SavedNames(CUnZip& collection) {
  LONG count = 0;
  collection.get_Count(&count);
  std::vector<std::pair<std::string, std::string>> pairs;
  for (LONG i = 1; i <= count; ++i) {
    ScopedVariant item;
    collection.get_Item(i, item.get());
    ComPtr<IUnZipEntries> entry;
    ComPtr<IDispatch>(item->pdispVal).As(IID_IUnZipEntries, entry);
    UniqueBstr name, saved;
    entry->get_Name(name.ReleaseAndGetAddressOf());
    entry->get_SavedName(saved.ReleaseAndGetAddressOf());
    pairs.emplace_back(name.ToUtf8(), saved.ToUtf8());
  }
  return pairs;
}

std::string UnZip(const ZipRequest& request, ComPtr<CUnZip>& collection) {
  EXPECT_EQ(CUnZip::Create(collection), S_OK);
  return collection->Fill(request);
}

bool Exists(const std::string& path) {
  struct stat info {};
  return lstat(path.c_str(), &info) == 0;
}

using Pairs = std::vector<std::pair<std::string, std::string>>;

TEST(UnZipCollectionExtract, OverwritingReplacesAndReportsTheEntryName) {
  ScratchDir dir;
  const std::string zip = dir / "a.zip";
  WritePeerArchive(zip, {{"a.txt", "new contents"}, {"sub/", ""}, {"sub/b.txt", "b"}});
  ASSERT_EQ(mkdir((dir / "out").c_str(), 0755), 0);
  WriteFileBytes(dir / "out/a.txt", "old");
  ComPtr<CUnZip> collection;
  EXPECT_EQ(UnZip(RequestFor(OpUnZip, zip, dir / "out"), collection), "");
  EXPECT_EQ(ReadFileBytes(dir / "out/a.txt"), "new contents");
  EXPECT_EQ(ReadFileBytes(dir / "out/sub/b.txt"), "b");
  EXPECT_EQ(SavedNames(*collection.Get()), (Pairs{{"sub/b.txt", "sub/b.txt"}, {"sub/", "sub/"}, {"a.txt", "a.txt"}}));
}

TEST(UnZipCollectionExtract, MakeUniqueKeepsExistingFiles) {
  ScratchDir dir;
  const std::string zip = dir / "names.zip";
  WritePeerArchive(zip, {{"a.txt", "A"}, {"report.txt", "R"}, {"data.tar.gz", "D"}, {"README", "M"},
                         {".profile", "P"}, {"sub/", ""}, {"sub/c.txt", "C"}});
  for (const std::string& target : std::vector<std::string>{dir / "out", dir / "out/", dir / "out//"}) {
    const std::string out = dir / "out";
    RunCommand("rm -rf " + ShellQuote(out));
    ASSERT_EQ(mkdir(out.c_str(), 0755), 0);
    ASSERT_EQ(mkdir((out + "/sub").c_str(), 0755), 0);
    for (const char* existing : {"a.txt", "a0.txt", "report.txt", "data.tar.gz", "README", ".profile", "sub/c.txt"})
      WriteFileBytes(out + "/" + existing, "existing");
    ZipRequest request = RequestFor(OpUnZip, zip, target);
    request.overwrite = 0;
    ComPtr<CUnZip> collection;
    EXPECT_EQ(UnZip(request, collection), "") << target;
    EXPECT_EQ(SavedNames(*collection.Get()), (Pairs{{"sub/c.txt", "sub/c0.txt"}, {"sub/", "sub/"}, {".profile", "0.profile"},
                                             {"README", "README0."}, {"data.tar.gz", "data0.tar.gz"},
                                             {"report.txt", "report0.txt"}, {"a.txt", "a1.txt"}}))
        << target;
    EXPECT_EQ(ReadFileBytes(out + "/a1.txt"), "A");
    EXPECT_EQ(ReadFileBytes(out + "/a.txt"), "existing");
    EXPECT_EQ(ReadFileBytes(out + "/README0."), "M");
    EXPECT_EQ(ReadFileBytes(out + "/0.profile"), "P");
    EXPECT_EQ(ReadFileBytes(out + "/sub/c0.txt"), "C");
  }
}

TEST(UnZipCollectionExtract, TwoEntriesOfOneName) {
  ScratchDir dir;
  const std::string zip = dir / "twice.zip";
  WritePeerArchive(zip, {{"dup.txt", "first"}, {"dup.txt", "second"}});
  ZipRequest request = RequestFor(OpUnZip, zip, dir / "unique");
  ASSERT_EQ(mkdir((dir / "unique").c_str(), 0755), 0);
  request.overwrite = 0;
  ComPtr<CUnZip> collection;
  EXPECT_EQ(UnZip(request, collection), "");
  EXPECT_EQ(SavedNames(*collection.Get()), (Pairs{{"dup.txt", "dup0.txt"}, {"dup.txt", "dup.txt"}}));
  EXPECT_EQ(ReadFileBytes(dir / "unique/dup.txt"), "first");
  EXPECT_EQ(ReadFileBytes(dir / "unique/dup0.txt"), "second");

  // Overwriting: the later entry is what remains, and both report the same name.
  ASSERT_EQ(mkdir((dir / "over").c_str(), 0755), 0);
  EXPECT_EQ(UnZip(RequestFor(OpUnZip, zip, dir / "over"), collection), "");
  EXPECT_EQ(SavedNames(*collection.Get()), (Pairs{{"dup.txt", "dup.txt"}, {"dup.txt", "dup.txt"}}));
  EXPECT_EQ(ReadFileBytes(dir / "over/dup.txt"), "second");
}

TEST(UnZipCollectionExtract, EncryptedEntriesNeedTheRightPassword) {
  ScratchDir dir;
  WriteFileBytes(dir / "plain.txt", "not secret");
  for (const char* name : {"s1.txt", "s2.txt", "s3.txt"}) WriteFileBytes(dir / name, std::string("secret ") + name);
  const std::string zip = dir / "locked.zip";
  // The plain entry first, then three encrypted ones: a wrong password passes the one-byte
  // check of all three only once in 16 million runs.
  const CommandResult made = RunCommand("cd " + ShellQuote(dir.path()) + " && zip -q locked.zip plain.txt && " +
                                        "zip -q -P right locked.zip s1.txt s2.txt s3.txt");
  ASSERT_EQ(made.exitStatus, 0) << made.output;
  const std::string failure = "Cannot open file " + zip + ". It does not appear to be a valid password";

  for (const char* password : {"", "wrong"}) {
    const std::string out = dir / ("out-" + std::string(password));
    ASSERT_EQ(mkdir(out.c_str(), 0755), 0);
    ZipRequest request = RequestFor(OpUnZip, zip, out);
    request.password = password;
    ComPtr<CUnZip> collection;
    EXPECT_EQ(UnZip(request, collection), failure) << password;
    EXPECT_EQ(ReadFileBytes(out + "/plain.txt"), "not secret");  // extracted before the refusal
  }

  ASSERT_EQ(mkdir((dir / "out-right").c_str(), 0755), 0);
  ZipRequest request = RequestFor(OpUnZip, zip, dir / "out-right");
  request.password = "right";
  ComPtr<CUnZip> collection;
  EXPECT_EQ(UnZip(request, collection), "");
  EXPECT_EQ(ReadFileBytes(dir / "out-right/s3.txt"), "secret s3.txt");
  EXPECT_EQ(SavedNames(*collection.Get()).front(), (std::pair<std::string, std::string>{"s3.txt", "s3.txt"}));
  ScopedVariant first;
  collection->get_Item(1, first.get());
  ComPtr<IUnZipEntries> entry;
  ComPtr<IDispatch>(first->pdispVal).As(IID_IUnZipEntries, entry);
  UniqueBstr required;
  entry->get_PasswordRequired(required.ReleaseAndGetAddressOf());
  EXPECT_EQ(required.ToUtf8(), "Yes");

  // List needs no password and tells which entries want one.
  ComPtr<CUnZip> list;
  EXPECT_EQ(UnZip(RequestFor(OpList, zip), list), "");
  ScopedVariant last;
  list->get_Item(4, last.get());
  ComPtr<IDispatch>(last->pdispVal).As(IID_IUnZipEntries, entry);
  entry->get_PasswordRequired(required.ReleaseAndGetAddressOf());
  EXPECT_EQ(required.ToUtf8(), "No");
}

TEST(UnZipCollectionExtract, DamagedOrEscapingEntriesAreSkippedAndTheRestExtracted) {
  ScratchDir dir;
  const std::string zip = dir / "mixed.zip";
  // Stored entries, so that one byte of data can be damaged where it lies.
  const CommandResult made = RunCommand(
      "python3 -c 'import sys,zipfile\nz=zipfile.ZipFile(sys.argv[1],\"w\")\n"
      "z.writestr(\"good1.txt\",\"first good\")\nz.writestr(\"bad.txt\",\"DAMAGE-ME-HERE\")\n"
      "z.writestr(\"../escape.txt\",\"outside\")\nz.writestr(\"good2.txt\",\"second good\")\nz.close()' " +
      ShellQuote(zip));
  ASSERT_EQ(made.exitStatus, 0) << made.output;
  std::string bytes = ReadFileBytes(zip);
  const std::string::size_type data = bytes.find("DAMAGE-ME-HERE");
  ASSERT_NE(data, std::string::npos);
  bytes[data] = 'd';  // the CRC no longer matches
  WriteFileBytes(zip, bytes);

  ASSERT_EQ(mkdir((dir / "out").c_str(), 0755), 0);
  ComPtr<CUnZip> collection;
  EXPECT_EQ(UnZip(RequestFor(OpUnZip, zip, dir / "out"), collection), "");
  EXPECT_EQ(SavedNames(*collection.Get()), (Pairs{{"good2.txt", "good2.txt"}, {"../escape.txt", ""}, {"bad.txt", ""},
                                           {"good1.txt", "good1.txt"}}));
  EXPECT_EQ(ReadFileBytes(dir / "out/good2.txt"), "second good");
  EXPECT_FALSE(Exists(dir / "escape.txt"));
}

}  // namespace
