// TypeLibrary.cpp -- the tables of BREVIKLib 1.0 and the early-bound call behind each row.
#include "frame/automation/TypeLibrary.h"

#include "frame/automation/IUnZip.h"
#include "frame/automation/IUnZipEntries.h"
#include "frame/automation/IZIP.h"

namespace {

// Each call casts `self` back to the interface whose table holds it: the dispatcher only ever
// passes the object's own interface pointer for that table.
IZIP* Zip(IDispatch* self) { return static_cast<IZIP*>(self); }
IUnZip* UnZip(IDispatch* self) { return static_cast<IUnZip*>(self); }
IUnZipEntries* Entry(IDispatch* self) { return static_cast<IUnZipEntries*>(self); }

// A get's value goes into `result` only when the member succeeded.
HRESULT ShortResult(HRESULT hr, SHORT value, VARIANT* result) {
  if (SUCCEEDED(hr)) {
    result->vt = VT_I2;
    result->iVal = value;
  }
  return hr;
}
HRESULT LongResult(HRESULT hr, LONG value, VARIANT* result) {
  if (SUCCEEDED(hr)) {
    result->vt = VT_I4;
    result->lVal = value;
  }
  return hr;
}
HRESULT TextResult(HRESULT hr, BSTR value, VARIANT* result) {
  if (SUCCEEDED(hr)) {
    result->vt = VT_BSTR;
    result->bstrVal = value;
  } else {
    SysFreeString(value);
  }
  return hr;
}
HRESULT ObjectResult(HRESULT hr, IUnknown* value, VARIANT* result) {
  if (SUCCEEDED(hr)) {
    result->vt = VT_UNKNOWN;
    result->punkVal = value;
  } else if (value) {
    value->Release();
  }
  return hr;
}

const ArgumentInfo kLongValue[] = {{"value", VT_I4}};
const ArgumentInfo kTextValue[] = {{"value", VT_BSTR}};
const ArgumentInfo kFolder[] = {{"Folder", VT_BSTR}};
const ArgumentInfo kFile[] = {{"File", VT_BSTR}};
const ArgumentInfo kIndex[] = {{"Index", VT_I4}};

using K = MemberKind;

const MemberInfo kZipMembers[] = {
    {"CreateNew", K::PropertyPut, 1, 1, kLongValue, VT_EMPTY, "property CreateNew",
     [](IDispatch* s, VARIANT* a, VARIANT*) { return Zip(s)->put_CreateNew(a[0].lVal); }},
    {"ZipFile", K::PropertyPut, 6, 2, kTextValue, VT_EMPTY, "property ZipFile",
     [](IDispatch* s, VARIANT* a, VARIANT*) { return Zip(s)->put_ZipFile(a[0].bstrVal); }},
    // The coclass ZIP claims this name first in the library's one-form-per-name table.
    {"ZIP", K::Method, 7, 3, {}, VT_EMPTY, "method Zip",
     [](IDispatch* s, VARIANT*, VARIANT*) { return Zip(s)->Zip(); }},
    {"IsError", K::PropertyGet, 8, 4, {}, VT_I2, "property IsError",
     [](IDispatch* s, VARIANT*, VARIANT* r) {
       SHORT value = 0;
       const HRESULT hr = Zip(s)->get_IsError(&value);  // before `value` is read
       return ShortResult(hr, value, r);
     }},
    {"ErrorReason", K::PropertyGet, 9, 5, {}, VT_BSTR, "property ErrorReason",
     [](IDispatch* s, VARIANT*, VARIANT* r) {
       BSTR value = nullptr;
       const HRESULT hr = Zip(s)->get_ErrorReason(&value);  // before `value` is read
       return TextResult(hr, value, r);
     }},
    {"UsePath", K::PropertyPut, 12, 6, kLongValue, VT_EMPTY, "property UsePath",
     [](IDispatch* s, VARIANT* a, VARIANT*) { return Zip(s)->put_UsePath(a[0].lVal); }},
    {"AddFolder", K::Method, 13, 7, kFolder, VT_EMPTY, "method AddFolder",
     [](IDispatch* s, VARIANT* a, VARIANT*) { return Zip(s)->AddFolder(a[0].bstrVal); }},
    {"UnZip", K::Method, 14, 8, {}, VT_VARIANT, "method UnZip",
     [](IDispatch* s, VARIANT*, VARIANT* r) { return Zip(s)->UnZip(r); }},
    {"TargetPath", K::PropertyPut, 15, 9, kTextValue, VT_EMPTY, "property TargetPath",
     [](IDispatch* s, VARIANT* a, VARIANT*) { return Zip(s)->put_TargetPath(a[0].bstrVal); }},
    {"List", K::Method, 16, 10, {}, VT_VARIANT, "method List",
     [](IDispatch* s, VARIANT*, VARIANT* r) { return Zip(s)->List(r); }},
    {"Extract", K::Method, 17, 11, {}, VT_EMPTY, "method Extract",
     [](IDispatch* s, VARIANT*, VARIANT*) { return Zip(s)->Extract(); }},
    {"Delete", K::Method, 20, 12, {}, VT_EMPTY, "method Delete",
     [](IDispatch* s, VARIANT*, VARIANT*) { return Zip(s)->Delete(); }},
    {"Add", K::Method, 21, 13, kFile, VT_EMPTY, "method Add",
     [](IDispatch* s, VARIANT* a, VARIANT*) { return Zip(s)->Add(a[0].bstrVal); }},
    {"SubFolders", K::PropertyPut, 22, 14, kLongValue, VT_EMPTY, "property SubFolders",
     [](IDispatch* s, VARIANT* a, VARIANT*) { return Zip(s)->put_SubFolders(a[0].lVal); }},
    {"NameConflict", K::PropertyPut, 23, 15, kTextValue, VT_EMPTY, "property NameConflict",
     [](IDispatch* s, VARIANT* a, VARIANT*) { return Zip(s)->put_NameConflict(a[0].bstrVal); }},
    {"Password", K::PropertyPut, 24, 16, kTextValue, VT_EMPTY, "property Password",
     [](IDispatch* s, VARIANT* a, VARIANT*) { return Zip(s)->put_Password(a[0].bstrVal); }},
    {"Encryption", K::PropertyPut, 25, 17, kTextValue, VT_EMPTY, "property Encryption",
     [](IDispatch* s, VARIANT* a, VARIANT*) { return Zip(s)->put_Encryption(a[0].bstrVal); }},
};

const MemberInfo kUnZipMembers[] = {
    {"Count", K::PropertyGet, 0x60020000, 1, {}, VT_I4, "Returns number of items in collection.",
     [](IDispatch* s, VARIANT*, VARIANT* r) {
       LONG value = 0;
       const HRESULT hr = UnZip(s)->get_Count(&value);  // before `value` is read
       return LongResult(hr, value, r);
     }},
    {"Item", K::PropertyGet, DISPID_VALUE, 2, kIndex, VT_VARIANT,
     "Given an index, returns an item in the collection.",
     [](IDispatch* s, VARIANT* a, VARIANT* r) { return UnZip(s)->get_Item(a[0].lVal, r); }},
    {"_NewEnum", K::PropertyGet, DISPID_NEWENUM, 3, {}, VT_UNKNOWN,
     "returns an enumerator for the collection.",
     [](IDispatch* s, VARIANT*, VARIANT* r) {
       IUnknown* value = nullptr;
       const HRESULT hr = UnZip(s)->get__NewEnum(&value);  // before `value` is read
       return ObjectResult(hr, value, r);
     }},
};

const MemberInfo kUnZipEntriesMembers[] = {
    {"Name", K::PropertyGet, 1, 1, {}, VT_BSTR, "property Name",
     [](IDispatch* s, VARIANT*, VARIANT* r) {
       BSTR value = nullptr;
       const HRESULT hr = Entry(s)->get_Name(&value);  // before `value` is read
       return TextResult(hr, value, r);
     }},
    {"Type", K::PropertyGet, 2, 2, {}, VT_BSTR, "property Type",
     [](IDispatch* s, VARIANT*, VARIANT* r) {
       BSTR value = nullptr;
       const HRESULT hr = Entry(s)->get_Type(&value);  // before `value` is read
       return TextResult(hr, value, r);
     }},
    {"Size", K::PropertyGet, 3, 3, {}, VT_VARIANT, "property Size",
     [](IDispatch* s, VARIANT*, VARIANT* r) { return Entry(s)->get_Size(r); }},
    {"SavedName", K::PropertyGet, 4, 4, {}, VT_BSTR, "property SavedName",
     [](IDispatch* s, VARIANT*, VARIANT* r) {
       BSTR value = nullptr;
       const HRESULT hr = Entry(s)->get_SavedName(&value);  // before `value` is read
       return TextResult(hr, value, r);
     }},
    {"PasswordRequired", K::PropertyGet, 5, 5, {}, VT_BSTR, "property PasswordRequired",
     [](IDispatch* s, VARIANT*, VARIANT* r) {
       BSTR value = nullptr;
       const HRESULT hr = Entry(s)->get_PasswordRequired(&value);  // before `value` is read
       return TextResult(hr, value, r);
     }},
    {"ErrorReason", K::PropertyGet, 6, 6, {}, VT_BSTR, "property ErrorReason",
     [](IDispatch* s, VARIANT*, VARIANT* r) {
       BSTR value = nullptr;
       const HRESULT hr = Entry(s)->get_ErrorReason(&value);  // before `value` is read
       return TextResult(hr, value, r);
     }},
};

const InterfaceInfo kIZIP = {"IZIP", &IID_IZIP, "IZIP Interface", kZipMembers};
const InterfaceInfo kIUnZip = {"IUnZip", &IID_IUnZip, "IUnZip Interface", kUnZipMembers};
const InterfaceInfo kIUnZipEntries = {"IUnZipEntries", &IID_IUnZipEntries,
                                      "IUnZipEntries Interface", kUnZipEntriesMembers};

const InterfaceInfo* const kInterfaces[] = {&kIZIP, &kIUnZip, &kIUnZipEntries};
const CoclassInfo kCoclasses[] = {{"ZIP", &CLSID_ZIP, "ZIP Class", &kIZIP}};

const TypeLibraryInfo kLibrary = {"BREVIKLib", &LIBID_BREVIKLib, 1, 0, 1033,
                                  "Brevik 1.0 Type Library", kInterfaces, kCoclasses};

char16_t AsciiLower(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c; }

}  // namespace

const InterfaceInfo& IZIP::TypeInfo() noexcept { return kIZIP; }
const InterfaceInfo& IUnZip::TypeInfo() noexcept { return kIUnZip; }
const InterfaceInfo& IUnZipEntries::TypeInfo() noexcept { return kIUnZipEntries; }

const TypeLibraryInfo& BrevikTypeLibrary() noexcept { return kLibrary; }

const MemberInfo* FindMemberByDispid(const InterfaceInfo& info, DISPID dispid) noexcept {
  for (const MemberInfo& member : info.members)
    if (member.dispid == dispid) return &member;
  return nullptr;
}

bool NameEqualsNoCase(std::u16string_view name, const char* tableName) noexcept {
  size_t i = 0;
  for (; tableName[i] != 0; ++i)
    if (i >= name.size() || AsciiLower(name[i]) != AsciiLower(static_cast<char16_t>(tableName[i])))
      return false;
  return i == name.size();
}

const MemberInfo* FindMemberByName(const InterfaceInfo& info, std::u16string_view name) noexcept {
  for (const MemberInfo& member : info.members)
    if (NameEqualsNoCase(name, member.name)) return &member;
  return nullptr;
}
