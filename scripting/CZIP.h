// CZIP.h -- the ZIP object: write-only settings, two queues, the operation frame, error state.
#pragma once

#include <memory>
#include <string>

#include "frame/automation/ISupportErrorInfo.h"
#include "frame/automation/IZIP.h"
#include "frame/automation/ModuleLockCount.h"
#include "frame/automation/TableDispatch.h"
#include "hosting/HostingRequest.h"
#include "scripting/ZipOperations.h"
#include "scripting/ZipRequest.h"

/// The one object page scripts create. Answers QueryInterface for IUnknown, IZIP, IDispatch and
/// ISupportErrorInfo; can be aggregated. Every IZIP member returns S_OK (E_POINTER for a null
/// out-pointer, E_OUTOFMEMORY when an out-string cannot be made) and reports the outcome of its
/// work through IsError and ErrorReason. Apartment-threaded: one thread at a time.
class CZIP final : public DispatchImpl<IZIP>, public ISupportErrorInfo {
public:
  /// Creates a ZIP object running this build's operations. `out` null: E_POINTER. `*out` is set
  /// to null first. `outer` given with any `iid` but IID_IUnknown: CLASS_E_NOAGGREGATION. With
  /// `outer`, the object delegates its IUnknown to `outer` and `*out` is its own (inner)
  /// unknown. A failing QueryInterface destroys the object and is returned; out of memory is
  /// E_OUTOFMEMORY.
  static HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** out) noexcept;

  /// As CreateInstance, running `operations` instead of this build's (tests use this).
  static HRESULT CreateInstanceWith(std::shared_ptr<ZipOperations> operations, IUnknown* outer,
                                    REFIID iid, void** out) noexcept;

  // IUnknown (delegates to the outer object when aggregated).
  HRESULT QueryInterface(REFIID iid, void** object) override;
  ULONG AddRef() override;
  ULONG Release() override;

  // ISupportErrorInfo: S_OK for IID_IZIP, S_FALSE otherwise.
  HRESULT InterfaceSupportsErrorInfo(REFIID iid) override;

  // IZIP
  HRESULT put_CreateNew(LONG value) override;
  HRESULT put_ZipFile(BSTR value) override;
  HRESULT Zip() override;
  HRESULT get_IsError(SHORT* value) override;
  HRESULT get_ErrorReason(BSTR* value) override;
  HRESULT put_UsePath(LONG value) override;
  HRESULT AddFolder(BSTR folder) override;
  HRESULT UnZip(VARIANT* collection) override;
  HRESULT put_TargetPath(BSTR value) override;
  HRESULT List(VARIANT* collection) override;
  HRESULT Extract() override;
  HRESULT Delete() override;
  HRESULT Add(BSTR file) override;
  HRESULT put_SubFolders(LONG value) override;
  HRESULT put_NameConflict(BSTR value) override;
  HRESULT put_Password(BSTR value) override;
  HRESULT put_Encryption(BSTR value) override;

private:
  /// The non-delegating unknown: owns the reference count and answers for the object's own
  /// interfaces, whether or not the object is aggregated.
  class InnerUnknown final : public IUnknown {
  public:
    explicit InnerUnknown(CZIP& owner) noexcept : owner_(owner) {}
    HRESULT QueryInterface(REFIID iid, void** object) override;
    ULONG AddRef() override;
    ULONG Release() override;

  private:
    CZIP& owner_;
  };

  CZIP(std::shared_ptr<ZipOperations> operations, IUnknown* outer) noexcept;
  ~CZIP() = default;

  /// Runs the frame for `operation`: prepare, validate, gate, work, error state. `collection`
  /// is non-null for UnZip and List.
  void RunOperation(ZipOperation operation, ComPtr<IDispatch>* collection);
  /// UnZip and List: the out-VARIANT is VT_DISPATCH, holding the collection or null on failure.
  HRESULT RunCollectionOperation(ZipOperation operation, VARIANT* collection);
  /// The existence checks of `request_.operation` on the paths of `hosting` (after the policy
  /// settings were located), then the policy gate; a refusal's text goes to `hosting.errorReason`.
  bool ValidateRequest(HostingRequest& hosting);
  /// Stores a property's string, or the null-string message for a null BSTR.
  void PutText(BSTR value, std::string& field);
  /// Appends to a queue: null BSTR gives the null-string message, "" is ignored.
  void Enqueue(BSTR value, TextList& queue);
  /// The hosting record with the request's and hosting fields copied in.
  HostingRequest MakeHostingRequest() const;
  /// Takes back what the policy may write: the trimmed zipFile, the paths it allowed in their
  /// resolved forms, the error reason, the hosting fields.
  void TakeHostingRequest(HostingRequest&& hosting);

  ModuleObjectLock moduleLock_;
  InnerUnknown inner_;
  IUnknown* controlling_;  ///< the outer object when aggregated, else &inner_
  ULONG referenceCount_ = 0;
  std::shared_ptr<ZipOperations> operations_;

  std::string errorReason_;
  SHORT errorFlag_ = 0;
  ZipRequest request_;

  // Hosting fields: read and written by the policy only.
  std::string componentName_ = "Brevik";
  std::string requestPath_;
  std::string adminIniPath_;
  std::string webSiteIniPath_;
  int32_t securityBypass_ = 0;
};
