// VariantChangeTypeTest.cpp -- conversions between the types the automation contract uses.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "CountingObject.h"
#include "frame/automation/ScopedVariant.h"
#include "frame/automation/TextConversion.h"

using brevik::test::CountingObject;

namespace {

ScopedVariant Text(const std::u16string& text) {
  ScopedVariant value;
  value->vt = VT_BSTR;
  value->bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  return value;
}
ScopedVariant Real(double number) {
  ScopedVariant value;
  value->vt = VT_R8;
  value->dblVal = number;
  return value;
}
ScopedVariant Of(VARTYPE type, LONGLONG bits = 0) {
  ScopedVariant value;
  value->vt = type;
  value->llVal = bits;
  return value;
}

// Converts and returns the result as text for easy comparison ("hr:<hex>" on failure).
std::string Converted(const ScopedVariant& source, VARTYPE type) {
  ScopedVariant target;
  const HRESULT hr = VariantChangeType(target.get(), source.get(), 0, type);
  if (FAILED(hr)) {
    char text[20];
    std::snprintf(text, sizeof text, "hr:%08X", static_cast<unsigned>(hr));
    return text;
  }
  if (target->vt != type) return "wrong type";
  switch (type) {
    case VT_I2: return std::to_string(target->iVal);
    case VT_I4: return std::to_string(target->lVal);
    case VT_UI1: return std::to_string(target->bVal);
    case VT_I8: return std::to_string(target->llVal);
    case VT_UI4: return std::to_string(target->ulVal);
    case VT_R8: return std::to_string(target->dblVal);
    case VT_BOOL: return target->boolVal == VARIANT_TRUE ? "true" : target->boolVal == 0 ? "false" : "bad bool";
    case VT_BSTR: return target->bstrVal ? "'" + Utf8FromBstr(target->bstrVal) + "'" : "<null>";
    case VT_EMPTY: return "empty";
    case VT_NULL: return "null";
    case VT_UNKNOWN:
    case VT_DISPATCH: return target->punkVal ? "object" : "<null object>";
    default: return "?";
  }
}

constexpr const char* kMismatch = "hr:80020005";
constexpr const char* kOverflow = "hr:8002000A";
constexpr const char* kBadType = "hr:80020008";

TEST(VariantChangeType, EmptyNullAndTheNullString) {
  EXPECT_EQ(Converted(Of(VT_EMPTY), VT_BSTR), "''");
  EXPECT_EQ(Converted(Of(VT_EMPTY), VT_I4), "0");
  EXPECT_EQ(Converted(Of(VT_EMPTY), VT_BOOL), "false");
  EXPECT_EQ(Converted(Of(VT_EMPTY), VT_EMPTY), "empty");
  EXPECT_EQ(Converted(Of(VT_NULL), VT_BSTR), kMismatch);
  EXPECT_EQ(Converted(Of(VT_NULL), VT_I4), kMismatch);
  EXPECT_EQ(Converted(Of(VT_NULL), VT_NULL), "null");
  EXPECT_EQ(Converted(Of(VT_I4, 3), VT_NULL), kMismatch);
  // A null BSTR stays the null string as a string and reads as "" otherwise.
  ScopedVariant nullString = Of(VT_BSTR);
  EXPECT_EQ(Converted(nullString, VT_BSTR), "<null>");
  EXPECT_EQ(Converted(nullString, VT_I4), kMismatch);
}

TEST(VariantChangeType, NumbersRoundHalfToEvenAndReportOverflow) {
  EXPECT_EQ(Converted(Real(2.5), VT_I4), "2");
  EXPECT_EQ(Converted(Real(3.5), VT_I4), "4");
  EXPECT_EQ(Converted(Real(-2.5), VT_I4), "-2");
  EXPECT_EQ(Converted(Real(2.4999), VT_I2), "2");
  EXPECT_EQ(Converted(Real(2147483647.4), VT_I4), "2147483647");
  EXPECT_EQ(Converted(Real(2147483647.5), VT_I4), kOverflow);
  EXPECT_EQ(Converted(Real(std::nan("")), VT_I4), kOverflow);
  EXPECT_EQ(Converted(Of(VT_I4, 32768), VT_I2), kOverflow);
  EXPECT_EQ(Converted(Of(VT_I4, -32768), VT_I2), "-32768");
  EXPECT_EQ(Converted(Of(VT_I4, -1), VT_UI1), kOverflow);
  EXPECT_EQ(Converted(Of(VT_I4, -1), VT_UI4), kOverflow);
  EXPECT_EQ(Converted(Of(VT_UI4, 0xFFFFFFFFu), VT_I4), kOverflow);
  EXPECT_EQ(Converted(Of(VT_UI4, 0xFFFFFFFFu), VT_I8), "4294967295");
  EXPECT_EQ(Converted(Of(VT_I8, 1LL << 40), VT_I4), kOverflow);
  EXPECT_EQ(Converted(Of(VT_I8, std::numeric_limits<LONGLONG>::min()), VT_I8), "-9223372036854775808");
  EXPECT_EQ(Converted(Of(VT_I2, -7), VT_R8), "-7.000000");
  ScopedVariant huge = Real(1e300);
  EXPECT_EQ(Converted(huge, VT_I8), kOverflow);
  ScopedVariant tooBigForFloat = Real(1e300);
  ScopedVariant target;
  EXPECT_EQ(VariantChangeType(target.get(), tooBigForFloat.get(), 0, VT_R4), DISP_E_OVERFLOW);
}

TEST(VariantChangeType, StringsToNumbersAndBack) {
  EXPECT_EQ(Converted(Text(u"42"), VT_I4), "42");
  EXPECT_EQ(Converted(Text(u"  -17\t"), VT_I4), "-17");
  EXPECT_EQ(Converted(Text(u"+8"), VT_I2), "8");
  EXPECT_EQ(Converted(Text(u"2.5"), VT_I4), "2");
  EXPECT_EQ(Converted(Text(u"1e3"), VT_I4), "1000");
  EXPECT_EQ(Converted(Text(u"9223372036854775807"), VT_I8), "9223372036854775807");
  EXPECT_EQ(Converted(Text(u"99999"), VT_I2), kOverflow);
  for (const char16_t* bad : {u"", u"  ", u"abc", u"12abc", u"1 2", u"++1", u"0x10", u"\u0661"})
    EXPECT_EQ(Converted(Text(bad), VT_I4), kMismatch) << Utf16ToUtf8(bad);
  EXPECT_EQ(Converted(Of(VT_I4, -2147483648LL), VT_BSTR), "'-2147483648'");
  EXPECT_EQ(Converted(Of(VT_UI8, -1), VT_BSTR), "'18446744073709551615'");
  EXPECT_EQ(Converted(Real(1.5), VT_BSTR), "'1.5'");
  EXPECT_EQ(Converted(Real(0.1), VT_BSTR), "'0.1'");
  EXPECT_EQ(Converted(Real(1e20), VT_BSTR), "'1E+20'");
  EXPECT_EQ(Converted(Text(u"caf\u00e9"), VT_BSTR), "'caf\xC3\xA9'");
}

TEST(VariantChangeType, Booleans) {
  EXPECT_EQ(Converted(Of(VT_BOOL, VARIANT_TRUE), VT_I4), "-1");
  EXPECT_EQ(Converted(Of(VT_BOOL, VARIANT_TRUE), VT_BSTR), "'True'");
  EXPECT_EQ(Converted(Of(VT_BOOL, VARIANT_FALSE), VT_BSTR), "'False'");
  EXPECT_EQ(Converted(Of(VT_I4, 5), VT_BOOL), "true");
  EXPECT_EQ(Converted(Real(0.0), VT_BOOL), "false");
  EXPECT_EQ(Converted(Text(u"tRUE"), VT_BOOL), "true");
  EXPECT_EQ(Converted(Text(u"False"), VT_BOOL), "false");
  EXPECT_EQ(Converted(Text(u"0"), VT_BOOL), "false");
  EXPECT_EQ(Converted(Text(u"yes"), VT_BOOL), kMismatch);
}

TEST(VariantChangeType, ObjectsConvertOnlyBetweenInterfaceTypes) {
  CountingObject object;
  ScopedVariant source;
  source->vt = VT_DISPATCH;
  source->pdispVal = &object;
  object.AddRef();
  {
    ScopedVariant asUnknown;
    ASSERT_EQ(VariantChangeType(asUnknown.get(), source.get(), 0, VT_UNKNOWN), S_OK);
    EXPECT_EQ(asUnknown->vt, VT_UNKNOWN);
    EXPECT_EQ(asUnknown->punkVal, static_cast<IUnknown*>(&object));
    EXPECT_EQ(object.count, 3u);
  }
  EXPECT_EQ(object.count, 2u);
  // Default values are not fetched: an object is no string or number.
  EXPECT_EQ(Converted(source, VT_BSTR), kMismatch);
  EXPECT_EQ(Converted(source, VT_I4), kMismatch);
  EXPECT_EQ(Converted(Of(VT_I4, 1), VT_DISPATCH), kMismatch);
  CountingObject unknownOnly(false);
  ScopedVariant plain;
  plain->vt = VT_UNKNOWN;
  plain->punkVal = &unknownOnly;
  unknownOnly.AddRef();
  EXPECT_EQ(Converted(plain, VT_DISPATCH), kMismatch);
  EXPECT_EQ(unknownOnly.count, 2u);
  EXPECT_EQ(Converted(Of(VT_UNKNOWN), VT_DISPATCH), "<null object>");
  EXPECT_EQ(object.count, 2u);
}

TEST(VariantChangeType, InPlaceByReferenceAndUnsupportedTypes) {
  ScopedVariant value = Text(u"123");
  ASSERT_EQ(VariantChangeType(value.get(), value.get(), 0, VT_I4), S_OK);  // the string is freed
  EXPECT_EQ(value->vt, VT_I4);
  EXPECT_EQ(value->lVal, 123);
  // In place and failing: the source is left as it was.
  ScopedVariant word = Text(u"word");
  EXPECT_EQ(VariantChangeType(word.get(), word.get(), 0, VT_I4), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(Utf8FromBstr(word->bstrVal), "word");

  LONG number = 77;
  ScopedVariant byReference;
  byReference->vt = VT_BYREF | VT_I4;
  byReference->plVal = &number;
  EXPECT_EQ(Converted(byReference, VT_BSTR), "'77'");
  ScopedVariant inner = Text(u"inner");
  ScopedVariant byVariant;
  byVariant->vt = VT_BYREF | VT_VARIANT;
  byVariant->pvarVal = inner.get();
  EXPECT_EQ(Converted(byVariant, VT_BSTR), "'inner'");
  ScopedVariant dangling;
  dangling->vt = VT_BYREF | VT_I4;
  dangling->plVal = nullptr;
  EXPECT_EQ(Converted(dangling, VT_I4), kMismatch);

  EXPECT_EQ(Converted(Of(VT_I4, 1), VT_DATE), kBadType);
  EXPECT_EQ(Converted(Of(VT_I4, 1), VT_ARRAY | VT_I4), kBadType);
  EXPECT_EQ(Converted(Of(VT_ARRAY | VT_I4), VT_I4), kBadType);
  EXPECT_EQ(Converted(Of(VT_DATE), VT_I4), kMismatch);
  EXPECT_EQ(VariantChangeType(nullptr, value.get(), 0, VT_I4), E_POINTER);
}

}  // namespace
