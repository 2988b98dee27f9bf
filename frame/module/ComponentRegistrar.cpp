// ComponentRegistrar.cpp -- writes and removes the library's class and type-library registration.
#include "frame/module/ComponentRegistrar.h"

#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <memory>

#include "frame/automation/TypeLibrary.h"
#include "frame/module/ObjectMap.h"

namespace {

constexpr const char* kRoot = "HKEY_CLASSES_ROOT";
/// The folder below a type library's locale key that names the library file for one platform.
constexpr const char* kTypeLibPlatform = "linux";

/// Windows error codes, as HRESULT_FROM_WIN32 wraps them.
constexpr HRESULT HResultFromWin32(uint32_t code) {
  return static_cast<HRESULT>((code & 0xFFFFu) | 0x80070000u);
}
constexpr uint32_t kErrorFileNotFound = 2;
constexpr uint32_t kErrorAccessDenied = 5;
constexpr uint32_t kErrorDiskFull = 112;
constexpr uint32_t kErrorBadDb = 1009;

/// Address inside this loaded file, for dladdr.
const char moduleAnchor = 0;

std::string Key(const std::string& path) { return std::string(kRoot) + "\\" + path; }

/// Sets a text value, creating the key; the registry's edits collect their first failure.
class Editor {
public:
  explicit Editor(RegistryTree& tree) : tree_(tree) {}

  void SetText(const std::string& keyPath, const std::string& valueName, const std::string& text) {
    RegistryKey* key = Create(keyPath);
    if (key == nullptr) return;
    RegistryValue value;
    value.name = valueName;
    value.type = kRegSz;
    value.text = text;
    key->SetValue(std::move(value));
  }

  RegistryKey* Create(const std::string& keyPath) {
    if (!result_.ok()) return nullptr;
    return tree_.CreateKey(Key(keyPath), result_);
  }

  /// Deletes a key with its sub keys; a missing key is what was wanted anyway.
  void Delete(const std::string& keyPath) {
    if (!result_.ok()) return;
    RegistryResult deleted = tree_.DeleteKey(Key(keyPath));
    if (!deleted.ok() && deleted.error != ENOENT) result_ = std::move(deleted);
  }

  /// Deletes a key only when nothing is left in it.
  void DeleteIfEmpty(const std::string& keyPath) {
    const RegistryKey* key = tree_.FindKey(Key(keyPath));
    if (key != nullptr && key->values().empty() && key->subKeys().empty()) Delete(keyPath);
  }

  RegistryResult result() const { return result_; }

private:
  RegistryTree& tree_;
  RegistryResult result_;
};

std::string FolderOf(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string VersionText(const TypeLibraryInfo& library) {
  return std::to_string(library.majorVersion) + "." + std::to_string(library.minorVersion);
}

std::string LocaleText(const TypeLibraryInfo& library) {
  char text[16];
  std::snprintf(text, sizeof text, "%x", library.locale);
  return text;
}

void WriteClass(Editor& editor, const ObjectMapEntry& entry, const std::string& modulePath) {
  const std::string clsid = GuidToBracedText(*entry.clsid);
  const std::string classKey = "CLSID\\" + clsid;
  editor.SetText(entry.progId, "", entry.description);
  editor.SetText(std::string(entry.progId) + "\\CLSID", "", clsid);
  editor.SetText(entry.versionIndependentProgId, "", entry.description);
  editor.SetText(std::string(entry.versionIndependentProgId) + "\\CLSID", "", clsid);
  editor.SetText(std::string(entry.versionIndependentProgId) + "\\CurVer", "", entry.progId);
  // The class key is made afresh, so nothing of an older registration (another path, another
  // threading model) survives below it.
  editor.Delete(classKey);
  editor.SetText(classKey, "", entry.description);
  editor.SetText(classKey + "\\ProgID", "", entry.progId);
  editor.SetText(classKey + "\\VersionIndependentProgID", "", entry.versionIndependentProgId);
  editor.Create(classKey + "\\Programmable");
  editor.SetText(classKey + "\\InprocServer32", "", modulePath);
  editor.SetText(classKey + "\\InprocServer32", "ThreadingModel", entry.threadingModel);
  editor.SetText(classKey + "\\TypeLib", "", GuidToBracedText(*entry.libid));
}

void WriteTypeLibrary(Editor& editor, const TypeLibraryInfo& library, const std::string& modulePath) {
  const std::string libid = GuidToBracedText(*library.libid);
  const std::string versionKey = "TypeLib\\" + libid + "\\" + VersionText(library);
  editor.SetText(versionKey, "", library.helpString);
  editor.SetText(versionKey + "\\" + LocaleText(library) + "\\" + kTypeLibPlatform, "", modulePath);
  editor.SetText(versionKey + "\\FLAGS", "", "0");
  editor.SetText(versionKey + "\\HELPDIR", "", FolderOf(modulePath));
  for (const InterfaceInfo* info : library.interfaces) {
    const std::string interfaceKey = "Interface\\" + GuidToBracedText(*info->iid);
    editor.SetText(interfaceKey, "", info->name);
    editor.SetText(interfaceKey + "\\TypeLib", "", libid);
    editor.SetText(interfaceKey + "\\TypeLib", "Version", VersionText(library));
  }
}

}  // namespace

RegistryResult ComponentRegistrar::Register(const RegistryStore& store, const std::string& modulePath) {
  if (modulePath.empty()) {
    return RegistryResult::Failure(ENOENT, "the path of the loaded library is not known");
  }
  return store.Update([&](RegistryTree& tree) {
    Editor editor(tree);
    for (const ObjectMapEntry& entry : ModuleObjectMap()) WriteClass(editor, entry, modulePath);
    WriteTypeLibrary(editor, BrevikTypeLibrary(), modulePath);
    return editor.result();
  });
}

RegistryResult ComponentRegistrar::Unregister(const RegistryStore& store) {
  return store.Update([&](RegistryTree& tree) {
    Editor editor(tree);
    for (const ObjectMapEntry& entry : ModuleObjectMap()) {
      editor.Delete(entry.progId);
      editor.Delete(entry.versionIndependentProgId);
      editor.Delete("CLSID\\" + GuidToBracedText(*entry.clsid));
    }
    const TypeLibraryInfo& library = BrevikTypeLibrary();
    const std::string libidKey = "TypeLib\\" + GuidToBracedText(*library.libid);
    editor.Delete(libidKey + "\\" + VersionText(library));
    editor.DeleteIfEmpty(libidKey);
    for (const InterfaceInfo* info : library.interfaces) editor.Delete("Interface\\" + GuidToBracedText(*info->iid));
    return editor.result();
  });
}

std::string ComponentRegistrar::LoadedModulePath() {
  Dl_info info{};
  std::string loaded;
  if (dladdr(&moduleAnchor, &info) != 0 && info.dli_fname != nullptr) loaded = info.dli_fname;
  // The main program's entry has no useful name; the kernel knows its file.
  if (loaded.empty()) loaded = "/proc/self/exe";
  const std::unique_ptr<char, decltype(&::free)> resolved(::realpath(loaded.c_str(), nullptr), &::free);
  if (resolved) return std::string(resolved.get());
  // realpath needs every parent folder to be searchable, which an account may lack for a library
  // it can still load: the absolute name it was loaded by is then the best path there is.
  if (loaded == "/proc/self/exe") {
    std::string target(4096, '\0');
    const ssize_t length = ::readlink(loaded.c_str(), target.data(), target.size());
    if (length > 0 && static_cast<size_t>(length) < target.size()) return target.substr(0, static_cast<size_t>(length));
    return std::string();
  }
  return !loaded.empty() && loaded.front() == '/' ? loaded : std::string();
}

HRESULT ComponentRegistrar::ToHResult(const RegistryResult& result) noexcept {
  switch (result.error) {
    case 0: return S_OK;
    case ENOENT: return HResultFromWin32(kErrorFileNotFound);
    case EACCES:
    case EPERM:
    case EROFS: return HResultFromWin32(kErrorAccessDenied);
    case EBADMSG: return HResultFromWin32(kErrorBadDb);
    case ENOSPC:
    case EDQUOT: return HResultFromWin32(kErrorDiskFull);
    case EINVAL: return E_INVALIDARG;
    case ENOMEM: return E_OUTOFMEMORY;
    default: return E_FAIL;
  }
}
