// VariantLifetimeTest.cpp -- VariantInit, VariantClear and VariantCopy own what they should.
#include <gtest/gtest.h>

#include <cstddef>

#include "CountingObject.h"
#include "frame/automation/ScopedVariant.h"
#include "frame/automation/UniqueBstr.h"

using brevik::test::CountingObject;

namespace {

TEST(VariantLifetime, TheLayoutMatchesTheWindowsOne) {
  EXPECT_EQ(sizeof(VARIANT), 24u);
  EXPECT_EQ(offsetof(VARIANT, lVal), 8u);
  EXPECT_EQ(sizeof(DISPPARAMS), 24u);
}

TEST(VariantLifetime, ClearReleasesWhatTheVariantOwnsAndNothingElse) {
  CountingObject object;
  VARIANT value;
  VariantInit(&value);
  value.vt = VT_DISPATCH;
  value.pdispVal = &object;
  object.AddRef();
  EXPECT_EQ(VariantClear(&value), S_OK);
  EXPECT_EQ(object.count, 1u);
  EXPECT_EQ(value.vt, VT_EMPTY);
  // By reference, the variant owns nothing.
  IDispatch* slot = &object;
  value.vt = VT_BYREF | VT_DISPATCH;
  value.ppdispVal = &slot;
  EXPECT_EQ(VariantClear(&value), S_OK);
  EXPECT_EQ(object.count, 1u);
  value.vt = VT_BSTR;
  value.bstrVal = SysAllocString(u"freed by Clear");  // the sanitizer build sees a leak otherwise
  EXPECT_EQ(VariantClear(&value), S_OK);
  value.vt = VT_BSTR;
  value.bstrVal = nullptr;
  EXPECT_EQ(VariantClear(&value), S_OK);
  // Unknown tags are refused and left alone.
  value.vt = VT_ARRAY | VT_I4;
  EXPECT_EQ(VariantClear(&value), DISP_E_BADVARTYPE);
  EXPECT_EQ(value.vt, VT_ARRAY | VT_I4);
  value.vt = 0x7FF;
  EXPECT_EQ(VariantClear(&value), DISP_E_BADVARTYPE);
  EXPECT_EQ(VariantClear(nullptr), E_POINTER);
}

TEST(VariantLifetime, CopyIsDeepForStringsAndCountedForObjects) {
  ScopedVariant text;
  text->vt = VT_BSTR;
  text->bstrVal = SysAllocString(u"copy me");
  ScopedVariant copy;
  ASSERT_EQ(VariantCopy(copy.get(), text.get()), S_OK);
  ASSERT_EQ(copy->vt, VT_BSTR);
  EXPECT_NE(copy->bstrVal, text->bstrVal);
  EXPECT_EQ(Utf8FromBstr(copy->bstrVal), "copy me");

  CountingObject object;
  {
    ScopedVariant holder;
    holder->vt = VT_UNKNOWN;
    holder->punkVal = &object;
    object.AddRef();
    // Copying over a value that holds a string releases that string first.
    ASSERT_EQ(VariantCopy(copy.get(), holder.get()), S_OK);
    EXPECT_EQ(object.count, 3u);
    EXPECT_EQ(VariantCopy(copy.get(), copy.get()), S_OK);  // onto itself: nothing happens
    EXPECT_EQ(object.count, 3u);
  }
  EXPECT_EQ(object.count, 2u);
  VariantClear(copy.get());
  EXPECT_EQ(object.count, 1u);

  ScopedVariant nullText;
  nullText->vt = VT_BSTR;
  nullText->bstrVal = nullptr;
  ASSERT_EQ(VariantCopy(copy.get(), nullText.get()), S_OK);
  EXPECT_EQ(copy->vt, VT_BSTR);
  EXPECT_EQ(copy->bstrVal, nullptr);  // the null string stays null
  VARIANT bad;
  VariantInit(&bad);
  bad.vt = VT_ARRAY | VT_BSTR;
  EXPECT_EQ(VariantCopy(copy.get(), &bad), DISP_E_BADVARTYPE);
}

TEST(VariantLifetime, ScopedVariantMovesItsContents) {
  CountingObject object;
  ScopedVariant first;
  first->vt = VT_DISPATCH;
  first->pdispVal = &object;
  object.AddRef();
  ScopedVariant second = std::move(first);
  EXPECT_EQ(first->vt, VT_EMPTY);
  ScopedVariant third;
  third->vt = VT_BSTR;
  third->bstrVal = SysAllocString(u"replaced");
  third = std::move(second);
  EXPECT_EQ(third->pdispVal, &object);
  VARIANT out;
  third.DetachTo(&out);
  EXPECT_EQ(third->vt, VT_EMPTY);
  EXPECT_EQ(object.count, 2u);
  VariantClear(&out);
  EXPECT_EQ(object.count, 1u);
}

}  // namespace
