// WsgiPageRequest.cpp -- brevik.page_request(environ): a WSGI request as the component's page request.
#include "bindings/python/WsgiPageRequest.h"

#include <vector>

namespace {

// The blocks entered on this thread, innermost last. Plain C++ per thread: a block is entered and
// left on one thread, whatever interpreter runs there.
thread_local std::vector<const WsgiPageRequest*> enteredBlocks;

struct PyPageRequest {
  PyObject_HEAD
  WsgiPageRequest* request;  ///< owned
  bool entered;
};

PyObject* NewPageRequest(PyTypeObject* type, PyObject* args, PyObject* keywords) {
  static const char* keywordNames[] = {"environ", nullptr};
  PyObject* environ = nullptr;
  if (!PyArg_ParseTupleAndKeywords(args, keywords, "O:page_request", const_cast<char**>(keywordNames), &environ))
    return nullptr;
  if (!PyMapping_Check(environ)) {
    PyErr_SetString(PyExc_TypeError, "page_request() takes the WSGI environ, a mapping");
    return nullptr;
  }
  std::string script;
  PyObject* value = PyMapping_GetItemString(environ, "SCRIPT_FILENAME");
  if (value == nullptr) {
    if (!PyErr_ExceptionMatches(PyExc_KeyError)) return nullptr;
    PyErr_Clear();
  } else {
    Py_ssize_t size = 0;
    const char* text = PyUnicode_Check(value) ? PyUnicode_AsUTF8AndSize(value, &size) : nullptr;
    if (text == nullptr) {
      Py_DECREF(value);
      if (!PyErr_Occurred()) PyErr_SetString(PyExc_TypeError, "environ[\"SCRIPT_FILENAME\"] must be a str");
      return nullptr;
    }
    script.assign(text, static_cast<std::size_t>(size));
    Py_DECREF(value);
  }
  auto* self = reinterpret_cast<PyPageRequest*>(type->tp_alloc(type, 0));
  if (self == nullptr) return nullptr;
  self->request = new (std::nothrow) WsgiPageRequest(std::move(script));
  self->entered = false;
  if (self->request == nullptr) {
    Py_DECREF(self);
    return PyErr_NoMemory();
  }
  return reinterpret_cast<PyObject*>(self);
}

void DeallocPageRequest(PyObject* object) {
  auto* self = reinterpret_cast<PyPageRequest*>(object);
  PyTypeObject* type = Py_TYPE(object);
  delete self->request;
  type->tp_free(object);
  Py_DECREF(type);
}

PyObject* Enter(PyObject* object, PyObject*) {
  auto* self = reinterpret_cast<PyPageRequest*>(object);
  if (self->entered) {
    PyErr_SetString(PyExc_RuntimeError, "this page_request is already in use");
    return nullptr;
  }
  try {
    enteredBlocks.push_back(self->request);
  } catch (const std::bad_alloc&) {
    return PyErr_NoMemory();
  }
  self->entered = true;
  Py_INCREF(object);  // installed: it must outlive its block even if the caller drops it
  Py_INCREF(object);
  return object;
}

PyObject* Exit(PyObject* object, PyObject*) {
  auto* self = reinterpret_cast<PyPageRequest*>(object);
  if (!self->entered || enteredBlocks.empty() || enteredBlocks.back() != self->request) {
    PyErr_SetString(PyExc_RuntimeError, "page_request blocks must be left on their thread, innermost first");
    return nullptr;
  }
  enteredBlocks.pop_back();
  self->entered = false;
  Py_DECREF(object);
  Py_RETURN_FALSE;  // exceptions of the block go on
}

PyMethodDef pageRequestMethods[] = {
    {"__enter__", Enter, METH_NOARGS, "Installs the request for the calls made in the block on this thread."},
    {"__exit__", Exit, METH_VARARGS, "Removes it again."},
    {nullptr, nullptr, 0, nullptr}};

PyType_Slot pageRequestSlots[] = {
    {Py_tp_new, reinterpret_cast<void*>(NewPageRequest)},
    {Py_tp_dealloc, reinterpret_cast<void*>(DeallocPageRequest)},
    {Py_tp_methods, pageRequestMethods},
    {Py_tp_doc, const_cast<char*>("page_request(environ): with it, the component judges the calls made in the block by "
                                  "the WSGI request's script, environ[\"SCRIPT_FILENAME\"].")},
    {0, nullptr}};

}  // namespace

const WsgiPageRequest* CurrentWsgiRequest() { return enteredBlocks.empty() ? nullptr : enteredBlocks.back(); }

PyType_Spec pageRequestSpec = {"brevik.page_request", sizeof(PyPageRequest), 0, Py_TPFLAGS_DEFAULT,
                               pageRequestSlots};
