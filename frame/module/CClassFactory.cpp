// CClassFactory.cpp -- the class object that creates instances of one object-map entry.
#include "frame/module/CClassFactory.h"

#include <new>

#include "frame/automation/ModuleLockCount.h"

CClassFactory* CClassFactory::Create(const ObjectMapEntry& entry) noexcept {
  return new (std::nothrow) CClassFactory(entry);
}

HRESULT CClassFactory::QueryInterface(REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IClassFactory)) return E_NOINTERFACE;
  *object = static_cast<IClassFactory*>(this);
  AddRef();
  return S_OK;
}

ULONG CClassFactory::AddRef() {
  const ULONG count = ++referenceCount_;
  // 1 -> 2: the first reference beyond the cache's own.
  if (count == 2) ModuleLockCount::Increment();
  return count;
}

ULONG CClassFactory::Release() {
  const ULONG count = --referenceCount_;
  if (count == 1) ModuleLockCount::Decrement();
  if (count == 0) delete this;
  return count;
}

HRESULT CClassFactory::CreateInstance(IUnknown* outer, REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  // An aggregated object can be handed only its inner IUnknown, or the outer object could not
  // control its lifetime.
  if (outer != nullptr && !IsEqualIID(iid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;
  // The creator is noexcept and answers E_OUTOFMEMORY itself.
  return entry_.create(outer, iid, object);
}

HRESULT CClassFactory::LockServer(BOOL lock) {
  if (lock) {
    ModuleLockCount::Increment();
  } else {
    ModuleLockCount::Decrement();
  }
  return S_OK;
}
