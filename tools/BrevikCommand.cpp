// BrevikCommand.cpp -- the subcommands: what each sets on the ZIP object, calls, and prints.
#include "tools/BrevikCommand.h"

#include <cstdio>
#include <iostream>
#include <string>
#include <vector>
#include <sys/stat.h>

#include "client/DispatchObject.h"
#include "frame/automation/IClassFactory.h"
#include "tools/AbsolutePath.h"
#include "tools/ListingPrinter.h"
#include "tools/ListingWalk.h"
#include "tools/PasswordReader.h"
#include "tools/PrintableName.h"
#include "tools/TargetFolder.h"

// The library's entry points, resolved against libbrevik.so when the command is linked.
extern "C" HRESULT DllGetClassObject(REFCLSID classId, REFIID interfaceId, void** object);
extern "C" HRESULT DllRegisterServer();
extern "C" HRESULT DllUnregisterServer();

namespace {

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
  const std::string archive = AbsolutePath(command.archive, here);
  zip.Put("ZipFile", VariantValue::Text(archive));
  // The object extracts into an existing folder only; like unzip -d, the command makes it first,
  // and takes what it made away again if the call then fails (a missing archive, a refusal).
  MadeTargetFolder madeTarget;
  if (!command.target.empty()) {
    const std::string target = AbsolutePath(command.target, here);
    std::string error;
    if (!madeTarget.Make(target, error)) {
      ReportFailure(error);
      return kExitFailed;
    }
    zip.Put("TargetPath", VariantValue::Text(target));
  }
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
    const int status = FinishOperation(zip);
    if (status != kExitDone) madeTarget.RemoveIfUnused();
    return status;
  }

  // list and unzip hand back the collection.
  if (command.makeUnique) zip.Put("NameConflict", VariantValue::Text("MAKEUNIQUE"));
  VariantValue collection = zip.Call(sub == "list" ? "List" : "UnZip");
  const int status = FinishOperation(zip);
  if (status != kExitDone) {
    madeTarget.RemoveIfUnused();
    return status;
  }
  const bool listing = sub == "list";
  const bool verbose = listing && command.verbose;
  if (listing) PrintListingHeading(command.json, verbose);
  // A file the collection names without a saved name was not written; those are reported after
  // the listing, so standard output stays the listing alone.
  std::vector<std::string> notExtracted;  // "NAME" or "NAME: reason", printable
  WantedMembers wanted;
  if (!command.json) wanted = listing ? WantedMembers{true, true, false, true} : WantedMembers{false, false, true, false};
  wanted.details = verbose;
  const std::size_t count = WalkListing(collection, wanted, [&](const ListedEntry& e, std::size_t index) {
    if (listing || command.json) PrintListingEntry(e, index, command.json, verbose);
    else if (!e.savedName.empty()) std::cout << PrintableName(e.savedName) << "\n";
    // A folder entry is reported only with a reason: one with an empty name is the target
    // itself and is not written, which is no failure.
    if (!listing && e.savedName.empty() && (e.type == "File" || !e.notExtractedReason.empty())) {
      const std::string reason = e.notExtractedReason.empty() ? std::string() : ": " + PrintableName(e.notExtractedReason);
      notExtracted.push_back(PrintableName(e.name) + reason);
    }
  });
  if (listing || command.json) PrintListingEnd(count, command.json);
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
    return RunArchiveCommand(command);
  } catch (const DispatchError& error) {
    ReportFailure(error.what());
  } catch (const std::bad_alloc&) {
    ReportFailure("out of memory");
  }
  return kExitFailed;
}
