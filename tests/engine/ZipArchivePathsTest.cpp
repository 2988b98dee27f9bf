// ZipArchivePathsTest.cpp -- stored names from disk paths, extraction targets and their confinement.
#include "engine/ZipArchive.h"
#include "engine/ZipMemFile.h"
#include "engine/ZipPathComponent.h"

#include <gtest/gtest.h>
#include <strings.h>

namespace {

int ExactCompare(std::string_view a, std::string_view b) { return a.compare(b); }

int CaseBlindCompare(std::string_view a, std::string_view b) {
  return strcasecmp(std::string(a).c_str(), std::string(b).c_str());
}

TEST(ZipArchivePaths, StripPathPrefixRemovesWholeLeadingComponentsOnly) {
  std::string path = "/Data/sub/a.txt";
  EXPECT_TRUE(CZipArchive::StripPathPrefix("/data", path, CaseBlindCompare));
  EXPECT_EQ(path, "sub/a.txt");

  path = "/data/sub/a.txt";
  EXPECT_TRUE(CZipArchive::StripPathPrefix("/data///", path, ExactCompare));
  EXPECT_EQ(path, "sub/a.txt");

  path = "/database/a.txt";  // a longer folder name is not below /data
  EXPECT_FALSE(CZipArchive::StripPathPrefix("/data", path, ExactCompare));
  EXPECT_EQ(path, "/database/a.txt");

  path = "/data";
  EXPECT_TRUE(CZipArchive::StripPathPrefix("/data", path, ExactCompare));
  EXPECT_EQ(path, "");

  path = "/data//x";  // every separator after the prefix goes
  EXPECT_TRUE(CZipArchive::StripPathPrefix("/data", path, ExactCompare));
  EXPECT_EQ(path, "x");

  path = "/da";
  EXPECT_FALSE(CZipArchive::StripPathPrefix("/data", path, ExactCompare));
  path = "/data/x";  // separators cut down to the root, which is a prefix of every absolute path
  EXPECT_TRUE(CZipArchive::StripPathPrefix("///", path, ExactCompare));
  EXPECT_EQ(path, "data/x");
  path = "data/x";
  EXPECT_FALSE(CZipArchive::StripPathPrefix("", path, ExactCompare));
  EXPECT_EQ(path, "data/x");
}

TEST(ZipArchivePaths, CleanStoredNameDropsRootAndDotComponents) {
  EXPECT_EQ(CZipArchive::CleanStoredName("/dir/sub/file.txt"), "dir/sub/file.txt");
  EXPECT_EQ(CZipArchive::CleanStoredName("../x"), "x");
  EXPECT_EQ(CZipArchive::CleanStoredName("./a/./b/../c"), "a/b/c");
  EXPECT_EQ(CZipArchive::CleanStoredName("//a//b"), "a/b");
  EXPECT_EQ(CZipArchive::CleanStoredName("a\\..\\b"), "a\\..\\b");  // "\" is an ordinary character here
  EXPECT_EQ(CZipArchive::CleanStoredName("README0."), "README0.");
}

TEST(ZipArchivePaths, IsInsideFolderRefusesClimbingWithEitherSeparator) {
  EXPECT_TRUE(CZipArchive::IsInsideFolder("/out/a/b.txt", "/out"));
  EXPECT_TRUE(CZipArchive::IsInsideFolder("/out/a/b.txt", "/out/"));
  EXPECT_TRUE(CZipArchive::IsInsideFolder("/out", "/out"));
  EXPECT_TRUE(CZipArchive::IsInsideFolder("/out/..a/b", "/out"));  // a name that merely starts with dots
  EXPECT_FALSE(CZipArchive::IsInsideFolder("/out/../evil.txt", "/out"));
  EXPECT_FALSE(CZipArchive::IsInsideFolder("/out/a/../../evil.txt", "/out"));
  EXPECT_FALSE(CZipArchive::IsInsideFolder("/out/a\\..\\..\\evil.txt", "/out"));
  EXPECT_FALSE(CZipArchive::IsInsideFolder("/outside/x", "/out"));
  EXPECT_TRUE(CZipArchive::IsInsideFolder("a/b", ""));
  EXPECT_FALSE(CZipArchive::IsInsideFolder("/a/b", ""));
  EXPECT_FALSE(CZipArchive::IsInsideFolder("../b", ""));
}

TEST(ZipArchivePaths, RootPathShortensNamesAndExtractionTargetsAreBuiltInsideTheFolder) {
  CZipMemFile memory;
  CZipArchive archive;
  archive.SetRootPath("/ignored");  // no archive open: ignored
  ASSERT_TRUE(archive.Open(memory, CZipArchive::CreateNew));
  EXPECT_EQ(archive.GetRootPath(), "");

  archive.SetRootPath("/data///");
  EXPECT_EQ(archive.GetRootPath(), "/data");
  EXPECT_EQ(archive.NameInArchiveFor(CZipPathComponent("/data/sub/b.txt")), "sub/b.txt");
  EXPECT_EQ(archive.NameInArchiveFor(CZipPathComponent("/other/a.txt")), "a.txt");
  archive.SetRootPath("///");  // the lone root survives the cut
  EXPECT_EQ(archive.GetRootPath(), "/");
  EXPECT_EQ(archive.NameInArchiveFor(CZipPathComponent("/data/sub/b.txt")), "data/sub/b.txt");
  archive.SetRootPath(nullptr);
  EXPECT_EQ(archive.NameInArchiveFor(CZipPathComponent("/data/sub/b.txt")), "b.txt");

  EXPECT_EQ(archive.ExtractedPathFor("a/b.txt", "/out/", true), "/out/a/b.txt");
  EXPECT_EQ(archive.ExtractedPathFor("a/b.txt", "/out", false), "/out/b.txt");
  EXPECT_EQ(archive.ExtractedPathFor("/abs/b.txt", "/out", true), "/out/abs/b.txt");
  EXPECT_EQ(archive.ExtractedPathFor("dir/", "/out", true), "/out/dir");
  EXPECT_EQ(archive.ExtractedPathFor("a/b.txt", "/out", true, "c.txt"), "/out/c.txt");
  EXPECT_EQ(archive.ExtractedPathFor("", "/out", true), "/out");
  EXPECT_EQ(archive.ExtractedPathFor("b.txt", "/", true), "/b.txt");
  EXPECT_EQ(archive.ExtractedPathFor("b.txt", "", true), "b.txt");
  archive.Close(CZipArchive::CloseAfterError);
}

}  // namespace
