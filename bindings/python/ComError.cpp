// ComError.cpp -- brevik.com_error, raised as pywintypes.com_error is.
#include "bindings/python/ComError.h"

#include "client/ResultText.h"

PyObject* MakeComErrorClass() {
  return PyErr_NewExceptionWithDoc("brevik.com_error",
                                   "A call into an automation object failed: (hresult, strerror, excepinfo, argerror).",
                                   nullptr, nullptr);
}

namespace {

void Raise(ModuleState* state, HRESULT code, const std::string& text, PyObject* excepinfo, PyObject* argerror) {
  PyObject* error = PyObject_CallFunction(state->comError, "(is#OO)", static_cast<int>(code), text.data(),
                                          static_cast<Py_ssize_t>(text.size()), excepinfo, argerror);
  if (error != nullptr) {
    PyObject* hresult = PyLong_FromLong(code);
    PyObject* strerror = PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size()));
    if (hresult && strerror && PyObject_SetAttrString(error, "hresult", hresult) == 0 &&
        PyObject_SetAttrString(error, "strerror", strerror) == 0 &&
        PyObject_SetAttrString(error, "excepinfo", excepinfo) == 0 &&
        PyObject_SetAttrString(error, "argerror", argerror) == 0) {
      PyErr_SetObject(state->comError, error);
    }
    Py_XDECREF(hresult);
    Py_XDECREF(strerror);
    Py_DECREF(error);
  }
  Py_DECREF(excepinfo);
  Py_DECREF(argerror);
}

}  // namespace

void RaiseComError(ModuleState* state, const DispatchError& error) {
  PyObject* argerror = Py_None;
  if (error.code() == DISP_E_TYPEMISMATCH || error.code() == DISP_E_PARAMNOTFOUND)
    argerror = PyLong_FromUnsignedLong(error.argumentIndex());
  else
    Py_INCREF(argerror);
  if (!error.raisedByObject()) {
    Py_INCREF(Py_None);
    Raise(state, error.code(), error.description(), Py_None, argerror);
    return;
  }
  const std::string& source = error.source();
  const std::string& description = error.description();
  PyObject* excepinfo = Py_BuildValue("(is#s#OiI)", 0, source.data(), static_cast<Py_ssize_t>(source.size()),
                                      description.data(), static_cast<Py_ssize_t>(description.size()), Py_None, 0,
                                      static_cast<unsigned>(error.code()));
  if (excepinfo == nullptr) {
    Py_DECREF(argerror);
    return;
  }
  // pywin32 gives the scode as a signed number in the tuple.
  PyObject* scode = PyLong_FromLong(error.code());
  if (scode == nullptr || PyTuple_SetItem(excepinfo, 5, scode) != 0) {
    Py_DECREF(excepinfo);
    Py_DECREF(argerror);
    return;
  }
  Raise(state, DISP_E_EXCEPTION, DescribeResult(DISP_E_EXCEPTION), excepinfo, argerror);
}

void RaiseComError(ModuleState* state, HRESULT code, const std::string& text) {
  Py_INCREF(Py_None);
  Py_INCREF(Py_None);
  Raise(state, code, text, Py_None, Py_None);
}
