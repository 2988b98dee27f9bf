// ComError.h -- brevik.com_error, raised as pywintypes.com_error is.
#pragma once

#include <string>

#include "bindings/python/ModuleState.h"
#include "client/DispatchError.h"

/// Makes the class com_error (a subclass of Exception) for a module instance.
PyObject* MakeComErrorClass();

/// Sets com_error(hresult, strerror, excepinfo, argerror) with those four as attributes too:
/// for an error the object raised, hresult is DISP_E_EXCEPTION and excepinfo is (0, source,
/// description, None, 0, scode); otherwise excepinfo is None. argerror is the argument's position
/// (from 0) for a type mismatch, else None.
void RaiseComError(ModuleState* state, const DispatchError& error);

/// Sets com_error(code, text, None, None).
void RaiseComError(ModuleState* state, HRESULT code, const std::string& text);
