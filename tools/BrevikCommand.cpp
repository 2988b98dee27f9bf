// BrevikCommand.cpp -- the subcommands: what each sets on the ZIP object, calls, and prints.
#include "tools/BrevikCommand.h"

#include <cstdio>
#include <iostream>
#include <string>
#include <vector>
#include <sys/stat.h>

#include "frame/automation/IClassFactory.h"
#include "frame/automation/IEnumVARIANT.h"
#include "tools/AbsolutePath.h"
#include "tools/DispatchObject.h"
#include "tools/JsonText.h"
#include "tools/PasswordReader.h"
#include "tools/RepairCommand.h"

// The library's entry points, resolved against libbrevik.so when the command is linked.
extern "C" HRESULT DllGetClassObject(REFCLSID classId, REFIID interfaceId, void** object);
extern "C" HRESULT DllRegisterServer();
extern "C" HRESULT DllUnregisterServer();

namespace {

// One IUnZipEntries item as the command prints it.
struct ListedEntry {
  std::string name;
  std::string type;
  LONG size = 0;
  std::string savedName;
  std::string passwordRequired;
};

void ReportFailure(const std::string& text) {
  std::string line = text;
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  std::cerr << "brevik: " << line << "\n";
}

// A new ZIP object, as a script host makes one: class object first, then an instance.
DispatchObject CreateZipObject() {
  void* factoryPointer = nullptr;
  HRESULT hr = DllGetClassObject(CLSID_ZIP, IID_IClassFactory, &factoryPointer);
  if (FAILED(hr)) throw DispatchError("DllGetClassObject", hr);
  auto* factory = static_cast<IClassFactory*>(factoryPointer);
  void* object = nullptr;
  hr = factory->CreateInstance(nullptr, IID_IDispatch, &object);
  factory->Release();
  if (FAILED(hr)) throw DispatchError("CreateInstance", hr);
  return DispatchObject(static_cast<IDispatch*>(object));
}

// Owns an enumerator reference for the length of one walk.
struct EnumeratorReference {
  IEnumVARIANT* enumerator = nullptr;
  ~EnumeratorReference() {
    if (enumerator) enumerator->Release();
  }
};

// The IUnZipEntries members a subcommand prints; the others are not asked for.
struct WantedMembers {
  bool name = true;
  bool size = true;
  bool savedName = true;
  bool passwordRequired = true;
};

// One entry member, its dispatch id looked up on the first entry and reused for the rest: every
// entry of a collection is an object of the same type.
struct EntryMember {
  const char* name;
  DISPID id = DISPID_UNKNOWN;
  bool known = false;

  VariantValue Read(DispatchObject& entry) {
    if (!known) {
      id = entry.Lookup(name);
      known = true;
    }
    return entry.GetById(id, name);
  }
};

// Walks the collection as a script's for-each loop does: _NewEnum, then Next until it runs dry,
// handing each entry to `visit` at once. Nothing is kept, so a listing of 65535 entries costs the
// command no more memory than one of a single entry.
template <typename Visit>
std::size_t WalkCollection(const VariantValue& collectionValue, const WantedMembers& wanted, Visit visit) {
  DispatchObject collection = DispatchObject::FromVariant(collectionValue);
  VariantValue enumValue = collection.Get("_NewEnum");
  if (enumValue.type() != VT_UNKNOWN && enumValue.type() != VT_DISPATCH) throw DispatchError("_NewEnum", E_NOINTERFACE);
  EnumeratorReference walk;
  void* enumerator = nullptr;
  IUnknown* unknown = enumValue.get()->punkVal;
  if (!unknown) throw DispatchError("_NewEnum", E_POINTER);
  const HRESULT hr = unknown->QueryInterface(IID_IEnumVARIANT, &enumerator);
  if (FAILED(hr)) throw DispatchError("_NewEnum", hr);
  walk.enumerator = static_cast<IEnumVARIANT*>(enumerator);

  EntryMember name{"Name"}, type{"Type"}, size{"Size"}, savedName{"SavedName"}, passwordRequired{"PasswordRequired"};
  std::size_t count = 0;
  ListedEntry listed;
  for (;;) {
    VariantValue item;
    ULONG fetched = 0;
    if (walk.enumerator->Next(1, item.get(), &fetched) != S_OK || fetched != 1) break;
    DispatchObject entry = DispatchObject::FromVariant(item);
    listed.type = type.Read(entry).AsText();
    if (wanted.size) listed.size = size.Read(entry).AsLong(0);
    if (wanted.savedName) listed.savedName = savedName.Read(entry).AsText();
    if (wanted.passwordRequired) listed.passwordRequired = passwordRequired.Read(entry).AsText();
    // unzip needs the name only of an entry it has to report as not extracted.
    const bool needName = wanted.name || (listed.type == "File" && listed.savedName.empty());
    if (needName) listed.name = name.Read(entry).AsText();
    visit(listed, count);
    ++count;
  }
  return count;
}

void PrintJsonEntry(const ListedEntry& e, std::size_t index) {
  std::cout << (index ? ",\n " : "[\n ") << "{\"Name\": " << JsonText(e.name) << ", \"Type\": " << JsonText(e.type)
            << ", \"Size\": " << e.size << ", \"SavedName\": " << JsonText(e.savedName)
            << ", \"PasswordRequired\": " << JsonText(e.passwordRequired) << "}";
}

void FinishJson(std::size_t count) { std::cout << (count == 0 ? "[]\n" : "\n]\n"); }

void PrintTableEntry(const ListedEntry& e) {
  // The property is the 32-bit size field read as signed; the table shows the field's real value.
  std::printf("%-4s  %10u  %-9s  %s\n", e.type.c_str(), static_cast<unsigned>(static_cast<ULONG>(e.size)),
              e.passwordRequired == "Yes" ? "yes" : "no", e.name.c_str());
}

bool IsFolder(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// IsError, and ErrorReason on standard error when it is set; the exit status that follows.
int FinishOperation(DispatchObject& zip) {
  if (zip.Get("IsError").AsLong(1) == 0) return kExitDone;
  ReportFailure(zip.Get("ErrorReason").AsText());
  return kExitFailed;
}

int RunArchiveCommand(const CommandLine& command) {
  std::string password;
  std::string passwordError;
  if (!ReadPassword(command.passwordSource, command.passwordArgument, password, passwordError)) {
    ReportFailure(passwordError);
    return kExitUsage;
  }
  const std::string here = CurrentFolder();
  DispatchObject zip = CreateZipObject();
  zip.Put("ZipFile", VariantValue::Text(AbsolutePath(command.archive, here)));
  if (!command.target.empty()) zip.Put("TargetPath", VariantValue::Text(AbsolutePath(command.target, here)));
  if (!password.empty()) zip.Put("Password", VariantValue::Text(password));
  const std::string& sub = command.subcommand;

  if (sub == "zip") {
    if (command.append) zip.Put("CreateNew", VariantValue::Long(0));
    if (command.noPaths) zip.Put("UsePath", VariantValue::Long(0));
    if (command.noRecurse) zip.Put("SubFolders", VariantValue::Long(0));
    for (const std::string& operand : command.operands) {
      const std::string path = AbsolutePath(operand, here);
      const VariantValue text = VariantValue::Text(path);
      zip.Call(IsFolder(path) ? "AddFolder" : "Add", {&text});
    }
    zip.Call("Zip");
    return FinishOperation(zip);
  }
  if (sub == "extract" || sub == "delete") {
    for (const std::string& name : command.operands) {
      const VariantValue text = VariantValue::Text(name);
      zip.Call("Add", {&text});
    }
    zip.Call(sub == "extract" ? "Extract" : "Delete");
    return FinishOperation(zip);
  }

  // list and unzip hand back the collection.
  if (command.makeUnique) zip.Put("NameConflict", VariantValue::Text("MAKEUNIQUE"));
  VariantValue collection = zip.Call(sub == "list" ? "List" : "UnZip");
  const int status = FinishOperation(zip);
  if (status != kExitDone) return status;
  const bool listing = sub == "list";
  if (listing && !command.json) std::printf("%-4s  %10s  %-9s  %s\n", "Type", "Size", "Encrypted", "Name");
  // A file the collection names without a saved name was not written; those are reported after
  // the listing, so standard output stays the listing alone.
  std::vector<std::string> notExtracted;
  WantedMembers wanted;
  if (!command.json) wanted = listing ? WantedMembers{true, true, false, true} : WantedMembers{false, false, true, false};
  const std::size_t count = WalkCollection(collection, wanted, [&](const ListedEntry& e, std::size_t index) {
    if (command.json) PrintJsonEntry(e, index);
    else if (listing) PrintTableEntry(e);
    else if (!e.savedName.empty()) std::cout << e.savedName << "\n";
    if (!listing && e.type == "File" && e.savedName.empty()) notExtracted.push_back(e.name);
  });
  if (command.json) FinishJson(count);
  else if (listing) std::printf("%zu %s\n", count, count == 1 ? "entry" : "entries");
  if (listing) return kExitDone;
  std::cout.flush();
  for (const std::string& name : notExtracted) ReportFailure("not extracted: " + name);
  return notExtracted.empty() ? kExitDone : kExitFailed;
}

}  // namespace

int RunBrevikCommand(const CommandLine& command) {
  try {
    if (command.subcommand == "register" || command.subcommand == "unregister") {
      const bool registering = command.subcommand == "register";
      const HRESULT hr = registering ? DllRegisterServer() : DllUnregisterServer();
      if (FAILED(hr)) throw DispatchError(registering ? "DllRegisterServer" : "DllUnregisterServer", hr);
      return kExitDone;
    }
    if (command.subcommand == "repair") return RunRepairCommand(AbsolutePath(command.archive, CurrentFolder()));
    return RunArchiveCommand(command);
  } catch (const DispatchError& error) {
    ReportFailure(error.what());
  } catch (const std::bad_alloc&) {
    ReportFailure("out of memory");
  }
  return kExitFailed;
}
