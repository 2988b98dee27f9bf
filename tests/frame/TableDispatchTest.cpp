// TableDispatchTest.cpp -- the table-driven IDispatch over the collection and entry interfaces.
#include <gtest/gtest.h>

#include <string>

#include "CountingObject.h"
#include "frame/automation/IUnZip.h"
#include "frame/automation/IUnZipEntries.h"
#include "frame/automation/ScopedVariant.h"
#include "frame/automation/TableDispatch.h"

using brevik::test::CountingObject;

namespace {

// A collection of `count` numbers whose Item(i) is i * 10; it records the index it was given.
class FakeCollection final : public DispatchImpl<IUnZip> {
public:
  HRESULT QueryInterface(REFIID, void**) override { return E_NOTIMPL; }
  ULONG AddRef() override { return 2; }
  ULONG Release() override { return 1; }
  HRESULT get_Count(LONG* value) override {
    *value = count;
    return S_OK;
  }
  HRESULT get_Item(LONG index, VARIANT* item) override {
    lastIndex = index;
    item->vt = VT_UNKNOWN;
    item->punkVal = nullptr;
    if (index < 1 || index > count) return E_INVALIDARG;
    item->vt = VT_I4;
    item->lVal = index * 10;
    return S_OK;
  }
  HRESULT get__NewEnum(IUnknown** enumerator) override {
    enumerator_.AddRef();
    *enumerator = &enumerator_;
    return S_OK;
  }
  LONG count = 3;
  LONG lastIndex = 0;
  CountingObject enumerator_;
};

// An entry whose Type fails after making its string: the dispatcher must free that string.
class FakeEntry final : public DispatchImpl<IUnZipEntries> {
public:
  HRESULT QueryInterface(REFIID, void**) override { return E_NOTIMPL; }
  ULONG AddRef() override { return 2; }
  ULONG Release() override { return 1; }
  HRESULT get_Name(BSTR* value) override { return Make(u"dir/file.txt", value); }
  HRESULT get_Type(BSTR* value) override {
    Make(u"leaked unless freed", value);
    return E_FAIL;
  }
  HRESULT get_Size(VARIANT* value) override {
    value->vt = VT_I4;
    value->lVal = 1234;
    return S_OK;
  }
  HRESULT get_SavedName(BSTR* value) override { return Make(u"", value); }
  HRESULT get_PasswordRequired(BSTR* value) override { return Make(u"No", value); }
  HRESULT get_ErrorReason(BSTR* value) override { return Make(u"wrong password", value); }

private:
  static HRESULT Make(const char16_t* text, BSTR* value) {
    *value = SysAllocString(text);
    return S_OK;
  }
};

HRESULT Call(IDispatch& object, DISPID id, WORD flags, VARIANT* arguments, UINT count, VARIANT* result,
             DISPID* named = nullptr, UINT namedCount = 0, UINT* argError = nullptr) {
  DISPPARAMS params{arguments, named, count, namedCount};
  return object.Invoke(id, IID_NULL, 0, flags, &params, result, nullptr, argError);
}

TEST(TableDispatch, TheDefaultMemberTakesItsIndexConvertedAndPassesFailuresOn) {
  FakeCollection collection;
  ScopedVariant index;
  index->vt = VT_BSTR;
  index->bstrVal = SysAllocString(u" 2 ");
  ScopedVariant result;
  ASSERT_EQ(Call(collection, DISPID_VALUE, DISPATCH_PROPERTYGET, index.get(), 1, result.get()), S_OK);
  EXPECT_EQ(collection.lastIndex, 2);
  EXPECT_EQ(result->vt, VT_I4);
  EXPECT_EQ(result->lVal, 20);
  // JScript calls a get with arguments as a method.
  ScopedVariant three;
  three->vt = VT_I2;
  three->iVal = 3;
  ASSERT_EQ(Call(collection, DISPID_VALUE, DISPATCH_METHOD, three.get(), 1, result.get()), S_OK);
  EXPECT_EQ(result->lVal, 30);
  // Out of range: the member's own failure, with the result it set.
  ScopedVariant four;
  four->vt = VT_I4;
  four->lVal = 4;
  EXPECT_EQ(Call(collection, DISPID_VALUE, DISPATCH_PROPERTYGET, four.get(), 1, result.get()), E_INVALIDARG);
  EXPECT_EQ(result->vt, VT_UNKNOWN);
  EXPECT_EQ(result->punkVal, nullptr);
  // The index as a named argument, by the position GetIDsOfNames gives it.
  std::u16string item = u"item", indexName = u"INDEX";
  LPOLESTR names[] = {item.data(), indexName.data()};
  DISPID ids[2] = {};
  ASSERT_EQ(collection.GetIDsOfNames(IID_NULL, names, 2, 0, ids), S_OK);
  EXPECT_EQ(ids[0], DISPID_VALUE);
  EXPECT_EQ(ids[1], 0);
  ASSERT_EQ(Call(collection, ids[0], DISPATCH_PROPERTYGET, three.get(), 1, result.get(), &ids[1], 1), S_OK);
  EXPECT_EQ(result->lVal, 30);
  DISPID wrongPosition = 1;
  EXPECT_EQ(Call(collection, DISPID_VALUE, DISPATCH_PROPERTYGET, three.get(), 1, result.get(), &wrongPosition, 1),
            DISP_E_PARAMNOTFOUND);
  DISPID putName = DISPID_PROPERTYPUT;  // only a put names its value so
  EXPECT_EQ(Call(collection, DISPID_VALUE, DISPATCH_PROPERTYGET, three.get(), 1, result.get(), &putName, 1),
            DISP_E_PARAMNOTFOUND);
}

TEST(TableDispatch, WrongKindsCountsAndTypesAreRefusedBeforeTheMemberRuns) {
  FakeCollection collection;
  ScopedVariant result;
  ScopedVariant index;
  index->vt = VT_I4;
  index->lVal = 1;
  DISPID putName = DISPID_PROPERTYPUT;
  EXPECT_EQ(Call(collection, DISPID_VALUE, DISPATCH_PROPERTYPUT, index.get(), 1, nullptr, &putName, 1),
            DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(Call(collection, DISPID_VALUE, DISPATCH_PROPERTYGET, nullptr, 0, result.get()), DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(Call(collection, 0x60020000, DISPATCH_PROPERTYGET, index.get(), 1, result.get()), DISP_E_BADPARAMCOUNT);
  ScopedVariant text;
  text->vt = VT_BSTR;
  text->bstrVal = SysAllocString(u"first");
  UINT argError = 99;
  EXPECT_EQ(Call(collection, DISPID_VALUE, DISPATCH_PROPERTYGET, text.get(), 1, result.get(), nullptr, 0, &argError),
            DISP_E_TYPEMISMATCH);
  EXPECT_EQ(argError, 0u);
  ScopedVariant tooLarge;
  tooLarge->vt = VT_R8;
  tooLarge->dblVal = 1e12;
  EXPECT_EQ(Call(collection, DISPID_VALUE, DISPATCH_PROPERTYGET, tooLarge.get(), 1, result.get()), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(collection.lastIndex, 0);  // Item never ran
  EXPECT_EQ(collection.Invoke(DISPID_VALUE, IID_IUnZip, 0, DISPATCH_PROPERTYGET, nullptr, result.get(), nullptr, nullptr),
            DISP_E_UNKNOWNINTERFACE);
  // No argument block at all is the same as an empty one.
  ASSERT_EQ(collection.Invoke(0x60020000, IID_NULL, 0, DISPATCH_PROPERTYGET, nullptr, result.get(), nullptr, nullptr),
            S_OK);
  EXPECT_EQ(result->lVal, 3);
}

TEST(TableDispatch, TheEnumeratorMemberHandsOutAnUnknownReference) {
  FakeCollection collection;
  {
    ScopedVariant result;
    ASSERT_EQ(Call(collection, DISPID_NEWENUM, DISPATCH_PROPERTYGET | DISPATCH_METHOD, nullptr, 0, result.get()), S_OK);
    EXPECT_EQ(result->vt, VT_UNKNOWN);
    EXPECT_EQ(result->punkVal, static_cast<IUnknown*>(&collection.enumerator_));
    EXPECT_EQ(collection.enumerator_.count, 2u);
  }
  EXPECT_EQ(collection.enumerator_.count, 1u);
  // Without a result VARIANT the reference is released again.
  ASSERT_EQ(Call(collection, DISPID_NEWENUM, DISPATCH_PROPERTYGET, nullptr, 0, nullptr), S_OK);
  EXPECT_EQ(collection.enumerator_.count, 1u);
}

TEST(TableDispatch, EntryPropertiesAndAFailingGetThatMadeAString) {
  FakeEntry entry;
  const std::pair<const char16_t*, std::u16string> texts[] = {
      {u"name", u"dir/file.txt"}, {u"SAVEDNAME", u""}, {u"PasswordRequired", u"No"}, {u"errorreason", u"wrong password"}};
  for (const auto& [name, expected] : texts) {
    std::u16string copy = name;
    LPOLESTR names[] = {copy.data()};
    DISPID id = 0;
    ASSERT_EQ(entry.GetIDsOfNames(IID_NULL, names, 1, 0, &id), S_OK);
    ScopedVariant result;
    ASSERT_EQ(Call(entry, id, DISPATCH_PROPERTYGET, nullptr, 0, result.get()), S_OK);
    ASSERT_EQ(result->vt, VT_BSTR);
    EXPECT_EQ(std::u16string(result->bstrVal, SysStringLen(result->bstrVal)), expected);
  }
  ScopedVariant size;
  ASSERT_EQ(Call(entry, 3, DISPATCH_PROPERTYGET, nullptr, 0, size.get()), S_OK);
  EXPECT_EQ(size->vt, VT_I4);
  EXPECT_EQ(size->lVal, 1234);
  ScopedVariant failed;
  EXPECT_EQ(Call(entry, 2, DISPATCH_PROPERTYGET, nullptr, 0, failed.get()), E_FAIL);
  EXPECT_EQ(failed->vt, VT_EMPTY);  // the string it made was freed, not handed out
  EXPECT_EQ(Call(entry, 7, DISPATCH_PROPERTYGET, nullptr, 0, failed.get()), DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(Call(entry, 1, DISPATCH_PROPERTYPUTREF, nullptr, 0, failed.get()), DISP_E_MEMBERNOTFOUND);
}

}  // namespace
