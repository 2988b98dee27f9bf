// CZIP.cpp -- the ZIP object: its settings, queues, operation frame and error state.
#include "scripting/CZIP.h"

#include <exception>
#include <new>
#include <utility>

#include "hosting/Helpers.h"
#include "hosting/CallGate.h"
#include "hosting/SecurityBox.h"
#include "hosting/TextCompare.h"

namespace {

constexpr const char* kInvalidValue = "Invalid value, or property not set";
constexpr const char* kInvalidZipFile = "Please specify the valid ZIP file name";
constexpr const char* kInvalidTargetPath = "Please specify the valid target path to unzip";
constexpr const char* kUnexpectedFailure = "The operation stopped on an unexpected error";
constexpr const char* kOutOfMemory = "Not enough memory to complete the operation";

// Runs a member body; out of memory while copying texts becomes E_OUTOFMEMORY, since no
// exception may cross an automation member.
template <class Body>
HRESULT Guarded(Body&& body) noexcept {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_UNEXPECTED;
  }
}

}  // namespace

HRESULT CZIP::CreateInstance(IUnknown* outer, REFIID iid, void** out) noexcept {
  return CreateInstanceWith(nullptr, outer, iid, out);
}

HRESULT CZIP::CreateInstanceWith(std::shared_ptr<ZipOperations> operations, IUnknown* outer,
                                 REFIID iid, void** out) noexcept {
  if (!out) return E_POINTER;
  *out = nullptr;
  // An aggregated object hands its outer object only its own unknown, through which the
  // outer one reaches the other interfaces.
  if (outer && !IsEqualIID(iid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;
  try {
    if (!operations) operations = ProductOperations();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  CZIP* object = new (std::nothrow) CZIP(std::move(operations), outer);
  if (!object) return E_OUTOFMEMORY;
  // Hold a reference across the query so that a failing query destroys the object.
  object->inner_.AddRef();
  const HRESULT hr = object->inner_.QueryInterface(iid, out);
  object->inner_.Release();
  return hr;
}

CZIP::CZIP(std::shared_ptr<ZipOperations> operations, IUnknown* outer) noexcept
    : inner_(*this), controlling_(outer ? outer : &inner_), operations_(std::move(operations)) {}

HRESULT CZIP::InnerUnknown::QueryInterface(REFIID iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  IUnknown* found = nullptr;
  if (IsEqualIID(iid, IID_IUnknown))
    found = this;
  else if (IsEqualIID(iid, IID_IZIP) || IsEqualIID(iid, IID_IDispatch))
    found = static_cast<IZIP*>(&owner_);
  else if (IsEqualIID(iid, IID_ISupportErrorInfo))
    found = static_cast<ISupportErrorInfo*>(&owner_);
  else
    return E_NOINTERFACE;
  found->AddRef();
  *object = found;
  return S_OK;
}

ULONG CZIP::InnerUnknown::AddRef() { return ++owner_.referenceCount_; }

ULONG CZIP::InnerUnknown::Release() {
  const ULONG remaining = --owner_.referenceCount_;
  if (remaining == 0) delete &owner_;
  return remaining;
}

HRESULT CZIP::QueryInterface(REFIID iid, void** object) {
  return controlling_->QueryInterface(iid, object);
}
ULONG CZIP::AddRef() { return controlling_->AddRef(); }
ULONG CZIP::Release() { return controlling_->Release(); }

HRESULT CZIP::InterfaceSupportsErrorInfo(REFIID iid) {
  return IsEqualIID(iid, IID_IZIP) ? S_OK : S_FALSE;
}

HRESULT CZIP::put_CreateNew(LONG value) {
  request_.createNew = value;
  return S_OK;
}

HRESULT CZIP::put_UsePath(LONG value) {
  request_.usePath = value;
  return S_OK;
}

HRESULT CZIP::put_SubFolders(LONG value) {
  request_.subFolders = value;
  return S_OK;
}

HRESULT CZIP::put_ZipFile(BSTR value) {
  return Guarded([&] { PutText(value, request_.zipFile); return S_OK; });
}

HRESULT CZIP::put_TargetPath(BSTR value) {
  return Guarded([&] { PutText(value, request_.targetPath); return S_OK; });
}

HRESULT CZIP::put_Password(BSTR value) {
  return Guarded([&] { PutText(value, request_.password); return S_OK; });
}

HRESULT CZIP::put_Encryption(BSTR value) {
  return Guarded([&] {
    // The cipher of entries Zip writes with a password; a value not named here is refused and
    // the setting stays as it was.
    // The names in the order of the values they set: 0 the traditional cipher, 1 to 3 the AES
    // key strengths of the 0x9901 block.
    static constexpr const char* kCiphers[] = {"ZIPCRYPTO", "AES128", "AES192", "AES256"};
    const std::string text = value ? Utf8FromBstr(value) : std::string();
    for (int32_t cipher = 0; cipher < 4; ++cipher) {
      if (EqualsTextNoCase(text, kCiphers[cipher])) {
        request_.encryption = cipher;
        return S_OK;
      }
    }
    errorReason_ = kInvalidValue;
    return S_OK;
  });
}

HRESULT CZIP::put_NameConflict(BSTR value) {
  return Guarded([&] {
    // A null string reads as "" here: it selects overwriting and writes no message.
    request_.overwrite = EqualsTextNoCase(Utf8FromBstr(value), "MAKEUNIQUE") ? 0 : 1;
    return S_OK;
  });
}

HRESULT CZIP::Add(BSTR file) {
  return Guarded([&] { Enqueue(file, request_.files); return S_OK; });
}

HRESULT CZIP::AddFolder(BSTR folder) {
  return Guarded([&] { Enqueue(folder, request_.folders); return S_OK; });
}

HRESULT CZIP::get_IsError(SHORT* value) {
  if (!value) return E_POINTER;
  *value = errorFlag_;
  return S_OK;
}

HRESULT CZIP::get_ErrorReason(BSTR* value) {
  if (!value) return E_POINTER;
  *value = BstrFromUtf8(errorReason_);
  return *value ? S_OK : E_OUTOFMEMORY;
}

HRESULT CZIP::Zip() {
  return Guarded([&] { RunOperation(OpZip, nullptr); return S_OK; });
}

HRESULT CZIP::Extract() {
  return Guarded([&] { RunOperation(OpExtract, nullptr); return S_OK; });
}

HRESULT CZIP::Delete() {
  return Guarded([&] { RunOperation(OpDelete, nullptr); return S_OK; });
}

HRESULT CZIP::UnZip(VARIANT* collection) { return RunCollectionOperation(OpUnZip, collection); }

HRESULT CZIP::List(VARIANT* collection) { return RunCollectionOperation(OpList, collection); }

HRESULT CZIP::RunCollectionOperation(ZipOperation operation, VARIANT* collection) {
  if (!collection) return E_POINTER;
  // The script receives VT_DISPATCH in every case: the collection, or null after a failure.
  VariantInit(collection);
  collection->vt = VT_DISPATCH;
  collection->pdispVal = nullptr;
  return Guarded([&] {
    ComPtr<IDispatch> made;
    RunOperation(operation, &made);
    collection->pdispVal = made.Detach();
    return S_OK;
  });
}

void CZIP::RunOperation(ZipOperation operation, ComPtr<IDispatch>* collection) {
  request_.operation = operation;
  // One hosting record per call: the request goes in once, and what the policy settles (the
  // trimmed archive path, the paths it allowed in their resolved forms, its error text) comes
  // out once, before the operation reads the request.
  HostingRequest hosting = MakeHostingRequest();
  const bool proceed = LocateSecuritySettings(hosting) && ValidateRequest(hosting);
  TakeHostingRequest(std::move(hosting));
  if (!proceed) {
    errorFlag_ = 1;  // the check has written its message; the archive is not touched
    return;
  }
  std::string resultText;
  ComPtr<IDispatch> made;
  try {
    switch (operation) {
      case OpZip: resultText = operations_->Zip(request_); break;
      case OpUnZip: resultText = operations_->UnZip(request_, made); break;
      case OpList: resultText = operations_->List(request_, made); break;
      case OpExtract: resultText = operations_->Extract(request_); break;
      case OpDelete: resultText = operations_->Delete(request_); break;
      case OpNone: break;
    }
  } catch (const std::bad_alloc&) {
    resultText = kOutOfMemory;
  } catch (const std::exception& failure) {
    // An operation is meant to report through its result text; whatever escaped it still
    // must not reach the script as success.
    resultText = *failure.what() ? failure.what() : kUnexpectedFailure;
  } catch (...) {
    resultText = kUnexpectedFailure;
  }
  if (resultText.empty()) {
    errorFlag_ = 0;  // the reason of an earlier failure stays readable
    if (collection) *collection = std::move(made);
  } else {
    errorReason_ = std::move(resultText);
    errorFlag_ = 1;
  }
}

bool CZIP::ValidateRequest(HostingRequest& hosting) {
  switch (request_.operation) {
    case OpZip:
      for (const std::string& file : hosting.files) {
        if (!FileExists(file)) {
          hosting.errorReason = "Please specify the valid " + file + " file name to be zipped";
          return false;
        }
      }
      for (const std::string& folder : hosting.folders) {
        if (!FolderExists(folder)) {
          hosting.errorReason = "Please specify the valid " + folder + " folder name to be zipped";
          return false;
        }
      }
      break;  // the archive itself may not exist yet: Zip creates it
    case OpUnZip:
    case OpExtract:
      if (hosting.targetPath.empty() || !FolderExists(hosting.targetPath)) {
        hosting.errorReason = kInvalidTargetPath;
        return false;
      }
      [[fallthrough]];
    case OpList:
    case OpDelete:
      if (!FileExists(hosting.zipFile)) {
        hosting.errorReason = kInvalidZipFile;
        return false;
      }
      break;
    case OpNone:
      return false;
  }
  return CheckCallGate(hosting);
}

void CZIP::PutText(BSTR value, std::string& field) {
  if (!value) {
    errorReason_ = kInvalidValue;
    return;
  }
  field = Utf8FromBstr(value);
}

void CZIP::Enqueue(BSTR value, TextList& queue) {
  if (!value) {
    errorReason_ = kInvalidValue;
    return;
  }
  if (SysStringLen(value) == 0) return;
  queue.push_back(Utf8FromBstr(value));
}

HostingRequest CZIP::MakeHostingRequest() const {
  HostingRequest hosting;
  hosting.operation = request_.operation;
  hosting.zipFile = request_.zipFile;
  hosting.targetPath = request_.targetPath;
  hosting.files = request_.files;
  hosting.folders = request_.folders;
  hosting.componentName = componentName_;
  hosting.requestPath = requestPath_;
  hosting.adminIniPath = adminIniPath_;
  hosting.webSiteIniPath = webSiteIniPath_;
  hosting.securityBypass = securityBypass_;
  hosting.errorReason = errorReason_;
  return hosting;
}

void CZIP::TakeHostingRequest(HostingRequest&& hosting) {
  // The gate may have replaced the paths it allowed by their resolved forms: the operation opens
  // what was judged.
  request_.zipFile = std::move(hosting.zipFile);
  request_.targetPath = std::move(hosting.targetPath);
  request_.files = std::move(hosting.files);
  request_.folders = std::move(hosting.folders);
  requestPath_ = hosting.requestPath;
  adminIniPath_ = hosting.adminIniPath;
  webSiteIniPath_ = hosting.webSiteIniPath;
  securityBypass_ = hosting.securityBypass;
  errorReason_ = hosting.errorReason;
}
