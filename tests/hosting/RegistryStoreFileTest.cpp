// RegistryStoreFileTest.cpp -- the registry file: missing, damaged, replaced whole, read by many.
#include "hosting/RegistryStore.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "support/ScratchDir.h"
#include "support/Shell.h"

using brevik::test::ReadFileBytes;
using brevik::test::ScratchDir;
using brevik::test::WriteFileBytes;

namespace {

constexpr const char* kKey = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Halden Works\\Tessaly";

std::size_t EntriesIn(const std::string& folder) {
  std::size_t count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder)) ++count;
  return count;
}

/// Runs `work` in a child process; the child's exit status is 0 when `work` returned true.
pid_t Spawn(const std::function<bool()>& work) {
  const pid_t child = fork();
  if (child == 0) _exit(work() ? 0 : 1);
  return child;
}

int ExitStatusOf(pid_t child) {
  int status = 0;
  if (waitpid(child, &status, 0) != child) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
}

}  // namespace

TEST(RegistryStoreFile, PathComesFromTheEnvironmentOrTheSystemFolder) {
  const char* saved = std::getenv("BREVIK_REGISTRY");
  const std::string restore = saved ? saved : "";
  setenv("BREVIK_REGISTRY", "/tmp/elsewhere.reg", 1);
  EXPECT_EQ("/tmp/elsewhere.reg", RegistryStore().path());
  setenv("BREVIK_REGISTRY", "", 1);
  EXPECT_EQ("/etc/brevik/registry.reg", RegistryStore::DefaultPath());
  unsetenv("BREVIK_REGISTRY");
  EXPECT_EQ("/etc/brevik/registry.reg", RegistryStore::DefaultPath());
  if (saved) setenv("BREVIK_REGISTRY", restore.c_str(), 1);
}

TEST(RegistryStoreFile, MissingFileIsAnEmptyRegistryUntilTheFirstWrite) {
  ScratchDir scratch;
  const RegistryStore store(scratch / "etc/brevik/registry.reg");
  RegistryValue value;
  RegistryResult result = store.QueryValue(kKey, "InstallationPath", value);
  EXPECT_EQ(ENOENT, result.error);
  EXPECT_EQ(std::string("the key \"") + kKey + "\" does not exist", result.detail);
  EXPECT_EQ(ENOENT, store.KeyExists("HKEY_LOCAL_MACHINE\\SOFTWARE").error);
  EXPECT_TRUE(store.KeyExists("HKEY_LOCAL_MACHINE").ok());  // root keys always exist
  EXPECT_FALSE(std::filesystem::exists(scratch / "etc"));    // reading creates nothing

  // The first write makes the folders and the file.
  ASSERT_TRUE(store.SetStringValue(kKey, "InstallationPath", "/opt/tessaly").ok());
  ASSERT_TRUE(store.SetDwordValue(kKey, "EnableSecurityBox", 1).ok());
  EXPECT_EQ(std::string("REGEDIT4\n\n[") + kKey + "]\n\"InstallationPath\"=\"/opt/tessaly\"\n"
                "\"EnableSecurityBox\"=dword:00000001\n\n",
            ReadFileBytes(store.path()));
  result = store.QueryValue("hkey_local_machine\\software\\halden works\\TESSALY", "enablesecuritybox", value);
  ASSERT_TRUE(result.ok()) << result.detail;
  EXPECT_EQ(kRegDword, value.type);
  EXPECT_EQ(1u, value.number);

  result = store.QueryValue(kKey, "Missing", value);
  EXPECT_EQ(ENOENT, result.error);
  EXPECT_EQ(std::string("the key \"") + kKey + "\" has no value \"Missing\"", result.detail);
  result = store.QueryValue(kKey, "", value);
  EXPECT_EQ(std::string("the key \"") + kKey + "\" has no default value", result.detail);
}

TEST(RegistryStoreFile, EditsKeysAndValues) {
  ScratchDir scratch;
  const RegistryStore store(scratch / "registry.reg");
  const std::string longText(1 << 20, 'v');  // values of any length
  ASSERT_TRUE(store.SetStringValue("HKEY_CLASSES_ROOT\\A\\B\\C", "", longText).ok());
  ASSERT_TRUE(store.CreateKey("HKEY_CLASSES_ROOT\\A\\Empty").ok());
  ASSERT_TRUE(store.CreateKey("HKEY_CLASSES_ROOT\\a\\empty").ok());  // already there
  RegistryValue value;
  ASSERT_TRUE(store.QueryValue("HKEY_CLASSES_ROOT\\a\\b\\c", "", value).ok());
  EXPECT_EQ(longText, value.text);
  EXPECT_EQ(longText.size() + 1, value.DataSize());
  EXPECT_TRUE(store.KeyExists("HKEY_CLASSES_ROOT\\A\\Empty").ok());

  EXPECT_TRUE(store.DeleteValue("HKEY_CLASSES_ROOT\\A\\B\\C", "").ok());
  EXPECT_EQ(ENOENT, store.DeleteValue("HKEY_CLASSES_ROOT\\A\\B\\C", "").error);
  EXPECT_EQ(ENOENT, store.DeleteValue("HKEY_CLASSES_ROOT\\A\\Nope", "x").error);
  EXPECT_TRUE(store.KeyExists("HKEY_CLASSES_ROOT\\A\\B\\C").ok());  // an emptied key stays
  EXPECT_TRUE(store.DeleteKey("HKEY_CLASSES_ROOT\\a").ok());       // with all its sub keys
  EXPECT_EQ(ENOENT, store.KeyExists("HKEY_CLASSES_ROOT\\A\\B\\C").error);
  EXPECT_EQ(ENOENT, store.DeleteKey("HKEY_CLASSES_ROOT\\A").error);
  EXPECT_EQ("REGEDIT4\n\n", ReadFileBytes(store.path()));

  RegistryResult result = store.SetStringValue("HKEY_CLASSES_ROOT\\A", "", std::string("a\0b", 3));
  EXPECT_EQ(EINVAL, result.error);
  EXPECT_EQ("a registry text or value name cannot hold a zero byte", result.detail);
  result = store.SetDwordValue("HKLM\\A", "x", 1);
  EXPECT_EQ(EINVAL, result.error);
  EXPECT_EQ("\"HKLM\" is not a root key of the registry", result.detail);
  EXPECT_EQ("REGEDIT4\n\n", ReadFileBytes(store.path()));
}

TEST(RegistryStoreFile, WritersReplaceTheFileWholeAndKeepItsMode) {
  ScratchDir scratch;
  const RegistryStore store(scratch / "registry.reg");
  ASSERT_TRUE(store.SetStringValue(kKey, "A", "1").ok());
  ASSERT_EQ(0, chmod(store.path().c_str(), 0640));
  struct stat before {};
  ASSERT_EQ(0, stat(store.path().c_str(), &before));
  ASSERT_TRUE(store.SetStringValue(kKey, "B", "2").ok());
  struct stat after {};
  ASSERT_EQ(0, stat(store.path().c_str(), &after));
  EXPECT_NE(before.st_ino, after.st_ino);  // a new file renamed into place, not rewritten in place
  EXPECT_EQ(0640u, after.st_mode & 07777);
  EXPECT_EQ(1u, EntriesIn(scratch.path()));  // no temporary file left behind

  // A failing edit writes nothing; a failing edit of a missing file leaves no file.
  const std::string text = ReadFileBytes(store.path());
  const RegistryResult refused = store.Update([](RegistryTree&) { return RegistryResult::Failure(EINVAL, "no"); });
  EXPECT_EQ(EINVAL, refused.error);
  EXPECT_EQ("no", refused.detail);
  EXPECT_EQ(text, ReadFileBytes(store.path()));
  const RegistryStore fresh(scratch / "fresh.reg");
  EXPECT_EQ(ENOENT, fresh.DeleteKey("HKEY_USERS\\X").error);
  EXPECT_FALSE(std::filesystem::exists(fresh.path()));

  // A registry file reached through a symbolic link is replaced where the link points.
  ASSERT_EQ(0, symlink(store.path().c_str(), (scratch / "link.reg").c_str()));
  const RegistryStore linked(scratch / "link.reg");
  ASSERT_TRUE(linked.SetStringValue(kKey, "C", "3").ok());
  EXPECT_TRUE(std::filesystem::is_symlink(linked.path()));
  RegistryValue value;
  ASSERT_TRUE(store.QueryValue(kKey, "C", value).ok());
  EXPECT_EQ("3", value.text);
}

TEST(RegistryStoreFile, DamagedFileIsReportedAndNeverRewritten) {
  ScratchDir scratch;
  const RegistryStore store(scratch / "registry.reg");
  const std::string damaged = "REGEDIT4\n[HKEY_USERS\\A]\n\"a\"=\"unfinished\n";
  WriteFileBytes(store.path(), damaged);
  const std::string expected = store.path() + " line 3: a quoted text without its closing quote";
  RegistryValue value;
  RegistryResult result = store.QueryValue("HKEY_USERS\\A", "a", value);
  EXPECT_EQ(EBADMSG, result.error);
  EXPECT_EQ(expected, result.detail);
  result = store.SetStringValue("HKEY_USERS\\B", "", "x");
  EXPECT_EQ(EBADMSG, result.error);
  EXPECT_EQ(expected, result.detail);
  EXPECT_EQ(damaged, ReadFileBytes(store.path()));
  EXPECT_EQ(1u, EntriesIn(scratch.path()));

  // Arbitrary bytes never crash a reader; they read or they are refused as damaged.
  std::string noise = brevik::test::GeneratedBytes(4096, 7, false);
  for (std::size_t cut = 0; cut < noise.size(); cut += 97) {
    WriteFileBytes(store.path(), "REGEDIT4\n[HKEY_USERS\\A]\n" + noise.substr(0, cut));
    RegistryTree tree;
    const RegistryResult read = store.Read(tree);
    EXPECT_TRUE(read.ok() || read.error == EBADMSG) << read.detail;
  }
}

TEST(RegistryStoreFile, UnreadableFileGivesAccessDenied) {
  ScratchDir scratch;
  const RegistryStore store(scratch / "registry.reg");
  ASSERT_TRUE(store.CreateKey("HKEY_USERS\\A").ok());
  ASSERT_EQ(0, chmod(store.path().c_str(), 0));
  // Root reads every file, so the check runs as an account without rights.
  const pid_t child = Spawn([&] {
    if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) return false;
    const RegistryResult read = store.KeyExists("HKEY_USERS\\A");
    const RegistryResult write = store.CreateKey("HKEY_USERS\\B");
    return read.error == EACCES && read.detail == store.path() + ": cannot open: Permission denied" &&
           write.error == EACCES && write.detail == store.path() + ": cannot open: Permission denied";
  });
  EXPECT_EQ(0, ExitStatusOf(child));
}

TEST(RegistryStoreFile, ConcurrentWritersLoseNothingAndReadersSeeWholeFiles) {
  ScratchDir scratch;
  const RegistryStore store(scratch / "registry.reg");
  constexpr int kWriters = 4;
  constexpr int kValuesEach = 25;
  // Each value is long, so a half-written file would be caught by the readers below.
  const std::string payload(20000, 'p');
  pid_t writers[kWriters];
  for (int w = 0; w < kWriters; ++w) {
    writers[w] = Spawn([&, w] {
      for (int i = 0; i < kValuesEach; ++i) {
        const std::string name = "w" + std::to_string(w) + "v" + std::to_string(i);
        if (!store.SetStringValue("HKEY_USERS\\Shared", name, payload + name).ok()) return false;
      }
      return true;
    });
  }
  const pid_t reader = Spawn([&] {
    for (int i = 0; i < 200; ++i) {
      RegistryTree tree;
      const RegistryResult result = store.Read(tree);
      if (!result.ok()) return false;
      const RegistryKey* key = tree.FindKey("HKEY_USERS\\Shared");
      if (key != nullptr) {
        for (const RegistryValue& value : key->values()) {
          if (value.text != payload + value.name) return false;
        }
      }
    }
    return true;
  });
  for (const pid_t writer : writers) EXPECT_EQ(0, ExitStatusOf(writer));
  EXPECT_EQ(0, ExitStatusOf(reader));

  RegistryTree tree;
  ASSERT_TRUE(store.Read(tree).ok());
  const RegistryKey* key = tree.FindKey("HKEY_USERS\\Shared");
  ASSERT_NE(nullptr, key);
  EXPECT_EQ(static_cast<std::size_t>(kWriters * kValuesEach), key->values().size());
  EXPECT_EQ(1u, EntriesIn(scratch.path()));
}
