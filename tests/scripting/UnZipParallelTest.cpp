// UnZipParallelTest.cpp -- UnZip on worker threads: the names, files and reasons of one thread.
#include "scripting/CUnZip.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include "frame/automation/IUnZipEntries.h"
#include "frame/automation/ScopedVariant.h"
#include "frame/automation/UniqueBstr.h"
#include "support/HostingPolicyInstall.h"
#include "support/ScratchDir.h"
#include "support/Shell.h"
#include "ZipOperationsTestHelpers.h"

using namespace brevik::test;

namespace {

// Name, SavedName and ErrorReason of every item, in collection order.
std::vector<std::string> Items(CUnZip& collection) {
  LONG count = 0;
  collection.get_Count(&count);
  std::vector<std::string> items;
  for (LONG i = 1; i <= count; ++i) {
    ScopedVariant item;
    collection.get_Item(i, item.get());
    ComPtr<IUnZipEntries> entry;
    ComPtr<IDispatch>(item->pdispVal).As(IID_IUnZipEntries, entry);
    UniqueBstr name, saved, reason;
    entry->get_Name(name.ReleaseAndGetAddressOf());
    entry->get_SavedName(saved.ReleaseAndGetAddressOf());
    entry->get_ErrorReason(reason.ReleaseAndGetAddressOf());
    items.push_back(name.ToUtf8() + " | " + saved.ToUtf8() + " | " + reason.ToUtf8());
  }
  return items;
}

// UnZip of `zip` into `out` (made with an existing "r.txt"), unique names when `makeUnique`.
std::vector<std::string> UnZipInto(const std::string& zip, const std::string& out, bool makeUnique) {
  RunCommand("rm -rf " + ShellQuote(out));
  EXPECT_EQ(mkdir(out.c_str(), 0755), 0);
  WriteFileBytes(out + "/r.txt", "existing");
  ZipRequest request = RequestFor(OpUnZip, zip, out);
  request.overwrite = makeUnique ? 0 : 1;
  ComPtr<CUnZip> collection;
  EXPECT_EQ(CUnZip::Create(collection), S_OK);
  EXPECT_EQ(collection->Fill(request), "");
  return Items(*collection.Get());
}

TEST(UnZipParallel, UniqueNamesOverwritesAndReasonsAreThoseOfOneThread) {
  HostingPolicyInstall machine;
  ScratchDir dir;
  const std::string zip = dir / "names.zip";
  // Names that collide with each other, with a numbered name an earlier entry takes, and with
  // a file already there; one entry that leaves the target.
  std::vector<std::pair<std::string, std::string>> items;
  for (int round = 0; round < 6; ++round) {
    items.push_back({"r.txt", "r" + std::to_string(round) + GeneratedBytes(20000, round, true)});
    items.push_back({"r" + std::to_string(round) + ".txt", "literal " + std::to_string(round)});
    items.push_back({"d/f" + std::to_string(round) + ".txt", GeneratedBytes(30000, round + 10, true)});
  }
  items.push_back({"../out.txt", "leaves"});
  WritePeerArchive(zip, items);

  for (const bool makeUnique : {true, false}) {
    std::vector<std::string> one;
    {
      HostingScopedEnv threads("BREVIK_THREADS", "1");
      one = UnZipInto(zip, dir / "one", makeUnique);
    }
    const std::vector<std::string> all = UnZipInto(zip, dir / "all", makeUnique);
    EXPECT_EQ(all, one) << makeUnique;
    EXPECT_EQ(RunCommand("diff -r " + ShellQuote(dir / "one") + " " + ShellQuote(dir / "all")).exitStatus, 0);
    ASSERT_EQ(one.size(), 19u);
    EXPECT_EQ(one[0], "../out.txt |  | its name leads outside the target folder");
    // The last "r.txt": under MAKEUNIQUE the number after those the earlier ones took.
    EXPECT_EQ(one[3], makeUnique ? "r.txt | r5.txt | " : "r.txt | r.txt | ");
  }
  EXPECT_EQ(ReadFileBytes(dir / "all/r.txt").substr(0, 2), "r5");
}

}  // namespace
