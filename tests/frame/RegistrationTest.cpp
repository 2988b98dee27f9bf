// RegistrationTest.cpp -- what DllRegisterServer writes and DllUnregisterServer removes.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>

#include "frame/automation/Guid.h"
#include "frame/module/ComponentRegistrar.h"
#include "frame/module/ModuleExports.h"
#include "hosting/RegistryStore.h"
#include "support/ScratchDir.h"
#include "support/Shell.h"

using brevik::test::ReadFileBytes;
using brevik::test::ScratchDir;
using brevik::test::WriteFileBytes;

namespace {

/// The registration of the ZIP class and its type library for a library at `path` in `folder`,
/// key by key as the table of registry entries lists them.
std::string ExpectedRegistration(const std::string& path, const std::string& folder) {
  const std::string clsid = GuidToBracedText(CLSID_ZIP);
  const std::string libid = GuidToBracedText(LIBID_BREVIKLib);
  const std::string root = "HKEY_CLASSES_ROOT\\";
  const std::string classKey = root + "CLSID\\" + clsid;
  const std::string typeLib = root + "TypeLib\\" + libid + "\\1.0";
  std::string text = "REGEDIT4\n\n";
  auto key = [&](const std::string& name, const std::string& values) { text += "[" + name + "]\n" + values + "\n"; };
  key(root + "Brevik.ZIP.1", "@=\"ZIP Class\"\n");
  key(root + "Brevik.ZIP.1\\CLSID", "@=\"" + clsid + "\"\n");
  key(root + "Brevik.ZIP", "@=\"ZIP Class\"\n");
  key(root + "Brevik.ZIP\\CLSID", "@=\"" + clsid + "\"\n");
  key(root + "Brevik.ZIP\\CurVer", "@=\"Brevik.ZIP.1\"\n");
  key(classKey, "@=\"ZIP Class\"\n");
  key(classKey + "\\ProgID", "@=\"Brevik.ZIP.1\"\n");
  key(classKey + "\\VersionIndependentProgID", "@=\"Brevik.ZIP\"\n");
  key(classKey + "\\Programmable", "");
  key(classKey + "\\InprocServer32", "@=\"" + path + "\"\n\"ThreadingModel\"=\"Apartment\"\n");
  key(classKey + "\\TypeLib", "@=\"" + libid + "\"\n");
  key(typeLib, "@=\"Brevik 1.0 Type Library\"\n");
  key(typeLib + "\\409\\linux", "@=\"" + path + "\"\n");
  key(typeLib + "\\FLAGS", "@=\"0\"\n");
  key(typeLib + "\\HELPDIR", "@=\"" + folder + "\"\n");
  for (const auto& [iid, name] : {std::pair{&IID_IZIP, "IZIP"}, {&IID_IUnZip, "IUnZip"}, {&IID_IUnZipEntries, "IUnZipEntries"}}) {
    key(root + "Interface\\" + GuidToBracedText(*iid), std::string("@=\"") + name + "\"\n");
    key(root + "Interface\\" + GuidToBracedText(*iid) + "\\TypeLib", "@=\"" + libid + "\"\n\"Version\"=\"1.0\"\n");
  }
  return text;
}

/// Points BREVIK_REGISTRY at a file for one test and restores the variable afterwards.
class RegistryEnvironment {
public:
  explicit RegistryEnvironment(const std::string& path) {
    const char* saved = std::getenv("BREVIK_REGISTRY");
    hadValue_ = saved != nullptr;
    if (hadValue_) saved_ = saved;
    setenv("BREVIK_REGISTRY", path.c_str(), 1);
  }
  ~RegistryEnvironment() {
    if (hadValue_) {
      setenv("BREVIK_REGISTRY", saved_.c_str(), 1);
    } else {
      unsetenv("BREVIK_REGISTRY");
    }
  }

private:
  bool hadValue_ = false;
  std::string saved_;
};

int RunInChild(const std::function<bool()>& work) {
  const pid_t child = fork();
  if (child == 0) _exit(work() ? 0 : 1);
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
}

const std::string kLibrary = "/opt/brevik/lib/libbrevik.so";

}  // namespace

TEST(Registration, WritesExactlyTheTableAndOneCopyWhenRepeated) {
  ScratchDir scratch;
  const RegistryStore store(scratch / "registry.reg");
  const RegistryResult result = ComponentRegistrar::Register(store, kLibrary);
  ASSERT_TRUE(result.ok()) << result.detail;
  const std::string expected = ExpectedRegistration(kLibrary, "/opt/brevik/lib");
  EXPECT_EQ(expected, ReadFileBytes(store.path()));
  ASSERT_TRUE(ComponentRegistrar::Register(store, kLibrary).ok());
  EXPECT_EQ(expected, ReadFileBytes(store.path()));

  const RegistryResult noPath = ComponentRegistrar::Register(store, "");
  EXPECT_EQ(ENOENT, noPath.error);
  EXPECT_EQ("the path of the loaded library is not known", noPath.detail);
}

TEST(Registration, RenewsTheClassKeyAndKeepsEverythingElse) {
  ScratchDir scratch;
  const RegistryStore store(scratch / "registry.reg");
  const std::string classKey = "HKEY_CLASSES_ROOT\\CLSID\\" + GuidToBracedText(CLSID_ZIP);
  const std::string otherClass = "HKEY_CLASSES_ROOT\\CLSID\\{00000000-0000-0000-0000-000000000001}";
  const std::string tessaly = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Halden Works\\Tessaly";
  // An older registration from another place, with a key the current one does not write.
  ASSERT_TRUE(store.SetStringValue(classKey + "\\InprocServer32", "", "/old/libbrevik.so").ok());
  ASSERT_TRUE(store.SetStringValue(classKey + "\\InprocServer32", "ThreadingModel", "Both").ok());
  ASSERT_TRUE(store.CreateKey(classKey + "\\Stale\\Deeper").ok());
  ASSERT_TRUE(store.SetStringValue(otherClass + "\\InprocServer32", "", "/usr/lib/other.so").ok());
  ASSERT_TRUE(store.SetStringValue(tessaly, "InstallationPath", "/opt/tessaly").ok());

  ASSERT_TRUE(ComponentRegistrar::Register(store, kLibrary).ok());
  RegistryValue value;
  ASSERT_TRUE(store.QueryValue(classKey + "\\InprocServer32", "", value).ok());
  EXPECT_EQ(kLibrary, value.text);
  ASSERT_TRUE(store.QueryValue(classKey + "\\InprocServer32", "ThreadingModel", value).ok());
  EXPECT_EQ("Apartment", value.text);
  EXPECT_EQ(ENOENT, store.KeyExists(classKey + "\\Stale").error);
  ASSERT_TRUE(store.QueryValue(otherClass + "\\InprocServer32", "", value).ok());
  EXPECT_EQ("/usr/lib/other.so", value.text);
  EXPECT_TRUE(store.QueryValue(tessaly, "InstallationPath", value).ok());

  // Removal takes exactly what registration wrote: the other class and settings stay.
  ASSERT_TRUE(ComponentRegistrar::Unregister(store).ok());
  const std::string afterRemoval = ReadFileBytes(store.path());
  EXPECT_EQ("REGEDIT4\n\n[" + otherClass + "\\InprocServer32]\n@=\"/usr/lib/other.so\"\n\n"
            "[HKEY_CLASSES_ROOT\\TypeLib]\n\n[HKEY_CLASSES_ROOT\\Interface]\n\n[" + tessaly +
                "]\n\"InstallationPath\"=\"/opt/tessaly\"\n\n",
            afterRemoval);
  ASSERT_TRUE(ComponentRegistrar::Unregister(store).ok());  // twice is no failure
  EXPECT_EQ(afterRemoval, ReadFileBytes(store.path()));
}

TEST(Registration, RemovalLeavesTheClsidKey) {
  ScratchDir scratch;
  const RegistryStore store(scratch / "registry.reg");
  ASSERT_TRUE(ComponentRegistrar::Register(store, kLibrary).ok());
  // A second version of the type library keeps the library's identifier key alive.
  const std::string libidKey = "HKEY_CLASSES_ROOT\\TypeLib\\" + GuidToBracedText(LIBID_BREVIKLib);
  ASSERT_TRUE(store.SetStringValue(libidKey + "\\2.0", "", "a later version").ok());
  ASSERT_TRUE(ComponentRegistrar::Unregister(store).ok());
  for (const std::string& gone : {std::string("Brevik.ZIP"), std::string("Brevik.ZIP.1"), "CLSID\\" + GuidToBracedText(CLSID_ZIP),
                                 "TypeLib\\" + GuidToBracedText(LIBID_BREVIKLib) + "\\1.0",
                                 "Interface\\" + GuidToBracedText(IID_IZIP)}) {
    EXPECT_EQ(ENOENT, store.KeyExists("HKEY_CLASSES_ROOT\\" + gone).error) << gone;
  }
  EXPECT_TRUE(store.KeyExists("HKEY_CLASSES_ROOT\\CLSID").ok());
  EXPECT_TRUE(store.KeyExists(libidKey + "\\2.0").ok());
  ASSERT_TRUE(store.DeleteKey(libidKey + "\\2.0").ok());
  ASSERT_TRUE(ComponentRegistrar::Unregister(store).ok());
  EXPECT_EQ(ENOENT, store.KeyExists(libidKey).error);  // emptied, so removed with the version
}

TEST(Registration, ExportsUseTheRegistryFileAndTheLoadedPath) {
  ScratchDir scratch;
  const RegistryEnvironment environment(scratch / "registry.reg");
  const std::string self = std::filesystem::canonical("/proc/self/exe").string();
  EXPECT_EQ(self, ComponentRegistrar::LoadedModulePath());  // the module is linked into this test

  ASSERT_EQ(S_OK, DllRegisterServer());
  EXPECT_EQ(ExpectedRegistration(self, std::filesystem::path(self).parent_path().string()),
            ReadFileBytes(scratch / "registry.reg"));
  ASSERT_EQ(S_OK, DllUnregisterServer());
  EXPECT_EQ("REGEDIT4\n\n[HKEY_CLASSES_ROOT\\CLSID]\n\n[HKEY_CLASSES_ROOT\\TypeLib]\n\n"
            "[HKEY_CLASSES_ROOT\\Interface]\n\n",
            ReadFileBytes(scratch / "registry.reg"));
}

TEST(Registration, FailuresGiveTheRegistryErrorAndLeaveTheFileAlone) {
  ScratchDir scratch;
  const std::string path = scratch / "registry.reg";
  const RegistryEnvironment environment(path);
  const std::string damaged = "REGEDIT4\n[HKEY_CLASSES_ROOT\\Brevik.ZIP]\n@=unquoted\n";
  WriteFileBytes(path, damaged);
  constexpr HRESULT kRegistryCorrupt = static_cast<HRESULT>(0x800703F1u);  // ERROR_BADDB
  EXPECT_EQ(kRegistryCorrupt, DllRegisterServer());
  EXPECT_EQ(kRegistryCorrupt, DllUnregisterServer());
  EXPECT_EQ(damaged, ReadFileBytes(path));

  // An account that may not write the registry's folder gets access denied.
  const std::string lockedPath = scratch / "locked/registry.reg";
  ASSERT_EQ(0, mkdir((scratch / "locked").c_str(), 0755));
  const RegistryEnvironment lockedEnvironment(lockedPath);
  EXPECT_EQ(0, RunInChild([] {
              if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) return false;
              return DllRegisterServer() == static_cast<HRESULT>(0x80070005u);  // E_ACCESSDENIED
            }));
  EXPECT_FALSE(std::filesystem::exists(lockedPath));
}

TEST(Registration, ProcessesRegisteringAtOnceLeaveOneValidCopy) {
  ScratchDir scratch;
  const RegistryStore store(scratch / "registry.reg");
  ASSERT_TRUE(store.SetStringValue("HKEY_USERS\\Before", "", "kept").ok());
  constexpr int kProcesses = 4;
  pid_t children[kProcesses];
  for (int i = 0; i < kProcesses; ++i) {
    children[i] = fork();
    if (children[i] == 0) {
      bool ok = true;
      for (int round = 0; round < 15; ++round) {
        ok = ComponentRegistrar::Register(store, kLibrary).ok() && ok;
        if (i == 0) ok = store.SetDwordValue("HKEY_USERS\\Counter", "n" + std::to_string(round), 1).ok() && ok;
      }
      _exit(ok ? 0 : 1);
    }
  }
  for (const pid_t child : children) {
    int status = 0;
    ASSERT_EQ(child, waitpid(child, &status, 0));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  RegistryTree tree;
  ASSERT_TRUE(store.Read(tree).ok());
  ASSERT_NE(nullptr, tree.FindKey("HKEY_USERS\\Counter"));
  EXPECT_EQ(15u, tree.FindKey("HKEY_USERS\\Counter")->values().size());
  // Drop the other writers' keys: what is left is one registration, byte for byte.
  ASSERT_TRUE(tree.DeleteKey("HKEY_USERS\\Counter").ok());
  ASSERT_TRUE(tree.DeleteKey("HKEY_USERS\\Before").ok());
  EXPECT_EQ(ExpectedRegistration(kLibrary, "/opt/brevik/lib"), tree.Format());
}
