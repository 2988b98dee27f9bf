// ModuleState.h -- what one instance of the module owns: its exception and its types.
#pragma once

#include "bindings/python/PythonApi.h"

/// Per module object, so that each interpreter (mod_wsgi runs each application in one) has its
/// own; the module keeps no Python state anywhere else.
struct ModuleState {
  PyObject* comError;             ///< brevik.com_error
  PyTypeObject* dispatchType;     ///< brevik.CDispatch, an automation object
  PyTypeObject* memberType;       ///< a method of one object, ready to call
  PyTypeObject* enumeratorType;   ///< the iterator of a collection
  PyTypeObject* pageRequestType;  ///< brevik.page_request
};

/// The state of the module that made `type` (one of the module's own types).
inline ModuleState* StateOf(PyTypeObject* type) { return static_cast<ModuleState*>(PyType_GetModuleState(type)); }
