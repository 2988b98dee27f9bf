// ZipArchiveOwnFileSourceTest.cpp -- the archive's own file offered as the source of a replacement is refused, losing nothing.
#include "ZipArchiveTestSupport.h"

#include "support/EntryEditPeers.h"
#include "support/ScratchDir.h"
#include "support/Shell.h"

#include <gtest/gtest.h>
#include <unistd.h>

namespace brevik::test {
namespace {

TEST(ZipArchiveOwnFileSource, AReplacementFromTheArchivesOwnFileKeepsTheEntryItWouldReplace) {
  ScratchDir dir;
  const std::string first = GeneratedBytes(3000, 41, true);
  const std::string middle = GeneratedBytes(2000, 42, false);
  const std::string last = GeneratedBytes(1000, 43, true);
  CZipArchive archive;
  ASSERT_TRUE(archive.Open(dir / "own.zip", CZipArchive::CreateNew));
  WriteTestEntry(archive, "first.txt", first, 6);
  WriteTestEntry(archive, "middle.bin", middle, 0);
  WriteTestEntry(archive, "last.txt", last, 6);
  // Replacing the last entry would cut it off before the source is read: the refusal must come
  // first. The same holds under another link to the file, by name or by index, stored or not.
  ASSERT_EQ(::link((dir / "own.zip").c_str(), (dir / "alias.zip").c_str()), 0);
  struct Attempt {
    const char* source;
    const char* storedName;
    int replaceIndex;
    int level;
  } attempts[] = {{"own.zip", "last.txt", -2, 6},  {"alias.zip", "last.txt", 2, 0},
                  {"own.zip", "middle.bin", 1, 0}, {"alias.zip", "middle.bin", -2, 6},
                  {"own.zip", "first.txt", 0, 6}};
  for (const Attempt& attempt : attempts) {
    AddFileRequest request;
    request.sourcePath = dir / attempt.source;
    request.storedName = attempt.storedName;
    request.replaceIndex = attempt.replaceIndex;
    request.level = attempt.level;
    EXPECT_FALSE(archive.AddFile(request)) << attempt.source << " as " << attempt.storedName;
    EXPECT_EQ(archive.GetAddRefusal(), AddSourceRefusal::IsArchive) << attempt.source << " as " << attempt.storedName;
    ASSERT_EQ(archive.GetCount(), 3);
  }
  EXPECT_TRUE(ReadTestEntry(archive, 0) == first);
  EXPECT_TRUE(ReadTestEntry(archive, 1) == middle);
  EXPECT_TRUE(ReadTestEntry(archive, 2) == last);
  // The archive still takes a real replacement after the refusals.
  WriteFileBytes(dir / "new-last.txt", "the new last entry");
  AddFileRequest replacement;
  replacement.sourcePath = dir / "new-last.txt";
  replacement.storedName = "last.txt";
  replacement.replaceIndex = -2;
  ASSERT_TRUE(archive.AddFile(replacement));
  EXPECT_NE(archive.GetAddRefusal(), AddSourceRefusal::IsArchive);
  archive.Close();

  EXPECT_EQ(PeerEntryNames(dir / "own.zip"), (std::vector<std::string>{"first.txt", "middle.bin", "last.txt"}));
  EXPECT_TRUE(PeerExtract(dir / "own.zip", "middle.bin") == middle);
  EXPECT_EQ(PeerExtract(dir / "own.zip", "last.txt"), "the new last entry");
  EXPECT_EQ(PeerTestFailures(dir / "own.zip"), "");
}

}  // namespace
}  // namespace brevik::test
