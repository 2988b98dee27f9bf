// PyDispatch.h -- brevik.CDispatch: one automation object with the object's members as attributes.
#pragma once

#include <string>
#include <unordered_set>

#include "bindings/python/ModuleState.h"
#include "client/DispatchObject.h"

/// The Python object of one automation object.
struct PyDispatch {
  PyObject_HEAD
  DispatchObject* dispatch;                ///< owned
  std::unordered_set<std::string>* methods;  ///< owned: names found to be methods, not properties
};

/// A new CDispatch of `state` holding `object` (a new reference, or null with an exception set).
PyObject* WrapDispatch(ModuleState* state, DispatchObject&& object);

/// The type definitions (PyType_Spec) of CDispatch, of its bound methods and of its collections' iterator.
extern PyType_Spec dispatchSpec;
extern PyType_Spec memberSpec;
extern PyType_Spec enumeratorSpec;
