// EntryReason.cpp -- reading an entry's not-extracted reason through IEntryOutcome.
#include "tools/EntryReason.h"

#include "frame/automation/IEntryOutcome.h"
#include "frame/automation/UniqueBstr.h"

std::string NotExtractedReasonOf(IDispatch* entry) {
  if (entry == nullptr) return std::string();
  void* pointer = nullptr;
  if (FAILED(entry->QueryInterface(IID_IEntryOutcome, &pointer)) || pointer == nullptr) return std::string();
  auto* outcome = static_cast<IEntryOutcome*>(pointer);
  UniqueBstr reason;
  const HRESULT hr = outcome->get_NotExtractedReason(reason.ReleaseAndGetAddressOf());
  outcome->Release();
  return SUCCEEDED(hr) ? reason.ToUtf8() : std::string();
}
