// DispatchObject.h -- one automation object reached only by member name, as a page script does.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include "frame/automation/IDispatch.h"
#include "tools/VariantValue.h"

/// A member call the object refused with a failure code; what() names the member and the code.
class DispatchError : public std::runtime_error {
public:
  DispatchError(const std::string& member, HRESULT code);
  HRESULT code() const noexcept { return code_; }

private:
  HRESULT code_;
};

/// Holds one counted IDispatch reference (released by the destructor) and calls its members by
/// name: each call looks the name up with GetIDsOfNames and goes through Invoke. Every method
/// throws DispatchError when the object answers with a failure code.
class DispatchObject {
public:
  /// Adopts one reference to `object`; null is allowed and makes every call fail with E_POINTER.
  explicit DispatchObject(IDispatch* object) noexcept : object_(object) {}
  ~DispatchObject();
  DispatchObject(const DispatchObject&) = delete;
  DispatchObject& operator=(const DispatchObject&) = delete;
  DispatchObject(DispatchObject&& other) noexcept : object_(other.object_) { other.object_ = nullptr; }

  /// Takes the dispatch reference out of `value` (VT_DISPATCH, or VT_UNKNOWN queried for
  /// IDispatch); a null reference gives an object whose calls fail.
  static DispatchObject FromVariant(const VariantValue& value);

  /// Property put: `object.name = value`.
  void Put(const std::string& name, const VariantValue& value);
  /// Property get with optional arguments (in the order a script writes them): `object.name(args)`.
  VariantValue Get(const std::string& name, const std::vector<const VariantValue*>& arguments = {});
  /// Method call: `result = object.name(args)`.
  VariantValue Call(const std::string& name, const std::vector<const VariantValue*>& arguments = {});

  /// The member's dispatch id, as GetIDsOfNames answers it. Objects of one type share their ids,
  /// so a caller reading the same members of many such objects can look them up once.
  DISPID Lookup(const std::string& name);
  /// Property get of a member already looked up; `name` only names it in a DispatchError.
  VariantValue GetById(DISPID id, const std::string& name);

  IDispatch* get() const noexcept { return object_; }

private:
  VariantValue Invoke(DISPID id, const std::string& name, WORD flags,
                      const std::vector<const VariantValue*>& arguments);

  IDispatch* object_;
};
