// CEnumVariant.cpp -- Next, Skip, Reset and Clone over a listing's item references.
#include "scripting/CEnumVariant.h"

#include <new>

HRESULT CEnumVariant::Create(SharedDispatchList items, std::size_t position, ComPtr<IEnumVARIANT>& out) noexcept {
  out.Reset();
  const std::size_t count = items ? items->size() : 0;
  if (position > count) position = count;
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
  while (copied < count && position_ < ItemCount()) {
    VARIANT& slot = items[copied];
    VariantInit(&slot);
    IDispatch* item = (*items_)[position_].Get();
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
  const std::size_t remaining = ItemCount() - position_;
  if (count > remaining) {
    position_ = ItemCount();
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
  const HRESULT hr = Create(items_, position_, clone);
  if (SUCCEEDED(hr)) *copy = clone.Detach();
  return hr;
}
