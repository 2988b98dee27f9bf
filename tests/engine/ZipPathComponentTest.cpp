// ZipPathComponentTest.cpp -- splitting and rebuilding absolute and relative POSIX paths.
#include "engine/ZipPathComponent.h"

#include <gtest/gtest.h>

namespace {

struct Expected {
  const char* path;
  const char* drive;
  const char* folder;
  const char* title;
  const char* extension;
  const char* fileName;
  const char* folderPath;
  const char* fullPath;
  const char* noDrive;
};

TEST(ZipPathComponent, SplitsAndRebuildsWithoutDoublingOrAddingSeparators) {
  const Expected cases[] = {
      {"/dir/sub/file.tar.gz", "/", "dir/sub", "file.tar", "gz", "file.tar.gz", "/dir/sub", "/dir/sub/file.tar.gz",
       "dir/sub/file.tar.gz"},
      {"dir/sub/file.txt", "", "dir/sub", "file", "txt", "file.txt", "dir/sub", "dir/sub/file.txt",
       "dir/sub/file.txt"},
      {"a.zip", "", "", "a", "zip", "a.zip", "", "a.zip", "a.zip"},
      {"/a.zip", "/", "", "a", "zip", "a.zip", "/", "/a.zip", "a.zip"},
      {"/", "/", "", "", "", "", "/", "/", ""},
      {"", "", "", "", "", "", "", "", ""},
      {"/dir/", "/", "dir", "", "", "", "/dir", "/dir", "dir"},
      {"dir/sub///", "", "dir/sub", "", "", "", "dir/sub", "dir/sub", "dir/sub"},
      {"//srv//x/a.b.c.d", "/", "srv//x", "a.b.c", "d", "a.b.c.d", "/srv//x", "/srv//x/a.b.c.d", "srv//x/a.b.c.d"},
      {"/home/u/.profile", "/", "home/u", ".profile", "", ".profile", "/home/u", "/home/u/.profile",
       "home/u/.profile"},
      {"/home/u/.config.json", "/", "home/u", ".config", "json", ".config.json", "/home/u",
       "/home/u/.config.json", "home/u/.config.json"},
      {"README0.", "", "", "README0.", "", "README0.", "", "README0.", "README0."},
      {"/d/name..", "/", "d", "name..", "", "name..", "/d", "/d/name..", "d/name.."},
      {"/d/..", "/", "d", "..", "", "..", "/d", "/d/..", "d/.."},
      {"back\\slash\\name.txt", "", "", "back\\slash\\name", "txt", "back\\slash\\name.txt", "",
       "back\\slash\\name.txt", "back\\slash\\name.txt"},
      {"/x\\y/z", "/", "x\\y", "z", "", "z", "/x\\y", "/x\\y/z", "x\\y/z"},
      {"./rel/f", "", "./rel", "f", "", "f", "./rel", "./rel/f", "./rel/f"},
  };
  for (const Expected& c : cases) {
    const CZipPathComponent split(c.path);
    SCOPED_TRACE(c.path);
    EXPECT_EQ(split.GetFileDrive(), c.drive);
    EXPECT_EQ(split.GetFileDir(), c.folder);
    EXPECT_EQ(split.GetFileTitle(), c.title);
    EXPECT_EQ(split.GetFileExt(), c.extension);
    EXPECT_EQ(split.GetFileName(), c.fileName);
    EXPECT_EQ(split.GetFolderPath(), c.folderPath);
    EXPECT_EQ(split.GetFullPath(), c.fullPath);
    EXPECT_EQ(split.GetNoDrive(), c.noDrive);
    EXPECT_EQ(split.GetPrefix(), "");
  }
}

TEST(ZipPathComponent, ReplacingTheExtensionRebuildsTheName) {
  CZipPathComponent volume("/arch/b.dat");
  volume.SetExtension("z01");
  EXPECT_EQ(volume.GetFullPath(), "/arch/b.z01");
  volume.SetExtension("..zip");
  EXPECT_EQ(volume.GetFullPath(), "/arch/b.zip");
  volume.SetExtension("");
  EXPECT_EQ(volume.GetFullPath(), "/arch/b");

  CZipPathComponent bare("notes");
  bare.SetExtension("zip");
  EXPECT_EQ(bare.GetFullPath(), "notes.zip");
  bare.SetFileTitle("other");
  EXPECT_EQ(bare.GetFileName(), "other.zip");

  // Splitting again forgets every earlier piece.
  bare.SplitPath("/only/");
  EXPECT_EQ(bare.GetFileName(), "");
  EXPECT_EQ(bare.GetFullPath(), "/only");
}

}  // namespace
