// SettingsLookupTest.cpp -- the box folder rule, the [Path] line of a page, the settings files.
#include "hosting/SettingsGetter.h"

#include <gtest/gtest.h>

#include <string>

#include "hosting/PathInFolder.h"
#include "hosting/SettingsFile.h"
#include "support/HostingPolicyInstall.h"
#include "support/Shell.h"

using brevik::test::HostingPolicyInstall;
using brevik::test::WriteFileBytes;

TEST(PathInFolder, TheFolderMustEndAtASeparator) {
  EXPECT_TRUE(PathIsInFolder("/srv/sites/a/data.zip", "/srv/sites/a"));
  EXPECT_TRUE(PathIsInFolder("/srv/sites/a", "/srv/sites/a"));
  EXPECT_TRUE(PathIsInFolder("/srv/sites/a/", "/srv/sites/a"));
  EXPECT_TRUE(PathIsInFolder("/srv/sites/a/x", "/srv/sites/a/"));
  EXPECT_TRUE(PathIsInFolder("/anything", "/"));
  // Another customer's folder that merely starts with the same letters.
  EXPECT_FALSE(PathIsInFolder("/srv/sites/ab/data.zip", "/srv/sites/a"));
  EXPECT_FALSE(PathIsInFolder("/srv/sites/a.old", "/srv/sites/a"));
  EXPECT_FALSE(PathIsInFolder("/srv/sites/a", "/srv/sites/a/"));
  EXPECT_FALSE(PathIsInFolder("/srv/sites", "/srv/sites/a"));
  // Disk paths are case-sensitive here: another spelling is another folder.
  EXPECT_FALSE(PathIsInFolder("/srv/sites/A/data.zip", "/srv/sites/a"));
  EXPECT_FALSE(PathIsInFolder("/srv/x", ""));
  EXPECT_FALSE(PathIsInFolder("", ""));
}

TEST(SettingsGetter, FirstPathLineHoldingThePageWins) {
  HostingPolicyInstall install;
  const std::string file = install.root() + "/WebSite.ini";
  WriteFileBytes(file,
                 "[Path]\n"
                 "NoEquals /srv/sites\n"
                 "Empty=\n"
                 "Blank =   \n"
                 "Neighbour=/srv/sites/ab\n"
                 "Spaced = /srv/sites/a \n"
                 "Inner=/srv/sites/a/shop\n"
                 "Root=/srv/sites/\n"
                 "[Other]\n"
                 "Wrong=/srv/sites/a/shop\n");
  SettingsGetter settings;
  // The folder is trimmed for the match but the line is handed back whole.
  EXPECT_EQ("Spaced = /srv/sites/a", settings.FindEntryByPathPrefix("path", "/srv/sites/a/x.cgi", file));
  EXPECT_EQ("Spaced = /srv/sites/a", settings.FindEntryByPathPrefix("Path", "/srv/sites/a/shop/x.cgi", file));
  EXPECT_EQ("Neighbour=/srv/sites/ab", settings.FindEntryByPathPrefix("Path", "/srv/sites/ab/x.cgi", file));
  // Neither "a" nor "ab" holds "abc"; the later, wider line does.
  EXPECT_EQ("Root=/srv/sites/", settings.FindEntryByPathPrefix("Path", "/srv/sites/abc/x.cgi", file));
  // Empty folders would hold every page; they are skipped.
  EXPECT_EQ("", settings.FindEntryByPathPrefix("Path", "/elsewhere/x.cgi", file));
  EXPECT_EQ("", settings.FindEntryByPathPrefix("Path", "", file));
  EXPECT_EQ("", settings.FindEntryByPathPrefix("Path", "/SRV/SITES/A/x.cgi", file));
  EXPECT_EQ("", settings.FindEntryByPathPrefix("Path", "/srv/sites/a/x.cgi", install.root() + "/none.ini"));
  EXPECT_EQ("/srv/sites/a/shop", settings.GetIniString("other", "WRONG", file));
}

TEST(SettingsFile, LocatesFilesInTheInstallationFolder) {
  HostingPolicyInstall install;
  std::string path;
  EXPECT_FALSE(LocateSettingsFile("Admin.ini", path));
  EXPECT_EQ("No such file or directory\n", path);

  install.WriteRegistryValues(install.installFolder(), std::nullopt);
  EXPECT_FALSE(LocateSettingsFile("Admin.ini", path));
  EXPECT_EQ("No such file or directory\n", path);
  install.WriteAdminIni("[Settings]\n");
  EXPECT_TRUE(LocateSettingsFile("Admin.ini", path));
  EXPECT_EQ(install.installFolder() + "/Admin.ini", path);

  install.WriteRegistryValues(install.installFolder() + "/", std::nullopt);
  EXPECT_TRUE(LocateSettingsFile("Admin.ini", path));
  EXPECT_EQ(install.installFolder() + "/Admin.ini", path);

  // A settings file under a plain file: the existence test's own error.
  install.WriteRegistryValues(install.installFolder() + "/Admin.ini", std::nullopt);
  EXPECT_FALSE(LocateSettingsFile("Admin.ini", path));
  EXPECT_EQ("Not a directory\n", path);

  // An empty folder must not make "/Admin.ini" the policy file.
  install.WriteRegistryValues("", std::nullopt);
  EXPECT_FALSE(LocateSettingsFile("Admin.ini", path));
  EXPECT_EQ("No such file or directory\n", path);

  install.WriteRegistry("\"InstallationPath\"=dword:00000001\n");
  EXPECT_FALSE(LocateSettingsFile("Admin.ini", path));
  EXPECT_EQ("The type you specified mismatch with registry value type", path);
}
