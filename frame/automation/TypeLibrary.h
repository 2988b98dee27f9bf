// TypeLibrary.h -- the compiled-in type library BREVIKLib 1.0: interfaces, members, coclass.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "frame/automation/ComTypes.h"
#include "frame/automation/Guid.h"
#include "frame/automation/HResult.h"
#include "frame/automation/Variant.h"

struct IDispatch;

/// What a member is to a caller of Invoke.
enum class MemberKind : uint8_t {
  Method,       ///< called with DISPATCH_METHOD
  PropertyGet,  ///< read-only property, DISPATCH_PROPERTYGET
  PropertyPut,  ///< write-only property, DISPATCH_PROPERTYPUT with a DISPID_PROPERTYPUT value
};

/// One in-argument as the script writes it.
struct ArgumentInfo {
  const char* name;
  VARTYPE type;  ///< the type Invoke converts the script's value to
};

/// Calls one member early-bound. `self` is the interface the table describes; `arguments` hold
/// the converted in-arguments in the order the script wrote them; `result` is never null and
/// starts VT_EMPTY: the member's result (a get's value, a method's [out, retval]) goes there.
using MemberCall = HRESULT (*)(IDispatch* self, VARIANT* arguments, VARIANT* result);

/// One row of an interface's table.
struct MemberInfo {
  const char* name;        ///< the form in the library's name table ("ZIP" for the method Zip)
  MemberKind kind;
  DISPID dispid;
  uint16_t order;          ///< 1-based position in the interface's operation table after IDispatch
  std::span<const ArgumentInfo> arguments;
  VARTYPE resultType;      ///< VT_EMPTY for none; VT_VARIANT for an [out, retval] VARIANT
  const char* helpString;
  MemberCall call;
};

/// A dual interface: derives from IDispatch, every operation returns HRESULT.
struct InterfaceInfo {
  const char* name;
  const IID* iid;
  const char* helpString;
  std::span<const MemberInfo> members;  ///< in operation-table order
};

/// A creatable class and its default interface.
struct CoclassInfo {
  const char* name;
  const CLSID* clsid;
  const char* helpString;
  const InterfaceInfo* defaultInterface;
};

/// The whole library.
struct TypeLibraryInfo {
  const char* name;  ///< "BREVIKLib"
  const GUID* libid;
  WORD majorVersion;
  WORD minorVersion;
  LCID locale;  ///< 1033
  const char* helpString;
  std::span<const InterfaceInfo* const> interfaces;
  std::span<const CoclassInfo> coclasses;
};

/// BREVIKLib 1.0 with the coclass ZIP and the interfaces IZIP, IUnZip and IUnZipEntries.
const TypeLibraryInfo& BrevikTypeLibrary() noexcept;

/// The member of `info` with `dispid`, or null.
const MemberInfo* FindMemberByDispid(const InterfaceInfo& info, DISPID dispid) noexcept;

/// True when `name` equals the ASCII `tableName` without regard to ASCII case.
bool NameEqualsNoCase(std::u16string_view name, const char* tableName) noexcept;

/// The member of `info` whose name equals `name` without regard to ASCII case, or null. Member
/// names are ASCII, so a name with other characters never matches.
const MemberInfo* FindMemberByName(const InterfaceInfo& info, std::u16string_view name) noexcept;
