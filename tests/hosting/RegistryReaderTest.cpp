// RegistryReaderTest.cpp -- root key names, typed value reads and their failure texts.
#include "hosting/RegistryReader.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "hosting/Helpers.h"
#include "hosting/SettingsGetter.h"
#include "support/HostingPolicyInstall.h"

using brevik::test::HostingPolicyInstall;

TEST(RegistryReader, RootKeyNamesMapWithoutRegardToCase) {
  EXPECT_EQ(RegistryRoot::ClassesRoot, RegistryReader::RootKeyFromName("HKEY_CLASSES_ROOT"));
  EXPECT_EQ(RegistryRoot::CurrentConfig, RegistryReader::RootKeyFromName("hkey_current_config"));
  EXPECT_EQ(RegistryRoot::CurrentUser, RegistryReader::RootKeyFromName("HKEY_CURRENT_USER"));
  EXPECT_EQ(RegistryRoot::LocalMachine, RegistryReader::RootKeyFromName("Hkey_Local_Machine"));
  EXPECT_EQ(RegistryRoot::Users, RegistryReader::RootKeyFromName("HKEY_USERS"));
  EXPECT_EQ(RegistryRoot::PerformanceData,
            RegistryReader::RootKeyFromName("HKEY_PERFORMANCE_DATA"));
  EXPECT_EQ(RegistryRoot::DynData, RegistryReader::RootKeyFromName("HKEY_DYN_DATA"));
  EXPECT_EQ(RegistryRoot::None, RegistryReader::RootKeyFromName("HKLM"));
  EXPECT_EQ(RegistryRoot::None, RegistryReader::RootKeyFromName("HKEY_LOCAL_MACHINE "));
  EXPECT_EQ(RegistryRoot::None, RegistryReader::RootKeyFromName(""));
}

TEST(RegistryReader, ReadsTextAndNumberValuesOrSaysWhyNot) {
  HostingPolicyInstall install;
  const std::string longText(600, 'p');  // longer than the 255 bytes of a fixed buffer
  install.WriteRegistry("\"Folder\"=\"/opt/tessaly\"\n"
                        "\"Long\"=\"" + longText + "\"\n"
                        "\"Empty\"=\"\"\n"
                        "\"Switch\"=dword:ffffffff\n"
                        "\"Expand\"=hex(2):2f,00\n"
                        "@=\"default\"\n");
  const std::string key = "SOFTWARE\\Halden Works\\Tessaly";
  RegistryReader reader;
  std::string text;
  EXPECT_TRUE(reader.ReadStringValue(RegistryRoot::LocalMachine, key, "folder", text));
  EXPECT_EQ("/opt/tessaly", text);
  EXPECT_TRUE(reader.ReadStringValue(RegistryRoot::LocalMachine, "software\\halden works\\TESSALY",
                                     "Long", text));
  EXPECT_EQ(longText, text);
  EXPECT_TRUE(reader.ReadStringValue(RegistryRoot::LocalMachine, key, "Empty", text));
  EXPECT_EQ("", text);
  EXPECT_TRUE(reader.ReadStringValue(RegistryRoot::LocalMachine, key, "", text));
  EXPECT_EQ("default", text);
  EXPECT_TRUE(reader.ReadNumberValue(RegistryRoot::LocalMachine, key, "Switch", text));
  EXPECT_EQ("4294967295", text);

  EXPECT_FALSE(reader.ReadNumberValue(RegistryRoot::LocalMachine, key, "Folder", text));
  EXPECT_EQ("The type you specified mismatch with registry value type", text);
  EXPECT_FALSE(reader.ReadStringValue(RegistryRoot::LocalMachine, key, "Switch", text));
  EXPECT_EQ("The type you specified mismatch with registry value type", text);
  EXPECT_FALSE(reader.ReadStringValue(RegistryRoot::LocalMachine, key, "Expand", text));
  EXPECT_EQ("The type you specified mismatch with registry value type", text);

  EXPECT_FALSE(reader.ReadStringValue(RegistryRoot::LocalMachine, key, "Absent", text));
  EXPECT_EQ("No such file or directory\n", text);
  EXPECT_FALSE(reader.ReadStringValue(RegistryRoot::LocalMachine, key + "\\Sub", "Folder", text));
  EXPECT_EQ("No such file or directory\n", text);
  EXPECT_FALSE(reader.ReadStringValue(RegistryRoot::CurrentUser, key, "Folder", text));
  EXPECT_EQ("No such file or directory\n", text);
  EXPECT_FALSE(reader.ReadStringValue(RegistryRoot::None, key, "Folder", text));
  EXPECT_EQ(FormatSystemMessage(EBADF), text);
}

TEST(RegistryReader, DamagedOrMissingRegistryFile) {
  HostingPolicyInstall install;
  RegistryReader reader;
  std::string text;
  // No file at all is an empty registry.
  EXPECT_FALSE(reader.ReadStringValue(RegistryRoot::LocalMachine, "SOFTWARE", "x", text));
  EXPECT_EQ("No such file or directory\n", text);
  install.WriteRegistry("this is not a value line\n");
  EXPECT_FALSE(reader.ReadStringValue(RegistryRoot::LocalMachine, "SOFTWARE\\Halden Works\\Tessaly",
                                      "x", text));
  EXPECT_EQ(FormatSystemMessage(EBADMSG), text);
}

TEST(SettingsGetter, RegistryValuesByFullKeyPath) {
  HostingPolicyInstall install;
  install.WriteRegistryValues("/opt/tessaly", 65536);
  SettingsGetter settings;
  std::string text;
  EXPECT_TRUE(settings.GetRegistryValue("hkey_local_machine\\SOFTWARE\\Halden Works\\Tessaly",
                                        SettingsGetter::kNumberValue, "EnableSecurityBox", text));
  EXPECT_EQ("65536", text);
  EXPECT_TRUE(settings.GetRegistryValue("HKEY_LOCAL_MACHINE\\SOFTWARE\\Halden Works\\Tessaly",
                                        SettingsGetter::kTextValue, "InstallationPath", text));
  EXPECT_EQ("/opt/tessaly", text);
  EXPECT_FALSE(settings.GetRegistryValue("HKEY_LOCAL_MACHINE\\SOFTWARE\\Halden Works\\Tessaly",
                                         SettingsGetter::kNumberValue, "InstallationPath", text));
  EXPECT_EQ("The type you specified mismatch with registry value type", text);
  // Without a "\" there is neither a root nor a sub key.
  EXPECT_FALSE(settings.GetRegistryValue("HKEY_LOCAL_MACHINE", SettingsGetter::kNumberValue,
                                         "EnableSecurityBox", text));
  EXPECT_EQ(FormatSystemMessage(EBADF), text);
  EXPECT_FALSE(settings.GetRegistryValue("HKLM\\SOFTWARE\\Halden Works\\Tessaly",
                                         SettingsGetter::kNumberValue, "EnableSecurityBox", text));
  EXPECT_EQ(FormatSystemMessage(EBADF), text);
}
