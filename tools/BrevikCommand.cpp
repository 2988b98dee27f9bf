// BrevikCommand.cpp -- the subcommands: what each sets on the ZIP object, calls, and prints.
#include "tools/BrevikCommand.h"

#include <cstdio>
#include <iostream>
#include <string>
#include <vector>
#include <sys/stat.h>
#include <unistd.h>

#include <optional>

#include "client/DispatchObject.h"
#include "frame/automation/IClassFactory.h"
#include "tools/AbsolutePath.h"
#include "tools/ListingPrinter.h"
#include "tools/ListingWalk.h"
#include "tools/PasswordReader.h"
#include "tools/PrintableName.h"
#include "tools/Interruption.h"
#include "tools/ProgressDisplay.h"
#include "tools/RepairCommand.h"
#include "tools/TargetFolder.h"
#include "tools/WorkSize.h"

// The library's entry points, resolved against libbrevik.so when the command is linked.
extern "C" HRESULT DllGetClassObject(REFCLSID classId, REFIID interfaceId, void** object);
extern "C" HRESULT DllRegisterServer();
extern "C" HRESULT DllUnregisterServer();
extern "C" HostProgress* BrevikExchangeHostProgress(HostProgress* progress);

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

// The progress line and Ctrl-C for one long operation: installed in the component while the
// operation runs (the component reports each entry and its bytes to it, and stops when it says
// so), removed again after.
class WatchedOperation {
public:
  WatchedOperation(std::uint64_t totalBytes)
      : display_(totalBytes, isatty(STDERR_FILENO) == 1, ProgressDisplay::DelayFromEnvironment()),
        previous_(BrevikExchangeHostProgress(&display_)) {}
  ~WatchedOperation() { BrevikExchangeHostProgress(previous_); }
  WatchedOperation(const WatchedOperation&) = delete;
  WatchedOperation& operator=(const WatchedOperation&) = delete;

  /// After the operation: takes the progress line away; when Ctrl-C stopped the work, removes
  /// the file cut off in its middle (`removeCutFile`, for extraction), says so, and gives the
  /// exit status of a process ended by that signal (130 for Ctrl-C). 0 when it was not stopped.
  int Finish(bool removeCutFile, const char* whatIsKept) {
    display_.Finish();
    if (!InterruptionWatch::Interrupted()) return 0;
    if (removeCutFile && !display_.CutPath().empty()) unlink(display_.CutPath().c_str());
    ReportFailure(std::string("interrupted: ") + whatIsKept);
    return 128 + InterruptionWatch::Signal();
  }

private:
  InterruptionWatch watch_;
  ProgressDisplay display_;
  HostProgress* previous_;
};

/// The declared size of every entry of `archive`, read through a listing of its own, for the
/// percent of an unzip shown on a terminal; 0 when it cannot be listed.
std::uint64_t ArchiveDeclaredSize(const std::string& archive, const std::string& password) {
  DispatchObject lister = CreateZipObject();
  lister.Put("ZipFile", VariantValue::Text(archive));
  if (!password.empty()) lister.Put("Password", VariantValue::Text(password));
  VariantValue collection = lister.Call("List");
  if (lister.Get("IsError").AsLong(1) != 0) return 0;
  std::uint64_t total = 0;
  WalkListing(collection, WantedMembers{false, true, false, false},
              [&](const ListedEntry& entry, std::size_t) { total += static_cast<ULONG>(entry.size); });
  return total;
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
    if (!command.encryption.empty()) zip.Put("Encryption", VariantValue::Text(command.encryption));
    std::vector<std::string> paths;
    for (const std::string& operand : command.operands) {
      paths.push_back(AbsolutePath(operand, here));
      const VariantValue text = VariantValue::Text(paths.back());
      zip.Call(IsFolder(paths.back()) ? "AddFolder" : "Add", {&text});
    }
    WatchedOperation watched(isatty(STDERR_FILENO) == 1 ? FilesSize(paths, !command.noRecurse) : 0);
    zip.Call("Zip");
    if (const int stopped = watched.Finish(false, "the archive keeps the entries finished before")) return stopped;
    return FinishOperation(zip);
  }
  if (sub == "extract" || sub == "delete") {
    for (const std::string& name : command.operands) {
      const VariantValue text = VariantValue::Text(name);
      zip.Call("Add", {&text});
    }
    std::optional<WatchedOperation> watched;
    if (sub == "extract") watched.emplace(0);
    zip.Call(sub == "extract" ? "Extract" : "Delete");
    if (watched) {
      if (const int stopped = watched->Finish(true, "the entries written before are kept")) return stopped;
    }
    const int status = FinishOperation(zip);
    if (status != kExitDone) madeTarget.RemoveIfUnused();
    return status;
  }

  // list and unzip hand back the collection.
  if (command.makeUnique) zip.Put("NameConflict", VariantValue::Text("MAKEUNIQUE"));
  const bool listing = sub == "list";
  std::optional<WatchedOperation> watched;
  if (!listing) watched.emplace(isatty(STDERR_FILENO) == 1 ? ArchiveDeclaredSize(archive, password) : 0);
  VariantValue collection = zip.Call(listing ? "List" : "UnZip");
  if (watched) {
    if (const int stopped = watched->Finish(true, "the entries written before are kept")) return stopped;
  }
  const int status = FinishOperation(zip);
  if (status != kExitDone) {
    madeTarget.RemoveIfUnused();
    return status;
  }
  const bool verbose = listing && command.verbose;
  if (listing) PrintListingHeading(command.json, verbose);
  // A file the collection names without a saved name was not written; those are reported after
  // the listing, so standard output stays the listing alone.
  std::vector<std::string> notExtracted;  // "NAME" or "NAME: reason", printable
  WantedMembers wanted;
  if (!command.json) wanted = listing ? WantedMembers{true, true, false, true} : WantedMembers{false, false, true, false};
  wanted.details = verbose;
  wanted.errorReason = command.json;
  const std::size_t count = WalkListing(collection, wanted, [&](const ListedEntry& e, std::size_t index) {
    if (listing || command.json) PrintListingEntry(e, index, command.json, verbose);
    else if (!e.savedName.empty() && !command.quiet) std::cout << PrintableName(e.savedName) << "\n";
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
    if (command.subcommand == "repair") return RunRepairCommand(AbsolutePath(command.archive, CurrentFolder()));
    return RunArchiveCommand(command);
  } catch (const DispatchError& error) {
    ReportFailure(error.what());
  } catch (const std::bad_alloc&) {
    ReportFailure("out of memory");
  }
  return kExitFailed;
}
