// ZipObjectDispatchTest.cpp -- the ZIP object as a component: names, misuse, interfaces, lifetime.
#include <gtest/gtest.h>

#include "ZipObjectTestSupport.h"
#include "frame/automation/ModuleLockCount.h"
#include "frame/automation/TypeLibrary.h"
#include "support/ScratchDir.h"
#include "support/Shell.h"

using namespace brevik::test;

namespace {

class ZipObjectDispatch : public ::testing::Test, protected ZipObjectFixture {};

TEST_F(ZipObjectDispatch, EveryMemberIsFoundByNameInAnyCase) {
  const std::pair<const char16_t*, DISPID> names[] = {
      {u"CreateNew", 1}, {u"zipfile", 6}, {u"Zip", 7}, {u"ZIP", 7}, {u"zIP", 7},
      {u"ISERROR", 8}, {u"errorReason", 9}, {u"UsePath", 12}, {u"addfolder", 13},
      {u"UnZip", 14}, {u"TARGETPATH", 15}, {u"list", 16}, {u"Extract", 17}, {u"DELETE", 20},
      {u"add", 21}, {u"subFolders", 22}, {u"NameConflict", 23}, {u"PASSWORD", 24}, {u"encryption", 25}};
  for (const auto& [name, id] : names) EXPECT_EQ(zip.IdOf(name), id) << Utf16ToUtf8(name);
  HRESULT hr = S_OK;
  for (const char16_t* unknown : {u"Zipp", u"", u"Zi", u"Count", u"Is Error", u"\u00c4dd"}) {
    EXPECT_EQ(zip.IdOf(unknown, &hr), DISPID_UNKNOWN);
    EXPECT_EQ(hr, DISP_E_UNKNOWNNAME) << Utf16ToUtf8(unknown);
  }
}

TEST_F(ZipObjectDispatch, ArgumentNamesMapToPositionsAndUnknownOnesAreReported) {
  std::u16string member = u"ADD", argument = u"file", wrong = u"Folder";
  LPOLESTR names[] = {member.data(), argument.data(), wrong.data()};
  DISPID ids[3] = {0, 0, 0};
  EXPECT_EQ(zip.get()->GetIDsOfNames(IID_NULL, names, 2, 1033, ids), S_OK);
  EXPECT_EQ(ids[0], 21);
  EXPECT_EQ(ids[1], 0);
  EXPECT_EQ(zip.get()->GetIDsOfNames(IID_NULL, names, 3, 1033, ids), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(ids[2], DISPID_UNKNOWN);
  EXPECT_EQ(zip.get()->GetIDsOfNames(IID_IZIP, names, 1, 1033, ids), DISP_E_UNKNOWNINTERFACE);
  UINT count = 7;
  EXPECT_EQ(zip.get()->GetTypeInfoCount(&count), S_OK);
  EXPECT_EQ(count, 0u);
}

TEST_F(ZipObjectDispatch, MisuseGetsTheDispatchFailureAndChangesNothing) {
  ScopedVariant text = TextArg("x"), other = TextArg("y"), nullValue = TypedArg(VT_NULL);
  ScopedVariant result;
  // A kind the member does not have.
  EXPECT_EQ(zip.Invoke(u"Zip", DISPATCH_PROPERTYPUT, {&text}), DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(zip.Invoke(u"ZipFile", DISPATCH_PROPERTYGET, {}, result.get()), DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(result->vt, VT_EMPTY);
  EXPECT_EQ(zip.Invoke(u"Password", DISPATCH_METHOD, {&text}), DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(zip.Invoke(u"IsError", DISPATCH_PROPERTYPUT, {&text}), DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(zip.Invoke(u"Add", DISPATCH_PROPERTYPUTREF, {&text}), DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(zip.InvokeId(99, DISPATCH_METHOD, {}), DISP_E_MEMBERNOTFOUND);
  // Too few or too many arguments.
  EXPECT_EQ(zip.Invoke(u"Add", DISPATCH_METHOD, {}), DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(zip.Invoke(u"Add", DISPATCH_METHOD, {&text, &other}), DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(zip.Invoke(u"Zip", DISPATCH_METHOD, {&text}), DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(zip.Invoke(u"ErrorReason", DISPATCH_PROPERTYGET, {&text}, result.get()), DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(zip.Invoke(u"ZipFile", DISPATCH_PROPERTYPUT, {&text, &other}), DISP_E_BADPARAMCOUNT);
  // A value that does not convert names its argument.
  UINT argError = 77;
  EXPECT_EQ(zip.Invoke(u"Add", DISPATCH_METHOD, {&nullValue}, nullptr, &argError), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(argError, 0u);
  ScopedVariant notANumber = TextArg("twelve");
  EXPECT_EQ(zip.Invoke(u"CreateNew", DISPATCH_PROPERTYPUT, {&notANumber}), DISP_E_TYPEMISMATCH);
  ScopedVariant object;
  object->vt = VT_DISPATCH;
  object->pdispVal = zip.get();
  zip.get()->AddRef();
  EXPECT_EQ(zip.Invoke(u"ZipFile", DISPATCH_PROPERTYPUT, {&object}), DISP_E_TYPEMISMATCH);
  // A missing optional argument is not accepted: no member has one.
  ScopedVariant missing;
  missing->vt = VT_ERROR;
  missing->scode = DISP_E_PARAMNOTFOUND;
  EXPECT_EQ(zip.Invoke(u"AddFolder", DISPATCH_METHOD, {&missing}), DISP_E_PARAMNOTOPTIONAL);
  // A put must name its value.
  DISPPARAMS unnamed{text.get(), nullptr, 1, 0};
  EXPECT_EQ(zip.get()->Invoke(6, IID_NULL, 0, DISPATCH_PROPERTYPUT, &unnamed, nullptr, nullptr, nullptr),
            DISP_E_PARAMNOTOPTIONAL);
  EXPECT_EQ(zip.get()->Invoke(7, IID_IZIP, 0, DISPATCH_METHOD, nullptr, nullptr, nullptr, nullptr),
            DISP_E_UNKNOWNINTERFACE);

  EXPECT_EQ(zip.GetShort(u"IsError"), 0);
  EXPECT_EQ(zip.GetText(u"ErrorReason"), "");
  EXPECT_TRUE(operations->requests.empty());
}

TEST_F(ZipObjectDispatch, ArgumentsConvertAsScriptsPassThem) {
  ScratchDir scratch;
  WriteFileBytes(scratch / "a.zip", "x");
  ASSERT_EQ(zip.Put(u"ZipFile", (scratch / "a.zip").c_str()), S_OK);
  // VBScript passes a variable by reference.
  ScopedVariant held = TextArg("queued.txt");
  ScopedVariant byReference;
  byReference->vt = VT_BYREF | VT_VARIANT;
  byReference->pvarVal = held.get();
  ASSERT_EQ(zip.Call(u"Add", {&byReference}), S_OK);
  ScopedVariant number = LongArg(42);
  ASSERT_EQ(zip.Call(u"Add", {&number}), S_OK);  // a number becomes its text
  ScopedVariant real;
  real->vt = VT_R8;
  real->dblVal = 2.5;  // rounds half to even
  ASSERT_EQ(zip.Invoke(u"CreateNew", DISPATCH_PROPERTYPUT, {&real}), S_OK);
  ScopedVariant boolean;
  boolean->vt = VT_BOOL;
  boolean->boolVal = VARIANT_TRUE;
  ASSERT_EQ(zip.Invoke(u"UsePath", DISPATCH_PROPERTYPUT, {&boolean}), S_OK);
  ASSERT_EQ(zip.Put(u"SubFolders", " 0 "), S_OK);
  ASSERT_EQ(zip.Call(u"Delete"), S_OK);
  const ZipRequest& request = operations->Last();
  EXPECT_EQ(request.files, (TextList{"queued.txt", "42"}));
  EXPECT_EQ(request.createNew, 2);
  EXPECT_EQ(request.usePath, -1);
  EXPECT_EQ(request.subFolders, 0);
  // The caller's by-reference value is left as it was.
  EXPECT_EQ(Utf8FromBstr(held->bstrVal), "queued.txt");
}

TEST_F(ZipObjectDispatch, ResultsGoToTheResultVariantOrAreReleasedWithoutOne) {
  ASSERT_EQ(zip.Call(u"List"), S_OK);  // writes an error reason
  // Without a result VARIANT the out-string is made and released (the sanitizer build would
  // report a leak).
  EXPECT_EQ(zip.Invoke(u"ErrorReason", DISPATCH_PROPERTYGET, {}, nullptr), S_OK);
  EXPECT_EQ(zip.Invoke(u"List", DISPATCH_METHOD, {}, nullptr), S_OK);
  // Invoke initialises the result VARIANT whatever it held before.
  VARIANT garbage;
  garbage.vt = VT_I4;
  garbage.lVal = 5;
  EXPECT_EQ(zip.Invoke(u"IsError", DISPATCH_PROPERTYGET, {}, &garbage), S_OK);
  EXPECT_EQ(garbage.vt, VT_I2);
  EXPECT_EQ(garbage.iVal, 1);
}

TEST_F(ZipObjectDispatch, EarlyBoundMembersAnswerThroughTheInterfaceTable) {
  ComPtr<IZIP> direct;
  ASSERT_EQ(ComPtr<IDispatch>(zip.get()).As(IID_IZIP, direct), S_OK);
  UniqueBstr name = UniqueBstr::FromUtf8("  /no/such.zip ");
  EXPECT_EQ(direct->put_ZipFile(name.Get()), S_OK);
  EXPECT_EQ(direct->Extract(), S_OK);
  SHORT flag = 0;
  EXPECT_EQ(direct->get_IsError(&flag), S_OK);
  EXPECT_EQ(flag, 1);
  UniqueBstr reason;
  EXPECT_EQ(direct->get_ErrorReason(reason.ReleaseAndGetAddressOf()), S_OK);
  EXPECT_EQ(reason.ToUtf8(), "Please specify the valid target path to unzip");
  EXPECT_EQ(direct->get_IsError(nullptr), E_POINTER);
  EXPECT_EQ(direct->get_ErrorReason(nullptr), E_POINTER);
  EXPECT_EQ(direct->UnZip(nullptr), E_POINTER);
  EXPECT_EQ(direct->List(nullptr), E_POINTER);
}

TEST(ZipObjectIdentity, QueryInterfaceAnswersForItsFourInterfacesWithOneIdentity) {
  HostingPolicyInstall noPolicy;
  const int32_t before = ModuleLockCount::Current();
  IZIP* zip = nullptr;
  ASSERT_EQ(CZIP::CreateInstance(nullptr, IID_IZIP, reinterpret_cast<void**>(&zip)), S_OK);
  EXPECT_EQ(ModuleLockCount::Current(), before + 1);
  void* unknownFromZip = nullptr;
  void* unknownFromInfo = nullptr;
  ISupportErrorInfo* info = nullptr;
  IDispatch* dispatch = nullptr;
  ASSERT_EQ(zip->QueryInterface(IID_IUnknown, &unknownFromZip), S_OK);
  ASSERT_EQ(zip->QueryInterface(IID_ISupportErrorInfo, reinterpret_cast<void**>(&info)), S_OK);
  ASSERT_EQ(zip->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch)), S_OK);
  ASSERT_EQ(info->QueryInterface(IID_IUnknown, &unknownFromInfo), S_OK);
  EXPECT_EQ(unknownFromZip, unknownFromInfo);
  EXPECT_EQ(static_cast<void*>(dispatch), static_cast<void*>(zip));
  EXPECT_EQ(info->InterfaceSupportsErrorInfo(IID_IZIP), S_OK);
  EXPECT_EQ(info->InterfaceSupportsErrorInfo(IID_IDispatch), S_FALSE);
  EXPECT_EQ(info->InterfaceSupportsErrorInfo(IID_IUnZip), S_FALSE);
  void* none = reinterpret_cast<void*>(1);
  EXPECT_EQ(zip->QueryInterface(IID_IUnZip, &none), E_NOINTERFACE);
  EXPECT_EQ(none, nullptr);
  EXPECT_EQ(zip->QueryInterface(IID_IClassFactory, &none), E_NOINTERFACE);
  EXPECT_EQ(zip->QueryInterface(IID_IZIP, nullptr), E_POINTER);
  static_cast<IUnknown*>(unknownFromZip)->Release();
  static_cast<IUnknown*>(unknownFromInfo)->Release();
  info->Release();
  dispatch->Release();
  EXPECT_EQ(ModuleLockCount::Current(), before + 1);
  EXPECT_EQ(zip->Release(), 0u);
  EXPECT_EQ(ModuleLockCount::Current(), before);
}

TEST(ZipObjectIdentity, CreationRefusesBadArgumentsAndLeavesNoObjectBehind) {
  const int32_t before = ModuleLockCount::Current();
  EXPECT_EQ(CZIP::CreateInstance(nullptr, IID_IZIP, nullptr), E_POINTER);
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(CZIP::CreateInstance(nullptr, IID_IEnumVARIANT, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  out = reinterpret_cast<void*>(1);
  // Any outer object will do: aggregation is refused before it is used.
  IUnknown* outer = reinterpret_cast<IUnknown*>(&out);
  EXPECT_EQ(CZIP::CreateInstance(outer, IID_IZIP, &out), CLASS_E_NOAGGREGATION);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(ModuleLockCount::Current(), before);
}

// An outer object that aggregates a ZIP object and counts its own references.
class OuterObject final : public IUnknown {
public:
  OuterObject() {
    EXPECT_EQ(CZIP::CreateInstance(this, IID_IUnknown, reinterpret_cast<void**>(&inner_)), S_OK);
  }
  ~OuterObject() {
    if (inner_) inner_->Release();
  }
  HRESULT QueryInterface(REFIID iid, void** object) override {
    if (IsEqualIID(iid, IID_IUnknown)) {
      *object = this;
      AddRef();
      return S_OK;
    }
    return inner_->QueryInterface(iid, object);
  }
  ULONG AddRef() override { return ++count_; }
  ULONG Release() override { return --count_; }  // lives on the stack of the test
  ULONG count() const { return count_; }
  IUnknown* inner() const { return inner_; }

private:
  ULONG count_ = 1;
  IUnknown* inner_ = nullptr;
};

TEST(ZipObjectIdentity, AnAggregatedObjectDelegatesItsUnknownToTheOuterObject) {
  HostingPolicyInstall noPolicy;
  const int32_t before = ModuleLockCount::Current();
  {
    OuterObject outer;
    ASSERT_NE(outer.inner(), nullptr);
    EXPECT_NE(outer.inner(), static_cast<IUnknown*>(&outer));
    IDispatch* dispatch = nullptr;
    ASSERT_EQ(outer.QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch)), S_OK);
    // The reference taken for `dispatch` went to the outer object.
    EXPECT_EQ(outer.count(), 2u);
    void* identity = nullptr;
    ASSERT_EQ(dispatch->QueryInterface(IID_IUnknown, &identity), S_OK);
    EXPECT_EQ(identity, static_cast<void*>(&outer));
    EXPECT_EQ(outer.count(), 3u);
    static_cast<IUnknown*>(identity)->Release();
    ScriptObject script(dispatch);
    EXPECT_EQ(script.Call(u"Zip"), S_OK);
    EXPECT_EQ(script.GetText(u"ErrorReason"), "Please specify the valid ZIP file name");
    dispatch->Release();
    EXPECT_EQ(ModuleLockCount::Current(), before + 1);
  }
  EXPECT_EQ(ModuleLockCount::Current(), before);
}

}  // namespace
