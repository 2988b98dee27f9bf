// BrevikModule.cpp -- the Python module "brevik": Dispatch, com_error, page_request, and its state.
#include <string>

#include "bindings/python/ComError.h"
#include "bindings/python/ComponentCall.h"
#include "bindings/python/PyDispatch.h"
#include "bindings/python/WsgiPageRequest.h"

ComponentActivator& ThreadActivator() {
  // Ended with its thread; a library still in use by an object stays loaded.
  thread_local ComponentActivator activator;
  return activator;
}

namespace {

ModuleState* StateOfModule(PyObject* module) { return static_cast<ModuleState*>(PyModule_GetState(module)); }

// brevik.Dispatch(progid): a new object of the class registered for `progid`, as
// win32com.client.Dispatch makes one; a CDispatch given instead comes back as it is.
PyObject* Dispatch(PyObject* module, PyObject* argument) {
  ModuleState* state = StateOfModule(module);
  if (PyObject_TypeCheck(argument, state->dispatchType)) return Py_NewRef(argument);
  if (!PyUnicode_Check(argument)) {
    PyErr_Format(PyExc_TypeError, "Dispatch() takes a programmatic identifier (str), not '%s'",
                 Py_TYPE(argument)->tp_name);
    return nullptr;
  }
  Py_ssize_t size = 0;
  const char* text = PyUnicode_AsUTF8AndSize(argument, &size);
  if (text == nullptr) return nullptr;
  const std::string progId(text, static_cast<std::size_t>(size));
  return CallComponent(state, [&]() -> PyObject* {
    ComPtr<IDispatch> created;
    std::string error;
    HRESULT hr = S_OK;
    {
      const ReleasedGil released;
      hr = ThreadActivator().CreateObject(progId, created, error);
    }
    if (FAILED(hr)) {
      RaiseComError(state, hr, error);
      return nullptr;
    }
    return WrapDispatch(state, DispatchObject(created.Detach()));
  });
}

PyMethodDef moduleFunctions[] = {
    {"Dispatch", Dispatch, METH_O,
     "Dispatch(progid) -> CDispatch: creates the automation object registered as progid."},
    {nullptr, nullptr, 0, nullptr}};

int AddType(PyObject* module, PyType_Spec* definition, PyTypeObject*& slot, bool exported) {
  slot = reinterpret_cast<PyTypeObject*>(PyType_FromModuleAndSpec(module, definition, nullptr));
  if (slot == nullptr) return -1;
  return exported ? PyModule_AddType(module, slot) : 0;
}

int ExecModule(PyObject* module) {
  ModuleState* state = StateOfModule(module);
  state->comError = MakeComErrorClass();
  if (state->comError == nullptr || PyModule_AddObjectRef(module, "com_error", state->comError) < 0) return -1;
  if (AddType(module, &dispatchSpec, state->dispatchType, true) < 0) return -1;
  if (AddType(module, &memberSpec, state->memberType, false) < 0) return -1;
  if (AddType(module, &enumeratorSpec, state->enumeratorType, false) < 0) return -1;
  if (AddType(module, &pageRequestSpec, state->pageRequestType, true) < 0) return -1;
  return 0;
}

int Traverse(PyObject* module, visitproc visit, void* arg) {  // Py_VISIT names its argument "arg"
  ModuleState* state = StateOfModule(module);
  Py_VISIT(state->comError);
  Py_VISIT(state->dispatchType);
  Py_VISIT(state->memberType);
  Py_VISIT(state->enumeratorType);
  Py_VISIT(state->pageRequestType);
  return 0;
}

int Clear(PyObject* module) {
  ModuleState* state = StateOfModule(module);
  Py_CLEAR(state->comError);
  Py_CLEAR(state->dispatchType);
  Py_CLEAR(state->memberType);
  Py_CLEAR(state->enumeratorType);
  Py_CLEAR(state->pageRequestType);
  return 0;
}

void Free(void* module) { Clear(static_cast<PyObject*>(module)); }

// Multi-phase initialisation: every interpreter that imports the module gets its own module
// object, state and types (mod_wsgi runs each application in a sub-interpreter of its own).
PyModuleDef_Slot moduleSlots[] = {{Py_mod_exec, reinterpret_cast<void*>(ExecModule)}, {0, nullptr}};

PyModuleDef moduleDefinition = {
    PyModuleDef_HEAD_INIT,
    "brevik",
    "Automation objects of Brevik (\"Brevik.ZIP\") from Python, as win32com.client.Dispatch reaches them.",
    sizeof(ModuleState),
    moduleFunctions,
    moduleSlots,
    Traverse,
    Clear,
    Free};

}  // namespace

PyMODINIT_FUNC PyInit_brevik() { return PyModuleDef_Init(&moduleDefinition); }
