// DispatchObject.h -- one automation object reached only by member name, as a page script does.
#pragma once

#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "client/DispatchError.h"
#include "client/VariantValue.h"
#include "frame/automation/ComPtr.h"
#include "frame/automation/IDispatch.h"

class Enumerator;

/// Holds one counted IDispatch reference (released by the destructor) and calls its members by
/// name through GetIDsOfNames and Invoke, as a script engine does. A name's DISPID is asked once
/// and kept for the object's life (names are matched by the object without regard to case; the
/// cache is keyed by the name as the caller spells it). The object belongs to the thread that
/// made this holder, as an apartment object does: a call from another thread is refused with
/// RPC_E_WRONG_THREAD before it reaches the object. Every call throws DispatchError when the
/// object answers with a failure code.
class DispatchObject {
public:
  /// Adopts one reference to `object`; null is allowed and makes every call fail with E_POINTER.
  explicit DispatchObject(IDispatch* object) noexcept;
  DispatchObject(DispatchObject&& other) noexcept = default;
  DispatchObject& operator=(DispatchObject&& other) noexcept = default;
  DispatchObject(const DispatchObject&) = delete;
  DispatchObject& operator=(const DispatchObject&) = delete;

  /// Takes a new dispatch reference out of `value` (VT_DISPATCH, or VT_UNKNOWN queried for
  /// IDispatch); anything else, or a null reference, gives an object whose calls fail.
  static DispatchObject FromVariant(const VARIANT& value);
  static DispatchObject FromVariant(const VariantValue& value) { return FromVariant(*value.get()); }

  /// Property put: `object.name = value`.
  void Put(const std::string& name, const VARIANT& value);
  void Put(const std::string& name, const VariantValue& value) { Put(name, *value.get()); }
  /// Property get with optional arguments (in the order a script writes them): `object.name(args)`.
  VariantValue Get(const std::string& name, const std::vector<const VariantValue*>& arguments = {});
  /// Method call: `result = object.name(args)`.
  VariantValue Call(const std::string& name, const std::vector<const VariantValue*>& arguments = {});

  /// The member's dispatch id, from the cache or asked of GetIDsOfNames (DISP_E_UNKNOWNNAME for a
  /// name the object does not have). Objects of one type share their ids, so a caller reading the
  /// same members of many such objects can look them up once.
  DISPID Lookup(const std::string& name);
  /// Property get of a member already looked up; `name` only names it in a DispatchError.
  VariantValue GetById(DISPID id, const std::string& name);

  /// Invokes member `id` with `flags` (DISPATCH_METHOD, DISPATCH_PROPERTYGET, both, or
  /// DISPATCH_PROPERTYPUT, whose one argument is the value) and `count` arguments in the order a
  /// script writes them. The arguments stay the caller's: the object only reads them. The
  /// result, VT_EMPTY for a put or a member without one. `name` names the member in a
  /// DispatchError, which carries the object's own description when it raised one.
  VariantValue Invoke(DISPID id, const std::string& name, WORD flags, const VARIANT* arguments, std::size_t count);

  /// The object's enumerator (its _NewEnum member queried for IEnumVARIANT), for a for-each walk.
  Enumerator Enumerate();

  IDispatch* get() const noexcept { return object_.Get(); }
  /// Whether the calling thread is the one the object belongs to.
  bool OnOwnerThread() const noexcept { return std::this_thread::get_id() == owner_; }

private:
  /// Refuses a call from a thread other than the owner's, and a call on a null object.
  void CheckCallable(const std::string& name) const;

  ComPtr<IDispatch> object_;
  std::thread::id owner_;
  std::unordered_map<std::string, DISPID> ids_;
};
