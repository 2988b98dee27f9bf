// Enumerator.cpp -- a for-each walk over a collection's IEnumVARIANT.
#include "client/Enumerator.h"

#include <utility>

#include "client/DispatchError.h"

Enumerator::Enumerator(ComPtr<IEnumVARIANT> enumerator) noexcept
    : enumerator_(std::move(enumerator)), owner_(std::this_thread::get_id()) {}

void Enumerator::CheckCallable(const char* member) const {
  if (std::this_thread::get_id() != owner_) throw DispatchError(member, RPC_E_WRONG_THREAD);
  if (!enumerator_) throw DispatchError(member, E_POINTER);
}

bool Enumerator::Next(VariantValue& item) {
  CheckCallable("Next");
  VariantValue fetchedItem;
  ULONG fetched = 0;
  const HRESULT hr = enumerator_->Next(1, fetchedItem.get(), &fetched);
  if (FAILED(hr)) throw DispatchError("Next", hr);
  if (hr != S_OK || fetched != 1) return false;
  item = std::move(fetchedItem);
  return true;
}

void Enumerator::Reset() {
  CheckCallable("Reset");
  const HRESULT hr = enumerator_->Reset();
  if (FAILED(hr)) throw DispatchError("Reset", hr);
}

bool Enumerator::Skip(unsigned long count) {
  CheckCallable("Skip");
  const HRESULT hr = enumerator_->Skip(static_cast<ULONG>(count));
  if (FAILED(hr)) throw DispatchError("Skip", hr);
  return hr == S_OK;
}
