// ModuleClassObjectTest.cpp -- DllGetClassObject, the class object's rules and the lock count.
#include <gtest/gtest.h>

#include <set>
#include <thread>
#include <vector>

#include "frame/automation/ComPtr.h"
#include "frame/automation/IClassFactory.h"
#include "frame/automation/ISupportErrorInfo.h"
#include "frame/automation/IUnZip.h"
#include "frame/automation/IUnZipEntries.h"
#include "frame/automation/ScopedVariant.h"
#include "frame/automation/UniqueBstr.h"
#include "frame/automation/IZIP.h"
#include "frame/automation/ModuleLockCount.h"
#include "frame/module/CBrevikApp.h"
#include "frame/module/ModuleExports.h"
#include "support/ScratchDir.h"
#include "support/Shell.h"

namespace {

/// A sentinel that no successful call leaves in an out pointer.
void* const kGarbage = reinterpret_cast<void*>(0x1);

ComPtr<IClassFactory> ZipClassObject() {
  ComPtr<IClassFactory> factory;
  EXPECT_EQ(S_OK, DllGetClassObject(CLSID_ZIP, IID_IClassFactory, reinterpret_cast<void**>(factory.ReleaseAndGetAddressOf())));
  return factory;
}

/// An outer object for aggregation that counts the references delegated to it.
class CountingOuter final : public IUnknown {
public:
  HRESULT QueryInterface(REFIID iid, void** object) override {
    *object = nullptr;
    ++queries;
    lastQueried = iid;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return ++references; }
  ULONG Release() override { return --references; }

  ULONG references = 1;
  int queries = 0;
  IID lastQueried{};
};

}  // namespace

TEST(ModuleClassObject, OnlyTheZipClassIsAvailable) {
  ASSERT_TRUE(CBrevikApp::IsRunning());  // the library's start ran before main
  const GUID unknownClass = {0x12345678, 0x1234, 0x5678, {1, 2, 3, 4, 5, 6, 7, 8}};
  for (const CLSID* clsid : {&CLSID_UnZip, &CLSID_UnZipEntries, &unknownClass, &IID_IZIP}) {
    void* object = kGarbage;
    EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, DllGetClassObject(*clsid, IID_IClassFactory, &object));
    EXPECT_EQ(nullptr, object);
  }
  EXPECT_EQ(E_POINTER, DllGetClassObject(CLSID_ZIP, IID_IClassFactory, nullptr));

  // The class object answers for IUnknown and IClassFactory only.
  void* object = kGarbage;
  EXPECT_EQ(E_NOINTERFACE, DllGetClassObject(CLSID_ZIP, IID_IDispatch, &object));
  EXPECT_EQ(nullptr, object);
  ComPtr<IUnknown> asUnknown;
  ASSERT_EQ(S_OK, DllGetClassObject(CLSID_ZIP, IID_IUnknown, reinterpret_cast<void**>(asUnknown.ReleaseAndGetAddressOf())));
  const ComPtr<IClassFactory> first = ZipClassObject();
  const ComPtr<IClassFactory> second = ZipClassObject();
  EXPECT_EQ(first.Get(), second.Get());  // created once, then cached
  EXPECT_EQ(static_cast<IUnknown*>(first.Get()), asUnknown.Get());
}

TEST(ModuleClassObject, CreateInstanceFollowsTheCreationRules) {
  const ComPtr<IClassFactory> factory = ZipClassObject();
  ASSERT_TRUE(factory);
  EXPECT_EQ(E_POINTER, factory->CreateInstance(nullptr, IID_IZIP, nullptr));

  CountingOuter outer;
  void* object = kGarbage;
  EXPECT_EQ(CLASS_E_NOAGGREGATION, factory->CreateInstance(&outer, IID_IZIP, &object));
  EXPECT_EQ(nullptr, object);
  object = kGarbage;
  EXPECT_EQ(CLASS_E_NOAGGREGATION, factory->CreateInstance(&outer, IID_IDispatch, &object));
  EXPECT_EQ(nullptr, object);
  EXPECT_EQ(1u, outer.references);

  // A plain object answers for its four interfaces, and an interface it lacks destroys it.
  const int32_t before = ModuleLockCount::Current();
  object = kGarbage;
  EXPECT_EQ(E_NOINTERFACE, factory->CreateInstance(nullptr, IID_IClassFactory, &object));
  EXPECT_EQ(nullptr, object);
  EXPECT_EQ(before, ModuleLockCount::Current());
  ComPtr<IZIP> zip;
  ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IZIP, reinterpret_cast<void**>(zip.ReleaseAndGetAddressOf())));
  EXPECT_EQ(before + 1, ModuleLockCount::Current());
  ComPtr<IDispatch> dispatch;
  EXPECT_EQ(S_OK, zip.As(IID_IDispatch, dispatch));
  ComPtr<ISupportErrorInfo> errorInfo;
  ASSERT_EQ(S_OK, zip.As(IID_ISupportErrorInfo, errorInfo));
  EXPECT_EQ(S_OK, errorInfo->InterfaceSupportsErrorInfo(IID_IZIP));
  EXPECT_EQ(S_FALSE, errorInfo->InterfaceSupportsErrorInfo(IID_IDispatch));
  EXPECT_EQ(S_FALSE, errorInfo->InterfaceSupportsErrorInfo(IID_IUnZip));
  SHORT isError = -1;
  EXPECT_EQ(S_OK, zip->get_IsError(&isError));
  EXPECT_EQ(0, isError);
  zip.Reset();
  dispatch.Reset();
  errorInfo.Reset();
  EXPECT_EQ(before, ModuleLockCount::Current());

  // Aggregated: the inner unknown owns the object, its interfaces delegate to the outer one.
  ComPtr<IUnknown> inner;
  ASSERT_EQ(S_OK, factory->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(inner.ReleaseAndGetAddressOf())));
  IZIP* aggregated = nullptr;
  ASSERT_EQ(S_OK, inner->QueryInterface(IID_IZIP, reinterpret_cast<void**>(&aggregated)));
  EXPECT_EQ(2u, outer.references);
  void* delegated = kGarbage;
  EXPECT_EQ(E_NOINTERFACE, aggregated->QueryInterface(IID_IUnZip, &delegated));
  EXPECT_EQ(1, outer.queries);
  EXPECT_TRUE(IsEqualIID(IID_IUnZip, outer.lastQueried));
  aggregated->Release();
  EXPECT_EQ(1u, outer.references);
  EXPECT_EQ(before + 1, ModuleLockCount::Current());
  inner.Reset();
  EXPECT_EQ(before, ModuleLockCount::Current());
}

TEST(ModuleClassObject, CanUnloadOnlyWhenNothingIsAlive) {
  ASSERT_EQ(S_OK, DllCanUnloadNow());
  {
    // A host holding the class object keeps the library loaded, without LockServer.
    const ComPtr<IClassFactory> factory = ZipClassObject();
    EXPECT_EQ(S_FALSE, DllCanUnloadNow());
  }
  EXPECT_EQ(S_OK, DllCanUnloadNow());

  IClassFactory* factory = nullptr;
  ASSERT_EQ(S_OK, DllGetClassObject(CLSID_ZIP, IID_IClassFactory, reinterpret_cast<void**>(&factory)));
  EXPECT_EQ(S_OK, factory->LockServer(TRUE));
  EXPECT_EQ(S_OK, factory->LockServer(TRUE));
  factory->Release();
  EXPECT_EQ(S_FALSE, DllCanUnloadNow());

  ComPtr<IClassFactory> again = ZipClassObject();
  EXPECT_EQ(S_OK, again->LockServer(FALSE));
  EXPECT_EQ(S_OK, again->LockServer(FALSE));
  ComPtr<IUnknown> object;
  ASSERT_EQ(S_OK, again->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(object.ReleaseAndGetAddressOf())));
  again.Reset();
  EXPECT_EQ(S_FALSE, DllCanUnloadNow());  // the object alone keeps it loaded
  object.Reset();
  EXPECT_EQ(S_OK, DllCanUnloadNow());
}

TEST(ModuleClassObject, ManyThreadsGetOneClassObject) {
  // Start from a library without a cached class object, as right after loading.
  CBrevikApp::ExitInstance();
  void* object = kGarbage;
  EXPECT_EQ(E_UNEXPECTED, DllGetClassObject(CLSID_ZIP, IID_IClassFactory, &object));
  EXPECT_EQ(nullptr, object);
  CBrevikApp::InitInstance();

  constexpr int kThreads = 8;
  std::vector<IClassFactory*> seen(kThreads, nullptr);
  std::vector<HRESULT> results(kThreads, E_FAIL);
  {
    std::vector<std::jthread> threads;
    for (int i = 0; i < kThreads; ++i) {
      threads.emplace_back([&, i] {
        results[i] = DllGetClassObject(CLSID_ZIP, IID_IClassFactory, reinterpret_cast<void**>(&seen[i]));
      });
    }
  }
  std::set<IClassFactory*> distinct;
  for (int i = 0; i < kThreads; ++i) {
    EXPECT_EQ(S_OK, results[i]);
    distinct.insert(seen[i]);
  }
  EXPECT_EQ(1u, distinct.size());
  EXPECT_EQ(S_FALSE, DllCanUnloadNow());
  for (IClassFactory* factory : seen) {
    if (factory != nullptr) factory->Release();
  }
  EXPECT_EQ(S_OK, DllCanUnloadNow());
}

TEST(ModuleClassObject, EachClassOffersErrorInfoForItsOwnInterfaceOnly) {
  brevik::test::ScratchDir scratch;
  brevik::test::WriteFileBytes(scratch / "a.txt", "a");
  const auto made = brevik::test::RunCommand("cd " + brevik::test::ShellQuote(scratch.path()) + " && zip -q site.zip a.txt");
  ASSERT_EQ(0, made.exitStatus) << made.output;

  ComPtr<IZIP> zip;
  ASSERT_EQ(S_OK, ZipClassObject()->CreateInstance(nullptr, IID_IZIP, reinterpret_cast<void**>(zip.ReleaseAndGetAddressOf())));
  const UniqueBstr archive = UniqueBstr::FromUtf8(scratch / "site.zip");
  ASSERT_EQ(S_OK, zip->put_ZipFile(archive.Get()));
  ScopedVariant listing;
  ASSERT_EQ(S_OK, zip->List(listing.get()));
  ASSERT_EQ(VT_DISPATCH, listing->vt);
  ASSERT_NE(nullptr, listing->pdispVal);
  ComPtr<IUnZip> collection;
  ASSERT_EQ(S_OK, ComPtr<IDispatch>(listing->pdispVal).As(IID_IUnZip, collection));
  ScopedVariant item;
  ASSERT_EQ(S_OK, collection->get_Item(1, item.get()));
  ASSERT_EQ(VT_DISPATCH, item->vt);
  ComPtr<IUnZipEntries> entry;
  ASSERT_EQ(S_OK, ComPtr<IDispatch>(item->pdispVal).As(IID_IUnZipEntries, entry));

  struct Expectation {
    IUnknown* object;
    const IID* own;
  };
  for (const Expectation& expected : {Expectation{zip.Get(), &IID_IZIP}, Expectation{collection.Get(), &IID_IUnZip},
                                      Expectation{entry.Get(), &IID_IUnZipEntries}}) {
    ComPtr<ISupportErrorInfo> errorInfo;
    ASSERT_EQ(S_OK, ComPtr<IUnknown>(expected.object).As(IID_ISupportErrorInfo, errorInfo));
    for (const IID* iid : {&IID_IZIP, &IID_IUnZip, &IID_IUnZipEntries, &IID_IDispatch, &IID_IUnknown}) {
      EXPECT_EQ(iid == expected.own ? S_OK : S_FALSE, errorInfo->InterfaceSupportsErrorInfo(*iid));
    }
  }
  // The listing objects count as the component's objects too.
  zip.Reset();
  VariantClear(listing.get());
  collection.Reset();
  EXPECT_EQ(S_FALSE, DllCanUnloadNow());
  VariantClear(item.get());
  entry.Reset();
  EXPECT_EQ(S_OK, DllCanUnloadNow());
}
