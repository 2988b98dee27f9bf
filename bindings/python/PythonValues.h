// PythonValues.h -- Python values to automation values and back.
#pragma once

#include "bindings/python/ModuleState.h"
#include "client/VariantValue.h"

/// A Python exception is already set (a conversion Python itself refused); the call stops.
struct PythonErrorPending {};

/// The automation value of `value`: None -> VT_NULL, bool -> VT_BOOL, int -> VT_I4 (VT_I8 when it
/// needs more than 32 bits; OverflowError beyond 64), float -> VT_R8, str -> VT_BSTR, a CDispatch
/// -> its VT_DISPATCH. Anything else is a TypeError, as pywin32 words it. Throws
/// PythonErrorPending with the Python exception set.
VariantValue VariantFromPython(ModuleState* state, PyObject* value);

/// The Python value of `value` (a new reference, or null with an exception set): VT_EMPTY and
/// VT_NULL -> None, numbers -> int or float, VT_BOOL -> bool, VT_BSTR -> str, an object
/// reference -> a new CDispatch (None for a null reference or one without IDispatch), any other
/// type -> its text, or None when it has none.
PyObject* PythonFromVariant(ModuleState* state, const VariantValue& value);
