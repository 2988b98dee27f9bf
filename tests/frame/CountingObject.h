// CountingObject.h -- a dispatch object for tests that counts its references and never dies.
#pragma once

#include "frame/automation/IDispatch.h"

namespace brevik::test {

/// Answers IUnknown and IDispatch (or IUnknown only); every Invoke fails. Lives on the stack of
/// the test, so that the count can be read after the last Release.
class CountingObject final : public IDispatch {
public:
  explicit CountingObject(bool answersDispatch = true) : answersDispatch_(answersDispatch) {}
  HRESULT QueryInterface(REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (!IsEqualIID(iid, IID_IUnknown) && !(answersDispatch_ && IsEqualIID(iid, IID_IDispatch)))
      return E_NOINTERFACE;
    *object = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
  }
  ULONG AddRef() override { return ++count; }
  ULONG Release() override { return --count; }
  HRESULT GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return E_NOTIMPL;
  }

  ULONG count = 1;  ///< the test's own reference

private:
  bool answersDispatch_;
};

}  // namespace brevik::test
