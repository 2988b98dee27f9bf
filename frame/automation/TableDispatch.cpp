// TableDispatch.cpp -- name look-up and argument checking for every dual interface.
#include "frame/automation/TableDispatch.h"

#include <new>

#include "frame/automation/ScopedVariant.h"

namespace {

// The widest member of the library takes one argument; a little room for later members.
constexpr size_t kMaxArguments = 4;

std::u16string_view ZeroTerminated(const OLECHAR* text) {
  size_t length = 0;
  while (text[length] != 0) ++length;
  return {text, length};
}

bool KindAllows(MemberKind kind, WORD flags) {
  switch (kind) {
    case MemberKind::Method: return (flags & DISPATCH_METHOD) != 0;
    case MemberKind::PropertyGet: return (flags & (DISPATCH_PROPERTYGET | DISPATCH_METHOD)) != 0;
    case MemberKind::PropertyPut: return (flags & DISPATCH_PROPERTYPUT) != 0;
  }
  return false;
}

bool IsMissingArgument(const VARIANT& argument) {
  return argument.vt == VT_ERROR && argument.scode == DISP_E_PARAMNOTFOUND;
}

}  // namespace

HRESULT TableDispatch::GetIDsOfNames(const InterfaceInfo& info, REFIID iid, LPOLESTR* names,
                                     UINT nameCount, DISPID* dispids) noexcept {
  if (!IsEqualIID(iid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  if (nameCount == 0) return S_OK;
  if (!names || !dispids) return E_POINTER;
  for (UINT i = 0; i < nameCount; ++i) dispids[i] = DISPID_UNKNOWN;
  const MemberInfo* member = names[0] ? FindMemberByName(info, ZeroTerminated(names[0])) : nullptr;
  if (!member) return DISP_E_UNKNOWNNAME;
  dispids[0] = member->dispid;
  bool allKnown = true;
  for (UINT i = 1; i < nameCount; ++i) {
    for (size_t position = 0; names[i] && position < member->arguments.size(); ++position) {
      if (NameEqualsNoCase(ZeroTerminated(names[i]), member->arguments[position].name)) {
        dispids[i] = static_cast<DISPID>(position);
        break;
      }
    }
    allKnown = allKnown && dispids[i] != DISPID_UNKNOWN;
  }
  return allKnown ? S_OK : DISP_E_UNKNOWNNAME;
}

HRESULT TableDispatch::Invoke(const InterfaceInfo& info, IDispatch* self, DISPID memberId,
                              REFIID iid, WORD flags, DISPPARAMS* params, VARIANT* result,
                              EXCEPINFO*, UINT* argError) noexcept {
  if (result) VariantInit(result);
  if (!IsEqualIID(iid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  const MemberInfo* member = FindMemberByDispid(info, memberId);
  if (!member || !KindAllows(member->kind, flags)) return DISP_E_MEMBERNOTFOUND;
  // A put is recognised by the member's kind, not by `flags` alone, since a caller may set
  // several flag bits at once.
  const bool isPut = member->kind == MemberKind::PropertyPut;

  DISPPARAMS noArguments{nullptr, nullptr, 0, 0};
  const DISPPARAMS& given = params ? *params : noArguments;
  const size_t argumentCount = member->arguments.size();
  if (given.cArgs != argumentCount || given.cNamedArgs > given.cArgs) return DISP_E_BADPARAMCOUNT;
  if (argumentCount > kMaxArguments) return E_UNEXPECTED;
  if (argumentCount > 0 && !given.rgvarg) return E_INVALIDARG;
  if (given.cNamedArgs > 0 && !given.rgdispidNamedArgs) return E_INVALIDARG;

  // Which entry of rgvarg fills each argument position.
  UINT sourceIndex[kMaxArguments];
  bool filled[kMaxArguments] = {};
  bool putValueNamed = false;
  for (UINT i = 0; i < given.cNamedArgs; ++i) {
    const DISPID named = given.rgdispidNamedArgs[i];
    size_t position = 0;
    if (isPut && named == DISPID_PROPERTYPUT) {
      position = argumentCount - 1;
      putValueNamed = true;
    } else if (named >= 0 && static_cast<size_t>(named) < argumentCount) {
      position = static_cast<size_t>(named);
    } else {
      return DISP_E_PARAMNOTFOUND;
    }
    if (filled[position]) return DISP_E_PARAMNOTFOUND;
    filled[position] = true;
    sourceIndex[position] = i;
  }
  if (isPut && !putValueNamed) return DISP_E_PARAMNOTOPTIONAL;
  // Positional arguments follow the named ones in rgvarg, in reverse order.
  const UINT positionalCount = given.cArgs - given.cNamedArgs;
  for (UINT k = 0; k < positionalCount; ++k) {
    if (filled[k]) return DISP_E_PARAMNOTFOUND;
    filled[k] = true;
    sourceIndex[k] = given.cArgs - 1 - k;
  }

  ScopedVariant converted[kMaxArguments];
  VARIANT arguments[kMaxArguments];
  for (size_t position = 0; position < argumentCount; ++position) {
    const VARIANT& source = given.rgvarg[sourceIndex[position]];
    const bool missing = IsMissingArgument(source) ||
                         (source.vt == (VT_BYREF | VT_VARIANT) && source.pvarVal &&
                          IsMissingArgument(*source.pvarVal));
    if (missing) {
      if (argError) *argError = sourceIndex[position];
      return DISP_E_PARAMNOTOPTIONAL;
    }
    const HRESULT hr =
        VariantChangeType(converted[position].get(), &source, 0, member->arguments[position].type);
    if (FAILED(hr)) {
      if (argError) *argError = sourceIndex[position];
      return hr == E_OUTOFMEMORY ? E_OUTOFMEMORY : DISP_E_TYPEMISMATCH;
    }
    arguments[position] = *converted[position].get();  // a view: `converted` keeps ownership
  }

  ScopedVariant memberResult;
  HRESULT hr = E_UNEXPECTED;
  try {
    hr = member->call(self, arguments, memberResult.get());
  } catch (const std::bad_alloc&) {
    hr = E_OUTOFMEMORY;
  } catch (...) {
    hr = E_UNEXPECTED;
  }
  if (result) memberResult.DetachTo(result);
  return hr;
}
