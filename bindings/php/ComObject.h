// ComObject.h -- the PHP class COM: one automation object as a PHP object.
#pragma once

#include "bindings/php/PhpApi.h"
#include "client/DispatchObject.h"

/// The PHP object behind `new COM(...)` and behind every object a member hands back. Standard
/// layout, with the engine's object last, as the engine requires of extension objects.
struct ComObject {
  /// The automation object; null until the constructor succeeded. Owned: freed with the object.
  DispatchObject* dispatch;
  zend_object std;
};

/// The class entry of `COM`, set by RegisterComClass.
extern zend_class_entry* com_class;

/// Registers the class `COM` (and its handlers); called once from the module's start.
void RegisterComClass();

/// The extension object of a `COM` instance.
inline ComObject* ComObjectOf(zend_object* object) {
  return reinterpret_cast<ComObject*>(reinterpret_cast<char*>(object) - XtOffsetOf(ComObject, std));
}

/// Puts a new `COM` object holding `object` into `result`.
void WrapDispatch(zval* result, DispatchObject&& object);

/// The automation object of `object`; DispatchError E_POINTER (for `member`) when it has none.
DispatchObject& DispatchOf(zend_object* object, const std::string& member);
