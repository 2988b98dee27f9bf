// CEnumVariant.cpp -- Next, Skip, Reset and Clone over a listing's item references.
#include "scripting/CEnumVariant.h"

#include <new>

HRESULT CEnumVariant::Create(std::vector<ComPtr<IDispatch>> items, std::size_t position,
                             ComPtr<IEnumVARIANT>& out) noexcept {
  out.Reset();
  if (position > items.size()) position = items.size();
  auto* enumerator = new (std::nothrow) CEnumVariant(std::move(items), position);
  if (!enumerator) return E_OUTOFMEMORY;
  out = ComPtr<IEnumVARIANT>(enumerator);
  return S_OK;
}

HRESULT CEnumVariant::QueryInterface(REFIID iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (!(iid == IID_IUnknown || iid == IID_IEnumVARIANT)) return E_NOINTERFACE;
  *object = static_cast<IEnumVARIANT*>(this);
  AddRef();
  return S_OK;
}

ULONG CEnumVariant::AddRef() { return ++referenceCount_; }

ULONG CEnumVariant::Release() {
  const ULONG left = --referenceCount_;
  if (left == 0) delete this;
  return left;
}

HRESULT CEnumVariant::Next(ULONG count, VARIANT* items, ULONG* fetched) {
  if (fetched) *fetched = 0;
  if (!fetched && count != 1) return E_POINTER;
  if (!items && count > 0) return E_POINTER;
  ULONG copied = 0;
  while (copied < count && position_ < items_.size()) {
    VARIANT& slot = items[copied];
    VariantInit(&slot);
    IDispatch* item = items_[position_].Get();
    if (item) item->AddRef();
    slot.vt = VT_DISPATCH;
    slot.pdispVal = item;
    ++copied;
    ++position_;
  }
  if (fetched) *fetched = copied;
  return copied == count ? S_OK : S_FALSE;
}

HRESULT CEnumVariant::Skip(ULONG count) {
  const std::size_t remaining = items_.size() - position_;
  if (count > remaining) {
    position_ = items_.size();
    return S_FALSE;
  }
  position_ += count;
  return S_OK;
}

HRESULT CEnumVariant::Reset() {
  position_ = 0;
  return S_OK;
}

HRESULT CEnumVariant::Clone(IEnumVARIANT** copy) {
  if (!copy) return E_POINTER;
  *copy = nullptr;
  ComPtr<IEnumVARIANT> clone;
  HRESULT hr;
  try {
    hr = Create(items_, position_, clone);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  if (SUCCEEDED(hr)) *copy = clone.Detach();
  return hr;
}
